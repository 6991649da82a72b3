// TUIMultiLanguage: the UI translation component with its language catalogue,
// its path macros, the process-wide current language, the conversion of
// single texts between Traditional (Big5) and Simplified (GBK) Chinese with
// the word table, and the translation of forms from their language files
// (form_translation.cpp).
//
// Ownership: the component owns its catalogue, its TranslatedForms list and
// its word table. With HookOnShow it holds its owner form's previous show
// handler and hands it back (to the form, or to a hook installed later that
// saved this one) when the hook is cleared or the component is freed.
// Threading: one thread at a
// time, the thread that owns the forms; CurrentLanguagePath and
// CurrentLanguageKind are plain process-wide values without locking.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Classes.h"
#include "language/language_platform.h"

namespace quorlane {

enum class TLanguageKind : std::uint8_t { lkChineseSimplify = 0, lkChineseTradionary = 1, lkEnglish = 2, lkCustom = 3 };

/// Sub-folder of each kind's language files, by ordinal.
inline constexpr const char* KindFolders[] = {"chs\\", "cht\\", "eng\\", "cst\\"};
/// How a kind is listed for a person, by ordinal.
inline constexpr const char* KindLabels[] = {"Chinese Simplify", "Chinese Tradionary", "English", "Custom"};

// The published properties the language files are about, in the order
// they are tried.
/// Set from a component's name key.
inline constexpr const char* CaptionProperties[] = {"Caption",           "DisplayLabel",      "Title",
                                                    "AddConditionCaption", "RootButtonCaption", "BetweenSeparator"};
/// Written to a component's name key.
inline constexpr const char* GeneratedCaptionProperties[] = {"Caption", "DisplayLabel", "Title"};
/// Object properties whose lines are translated, when they hold string lists.
inline constexpr const char* StringListProperties[] = {"Items", "Tabs", "Sections", "Hints",
                                                       "TitleCaptions", "BoolOperators", "FilterOperators",
                                                       "MenuCaptions"};
/// Object properties whose items' captions are translated, when they hold collections.
inline constexpr const char* CollectionProperties[] = {"Columns", "ItemsEx", "Tabs", "FieldItems"};

struct TWordPair {
  std::int32_t Id = 0;
  std::string TraditionalWord;  // Big5
  std::string SimplifiedWord;   // GBK
};

/// The library's own messages, Big5 bytes.
namespace messages {
inline constexpr char kInvalidParameter[] = "\xB5\x4C\xAE\xC4\xB0\xD1\xBC\xC6\xB3\x5D\xB8\x6D";
inline constexpr char kLanguageNameExists[] =
    "\xBB\x79\xA8\xA5\xA6\x57\xBA\xD9\x22\x25\x73\x22\xA4\x77\xB8\x67\xA6\x73\xA6\x62";
inline constexpr char kLanguageKindExists[] = "\xBB\x79\xA8\xA5\xBA\xD8\xC3\xFE\xA4\x77\xB8\x67\xA6\x73\xA6\x62";
inline constexpr char kDefaultLanguageExists[] =
    "\xC0\x71\xBB\x7B\xBB\x79\xA8\xA5\xA4\x77\xB8\x67\xA6\x73\xA6\x62\xA1\x41\xA4\xA3\xAF\xE0\xA6\x41\xB1\x4E"
    "\x22\x25\x73\x22\xB3\x5D\xAC\xB0\xC0\x71\xBB\x7B\xBB\x79\xA8\xA5";
inline constexpr char kPathMissing[] = "\xB8\xF4\xAE\x7C\x22\x25\x73\x22\xA4\xA3\xA6\x73\xA6\x62";
}  // namespace messages

class TLanguages;
class TUIMultiLanguage;

class TLanguageItem : public TCollectionItem {
  QL_DECLARE_CLASS()
 public:
  explicit TLanguageItem(TCollection& collection) noexcept : TCollectionItem(collection) {}

  [[nodiscard]] const std::string& Name() const noexcept { return m_name; }
  [[nodiscard]] TLanguageKind Kind() const noexcept { return m_kind; }
  [[nodiscard]] bool IsDefault() const noexcept { return m_isDefault; }
  // Each setter: same value → nothing at all; else check, store, OnChanged.
  void SetName(const std::string& name);
  void SetKind(TLanguageKind kind);
  void SetIsDefault(bool isDefault);
  [[nodiscard]] std::string GetDisplayName() const override { return m_name; }

  std::function<void(TLanguageItem& sender)> OnChanged;

 private:
  [[nodiscard]] bool AnyOther(const std::function<bool(const TLanguageItem&)>& test) const;
  void Changed();

  std::string m_name;
  TLanguageKind m_kind = TLanguageKind::lkChineseSimplify;
  bool m_isDefault = false;
};

class TLanguages : public TOwnedCollection {
  QL_DECLARE_CLASS()
 public:
  explicit TLanguages(TUIMultiLanguage& owner);

  TLanguageItem& Add() { return static_cast<TLanguageItem&>(TCollection::Add()); }
  [[nodiscard]] TLanguageItem& Items(int index) const { return static_cast<TLanguageItem&>(TCollection::Items(index)); }
  /// Kind of the first item, in index order, marked as default; none without one.
  [[nodiscard]] std::optional<TLanguageKind> DefaultKind() const;
  /// Empties this catalogue, then adds one item per source item and gives it
  /// the source's Name, Kind and IsDefault through the checking setters (so a
  /// copy is as consistent as its source). OnChanged handlers are not copied.
  void Assign(const TPersistent& source) override;
};

class TUIMultiLanguage : public TComponent {
  QL_DECLARE_CLASS()
 public:
  explicit TUIMultiLanguage(TComponent* owner);
  ~TUIMultiLanguage() override;

