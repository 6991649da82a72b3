// The demo's order form, built on the library's toolkit the way a vendor's
// application is: designed in Traditional Chinese (Big5), translated through
// a TUIMultiLanguage placed on it, and converted between Big5 and GBK by a
// TWinPerTurn together with its dataset.
#pragma once

#include <string>

#include "framework/Classes.h"
#include "language/UIMultiLanguage.h"
#include "script/WinPerTurn.h"

namespace forms_demo {

using namespace quorlane;

/// The delivery-address part of the form: a frame with its own language file.
class TAddressFrame : public TFrame {
  QL_DECLARE_CLASS()
 public:
  explicit TAddressFrame(TComponent* owner);
};

class TOrderForm : public TForm {
  QL_DECLARE_CLASS()
 public:
  explicit TOrderForm(TComponent* owner);
  ~TOrderForm() override;

  [[nodiscard]] TUIMultiLanguage& Language() const noexcept { return *m_language; }
  /// Switches the language through the component (which translates every form).
  void ChooseLanguage(TLanguageKind kind);
  /// Converts the form's texts and fonts and the products' records.
  void Convert(TWinPerTurnType direction);

 protected:
  /// Message 2024 tells the form it was translated: the status line follows.
  void UserMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;

 private:
  void LanguageButtonClick(TObject& sender);
  void ToSimplifiedExecute(TObject&) { Convert(TWinPerTurnType::wttTCToSC); }
  void ToTraditionalExecute(TObject&) { Convert(TWinPerTurnType::wttSCToTC); }
  void ShowStatus();

  TUIMultiLanguage* m_language = nullptr;
  TDataSet* m_products = nullptr;
  TLabel* m_status = nullptr;
  TWinPerTurn m_converter;
  int m_translations = 0;
  std::string m_converted;
};

}  // namespace forms_demo
