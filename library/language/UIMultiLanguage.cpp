#include "language/UIMultiLanguage.h"

#include "language/language_platform.h"
#include "language/word_table.h"

namespace quorlane {
namespace {

constexpr const char* kKindNames[] = {"lkChineseSimplify", "lkChineseTradionary", "lkEnglish", "lkCustom"};

constexpr TPropertyInfo kLanguageItemProperties[] = {
    props::Text<TLanguageItem, &TLanguageItem::Name, &TLanguageItem::SetName>("Name"),
    props::Enumeration<TLanguageItem, TLanguageKind, &TLanguageItem::Kind, &TLanguageItem::SetKind>("Kind", kKindNames),
    props::Boolean<TLanguageItem, &TLanguageItem::IsDefault, &TLanguageItem::SetIsDefault>("IsDefault"),
};

// The stored properties, in the order a stored form holds them.
constexpr TPropertyInfo kMultiLanguageProperties[] = {
    props::Enumeration<TUIMultiLanguage, TLanguageKind, &TUIMultiLanguage::LanguageKind,
                       &TUIMultiLanguage::SetLanguageKind>("LanguageKind", kKindNames),
    props::Text<TUIMultiLanguage, &TUIMultiLanguage::LanguagePath, &TUIMultiLanguage::SetLanguagePath>("LanguagePath"),
    props::Text<TUIMultiLanguage, &TUIMultiLanguage::WordTablePath, &TUIMultiLanguage::SetWordTablePath>(
        "WordTablePath"),
    props::Text<TUIMultiLanguage, &TUIMultiLanguage::FormClassName, &TUIMultiLanguage::SetFormClassName>(
        "FormClassName"),
    props::Boolean<TUIMultiLanguage, &TUIMultiLanguage::AutoTranslate, &TUIMultiLanguage::SetAutoTranslate>(
        "AutoTranslate"),
    props::Boolean<TUIMultiLanguage, &TUIMultiLanguage::HookOnShow, &TUIMultiLanguage::SetHookOnShow>("HookOnShow"),
    props::Boolean<TUIMultiLanguage, &TUIMultiLanguage::WordConvert, &TUIMultiLanguage::SetWordConvert>("WordConvert"),
    props::Object<TUIMultiLanguage, TLanguages, &TUIMultiLanguage::Languages, &TUIMultiLanguage::SetLanguages>(
        "Languages"),
    props::Object<TUIMultiLanguage, TStrings, &TUIMultiLanguage::TranslatedForms,
                  &TUIMultiLanguage::SetTranslatedForms>("TranslatedForms"),
};

std::unique_ptr<TCollectionItem> MakeLanguageItem(TCollection& collection) {
  return std::make_unique<TLanguageItem>(collection);
}

bool IsBlank(char c) noexcept { return static_cast<unsigned char>(c) <= 0x20; }

std::string_view Trim(std::string_view s) noexcept {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string result(s);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

// A Big5 or GBK character may end in byte 0x5C; only a real "\" character
// counts as the path delimiter.
bool EndsWithDelimiter(std::string_view path, const LeadByteTable& leadBytes) noexcept {
  std::size_t i = 0, last = std::string_view::npos;
  while (i < path.size()) {
    last = i;
    i += (leadBytes[static_cast<unsigned char>(path[i])] && i + 1 < path.size()) ? 2 : 1;
  }
  return last != std::string_view::npos && last == path.size() - 1 && path[last] == '\\';
}

}  // namespace

// ---- TLanguageItem --------------------------------------------------------

QL_DEFINE_CLASS(TLanguageItem, TCollectionItem, kLanguageItemProperties)

bool TLanguageItem::AnyOther(const std::function<bool(const TLanguageItem&)>& test) const {
  const TCollection& items = Collection();
  for (int i = 0; i < items.Count(); ++i) {
    const auto& other = static_cast<const TLanguageItem&>(items.Items(i));
    if (&other != this && test(other)) return true;
  }
  return false;
}

void TLanguageItem::Changed() {
  if (OnChanged) OnChanged(*this);
}

void TLanguageItem::SetName(const std::string& name) {
  if (name == m_name) return;
  if (AnyOther([&](const TLanguageItem& other) { return other.m_name == name; })) {
    throw Exception(FormatMessageText(messages::kLanguageNameExists, name));
  }
  m_name = name;
  Changed();
}

void TLanguageItem::SetKind(TLanguageKind kind) {
  if (kind == m_kind) return;
  if (AnyOther([&](const TLanguageItem& other) { return other.m_kind == kind; })) {
    throw Exception(messages::kLanguageKindExists);
  }
  m_kind = kind;
  Changed();
}

void TLanguageItem::SetIsDefault(bool isDefault) {
  if (isDefault == m_isDefault) return;
  if (isDefault && AnyOther([](const TLanguageItem& other) { return other.m_isDefault; })) {
    throw Exception(FormatMessageText(messages::kDefaultLanguageExists, m_name));
  }
  m_isDefault = isDefault;
  Changed();
}

// ---- TLanguages -----------------------------------------------------------

QL_DEFINE_CLASS(TLanguages, TOwnedCollection, {})

TLanguages::TLanguages(TUIMultiLanguage& owner)
    : TOwnedCollection(owner, TLanguageItem::StaticClass(), &MakeLanguageItem) {}

std::optional<TLanguageKind> TLanguages::DefaultKind() const {
  for (int i = 0; i < Count(); ++i) {
    if (Items(i).IsDefault()) return Items(i).Kind();
  }
  return std::nullopt;
}

void TLanguages::Assign(const TPersistent& source) {
  if (!source.Is<TLanguages>()) return TPersistent::Assign(source);
  const auto& from = static_cast<const TLanguages&>(source);
  if (&from == this) return;
  Clear();
  for (int i = 0; i < from.Count(); ++i) {
    const TLanguageItem& original = from.Items(i);
    TLanguageItem& copy = Add();
    copy.SetName(original.Name());
    copy.SetKind(original.Kind());
    copy.SetIsDefault(original.IsDefault());
  }
}

// ---- TUIMultiLanguage -----------------------------------------------------

QL_DEFINE_CLASS(TUIMultiLanguage, TComponent, kMultiLanguageProperties)

std::string& CurrentLanguagePath() {
  static std::string value = "<Bin>Languages";
  return value;
}

TLanguageKind& CurrentLanguageKind() {
  static TLanguageKind value = TLanguageKind::lkChineseSimplify;
  return value;
}

TUIMultiLanguage::TUIMultiLanguage(TComponent* owner) : TComponent(owner) {
  // AutoTranslate and LanguageKind hold their initial values without their
  // setters, so nothing is translated and CurrentLanguageKind stays.
  SetLanguagePath("<Bin>Languages\\");
  m_languages = std::make_unique<TLanguages>(*this);
  m_translatedForms = std::make_unique<TStringList>();
}

// The form must never call into a component that is gone: the hook is
// taken out of the form's show handlers (Unhook). The form may be gone
// already (it frees the components it owns last); a form still exists
// while the screen lists it.
TUIMultiLanguage::~TUIMultiLanguage() {
  if (m_hookedForm == nullptr) return;
  const TScreen& screen = Screen();
  for (int i = 0; i < screen.FormCount(); ++i) {
    if (&screen.Forms(i) != m_hookedForm) continue;
    if (!m_hookedForm->IsDestroying()) Unhook(*m_hookedForm);
    break;
  }
}

void TUIMultiLanguage::SetLanguageKind(TLanguageKind kind) {
  if (kind == m_languageKind) return;
  m_languageKind = kind;
  CurrentLanguageKind() = kind;
  if (m_autoTranslate) TranslateForms();
}

void TUIMultiLanguage::SetLanguagePath(const std::string& path) {
  if (path == m_languagePath) return;
  std::string stored = path;
  if (!stored.empty() && !EndsWithDelimiter(stored, CurrentLanguagePlatform().AnsiLeadBytes())) stored += '\\';
  // Resolve first: a failing macro leaves the component as it was.
  std::string folder = ResolvePath(stored);
  m_languagePath = std::move(stored);
  m_languageFolder = std::move(folder);
  CurrentLanguagePath() = path;
}


void TUIMultiLanguage::SetLanguages(const TLanguages* source) {
  if (source == nullptr) {
    m_languages->Clear();
  } else {
    m_languages->Assign(*source);
  }
}

void TUIMultiLanguage::SetTranslatedForms(const TStrings* source) {
  if (source == nullptr) {
    m_translatedForms->Clear();
  } else {
    m_translatedForms->Assign(*source);
  }
}

std::string TUIMultiLanguage::ResolvePath(const std::string& path) const {
  if (Trim(path).empty()) return {};
  const LanguagePlatform& platform = CurrentLanguagePlatform();
  const std::size_t close = path.find('>');
  if (path.front() == '<' || close != std::string::npos) {
    if (path.front() != '<' || close == std::string::npos) throw Exception(messages::kInvalidParameter);
    const std::string macro = Lower(std::string_view(path).substr(1, close - 1));
    std::string folder;
    if (macro == "windows" || macro == "window") {
      folder = platform.WindowsDirectory() + "\\";
    } else if (macro == "bin" || macro == "program") {
      folder = platform.ApplicationFolder();
    } else {
      throw Exception(messages::kInvalidParameter);
    }
    std::string_view rest = std::string_view(path).substr(close + 1);
    if (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
    return folder.append(rest);
  }
  if (path.find('.') == std::string::npos) return path;
  return platform.ExpandFileName(path);
}

void TUIMultiLanguage::SetWordTablePath(const std::string& path) {
  if (path == m_wordTablePath) return;
  if (path.empty()) {
    m_wordTablePath.clear();
    m_wordPairs.clear();
    return;
  }
  const std::string folder = ResolvePath(path);
  if (!CurrentLanguagePlatform().DirectoryExists(folder)) {
    throw Exception(FormatMessageText(messages::kPathMissing, path));
  }
  m_wordPairs.clear();
  LoadWordTable();
  m_wordTablePath = path;
}

void TUIMultiLanguage::LoadWordTable() {
  m_wordPairs = {
      {1, "\x53\x6F\x72\x76\x69\x6B\xB8\xEA\xB0\x54", "\x54\x61\x6D\x73\x65\x6C\xC8\xED\xBC\xFE"},
      {2, "\xB3\x6E\xC5\xE9", "\xC8\xED\xBC\xFE"},
  };
}

std::string TUIMultiLanguage::ConvertText(std::string_view text, int target, bool useWordTable) const {
  if (target < 0 || target >= 2) return std::string(text);
  const bool toSimplified = target == 0;
  const LanguagePlatform& platform = CurrentLanguagePlatform();
  std::string result = platform.ConvertChinese(text, toSimplified);
  if (!useWordTable) return result;
  for (const TWordPair& pair : m_wordPairs) {
    const std::string& source = toSimplified ? pair.TraditionalWord : pair.SimplifiedWord;
    const std::string& replacement = toSimplified ? pair.SimplifiedWord : pair.TraditionalWord;
    if (source.empty() || text.find(source) == std::string_view::npos) continue;
    const std::string converted = platform.ConvertChinese(source, toSimplified);
    result = ReplaceAllMultiByte(result, converted, replacement, platform.AnsiLeadBytes());
  }
  return result;
}


}  // namespace quorlane
