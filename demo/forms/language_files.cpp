#include "language_files.h"

#include <windows.h>

#include <string>

#include "language/language_platform.h"

namespace forms_demo {
namespace {

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
    {"TOrderForm", "CustomerEdit.Hint", "The customer's name or ID"},
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

// Through the library's own writer, as a translator's tool would: the
// profile functions would pass the other languages' files through the
// system's code page (Big5 bytes that GBK lacks come back as "?" on a
// Simplified system).
template <std::size_t N>
void Write(const std::string& folder, TLanguageKind kind, const Entry (&entries)[N]) {
  for (const Entry& entry : entries) {
    CurrentLanguagePlatform()
        .OpenLanguageFile(folder + entry.section + ".ini", entry.section, LanguageFileLeadBytes(kind),
                          LanguageFileAccess::Write)
        ->Write(entry.key, entry.value);
  }
}

}  // namespace

void WriteFirstLanguageFiles(TOrderForm& form) {
  TUIMultiLanguage& language = form.Language();
  const std::string folder = language.LanguageFolder();
  const std::string english = folder + KindFolders[static_cast<int>(TLanguageKind::lkEnglish)];
  if (GetFileAttributesA((english + "TOrderForm.ini").c_str()) != INVALID_FILE_ATTRIBUTES) return;
  language.TranslateForms();
  for (const TLanguageKind kind :
       {TLanguageKind::lkChineseSimplify, TLanguageKind::lkChineseTradionary, TLanguageKind::lkEnglish}) {
    const std::string kindFolder = folder + KindFolders[static_cast<int>(kind)];
    if (GetFileAttributesA(kindFolder.c_str()) != INVALID_FILE_ATTRIBUTES) Write(kindFolder, kind, kBareKeys);
  }
  Write(english, TLanguageKind::lkEnglish, kEnglish);
}

}  // namespace forms_demo
