#include "script/WinPerTurn.h"

#include <string_view>

#include "framework/Classes.h"
#include "language/UIMultiLanguage.h"
#include "language/language_platform.h"
#include "language/word_table.h"

namespace quorlane {
namespace {

constexpr TPropertyInfo kWinPerTurnProperties[] = {
    props::Text<TWinPerTurn, &TWinPerTurn::Version, &TWinPerTurn::SetVersion>("Version"),
    props::Text<TWinPerTurn, &TWinPerTurn::TC_Font, &TWinPerTurn::SetTC_Font>("TC_Font"),
    props::Text<TWinPerTurn, &TWinPerTurn::SC_Font, &TWinPerTurn::SetSC_Font>("SC_Font"),
    props::Event("OnTurnEvent"),
};

// ConvertText's targets.
constexpr int kToSimplified = 0;
constexpr int kToTraditional = 1;

// The property names, font names and blanks the form conversion knows.
constexpr char kCaption[] = "Caption";
constexpr char kText[] = "Text";
constexpr char kItems[] = "Items";
constexpr char kLines[] = "Lines";
constexpr char kFont[] = "Font";
constexpr char kBandFont[] = "BandFont";
constexpr char kHeaderFont[] = "HeaderFont";
constexpr char kPreviewFont[] = "PreviewFont";
constexpr char kBig5IdeographicSpace[] = "\xA1\x40";

/// The property test: the object publishes the property, and its value, read
/// generically with strings preferred, is not null. info is null when the
/// test fails; value is what the generic read gave.
struct TestedProperty {
  const TPropertyInfo* info = nullptr;
  TValue value;
};

TestedProperty TestProperty(const TObject& object, std::string_view name) {
  const TPropertyInfo* info = object.ClassType().FindProperty(name);
  if (info == nullptr) return {};
  TValue value = GetPropValue(object, *info, true);
  if (std::holds_alternative<std::monostate>(value)) return {};
  return {info, std::move(value)};
}

bool IsConvertedFieldType(TFieldType type) noexcept {
  return type == TFieldType::ftString || type == TFieldType::ftBlob || type == TFieldType::ftMemo;
}

bool IsBlank(std::string_view text) noexcept {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) > 0x20) return false;
  }
  return true;
}

}  // namespace

QL_DEFINE_CLASS(TWinPerTurn, TComponent, kWinPerTurnProperties)

TWinPerTurn::TWinPerTurn(TComponent* AOwner)
    : TComponent(AOwner), FTC_Font(kDefaultTCFont), FSC_Font(kDefaultSCFont) {}

TWinPerTurn::~TWinPerTurn() {
  // Components left by failed preparations go with the inherited destruction.
  if (FLanguage != nullptr) {
    RemoveComponent(*FLanguage).reset();
    FLanguage = nullptr;
  }
}

// The component is stored before it is set up, so one whose set-up fails
// stays owned by the converter (and is freed with it) while FReady stays
// false; the next call starts again with a new component. The error reaches
// the caller unchanged.
void TWinPerTurn::PrepareTurn() {
  if (FReady) return;
  FLanguage = &TComponent::Create<TUIMultiLanguage>(*this);
  FLanguage->SetAutoTranslate(false);
  // The host program's folder, not the library's: the word table belongs to
  // the application.
  FLanguage->SetWordTablePath(CurrentLanguagePlatform().ApplicationFolder());
  FReady = true;
}

void TWinPerTurn::TurnText(std::string AText, TWinPerTurnType TurnType, bool UsePhrase, std::string& AResult) {
  AResult.clear();
  // The trim only decides; the untrimmed text is what gets converted.
  if (IsBlank(AText)) return;
  PrepareTurn();
  if (TurnType != TWinPerTurnType::wttTCToSC && TurnType != TWinPerTurnType::wttSCToTC) {
    AResult = std::move(AText);
    return;
  }
  // A descendant whose PrepareTurn does not call this one leaves no component.
  if (FLanguage == nullptr) throw Exception("TWinPerTurn: no translation component prepared");
  AResult = FLanguage->ConvertText(AText, TurnType == TWinPerTurnType::wttTCToSC ? kToSimplified : kToTraditional,
                                   UsePhrase);
}

// ---- form conversion --------------------------------------------------------

void TWinPerTurn::TurnFont(TObject& AObject, const std::string& FontPropName, TWinPerTurnType TurnType) {
  const TestedProperty property = TestProperty(AObject, FontPropName);
  if (property.info == nullptr) return;
  // A font property that holds no font has nothing to switch.
  auto* const* held = std::get_if<TObject*>(&property.value);
  if (held == nullptr || *held == nullptr || !(*held)->Is<TFont>()) return;
  auto& font = static_cast<TFont&>(**held);
  const bool toSimplified = TurnType == TWinPerTurnType::wttTCToSC;
  const std::string& face = toSimplified ? FSC_Font : FTC_Font;
  // Face, then character set; a window gets the font once, with both.
  font.BeginUpdate();
  try {
    font.SetName(font.Name().find('@') != std::string::npos ? "@" + face : face);
    font.SetCharset(toSimplified ? kGB2312Charset : kChineseBig5Charset);
  } catch (...) {
    font.EndUpdate();
    throw;
  }
  font.EndUpdate();
}

