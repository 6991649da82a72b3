// Form translation under Wine: real language files (the library's own
// reader and writer), compared byte for byte (Big5 in "cht\", GBK in "chs\"), on
// forms whose windows exist, read back through the windows (WM_GETTEXT,
// LB_GETCURSEL, TVM_GETITEM, LVM_GETITEMTEXT). Runs in code page 950.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "folders_win.h"
#include "framework/Classes.h"
#include "language/UIMultiLanguage.h"

namespace quorlane {
namespace {

// 訂單 客戶 確定 存檔 紅色 綠色 藍色 軟體更新 in Big5, and in GBK as the
// conversion makes them (軟體 → 软件 only with the word table).
constexpr char kOrderTC[] = "\xAD\x71\xB3\xE6";
constexpr char kOrderSC[] = "\xB6\xA9\xB5\xA5";
constexpr char kCustomerTC[] = "\xAB\xC8\xA4\xE1";
constexpr char kCustomerSC[] = "\xBF\xCD\xBB\xA7";
constexpr char kOkTC[] = "\xBD\x54\xA9\x77";
constexpr char kOkSC[] = "\xC8\xB7\xB6\xA8";
constexpr char kSaveTC[] = "\xA6\x73\xC0\xC9";
constexpr char kSaveSC[] = "\xB4\xE6\xB5\xB5";
constexpr char kRedTC[] = "\xAC\xF5\xA6\xE2";
constexpr char kRedSC[] = "\xBA\xEC\xC9\xAB";
constexpr char kGreenTC[] = "\xBA\xF1\xA6\xE2";
constexpr char kGreenSC[] = "\xC2\xCC\xC9\xAB";
constexpr char kUpdateTC[] = "\xB3\x6E\xC5\xE9\xA7\xF3\xB7\x73";      // 軟體更新
constexpr char kUpdateSC[] = "\xC8\xED\xBC\xFE\xB8\xFC\xD0\xC2";      // 软件更新

// A host's own form and frame classes: the files are named after them.
class TOrderForm : public TForm {
  QL_DECLARE_CLASS()
 public:
  using TForm::TForm;
  std::vector<std::string> received;

 protected:
  void UserMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
    received.push_back(std::to_string(message) + "," + std::to_string(wParam) + "," + std::to_string(lParam));
  }
};
class TOtherForm : public TOrderForm {
  QL_DECLARE_CLASS()
 public:
  using TOrderForm::TOrderForm;
};
class TAddressFrame : public TFrame {
  QL_DECLARE_CLASS()
 public:
  using TFrame::TFrame;
};
QL_DEFINE_CLASS(TOrderForm, TForm, {})
QL_DEFINE_CLASS(TOtherForm, TOrderForm, {})
QL_DEFINE_CLASS(TAddressFrame, TFrame, {})

std::string TextOf(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string TreeItemText(HWND tree, HTREEITEM item) {
  char text[256] = {};
  TVITEMA query{};
  query.mask = TVIF_TEXT;
  query.hItem = item;
  query.pszText = text;
  query.cchTextMax = sizeof text;
  SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query));
  return text;
}

