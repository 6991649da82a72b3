// TWinPerTurn: the converter between Traditional (Big5) and Simplified (GBK)
// Chinese. The library keeps one, created by SetInitial without an owner;
// hosts may create more with an owner, which then frees them.
//
// Every string goes through ConvertText of a TUIMultiLanguage that the
// converter creates, owns and sets up on its first non-blank text. The
// operations are virtual and call one another only through their slots, so a
// descendant that overrides one changes every path that uses it.
//
// Threading: none; one thread at a time, like the component model.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "framework/components.h"

namespace quorlane {

class TUIMultiLanguage;
// What the form conversion works on (framework/Classes.h).
class TControl;
class TCustomdxTreeList;
class TDataSet;
class TDBGrid;
class TdxDBGrid;
class TdxTreeList;
class TRzComboBox;
class TRzDBLabel;
class TRzLabel;
class TRzPanel;

/// Direction of a conversion, one byte. Every other value is accepted too:
/// TurnText then leaves texts unchanged.
enum class TWinPerTurnType : std::uint8_t { wttTCToSC = 0, wttSCToTC = 1 };

/// Raised by the component walk for each owned component before it is
/// converted; setting Handled skips that component and all it owns.
using TOnTurnEvent = std::function<void(TObject& Sender, TComponent& AComp, bool& Handled, TWinPerTurnType TurnType,
                                        bool UsePhrase)>;

class TWinPerTurn : public TComponent {
  QL_DECLARE_CLASS()
 public:
  /// What Version always reads.
  static constexpr char kVersion[] = "2009/12/28 PM 5:00";
  /// 細明體 in Big5 and 新宋体 in GBK, as bytes so the source's code page never matters.
  static constexpr char kDefaultTCFont[] = "\xB2\xD3\xA9\xFA\xC5\xE9";
  static constexpr char kDefaultSCFont[] = "\xD0\xC2\xCB\xCE\xCC\xE5";

  /// Unprepared, with the default face names; creates no translation component.
  explicit TWinPerTurn(TComponent* AOwner = nullptr);
  /// Frees the translation component first, then whatever else it owns.
  ~TWinPerTurn() override;

  // ---- the fifteen slots, in this order ------------------------------------

  /// Creates the translation component on the first call that needs it;
  /// see WinPerTurn.cpp for what a failure leaves behind.
  virtual void PrepareTurn();
  /// Converts one string: empty and blank texts give the empty text, a
  /// direction other than the two gives the text unchanged. The text is taken
  /// by value so AResult may be the caller's input variable.
  virtual void TurnText(std::string AText, TWinPerTurnType TurnType, bool UsePhrase, std::string& AResult);
  // The form conversion. Properties are found by name through the classes'
  // published tables each time; what an object lacks is skipped.

  /// Gives the font held by the named property the target script's face
  /// (SC_Font for direction 0, TC_Font for any other) and character set,
  /// keeping a vertical font ("@") vertical.
  virtual void TurnFont(TObject& AObject, const std::string& FontPropName, TWinPerTurnType TurnType);
  /// Converts a text property and writes it back, also when unchanged.
  virtual void TurnStrProp(TObject& AObject, const std::string& PropName, TWinPerTurnType TurnType, bool UsePhrase);
  /// Converts every line of a property declared exactly as TStrings, in
  /// place, with no update bracket.
  virtual void TurnStringsProp(TObject& AObject, const std::string& PropName, TWinPerTurnType TurnType,
                               bool UsePhrase);
  /// TurnFont, then TurnStrProp.
  virtual void TurnFontAndText(TObject& AObject, const std::string& PropName, const std::string& FontPropName,
                               TWinPerTurnType TurnType, bool UsePhrase);
  /// Converts a component by its class, then every component it owns,
  /// asking OnTurnEvent first for each owned one (never for AComp itself).
  virtual void TurnComponent(TComponent& AComp, TWinPerTurnType TurnType, bool UsePhrase);
  /// Converts the text fields of every record, each record edited and posted.
  virtual void TurnDataSet(TDataSet& ADataSet, TWinPerTurnType TurnType, bool UsePhrase);
  // The class handlers of TurnComponent.
  virtual void TurnDBGrid(TDBGrid& AGrid, TWinPerTurnType TurnType, bool UsePhrase);
  virtual void TurnDxDBGrid(TdxDBGrid& AGrid, TWinPerTurnType TurnType, bool UsePhrase);
  virtual void TurnDxTreeList(TdxTreeList& ATreeList, TWinPerTurnType TurnType, bool UsePhrase);
  virtual void TurnRzComboBox(TRzComboBox& AComboBox, TWinPerTurnType TurnType, bool UsePhrase);
  virtual void TurnRzDBLabel(TRzDBLabel& ALabel, TWinPerTurnType TurnType, bool UsePhrase);
  virtual void TurnRzLabel(TRzLabel& ALabel, TWinPerTurnType TurnType, bool UsePhrase);
  virtual void TurnRzPanel(TRzPanel& APanel, TWinPerTurnType TurnType, bool UsePhrase);

  // ---- published: Version, TC_Font, SC_Font, OnTurnEvent ------------------

  [[nodiscard]] std::string Version() const { return kVersion; }
  /// Accepted and ignored.
  void SetVersion(const std::string& /*value*/) noexcept {}
  [[nodiscard]] const std::string& TC_Font() const noexcept { return FTC_Font; }
  void SetTC_Font(const std::string& value) { FTC_Font = value; }
  [[nodiscard]] const std::string& SC_Font() const noexcept { return FSC_Font; }
  void SetSC_Font(const std::string& value) { FSC_Font = value; }
  [[nodiscard]] const TOnTurnEvent& OnTurnEvent() const noexcept { return FOnTurnEvent; }
  void SetOnTurnEvent(TOnTurnEvent handler) { FOnTurnEvent = std::move(handler); }

  /// True once PrepareTurn has succeeded; stays true until destruction.
  [[nodiscard]] bool Ready() const noexcept { return FReady; }
  /// The latest translation component created (also after a failed
  /// preparation); owned by this converter. Null before the first.
  [[nodiscard]] TUIMultiLanguage* Language() const noexcept { return FLanguage; }

 private:
  void TurnBandGrid(TCustomdxTreeList& AGrid, TWinPerTurnType TurnType, bool UsePhrase);
  void TurnBlankFreeCaption(TControl& AControl, TWinPerTurnType TurnType, bool UsePhrase);

  TOnTurnEvent FOnTurnEvent;
  bool FReady = false;
  TUIMultiLanguage* FLanguage = nullptr;
  std::string FTC_Font;
  std::string FSC_Font;
};

}  // namespace quorlane
