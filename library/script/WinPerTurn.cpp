#include "script/WinPerTurn.h"

#include <string_view>

#include "language/UIMultiLanguage.h"
#include "language/language_platform.h"

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

void TWinPerTurn::TurnFont(TObject&, const std::string&, TWinPerTurnType) {}
void TWinPerTurn::TurnStrProp(TObject&, const std::string&, TWinPerTurnType, bool) {}
void TWinPerTurn::TurnStringsProp(TObject&, const std::string&, TWinPerTurnType, bool) {}
void TWinPerTurn::TurnFontAndText(TObject&, const std::string&, const std::string&, TWinPerTurnType, bool) {}
void TWinPerTurn::TurnComponent(TComponent&, TWinPerTurnType, bool) {}
void TWinPerTurn::TurnDataSet(TDataSet&, TWinPerTurnType, bool) {}
void TWinPerTurn::TurnDBGrid(TDBGrid&, TWinPerTurnType, bool) {}
void TWinPerTurn::TurnDxDBGrid(TdxDBGrid&, TWinPerTurnType, bool) {}
void TWinPerTurn::TurnDxTreeList(TdxTreeList&, TWinPerTurnType, bool) {}
void TWinPerTurn::TurnRzComboBox(TRzComboBox&, TWinPerTurnType, bool) {}
void TWinPerTurn::TurnRzDBLabel(TRzDBLabel&, TWinPerTurnType, bool) {}
void TWinPerTurn::TurnRzLabel(TRzLabel&, TWinPerTurnType, bool) {}
void TWinPerTurn::TurnRzPanel(TRzPanel&, TWinPerTurnType, bool) {}

}  // namespace quorlane