std::string CellOf(HWND view, int row, int column) {
  char text[256] = {};
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(view, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return text;
}

std::string ColumnOf(HWND view, int index) {
  char title[256] = {};
  LVCOLUMNA column{};
  column.mask = LVCF_TEXT;
  column.pszText = title;
  column.cchTextMax = sizeof title;
  SendMessageA(view, LVM_GETCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
  return title;
}

// Every message posted to this thread's windows is delivered (bounded).
void Pump() {
  MSG message;
  for (int i = 0; i < 1000 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageA(&message);
}

std::string Section(const std::string& name, std::initializer_list<std::string> lines) {
  std::string text = "[" + name + "]\r\n";
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

class Translation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetACP(), 950u);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static int run = 0;
    folder = std::string(temp) + "ql-forms-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++run) +
             "\\";
    CurrentLanguageKind() = TLanguageKind::lkChineseTradionary;
    language.SetLanguagePath(folder);
  }
  void TearDown() override {
    forms.clear();
    testsupport::RemoveTree(folder);
    CurrentLanguagePath() = "<Bin>Languages";
    CurrentLanguageKind() = TLanguageKind::lkChineseSimplify;
  }

  template <typename Form = TOrderForm>
  Form& NewForm(const char* caption) {
    forms.push_back(std::make_unique<Form>(nullptr));
    auto& form = static_cast<Form&>(*forms.back());
    form.SetCaption(caption);
    return form;
  }
  template <typename T>
  T& Place(TComponent& owner, TWinControl& parent, const char* name) {
    T& control = TComponent::Create<T>(owner);
    control.SetName(name);
    control.SetParent(&parent);
    return control;
  }
  void Catalogue(std::initializer_list<std::pair<TLanguageKind, bool>> kinds) {
    for (const auto& [kind, isDefault] : kinds) {
      TLanguageItem& item = language.Languages().Add();
      item.SetName(KindLabels[static_cast<int>(kind)]);
      item.SetKind(kind);
      item.SetIsDefault(isDefault);
    }
  }
  [[nodiscard]] std::string File(TLanguageKind kind, const std::string& cls) const {
    return folder + KindFolders[static_cast<int>(kind)] + cls + ".ini";
  }
  [[nodiscard]] std::string Bytes(TLanguageKind kind, const std::string& cls) const {
    std::string bytes;
    if (FILE* file = std::fopen(File(kind, cls).c_str(), "rb")) {
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
      std::fclose(file);
    }
    return bytes;
  }
  [[nodiscard]] bool Exists(TLanguageKind kind, const std::string& cls) const {
    return GetFileAttributesA(File(kind, cls).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  /// A file as a translator leaves it.
  void Put(TLanguageKind kind, const std::string& cls, const std::string& bytes) const {
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + KindFolders[static_cast<int>(kind)]).c_str(), nullptr);
    FILE* file = std::fopen(File(kind, cls).c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }

  std::string folder;
  TUIMultiLanguage language{nullptr};
  std::vector<std::unique_ptr<TCustomForm>> forms;
};

TEST_F(Translation, TheFirstPassWritesEveryLanguageAndChangesNothingTheSecondApplies) {
  TOrderForm& form = NewForm(kOrderTC);
  auto& label = Place<TLabel>(form, form, "CustomerLabel");
  label.SetCaption(kCustomerTC);
  auto& ok = Place<TButton>(form, form, "OkButton");
  ok.SetCaption(kOkTC);
  ok.SetHint(kSaveTC);
  auto& colors = Place<TListBox>(form, form, "ColorList");
  colors.Items().Add(kRedTC);
  colors.Items().Add(kGreenTC);
  Catalogue({{TLanguageKind::lkChineseTradionary, true}, {TLanguageKind::lkChineseSimplify, false},
             {TLanguageKind::lkEnglish, false}});
  const HWND window = reinterpret_cast<HWND>(form.Handle());

  language.TranslateForms();
  const auto file = [](const char* order, const char* customer, const char* okText, const char* save,
                       const char* red, const char* green) {
    return Section("TOrderForm", {std::string("TOrderForm.Caption=") + order, std::string("CustomerLabel=") + customer,
                                  std::string("OkButton=") + okText, std::string("OkButton.Hint=") + save,
                                  std::string("ColorList.Items[0]=") + red, std::string("ColorList.Items[1]=") + green});
  };
  const std::string traditional = file(kOrderTC, kCustomerTC, kOkTC, kSaveTC, kRedTC, kGreenTC);
  EXPECT_EQ(Bytes(TLanguageKind::lkChineseTradionary, "TOrderForm"), traditional);
  EXPECT_EQ(Bytes(TLanguageKind::lkChineseSimplify, "TOrderForm"), file(kOrderSC, kCustomerSC, kOkSC, kSaveSC, kRedSC, kGreenSC));
  EXPECT_EQ(Bytes(TLanguageKind::lkEnglish, "TOrderForm"), traditional) << "English starts as a copy";
  EXPECT_EQ(TextOf(window), kOrderTC);
  Pump();
  EXPECT_EQ(form.received, std::vector<std::string>{"2024,0,0"}) << "also after a pass that only generated files";

  Put(TLanguageKind::lkEnglish, "TOrderForm",
      file("Order", "Customer", "OK", "Save", "Red", "Green").replace(0, 0, "; translated\r\n"));
  colors.SetItemIndex(1);
  language.SetLanguageKind(TLanguageKind::lkEnglish);
  EXPECT_EQ(TextOf(window), "Order");
  EXPECT_EQ(TextOf(reinterpret_cast<HWND>(label.Handle())), "Customer");
  EXPECT_EQ(ok.Caption(), "OK");
  EXPECT_EQ(ok.Hint(), "Save");
  const HWND list = reinterpret_cast<HWND>(colors.Handle());
  char line[64] = {};
  SendMessageA(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(line));
  EXPECT_STREQ(line, "Green");
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 1);
  Pump();
  EXPECT_EQ(form.received.size(), 2u);
}

TEST_F(Translation, AnEmptyCatalogueWritesNothingAndTheFormNeverChanges) {
  TOrderForm& form = NewForm(kOrderTC);
  (void)form.Handle();
  language.TranslateForms();
  language.TranslateForms();
  EXPECT_EQ(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(Exists(TLanguageKind::lkChineseTradionary, "TOrderForm"));
  EXPECT_EQ(form.Caption(), kOrderTC);
}

TEST_F(Translation, WithoutAnItemOfTheCurrentKindEveryPassGeneratesTheOthersAgain) {
  TOrderForm& form = NewForm(kOrderTC);
  auto& label = Place<TLabel>(form, form, "CustomerLabel");
  label.SetCaption(kCustomerTC);
  (void)form.Handle();
  Catalogue({{TLanguageKind::lkChineseTradionary, true}, {TLanguageKind::lkEnglish, false}});
  language.SetAutoTranslate(false);
  language.SetLanguageKind(TLanguageKind::lkChineseSimplify);
  language.TranslateForms();
  Put(TLanguageKind::lkEnglish, "TOrderForm", Section("TOrderForm", {"CustomerLabel=Customer"}));
  label.SetCaption(kOkTC);
  language.TranslateForms();
  EXPECT_FALSE(Exists(TLanguageKind::lkChineseSimplify, "TOrderForm"));
  EXPECT_EQ(Bytes(TLanguageKind::lkChineseTradionary, "TOrderForm"),
            Section("TOrderForm", {std::string("TOrderForm.Caption=") + kOrderTC,
                                   std::string("CustomerLabel=") + kOkTC}))
      << "the default language's file is written again";
  EXPECT_EQ(Bytes(TLanguageKind::lkEnglish, "TOrderForm"),
            Section("TOrderForm", {"CustomerLabel=Customer", std::string("TOrderForm.Caption=") + kOrderTC}))
      << "the translator's value stays; what was missing is appended";
  EXPECT_EQ(label.Caption(), kOkTC);
}

// A present empty value empties; the edit label's key is read only with its
// component's name key, and then without a presence test.
TEST_F(Translation, EmptyValuesAndEditLabels) {
  TOrderForm& form = NewForm(kOrderTC);
  Place<TLabel>(form, form, "Emptied").SetCaption(kCustomerTC);
  auto& withName = Place<TLabeledEdit>(form, form, "NamedEdit");
  auto& onlyLabel = Place<TLabeledEdit>(form, form, "LabelOnlyEdit");
  for (TLabeledEdit* edit : {&withName, &onlyLabel}) edit->EditLabel().SetCaption(kCustomerTC);
  (void)form.Handle();
  Put(TLanguageKind::lkChineseTradionary, "TOrderForm",
      Section("TOrderForm", {"TOrderForm.Caption=", "Emptied=", "NamedEdit=", "LabelOnlyEdit.EditLabel=Label"}));
  language.TranslateForms();
  EXPECT_EQ(form.Caption(), "");
  EXPECT_EQ(TextOf(reinterpret_cast<HWND>(form.Handle())), "");
  EXPECT_EQ(static_cast<TLabel&>(form.Components(0)).Caption(), "");
  EXPECT_EQ(withName.EditLabel().Caption(), "") << "no .EditLabel key: the label is emptied";
  EXPECT_EQ(TextOf(reinterpret_cast<HWND>(withName.EditLabel().Handle())), "");
  EXPECT_EQ(onlyLabel.EditLabel().Caption(), kCustomerTC) << "no bare name key: .EditLabel is not read";

  // Generation writes .EditLabel for an edit that has no caption of its own.
  testsupport::RemoveTree(folder);
  Catalogue({{TLanguageKind::lkChineseTradionary, true}});
  language.TranslateForms();
  const std::string written = Bytes(TLanguageKind::lkChineseTradionary, "TOrderForm");
  EXPECT_NE(written.find("NamedEdit.EditLabel=\r\n"), std::string::npos) << written;
  EXPECT_EQ(written.find("NamedEdit="), std::string::npos) << written;
}

TEST_F(Translation, ComponentsBoundToAnActionGetNoKeysButKeysPresentForThemApply) {
  TOrderForm& form = NewForm(kOrderTC);
  auto& action = TComponent::Create<TAction>(form);
  action.SetName("SaveAction");
  action.SetCaption(kSaveTC);
  action.SetHint(kOkTC);
  auto& button = Place<TButton>(form, form, "SaveButton");
  button.SetAction(&action);
  (void)form.Handle();
  Catalogue({{TLanguageKind::lkChineseTradionary, true}, {TLanguageKind::lkEnglish, false}});
  language.TranslateForms();
  EXPECT_EQ(Bytes(TLanguageKind::lkChineseTradionary, "TOrderForm"),
            Section("TOrderForm", {std::string("TOrderForm.Caption=") + kOrderTC, std::string("SaveAction=") + kSaveTC,
                                   std::string("SaveAction.Hint=") + kOkTC}));

  Put(TLanguageKind::lkEnglish, "TOrderForm", Section("TOrderForm", {"SaveAction=Save", "SaveAction.Hint=Store"}));
  language.SetLanguageKind(TLanguageKind::lkEnglish);
  EXPECT_EQ(TextOf(reinterpret_cast<HWND>(button.Handle())), "Save") << "the button follows its action";
  EXPECT_EQ(button.Hint(), "Store");
  Put(TLanguageKind::lkEnglish, "TOrderForm", Section("TOrderForm", {"SaveButton=Keep", "SaveButton.Hint=Tip"}));
  language.TranslateForms();
  EXPECT_EQ(button.Caption(), "Keep");
  EXPECT_EQ(button.Hint(), "Tip");
}

TEST_F(Translation, ListsKeepTheirSelectionAndCollectionsShowTheirControl) {
  TOrderForm& form = NewForm(kOrderTC);
  auto& selected = Place<TListBox>(form, form, "Selected");
  auto& unselected = Place<TComboBox>(form, form, "Unselected");
  auto& redirected = Place<TcxComboBox>(form, form, "Payment");
  for (TCustomListControl* list : {static_cast<TCustomListControl*>(&selected),
                                   static_cast<TCustomListControl*>(&unselected),
                                   static_cast<TCustomListControl*>(&redirected)}) {
    for (const char* line : {"a", "b", "c"}) list->Items().Add(line);
  }
  selected.SetItemIndex(2);
  redirected.SetItemIndex(2);
  auto& grid = Place<TDBGrid>(form, form, "Grid");
  grid.Columns().Add().Title().SetCaption(kCustomerTC);
  grid.Hide();
  auto& view = Place<TListView>(form, form, "Lines");
  view.Columns().Add().SetCaption(kCustomerTC);
  form.Show();
  Put(TLanguageKind::lkChineseTradionary, "TOrderForm",
      Section("TOrderForm", {"Selected.Items[2]=C", "Unselected.Items[2]=C", "Payment.Items[2]=C",
                             "Payment.Properties.Items[2]=X", "Grid.Columns[0]=Customer", "Lines.Columns[0]=Name"}));
  language.TranslateForms();
  EXPECT_EQ(SendMessageA(reinterpret_cast<HWND>(selected.Handle()), LB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(SendMessageA(reinterpret_cast<HWND>(unselected.Handle()), CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(unselected.ItemIndex(), -1);
  EXPECT_EQ(redirected.Items().Get(2), "C") << "the lines of Properties, keyed by the component's name";
  EXPECT_EQ(SendMessageA(reinterpret_cast<HWND>(redirected.Handle()), CB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(TextOf(reinterpret_cast<HWND>(redirected.Handle())), "C");
  EXPECT_TRUE(grid.Visible());
  EXPECT_TRUE(IsWindowVisible(reinterpret_cast<HWND>(grid.Handle())));
  EXPECT_EQ(ColumnOf(reinterpret_cast<HWND>(grid.Handle()), 0), "Customer");
  EXPECT_EQ(ColumnOf(reinterpret_cast<HWND>(view.Handle()), 0), "Name");
}

TEST_F(Translation, TreeNodesInAbsoluteOrderAndListItemsWithSubItems) {
  TOrderForm& form = NewForm(kOrderTC);
  auto& tree = Place<TTreeView>(form, form, "Tree");
  TTreeNode& drinks = tree.Items().AddChild(nullptr, "drinks");
  tree.Items().AddChild(&drinks, "tea");
  tree.Items().AddChild(&drinks, "coffee");
  TTreeNode& snacks = tree.Items().AddChild(nullptr, "snacks");
  tree.Items().AddChild(&snacks, "cake");
  drinks.SetExpanded(true);
  auto& view = Place<TListView>(form, form, "Lines");
  for (const char* title : {"product", "qty"}) view.Columns().Add().SetCaption(title);
  TListItem& first = view.Items().Add();
  first.SetCaption(kRedTC);
  first.SubItems().Add("1");
  view.Items().Add().SetCaption(kGreenTC);
  (void)form.Handle();
  Catalogue({{TLanguageKind::lkChineseTradionary, true}});
  language.TranslateForms();
  EXPECT_EQ(Bytes(TLanguageKind::lkChineseTradionary, "TOrderForm"),
            Section("TOrderForm", {std::string("TOrderForm.Caption=") + kOrderTC, "Tree.Items[0]=drinks",
                                   "Tree.Items[1]=tea", "Tree.Items[2]=coffee", "Tree.Items[3]=snacks",
                                   "Tree.Items[4]=cake", "Lines.Columns[0]=product", "Lines.Columns[1]=qty",
                                   std::string("Lines.Items[0]=") + kRedTC, "Lines.Items[0].SubItems[0]=1",
                                   std::string("Lines.Items[1]=") + kGreenTC}));

  Put(TLanguageKind::lkEnglish, "TOrderForm",
      Section("TOrderForm", {"Tree.Items[0]=Drinks", "Tree.Items[2]=Coffee", "Tree.Items[4]=Cake",
                             "Lines.Items[0]=Red", "Lines.Items[0].SubItems[0]=one", "Lines.Items[1]=Green"}));
  language.SetLanguageKind(TLanguageKind::lkEnglish);
  const HWND treeWindow = reinterpret_cast<HWND>(tree.Handle());
  std::vector<std::string> shown;  // the window's items, each parent before its children
  for (auto item = reinterpret_cast<HTREEITEM>(SendMessageA(treeWindow, TVM_GETNEXTITEM, TVGN_ROOT, 0));
       item != nullptr; item = reinterpret_cast<HTREEITEM>(
                            SendMessageA(treeWindow, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
    shown.push_back(TreeItemText(treeWindow, item));
    for (auto child = reinterpret_cast<HTREEITEM>(
             SendMessageA(treeWindow, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
         child != nullptr; child = reinterpret_cast<HTREEITEM>(SendMessageA(treeWindow, TVM_GETNEXTITEM, TVGN_NEXT,
                                                                             reinterpret_cast<LPARAM>(child)))) {
      shown.push_back("  " + TreeItemText(treeWindow, child));
    }
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"Drinks", "  tea", "  Coffee", "snacks", "  Cake"}));
  const HWND viewWindow = reinterpret_cast<HWND>(view.Handle());
  EXPECT_EQ(CellOf(viewWindow, 0, 0), "Red");
  EXPECT_EQ(CellOf(viewWindow, 0, 1), "one");
  EXPECT_EQ(CellOf(viewWindow, 1, 0), "Green");
}

TEST_F(Translation, FormClassNameChoosesTheFormsThatAreTranslatedAndTold) {
  TOrderForm& order = NewForm(kOrderTC);
  auto& other = NewForm<TOtherForm>(kOrderTC);
  Put(TLanguageKind::lkChineseTradionary, "TOrderForm", Section("TOrderForm", {"TOrderForm.Caption=order"}));
  Put(TLanguageKind::lkChineseTradionary, "TOtherForm", Section("TOtherForm", {"TOtherForm.Caption=other"}));
  language.SetFormClassName("torderform");
  language.TranslateForms();
  language.SetFormClassName("TOrderForm");
  language.TranslateForms();
  Pump();
  EXPECT_EQ(order.Caption(), "order");
  EXPECT_EQ(order.received, std::vector<std::string>{"2024,0,0"});
  EXPECT_TRUE(order.HandleAllocated()) << "its window was made to be posted to";
  EXPECT_EQ(other.Caption(), kOrderTC);
  EXPECT_TRUE(other.received.empty());
  EXPECT_FALSE(other.HandleAllocated());
}

TEST_F(Translation, WithoutALanguageFolderOnlyTheNotificationsAreCalled) {
  TOrderForm& form = NewForm(kOrderTC);
  Catalogue({{TLanguageKind::lkChineseTradionary, true}});
  std::vector<std::string> calls;
  language.OnBeforeTranslate = [&](TUIMultiLanguage&) { calls.push_back("before"); };
  language.OnAfterTranslate = [&](TUIMultiLanguage&) { calls.push_back("after"); };
  language.SetLanguagePath("");
  language.TranslateForms();
  Pump();
  EXPECT_EQ(calls, (std::vector<std::string>{"before", "after"}));
  EXPECT_FALSE(form.HandleAllocated());
  EXPECT_TRUE(form.received.empty());
  EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

struct ConversionCase {
  TLanguageKind source;
  const char* text;
  TLanguageKind converted;
  const char* expected;
};

class Generation : public Translation, public ::testing::WithParamInterface<ConversionCase> {};

// Only the other Chinese script is converted (with the word table when
// WordConvert is set); English and custom files copy the source texts.
TEST_P(Generation, TheOtherChineseScriptIsConvertedTheRestCopied) {
  const ConversionCase& c = GetParam();
  TOrderForm& form = NewForm(c.text);
  Place<TLabel>(form, form, "Notice").SetCaption(c.text);
  (void)form.Handle();
  language.SetWordTablePath("<Bin>");
  language.SetWordConvert(true);
  Catalogue({{TLanguageKind::lkChineseSimplify, c.source == TLanguageKind::lkChineseSimplify},
             {TLanguageKind::lkChineseTradionary, c.source == TLanguageKind::lkChineseTradionary},
             {TLanguageKind::lkEnglish, false}, {TLanguageKind::lkCustom, false}});
  language.GenerateLanguageFiles(form);
  const auto file = [](const char* text) {
    return Section("TOrderForm", {std::string("TOrderForm.Caption=") + text, std::string("Notice=") + text});
  };
  EXPECT_EQ(Bytes(c.source, "TOrderForm"), file(c.text));
  EXPECT_EQ(Bytes(c.converted, "TOrderForm"), file(c.expected));
  EXPECT_EQ(Bytes(TLanguageKind::lkEnglish, "TOrderForm"), file(c.text));
  EXPECT_EQ(Bytes(TLanguageKind::lkCustom, "TOrderForm"), file(c.text));
}

INSTANTIATE_TEST_SUITE_P(BothScripts, Generation,
                         ::testing::Values(ConversionCase{TLanguageKind::lkChineseTradionary, kUpdateTC,
                                                          TLanguageKind::lkChineseSimplify, kUpdateSC},
                                           // 软件 → 軟件 by the characters, → 軟體 by the word table.
                                           ConversionCase{TLanguageKind::lkChineseSimplify, kUpdateSC,
                                                          TLanguageKind::lkChineseTradionary, kUpdateTC}),
                         [](const ::testing::TestParamInfo<ConversionCase>& param) {
                           return param.index == 0 ? std::string("TraditionalDefault") : std::string("SimplifiedDefault");
                         });

TEST_F(Translation, AFrameHasAFileOfItsOwn) {
  TOrderForm& form = NewForm(kOrderTC);
  auto& frame = Place<TAddressFrame>(form, form, "Address");
  auto& label = Place<TLabel>(frame, frame, "CityLabel");
  label.SetCaption(kCustomerTC);
  (void)form.Handle();
  Catalogue({{TLanguageKind::lkChineseTradionary, true}, {TLanguageKind::lkEnglish, false}});
  language.TranslateForms();
  EXPECT_EQ(Bytes(TLanguageKind::lkChineseTradionary, "TAddressFrame"),
            Section("TAddressFrame", {std::string("CityLabel=") + kCustomerTC}));
  EXPECT_EQ(Bytes(TLanguageKind::lkEnglish, "TOrderForm"),
            Section("TOrderForm", {std::string("TOrderForm.Caption=") + kOrderTC}));
  Put(TLanguageKind::lkEnglish, "TAddressFrame", Section("TAddressFrame", {"CityLabel=City"}));
  language.SetLanguageKind(TLanguageKind::lkEnglish);
  EXPECT_EQ(TextOf(reinterpret_cast<HWND>(label.Handle())), "City");
}

// ---- the show hook --------------------------------------------------------

using ShowHook = Translation;

class ShowCounter : public TComponent {
 public:
  using TComponent::TComponent;
  void FormShow(TObject&) { ++calls; }
  int calls = 0;
};

TEST_F(ShowHook, OnAndOffLeavesTheFormAsItWas) {
  TOrderForm& form = NewForm(kOrderTC);
  auto& hooked = TComponent::Create<TUIMultiLanguage>(form);
  hooked.SetHookOnShow(true);
  EXPECT_TRUE(form.OnShow());
  hooked.SetHookOnShow(false);
  EXPECT_FALSE(form.OnShow()) << "no handler before, none after";

  auto& counter = TComponent::Create<ShowCounter>(form);
  form.SetOnShow(TNotifyEvent::Of<&ShowCounter::FormShow>(counter));
  hooked.SetHookOnShow(true);
  hooked.SetHookOnShow(false);
  EXPECT_EQ(form.OnShow(), TNotifyEvent::Of<&ShowCounter::FormShow>(counter));
}

TEST_F(ShowHook, ShowingTakesTheCurrentLanguageThenCallsTheSavedHandler) {
  TOrderForm& form = NewForm(kOrderTC);
  auto& counter = TComponent::Create<ShowCounter>(form);
  form.SetOnShow(TNotifyEvent::Of<&ShowCounter::FormShow>(counter));
  auto& hooked = TComponent::Create<TUIMultiLanguage>(form);
  hooked.SetHookOnShow(true);
  Put(TLanguageKind::lkEnglish, "TOrderForm", Section("TOrderForm", {"TOrderForm.Caption=Order"}));
  CurrentLanguagePath() = folder;
  CurrentLanguageKind() = TLanguageKind::lkEnglish;
  form.Show();
  EXPECT_EQ(hooked.LanguagePath(), folder);
  EXPECT_EQ(hooked.LanguageKind(), TLanguageKind::lkEnglish);
  EXPECT_EQ(TextOf(reinterpret_cast<HWND>(form.Handle())), "Order");
  EXPECT_EQ(counter.calls, 1);
}

// The form never calls into a freed component: a component freed while its
// form lives takes its hook out first, handing the handler it saved to
// whoever called it (the form, or a hook installed after it), so the form's
// own handler keeps running.
TEST_F(ShowHook, AComponentFreedBeforeItsFormHandsItsSavedHandlerOn) {
  TOrderForm& form = NewForm(kOrderTC);
  auto& counter = TComponent::Create<ShowCounter>(form);
  const TNotifyEvent host = TNotifyEvent::Of<&ShowCounter::FormShow>(counter);
  form.SetOnShow(host);
  auto& hooked = TComponent::Create<TUIMultiLanguage>(form);
  hooked.SetHookOnShow(true);
  form.RemoveComponent(hooked).reset();
  EXPECT_EQ(form.OnShow(), host);
  form.Show();
  EXPECT_EQ(counter.calls, 1);

  form.Hide();
  auto first = form.RemoveComponent(TComponent::Create<TUIMultiLanguage>(form));
  static_cast<TUIMultiLanguage&>(*first).SetHookOnShow(true);  // not owned by the form any more: no hook
  EXPECT_EQ(form.OnShow(), host);
  auto& inner = TComponent::Create<TUIMultiLanguage>(form);
  inner.SetHookOnShow(true);
  auto& outer = TComponent::Create<TUIMultiLanguage>(form);
  outer.SetHookOnShow(true);  // saves inner's hook
  form.RemoveComponent(inner).reset();
  form.Show();  // outer calls the host's handler, not the freed inner hook
  EXPECT_EQ(counter.calls, 2);
  outer.SetHookOnShow(false);
  EXPECT_EQ(form.OnShow(), host);
}

}  // namespace
}  // namespace quorlane
