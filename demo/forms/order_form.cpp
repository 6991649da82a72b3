#include "order_form.h"

#include <windows.h>

#include "big5_texts.h"

namespace forms_demo {

QL_DEFINE_CLASS(TAddressFrame, TFrame, {})
QL_DEFINE_CLASS(TOrderForm, TForm, {})

namespace {

namespace t = big5;

template <typename T>
T& Make(TComponent& owner, TWinControl& parent, const char* name, int left, int top, int width, int height) {
  T& control = TComponent::Create<T>(owner);
  control.SetName(name);
  control.SetParent(&parent);
  control.SetBounds(left, top, width, height);
  return control;
}

TLabeledEdit& MakeEdit(TComponent& owner, TWinControl& parent, const char* name, int left, int top, int width,
                       const char* label) {
  auto& edit = Make<TLabeledEdit>(owner, parent, name, left, top, width, 23);
  edit.EditLabel().SetCaption(label);
  return edit;
}

// Every control of a toolkit has a font of its own (there is no parent
// font): the design face is given to each, frames' controls and grid
// titles included.
void UseFont(TComponent& root, const TFont& font) {
  for (int i = 0; i < root.ComponentCount(); ++i) {
    TComponent& component = root.Components(i);
    if (component.Is<TControl>()) static_cast<TControl&>(component).SetFont(&font);
    if (component.Is<TDBGrid>()) {
      const TDBGridColumns& columns = static_cast<TDBGrid&>(component).Columns();
      for (int c = 0; c < columns.Count(); ++c) columns.Items(c).Title().SetFont(&font);
    }
    UseFont(component, font);
  }
}

}  // namespace

TAddressFrame::TAddressFrame(TComponent* owner) : TFrame(owner) {
  Make<TLabel>(*this, *this, "FrameTitle", 0, 0, 200, 18).SetCaption(t::kDeliveryAddress);
  MakeEdit(*this, *this, "AddressEdit", 0, 44, 290, t::kAddress);
  MakeEdit(*this, *this, "CityEdit", 0, 92, 140, t::kCity);
}

TOrderForm::TOrderForm(TComponent* owner) : TForm(owner) {
  SetCaption(t::kFormCaption);
  // Where scripts/forms-screenshot expects it: the pointer of a 1280 x 1024
  // screen, at its centre, then rests on a bare part of the form (a hint's
  // tip shows only on some runs under Wine, and is drawn black there).
  SetBounds(340, 40, 846, 612);

  m_language = &TComponent::Create<TUIMultiLanguage>(*this);
  m_language->SetName("Language");
  const struct {
    TLanguageKind kind;
    const char* name;
  } catalogue[] = {{TLanguageKind::lkChineseTradionary, t::kTraditional},
                   {TLanguageKind::lkChineseSimplify, "\xBC\xF2\xCC\xE5\xD6\xD0\xCE\xC4"},  // 简体中文 (GBK)
                   {TLanguageKind::lkEnglish, "English"}};
  for (const auto& entry : catalogue) {
    TLanguageItem& item = m_language->Languages().Add();
    item.SetName(entry.name);
    item.SetKind(entry.kind);
  }
  // Designed in Traditional: its files are written from the form as it is,
  // the others converted (Simplified) or copied (English) from it.
  m_language->Languages().Items(0).SetIsDefault(true);
  m_language->SetWordTablePath("<Bin>");
  m_language->SetWordConvert(true);

  const char* const languageNames[] = {t::kTraditional, t::kSimplified, "English"};
  const char* const buttonNames[] = {"TraditionalButton", "SimplifiedButton", "EnglishButton"};
  for (int i = 0; i < 3; ++i) {
    auto& button = Make<TButton>(*this, *this, buttonNames[i], 12 + i * 112, 10, 106, 28);
    button.SetCaption(languageNames[i]);
    button.SetTag(i);
    button.OnClick = TNotifyEvent::Of<&TOrderForm::LanguageButtonClick>(*this);
  }
  auto& toSimplified = TComponent::Create<TAction>(*this);
  toSimplified.SetName("ToSimplifiedAction");
  toSimplified.SetCaption(t::kToSimplified);
  toSimplified.SetHint(t::kToSimplifiedHint);
  toSimplified.OnExecute = TNotifyEvent::Of<&TOrderForm::ToSimplifiedExecute>(*this);
  auto& toTraditional = TComponent::Create<TAction>(*this);
  toTraditional.SetName("ToTraditionalAction");
  toTraditional.SetCaption(t::kToTraditional);
  toTraditional.SetHint(t::kToTraditionalHint);
  toTraditional.OnExecute = TNotifyEvent::Of<&TOrderForm::ToTraditionalExecute>(*this);
  Make<TButton>(*this, *this, "ToSimplifiedButton", 480, 10, 170, 28).SetAction(&toSimplified);
  Make<TButton>(*this, *this, "ToTraditionalButton", 656, 10, 170, 28).SetAction(&toTraditional);

  // Left: customer, delivery address (a frame), payment and delivery time.
  MakeEdit(*this, *this, "CustomerEdit", 12, 78, 290, t::kCustomer).SetHint(t::kCustomerHint);
  MakeEdit(*this, *this, "PhoneEdit", 12, 126, 160, t::kPhone);
  Make<TAddressFrame>(*this, *this, "AddressFrame", 12, 160, 300, 120);
  Make<TLabel>(*this, *this, "PaymentLabel", 12, 294, 140, 18).SetCaption(t::kPayment);
  auto& payment = Make<TcxComboBox>(*this, *this, "PaymentCombo", 12, 314, 150, 23);
  for (const char* line : {t::kCash, t::kCreditCard, t::kTransfer}) payment.Properties().Items().Add(line);
  payment.SetItemIndex(1);
  auto& urgent = Make<TcxCheckBox>(*this, *this, "UrgentCheck", 180, 314, 120, 23);
  urgent.Properties().SetCaption(t::kUrgent);
  urgent.SetHint(t::kUrgentHint);
  Make<TLabel>(*this, *this, "DeliveryLabel", 12, 348, 140, 18).SetCaption(t::kDelivery);
  auto& delivery = Make<TListBox>(*this, *this, "DeliveryList", 12, 368, 150, 66);
  for (const char* line : {t::kMorning, t::kAfternoon, t::kEvening}) delivery.Items().Add(line);
  delivery.SetItemIndex(2);

  // Middle and right: categories (a tree) and the order's lines (a list view).
  Make<TLabel>(*this, *this, "CategoryLabel", 330, 58, 170, 18).SetCaption(t::kCategories);
  auto& tree = Make<TTreeView>(*this, *this, "CategoryTree", 330, 78, 190, 222);
  tree.SetHint(t::kCategoriesHint);
  TTreeNodes& nodes = tree.Items();
  TTreeNode& drinks = nodes.AddChild(nullptr, t::kDrinks);
  TTreeNode& tea = nodes.AddChild(&drinks, t::kTea);
  nodes.AddChild(&tea, t::kOolong);
  nodes.AddChild(&tea, t::kTieguanyin);
  TTreeNode& coffee = nodes.AddChild(&drinks, t::kCoffee);
  nodes.AddChild(&coffee, t::kCoffeeBeans);
  nodes.AddChild(&coffee, t::kLatte);
  TTreeNode& snacks = nodes.AddChild(nullptr, t::kSnacks);
  nodes.AddChild(&snacks, t::kPineappleCake);
  nodes.AddChild(&snacks, t::kEggYolkPastry);
  for (TTreeNode* node : {&drinks, &tea, &coffee, &snacks}) node->SetExpanded(true);

  Make<TLabel>(*this, *this, "LinesLabel", 536, 58, 170, 18).SetCaption(t::kOrderLines);
  auto& lines = Make<TListView>(*this, *this, "OrderLines", 536, 78, 290, 222);
  const struct {
    const char* caption;
    int width;
  } columns[] = {{t::kProduct, 130}, {t::kQuantity, 60}, {t::kAmount, 80}};
  for (const auto& column : columns) {
    TListColumn& added = lines.Columns().Add();
    added.SetCaption(column.caption);
    added.SetWidth(column.width);
  }
  const struct {
    const char* product;
    const char* quantity;
    const char* amount;
  } orderLines[] = {{t::kOolong, "2", "240"}, {t::kPineappleCake, "6", "360"}, {t::kLatte, "1", "95"}};
  for (const auto& line : orderLines) {
    TListItem& item = lines.Items().Add();
    item.SetCaption(line.product);
    item.SubItems().Add(line.quantity);
    item.SubItems().Add(line.amount);
  }

  // Bottom: the products of a dataset, in a grid.
  m_products = &TComponent::Create<TDataSet>(*this);
  m_products->SetName("Products");
  m_products->AddFieldDef("Name", TFieldType::ftString, 20);
  m_products->AddFieldDef("Category", TFieldType::ftString, 10);
  m_products->AddFieldDef("Price", TFieldType::ftInteger);
  m_products->Open();
  m_products->AppendRecord({t::kOolong, t::kTea, "120"});
  m_products->AppendRecord({t::kTieguanyin, t::kTea, "180"});
  m_products->AppendRecord({t::kCoffeeBeans, t::kCoffee, "450"});
  m_products->AppendRecord({t::kLatte, t::kCoffee, "95"});
  m_products->AppendRecord({t::kPineappleCake, t::kSnacks, "60"});
  m_products->AppendRecord({t::kEggYolkPastry, t::kSnacks, "55"});
  auto& source = TComponent::Create<TDataSource>(*this);
  source.SetName("ProductSource");
  source.SetDataSet(m_products);
  Make<TLabel>(*this, *this, "ProductsLabel", 330, 314, 170, 18).SetCaption(t::kProducts);
  auto& grid = Make<TDBGrid>(*this, *this, "ProductGrid", 330, 334, 496, 166);
  grid.SetHint(t::kProductsHint);
  const struct {
    const char* field;
    const char* title;
    int width;
  } gridColumns[] = {{"Name", t::kProductName, 200}, {"Category", t::kCategory, 120}, {"Price", t::kUnitPrice, 100}};
  for (const auto& column : gridColumns) {
    TColumn& added = grid.Columns().Add();
    added.SetFieldName(column.field);
    added.Title().SetCaption(column.title);
    added.SetWidth(column.width);
  }
  grid.SetDataSource(&source);

  Make<TLabel>(*this, *this, "NoticeLabel", 12, 520, 600, 18).SetCaption(t::kSoftware);
  m_status = &Make<TLabel>(*this, *this, "StatusLabel", 12, 548, 814, 18);

  TFont design;
  design.SetName(TWinPerTurn::kDefaultTCFont);
  design.SetCharset(kChineseBig5Charset);
  design.SetHeight(-15);
  Font().Assign(design);
  UseFont(*this, design);

  m_language->SetHookOnShow(true);
}

TOrderForm::~TOrderForm() = default;

void TOrderForm::ChooseLanguage(TLanguageKind kind) {
  m_language->SetLanguageKind(kind);
  ShowStatus();
}

void TOrderForm::LanguageButtonClick(TObject& sender) {
  static constexpr TLanguageKind kinds[] = {TLanguageKind::lkChineseTradionary, TLanguageKind::lkChineseSimplify,
                                            TLanguageKind::lkEnglish};
  ChooseLanguage(kinds[static_cast<TComponent&>(sender).Tag()]);
}

void TOrderForm::Convert(TWinPerTurnType direction) {
  m_converter.TurnComponent(*this, direction, true);
  m_converter.TurnDataSet(*m_products, direction, true);
  m_converted = direction == TWinPerTurnType::wttTCToSC ? "TWinPerTurn: Big5 -> GBK" : "TWinPerTurn: GBK -> Big5";
  ShowStatus();
}

void TOrderForm::UserMessage(unsigned message, std::uintptr_t, std::intptr_t) {
  if (message != TUIMultiLanguage::kTranslatedMessage) return;
  ++m_translations;
  ShowStatus();
}

// The status line is the program's own, in ASCII: it says what the windows
// are shown through, which file the texts came from, and how often the form
// was told it was translated.
void TOrderForm::ShowStatus() {
  const int kind = static_cast<int>(m_language->LanguageKind());
  std::string status = "ANSI code page " + std::to_string(GetACP()) + "  |  " + KindFolders[kind] + ClassName() +
                       ".ini  |  message 2024 x" + std::to_string(m_translations);
  if (!m_converted.empty()) status += "  |  " + m_converted;
  m_status->SetCaption(status);
}

}  // namespace forms_demo
