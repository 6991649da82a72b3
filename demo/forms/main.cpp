// quorlane-forms-demo: an order form on the library's toolkit, translated
// between Traditional Chinese, Simplified Chinese and English from language
// files, and converted between Big5 and GBK with its data.
//
//   quorlane-forms-demo [--language cht|chs|eng] [--exit-after MILLISECONDS]
//                       [--ready-file PATH]
//
// --ready-file names a file that is created once the form is on the screen
// and every message its showing caused has been handled (for screenshots).
// On its first run it writes the language files into Languages\ beside
// itself (from the form as designed, in Traditional Chinese), then fills in
// the English file from its own table, as a translator would. Without
// --language it starts in the language of the system's ANSI code page.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "language_files.h"
#include "order_form.h"

namespace {

using namespace forms_demo;

TLanguageKind SystemLanguage() {
  switch (GetACP()) {
    case 950: return TLanguageKind::lkChineseTradionary;
    case 936: return TLanguageKind::lkChineseSimplify;
    default: return TLanguageKind::lkEnglish;
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  TLanguageKind start = SystemLanguage();
  UINT exitAfter = 0;
  std::string readyFile;
  for (int i = 1; i + 1 < __argc; i += 2) {
    const std::string option = __argv[i];
    const std::string value = __argv[i + 1];
    if (option == "--language") {
      start = value == "chs" ? TLanguageKind::lkChineseSimplify
              : value == "eng" ? TLanguageKind::lkEnglish
                               : TLanguageKind::lkChineseTradionary;
    } else if (option == "--exit-after") {
      exitAfter = static_cast<UINT>(std::strtoul(value.c_str(), nullptr, 10));
    } else if (option == "--ready-file") {
      readyFile = value;
    }
  }
  try {
    TOrderForm form(nullptr);
    WriteFirstLanguageFiles(form);
    // A form designed in Big5 is converted to GBK on a Simplified system,
    // where Big5 bytes would not show; its Simplified file then applies.
    if (GetACP() == 936) form.Convert(TWinPerTurnType::wttTCToSC);
    // The show hook takes the process-wide language when the form appears.
    CurrentLanguageKind() = start;
    form.Show();
    if (exitAfter > 0) SetTimer(nullptr, 0, exitAfter, nullptr);
    MSG message;
    if (!readyFile.empty()) {
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
      CloseHandle(CreateFileA(readyFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    while (form.Visible() && GetMessageA(&message, nullptr, 0, 0) > 0) {
      if (message.message == WM_TIMER && message.hwnd == nullptr) break;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    return 0;
  } catch (const std::exception& error) {
    MessageBoxA(nullptr, error.what(), "quorlane-forms-demo", MB_ICONERROR | MB_OK);
    return 1;
  }
}
