// A form of a C++ host built on the library's UI toolkit, the way a vendor's
// application is: designed in Traditional Chinese (Big5), converted to
// Simplified Chinese (GBK) by TWinPerTurn, then translated into English from
// its language file Languages\eng\TCustomerForm.ini beside the program. After
// each step it prints what the form's windows show.
//
// Built with mingw-w64 g++ 12 (POSIX threads), like the toolkit's libraries:
//   i686-w64-mingw32-g++-posix -std=c++20 -I../../toolkit/include customer_form.cpp
//     -L../../toolkit/lib -lquorlane_script -lquorlane_language -lquorlane_framework
//     -lcomctl32 -lgdi32 -static -o customer_form.exe
// (x86_64-w64-mingw32-g++-posix and x64/hostkit/toolkit/ for 64-bit).
#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>

#include "framework/Classes.h"
#include "language/UIMultiLanguage.h"
#include "script/WinPerTurn.h"

namespace {

using namespace quorlane;

class TCustomerForm : public TForm {
  QL_DECLARE_CLASS()
 public:
  explicit TCustomerForm(TComponent* owner) : TForm(owner) {
    SetCaption("\xAB\xC8\xA4\xE1\xB8\xEA\xAE\xC6");  // 客戶資料, customer data
    SetBounds(100, 100, 320, 140);
    m_name = &Make<TLabel>("NameLabel", 12, 16, 200, 20);
    m_name->SetCaption("\xAB\xC8\xA4\xE1\xA6\x57\xBA\xD9");  // 客戶名稱, customer name
    m_save = &Make<TButton>("SaveButton", 12, 60, 100, 28);
    m_save->SetCaption("\xC0\x78\xA6\x73");  // 儲存, save
    // Its language files lie in Languages\ beside the program.
    m_language = &TComponent::Create<TUIMultiLanguage>(*this);
    m_language->SetAutoTranslate(false);
    m_language->SetLanguagePath("<Bin>Languages");
  }

  void TranslateInto(TLanguageKind kind) {
    m_language->SetLanguageKind(kind);
    m_language->TranslateComponent(*this);
  }

  /// What the windows show: the form's title, the label, the button.
  void Print(const char* step) {
    std::printf("%s:\n", step);
    for (TWinControl* control : {static_cast<TWinControl*>(this), static_cast<TWinControl*>(m_name),
                                 static_cast<TWinControl*>(m_save)}) {
      char text[256] = "";
      ::GetWindowTextA(reinterpret_cast<HWND>(control->Handle()), text, sizeof text);
      std::printf("  %-12s %s\n", control == this ? "(title)" : control->Name().c_str(), text);
    }
  }

 private:
  template <typename T>
  T& Make(const char* name, int left, int top, int width, int height) {
    T& control = TComponent::Create<T>(*this);
    control.SetName(name);
    control.SetParent(this);
    control.SetBounds(left, top, width, height);
    return control;
  }

  TLabel* m_name = nullptr;
  TButton* m_save = nullptr;
  TUIMultiLanguage* m_language = nullptr;
};

QL_DEFINE_CLASS(TCustomerForm, TForm, {})

}  // namespace

int main() {
  try {
    TCustomerForm form(nullptr);
    form.Print("designed in Big5");
    TWinPerTurn converter;
    converter.TurnComponent(form, TWinPerTurnType::wttTCToSC, true);
    form.Print("converted to GBK");
    form.TranslateInto(TLanguageKind::lkEnglish);
    form.Print("translated from Languages\\eng\\TCustomerForm.ini");
    return 0;
  } catch (const std::exception& error) {
    // The toolkit reports failures as exceptions with a (Big5) message.
    std::fprintf(stderr, "customer_form: %s\n", error.what());
    return 1;
  }
}