void TWinPerTurn::TurnStrProp(TObject& AObject, const std::string& PropName, TWinPerTurnType TurnType,
                              bool UsePhrase) {
  TestedProperty property = TestProperty(AObject, PropName);
  if (property.info == nullptr) return;
  // Short, long and wide strings are all text properties; a read-only one
  // cannot take the result.
  if (property.info->kind != TPropertyKind::Text || property.info->set == nullptr) return;
  std::string converted;
  TurnText(std::move(std::get<std::string>(property.value)), TurnType, UsePhrase, converted);
  property.info->set(AObject, TValue(std::move(converted)));
}

void TWinPerTurn::TurnStringsProp(TObject& AObject, const std::string& PropName, TWinPerTurnType TurnType,
                                  bool UsePhrase) {
  const TestedProperty property = TestProperty(AObject, PropName);
  if (property.info == nullptr || property.info->kind != TPropertyKind::Object) return;
  if (&property.info->declaredClass() != &TStrings::StaticClass()) return;
  TObject* held = std::get<TObject*>(property.value);
  if (held == nullptr || !held->Is<TStrings>()) return;
  auto& lines = static_cast<TStrings&>(*held);
  const int count = lines.Count();
  for (int i = 0; i < count; ++i) {
    std::string converted;
    TurnText(lines.Get(i), TurnType, UsePhrase, converted);
    lines.Put(i, converted);
  }
}

void TWinPerTurn::TurnFontAndText(TObject& AObject, const std::string& PropName, const std::string& FontPropName,
                                  TWinPerTurnType TurnType, bool UsePhrase) {
  TurnFont(AObject, FontPropName, TurnType);
  TurnStrProp(AObject, PropName, TurnType, UsePhrase);
}

// The first class the component is or descends from decides; TRzDBLabel
// descends from TRzLabel, so it is asked first.
void TWinPerTurn::TurnComponent(TComponent& AComp, TWinPerTurnType TurnType, bool UsePhrase) {
  if (AComp.Is<TDBGrid>()) {
    TurnDBGrid(static_cast<TDBGrid&>(AComp), TurnType, UsePhrase);
  } else if (AComp.Is<TdxDBGrid>()) {
    TurnDxDBGrid(static_cast<TdxDBGrid&>(AComp), TurnType, UsePhrase);
  } else if (AComp.Is<TdxTreeList>()) {
    TurnDxTreeList(static_cast<TdxTreeList&>(AComp), TurnType, UsePhrase);
  } else if (AComp.Is<TRzComboBox>()) {
    TurnRzComboBox(static_cast<TRzComboBox&>(AComp), TurnType, UsePhrase);
  } else if (AComp.Is<TRzDBLabel>()) {
    TurnRzDBLabel(static_cast<TRzDBLabel&>(AComp), TurnType, UsePhrase);
  } else if (AComp.Is<TRzLabel>()) {
    TurnRzLabel(static_cast<TRzLabel&>(AComp), TurnType, UsePhrase);
  } else if (AComp.Is<TRzPanel>()) {
    TurnRzPanel(static_cast<TRzPanel&>(AComp), TurnType, UsePhrase);
  } else {
    TurnFontAndText(AComp, kCaption, kFont, TurnType, UsePhrase);
    TurnFontAndText(AComp, kText, kFont, TurnType, UsePhrase);
    TurnStringsProp(AComp, kItems, TurnType, UsePhrase);
    TurnStringsProp(AComp, kLines, TurnType, UsePhrase);
  }
  // Ownership, not parenthood: a form owns everything placed on it.
  const int count = AComp.ComponentCount();
  for (int i = 0; i < count; ++i) {
    TComponent& owned = AComp.Components(i);
    bool Handled = false;
    if (FOnTurnEvent) FOnTurnEvent(*this, owned, Handled, TurnType, UsePhrase);
    if (!Handled) TurnComponent(owned, TurnType, UsePhrase);
  }
}