  [[nodiscard]] TLanguageKind LanguageKind() const noexcept { return m_languageKind; }
  void SetLanguageKind(TLanguageKind kind);
  [[nodiscard]] const std::string& LanguagePath() const noexcept { return m_languagePath; }
  void SetLanguagePath(const std::string& path);
  [[nodiscard]] const std::string& WordTablePath() const noexcept { return m_wordTablePath; }
  void SetWordTablePath(const std::string& path);
  [[nodiscard]] const std::string& FormClassName() const noexcept { return m_formClassName; }
  void SetFormClassName(const std::string& name) { m_formClassName = name; }
  [[nodiscard]] bool AutoTranslate() const noexcept { return m_autoTranslate; }
  void SetAutoTranslate(bool value) noexcept { m_autoTranslate = value; }
  [[nodiscard]] bool HookOnShow() const noexcept { return m_hookOnShow; }
  void SetHookOnShow(bool value);
  [[nodiscard]] bool WordConvert() const noexcept { return m_wordConvert; }
  void SetWordConvert(bool value) noexcept { m_wordConvert = value; }
  [[nodiscard]] TLanguages& Languages() const noexcept { return *m_languages; }
  /// Copies the given catalogue's items into the owned one (null empties it).
  void SetLanguages(const TLanguages* source);
  [[nodiscard]] TStringList& TranslatedForms() const noexcept { return *m_translatedForms; }
  void SetTranslatedForms(const TStrings* source);

  /// LanguagePath after ResolvePath: the folder the language sub-folders lie in.
  [[nodiscard]] const std::string& LanguageFolder() const noexcept { return m_languageFolder; }
  [[nodiscard]] const std::vector<TWordPair>& WordPairs() const noexcept { return m_wordPairs; }

  /// Expands a leading "<Windows>", "<Window>", "<Bin>" or "<Program>" macro;
  /// a path with a "." is made full against the current directory.
  [[nodiscard]] std::string ResolvePath(const std::string& path) const;
  /// target 0: Big5 to GBK; 1: GBK to Big5; 2 and above: the text unchanged.
  [[nodiscard]] std::string ConvertText(std::string_view text, int target, bool useWordTable) const;
  /// Replaces the word table by the built-in pairs.
  void LoadWordTable();

  /// Posted to each form after its translation pass (WM_USER + 1000), both
  /// parameters 0.
  static constexpr unsigned kTranslatedMessage = 2024;

  /// Translates every existing form (only those of class FormClassName when
  /// that is set) and posts kTranslatedMessage to each, its window made
  /// first if needed; between OnBeforeTranslate and OnAfterTranslate. Does
  /// nothing while the component is being loaded; with no LanguageFolder it
  /// only calls the two notifications. Errors are not caught: what was
  /// translated stays, OnAfterTranslate is not called.
  virtual void TranslateForms();
  /// Translates a form or frame from its file for the current kind (frames
  /// it owns from theirs, first); when that file is missing, generates the
  /// files instead and leaves the texts as they are.
  void TranslateComponent(TComponent& root);
  /// Writes the files of a form or frame for every catalogue language: the
  /// default language's file gets every key again, the others only the keys
  /// they lack (see form_translation.cpp).
  void GenerateLanguageFiles(TComponent& root);
  /// The owner form's show handler while HookOnShow is set: takes the
  /// process-wide language path and kind (which translates every form when
  /// the kind changes), then calls the handler the form had before.
  void HandleFormShow(TObject& sender);

  std::function<void(TUIMultiLanguage& sender)> OnBeforeTranslate;
  std::function<void(TUIMultiLanguage& sender)> OnAfterTranslate;

 protected:
  void Notification(TComponent& component, TOperation operation) override;

 private:
  /// The owner when it is a form that is not being destroyed.
  [[nodiscard]] TCustomForm* OwnerForm() const noexcept;
  [[nodiscard]] TNotifyEvent ShowHook() noexcept;
  void SaveOnShow(TNotifyEvent handler, TCustomForm& form);
  void Unhook(TCustomForm& form);

  TLanguageKind m_languageKind = TLanguageKind::lkChineseTradionary;
  std::string m_languagePath;
  std::string m_wordTablePath;
  std::string m_formClassName;
  bool m_autoTranslate = true;
  bool m_hookOnShow = false;
  bool m_wordConvert = false;
  std::unique_ptr<TLanguages> m_languages;
  std::unique_ptr<TStringList> m_translatedForms;
  std::string m_languageFolder;
  std::vector<TWordPair> m_wordPairs;
  TNotifyEvent m_savedOnShow;
  /// The form the hook is installed on; only compared, never followed,
  /// until it is found among the screen's forms.
  TCustomForm* m_hookedForm = nullptr;
};

/// Which bytes begin a double-byte character in the language files of a
/// kind (the kind's code page; English and custom: the system's).
[[nodiscard]] const LeadByteTable& LanguageFileLeadBytes(TLanguageKind kind);

/// Last value given to any instance's LanguagePath setter that took effect,
/// as it was given; initially "<Bin>Languages".
[[nodiscard]] std::string& CurrentLanguagePath();
/// Last kind any instance's LanguageKind setter changed to; initially
/// lkChineseSimplify.
[[nodiscard]] TLanguageKind& CurrentLanguageKind();

}  // namespace quorlane
