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
#include <stdexcept>
#include <string>

#include "order_form.h"

namespace {

using namespace forms_demo;

struct Entry {
  const char* section;
  const char* key;
  const char* value;
};

// A labeled edit or a check box has no caption of its own, so generation
// writes its ".EditLabel" / ".Properties" key but no key of its bare name,
// and without that key the label's key is never read (and is written again
// by every generation). A translator adds the bare keys to every file.
constexpr Entry kBareKeys[] = {
    {"TOrderForm", "CustomerEdit", ""},  {"TOrderForm", "PhoneEdit", ""},   {"TOrderForm", "UrgentCheck", ""},
    {"TAddressFrame", "AddressEdit", ""}, {"TAddressFrame", "CityEdit", ""},
};

// What a translator writes into the generated English files.
constexpr Entry kEnglish[] = {
    {"TOrderForm", "TOrderForm.Caption", "Order - Quorlane forms demo"},
    {"TOrderForm", "TraditionalButton", "Traditional"},
    {"TOrderForm", "SimplifiedButton", "Simplified"},
    {"TOrderForm", "ToSimplifiedAction", "To Simplified (GBK)"},
    {"TOrderForm", "ToSimplifiedAction.Hint", "Converts the form and its data to GBK with TWinPerTurn"},
    {"TOrderForm", "ToTraditionalAction", "To Traditional (Big5)"},
    {"TOrderForm", "ToTraditionalAction.Hint", "Converts the form and its data to Big5 with TWinPerTurn"},
    {"TOrderForm", "CustomerEdit.EditLabel", "Customer"},
    {"TOrderForm", "CustomerEdit.Hint", "The customer's name"},
    {"TOrderForm", "PhoneEdit.EditLabel", "Phone"},
    {"TOrderForm", "PaymentLabel", "Payment"},
    {"TOrderForm", "PaymentCombo.Items[0]", "Cash"},
    {"TOrderForm", "PaymentCombo.Items[1]", "Credit card"},
    {"TOrderForm", "PaymentCombo.Items[2]", "Bank transfer"},
    {"TOrderForm", "UrgentCheck.Properties", "Urgent"},
    {"TOrderForm", "UrgentCheck.Hint", "Delivered the same day"},
    {"TOrderForm", "DeliveryLabel", "Delivery time"},
    {"TOrderForm", "DeliveryList.Items[0]", "Morning"},
    {"TOrderForm", "DeliveryList.Items[1]", "Afternoon"},
    {"TOrderForm", "DeliveryList.Items[2]", "Evening"},
    {"TOrderForm", "CategoryLabel", "Categories"},
    {"TOrderForm", "CategoryTree.Hint", "Browse the products by category"},
    {"TOrderForm", "CategoryTree.Items[0]", "Drinks"},
    {"TOrderForm", "CategoryTree.Items[1]", "Tea"},
    {"TOrderForm", "CategoryTree.Items[2]", "Oolong tea"},
    {"TOrderForm", "CategoryTree.Items[3]", "Tieguanyin"},
    {"TOrderForm", "CategoryTree.Items[4]", "Coffee"},
    {"TOrderForm", "CategoryTree.Items[5]", "Coffee beans"},
    {"TOrderForm", "CategoryTree.Items[6]", "Latte"},
    {"TOrderForm", "CategoryTree.Items[7]", "Snacks"},
    {"TOrderForm", "CategoryTree.Items[8]", "Pineapple cake"},
    {"TOrderForm", "CategoryTree.Items[9]", "Egg yolk pastry"},
    {"TOrderForm", "LinesLabel", "Order lines"},
    {"TOrderForm", "OrderLines.Columns[0]", "Product"},
    {"TOrderForm", "OrderLines.Columns[1]", "Qty"},
    {"TOrderForm", "OrderLines.Columns[2]", "Amount"},
    {"TOrderForm", "OrderLines.Items[0]", "Oolong tea"},
    {"TOrderForm", "OrderLines.Items[1]", "Pineapple cake"},
    {"TOrderForm", "OrderLines.Items[2]", "Latte"},
    {"TOrderForm", "ProductsLabel", "Products"},
    {"TOrderForm", "ProductGrid.Hint", "The products of a dataset; TWinPerTurn converts them"},
    {"TOrderForm", "ProductGrid.Columns[0]", "Product name"},
    {"TOrderForm", "ProductGrid.Columns[1]", "Category"},
    {"TOrderForm", "ProductGrid.Columns[2]", "Unit price"},
    {"TOrderForm", "NoticeLabel", "This software comes from Sorvik Information"},
    {"TAddressFrame", "FrameTitle", "Delivery address"},
    {"TAddressFrame", "AddressEdit.EditLabel", "Address"},
    {"TAddressFrame", "CityEdit.EditLabel", "City"},
};

template <std::size_t N>
void Write(const std::string& folder, const Entry (&entries)[N]) {
  for (const Entry& entry : entries) {
    const std::string file = folder + entry.section + ".ini";
    if (!WritePrivateProfileStringA(entry.section, entry.key, entry.value, file.c_str())) {
      throw std::runtime_error("Unable to write to " + file);
    }
  }
}

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
    TUIMultiLanguage& language = form.Language();
    const std::string folder = language.LanguageFolder();
    const std::string english = folder + KindFolders[2];
    if (GetFileAttributesA((english + "TOrderForm.ini").c_str()) == INVALID_FILE_ATTRIBUTES) {
      // No file of the current language (Traditional) yet: this pass writes
      // every language's files and leaves the form as it is.
      language.TranslateForms();
      for (const char* kind : KindFolders) {
        if (GetFileAttributesA((folder + kind).c_str()) != INVALID_FILE_ATTRIBUTES) Write(folder + kind, kBareKeys);
      }
      Write(english, kEnglish);
    }
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