void TWinPerTurn::TurnDataSet(TDataSet& ADataSet, TWinPerTurnType TurnType, bool UsePhrase) {
  const bool controlsWereDisabled = ADataSet.ControlsDisabled();
  if (!controlsWereDisabled) ADataSet.DisableControls();
  try {
    // A dataset closed on entry stays open.
    if (!ADataSet.Active()) ADataSet.Open();
    ADataSet.First();
    while (!ADataSet.Eof()) {
      ADataSet.Edit();
      const int fields = ADataSet.FieldCount();
      for (int i = 0; i < fields; ++i) {
        TField& field = ADataSet.Fields(i);
        if (!IsConvertedFieldType(field.DataType())) continue;
        const std::string text = field.AsString();
        if (text.empty()) continue;
        std::string converted;
        TurnText(text, TurnType, UsePhrase, converted);
        field.SetAsString(converted);
      }
      ADataSet.Post();
      ADataSet.Next();
    }
  } catch (...) {
    // The error that stopped the loop is the one the caller hears.
    if (!controlsWereDisabled) {
      try {
        ADataSet.EnableControls();
      } catch (...) {
      }
    }
    throw;
  }
  if (!controlsWereDisabled) ADataSet.EnableControls();
}

void TWinPerTurn::TurnDBGrid(TDBGrid& AGrid, TWinPerTurnType TurnType, bool UsePhrase) {
  TurnFont(AGrid, kFont, TurnType);
  TurnFontAndText(AGrid, kCaption, kFont, TurnType, UsePhrase);
  TDBGridColumns& columns = AGrid.Columns();
  const int count = columns.Count();
  for (int i = 0; i < count; ++i) TurnFontAndText(columns.Items(i).Title(), kCaption, kFont, TurnType, UsePhrase);
}

void TWinPerTurn::TurnBandGrid(TCustomdxTreeList& AGrid, TWinPerTurnType TurnType, bool UsePhrase) {
  TurnFontAndText(AGrid, kCaption, kFont, TurnType, UsePhrase);
  TurnFont(AGrid, kBandFont, TurnType);
  TurnFont(AGrid, kHeaderFont, TurnType);
  TurnFont(AGrid, kPreviewFont, TurnType);
  // Bands publish no font: only their captions change.
  TdxTreeListBands& bands = AGrid.Bands();
  const int count = bands.Count();
  for (int i = 0; i < count; ++i) TurnFontAndText(bands.Items(i), kCaption, kFont, TurnType, UsePhrase);
}

void TWinPerTurn::TurnDxDBGrid(TdxDBGrid& AGrid, TWinPerTurnType TurnType, bool UsePhrase) {
  TurnBandGrid(AGrid, TurnType, UsePhrase);
  TdxDBGridColumns& columns = AGrid.Columns();
  const int count = columns.Count();
  for (int i = 0; i < count; ++i) {
    TdxDBGridColumn& column = columns.Items(i);
    std::string converted;
    TurnText(column.SummaryFooterFormat(), TurnType, UsePhrase, converted);
    column.SetSummaryFooterFormat(converted);
  }
}

void TWinPerTurn::TurnDxTreeList(TdxTreeList& ATreeList, TWinPerTurnType TurnType, bool UsePhrase) {
  TurnBandGrid(ATreeList, TurnType, UsePhrase);
}

void TWinPerTurn::TurnRzComboBox(TRzComboBox& AComboBox, TWinPerTurnType TurnType, bool UsePhrase) {
  TurnFontAndText(AComboBox, kCaption, kFont, TurnType, UsePhrase);
  TurnFontAndText(AComboBox, kText, kFont, TurnType, UsePhrase);
  // Replacing the selected line drops the selection; it is put back.
  const int selected = AComboBox.ItemIndex();
  TurnStringsProp(AComboBox, kItems, TurnType, UsePhrase);
  AComboBox.SetItemIndex(selected);
}

// Its text comes from its data: only the font is switched.
void TWinPerTurn::TurnRzDBLabel(TRzDBLabel& ALabel, TWinPerTurnType TurnType, bool) {
  TurnFont(ALabel, kFont, TurnType);
}

void TWinPerTurn::TurnRzLabel(TRzLabel& ALabel, TWinPerTurnType TurnType, bool UsePhrase) {
  TurnBlankFreeCaption(ALabel, TurnType, UsePhrase);
}

void TWinPerTurn::TurnRzPanel(TRzPanel& APanel, TWinPerTurnType TurnType, bool UsePhrase) {
  TurnBlankFreeCaption(APanel, TurnType, UsePhrase);
}

// Blanks go in every direction, also one that converts nothing. Matches are
// found as the process's ANSI code page reads the text, so the A1 40 pair is
// passed over where it begins on the second byte of a character.
void TWinPerTurn::TurnBlankFreeCaption(TControl& AControl, TWinPerTurnType TurnType, bool UsePhrase) {
  const LeadByteTable& leadBytes = CurrentLanguagePlatform().AnsiLeadBytes();
  std::string text = ReplaceAllMultiByte(AControl.Text(), " ", "", leadBytes);
  text = ReplaceAllMultiByte(text, kBig5IdeographicSpace, "", leadBytes);
  AControl.SetText(text);
  TurnFontAndText(AControl, kCaption, kFont, TurnType, UsePhrase);
}

}  // namespace quorlane
