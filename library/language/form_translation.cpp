// Language files and the translation of forms: TranslateForms,
// TranslateComponent, GenerateLanguageFiles and the show hook of
// TUIMultiLanguage.
//
// A language file is LanguageFolder + the kind's sub-folder + the class name
// of a form or frame + ".ini", with one section named by that class. Keys,
// with `name` the Name of a component the form or frame owns:
//
//   <class>.Caption                 the form's caption
//   name                            every CaptionProperties text it has
//                                   (an owned form's caption too)
//   name.EditLabel, name.Properties the Caption of that sub-object
//   name.Hint                       its hint
//   name.P[i]                       line i of string list P, or the caption
//                                   of item i of collection P
//   name.Items[i]                   tree node i (absolute order) or list item i
//   name.Items[i].SubItems[j]       sub-item j of list item i
//
// Everything is found by published property name on the objects, each time.
// The files are read and written through ini_section.h: bytes pass through
// in every code page, and a value with line breaks is stored escaped.
// Errors are not caught; the file objects and update brackets are closed on
// the way out, and what was written or translated before the error stays.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "language/UIMultiLanguage.h"
#include "language/language_platform.h"

namespace quorlane {
namespace {

bool HasText(const TObject& object, std::string_view name) {
  return FindPropInfo(object, name, TPropertyFilter::Text) != nullptr;
}

/// What an object property holds; `published` tells a property that holds
/// no object from a missing property.
struct Held {
  bool published = false;
  TObject* object = nullptr;
};

Held ObjectProperty(const TObject& object, std::string_view name) {
  const TPropertyInfo* info = FindPropInfo(object, name, TPropertyFilter::Object);
  if (info == nullptr) return {};
  return {true, std::get<TObject*>(GetPropValue(object, *info, false))};
}

template <typename T>
T* HeldAs(const TObject& object, std::string_view name) {
  TObject* held = ObjectProperty(object, name).object;
  return (held != nullptr && held->Is<T>()) ? static_cast<T*>(held) : nullptr;
}

/// The object whose lists, collections and items a component's keys are
/// about: its "Properties" object when it publishes one (null when that is
/// not set), else the component itself.
TObject* ItemsOwner(TComponent& component) {
  const Held properties = ObjectProperty(component, "Properties");
  return properties.published ? properties.object : &component;
}

/// A value read generically, as the text a file holds.
std::string AsText(const TValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "True" : "False";
  return {};
}

std::string Indexed(const std::string& name, std::string_view property, int index) {
  return name + "." + std::string(property) + "[" + std::to_string(index) + "]";
}

// ---- reading a file into a form or frame -----------------------------------

/// The ".EditLabel" and ".Properties" keys are read without a presence test:
/// a missing one empties the sub-object's caption.
void ApplySubCaption(LanguageFile& file, TComponent& component, const char* property, const std::string& key) {
  TObject* sub = ObjectProperty(component, property).object;
  if (sub != nullptr && HasText(*sub, "Caption")) SetStrProp(*sub, "Caption", file.Find(key).value_or(""));
}

void ApplyList(LanguageFile& file, TComponent& component, const std::string& name, const char* property,
               TStrings& lines) {
  const bool hasIndex = FindPropInfo(component, "ItemIndex", TPropertyFilter::Integer) != nullptr;
  const std::int64_t kept = hasIndex ? GetOrdProp(component, "ItemIndex") : -1;
  {
    UpdateGuard<TStrings> bracket(lines);
    for (int i = 0; i < lines.Count(); ++i) {
      if (auto line = file.Find(Indexed(name, property, i))) lines.Put(i, *line);
    }
  }
  if (kept != -1) SetOrdProp(component, "ItemIndex", kept);
  if (component.Is<TWinControl>()) static_cast<TWinControl&>(component).Repaint();
}

void ApplyCollection(LanguageFile& file, TComponent& component, const std::string& name, const char* property,
                     TCollection& items) {
  for (int i = 0; i < items.Count(); ++i) {
    const auto caption = file.Find(Indexed(name, property, i));
    if (!caption) continue;
    TCollectionItem& item = items.Items(i);
    if (HasText(item, "Caption")) {
      SetStrProp(item, "Caption", *caption);
    } else if (TObject* title = ObjectProperty(item, "Title").object; title != nullptr && HasText(*title, "Caption")) {
      SetStrProp(*title, "Caption", *caption);
    }
  }
  // Hiding and showing again makes a grid lay out its new titles; it is
  // visible afterwards even if it was hidden.
  if (component.Is<TWinControl>()) {
    auto& control = static_cast<TWinControl&>(component);
    control.Hide();
    control.Show();
  }
}

void ApplyTreeNodes(LanguageFile& file, const std::string& name, TTreeNodes& nodes) {
  UpdateGuard<TTreeNodes> bracket(nodes);
  for (int i = 0; i < nodes.Count(); ++i) {
    if (auto text = file.Find(Indexed(name, "Items", i))) nodes.Item(i).SetText(*text);
  }
}

void ApplyListItems(LanguageFile& file, const std::string& name, TListItems& items) {
  UpdateGuard<TListItems> bracket(items);
  for (int i = 0; i < items.Count(); ++i) {
    TListItem& item = items.Item(i);
    const std::string key = Indexed(name, "Items", i);
    if (auto caption = file.Find(key)) item.SetCaption(*caption);
    TStrings& subItems = item.SubItems();
    for (int j = 0; j < subItems.Count(); ++j) {
      if (auto text = file.Find(Indexed(key, "SubItems", j))) subItems.Put(j, *text);
    }
  }
}

// ---- writing a form or frame into its files --------------------------------

/// Writes the keys of one root (form or frame) into one language file.
class Generator {
 public:
  Generator(const TUIMultiLanguage& language, LanguageFile& file, std::string section,
            std::optional<TLanguageKind> defaultKind, TLanguageKind kind, bool overwrite)
      : m_language(language),
        m_file(file),
        m_section(std::move(section)),
        m_target(ConversionTarget(defaultKind, kind)),
        m_overwrite(overwrite) {}

  [[nodiscard]] bool Overwrites() const noexcept { return m_overwrite; }
  [[nodiscard]] bool Lacks(const std::string& key) { return !m_file.Find(key).has_value(); }

  /// Every value converted and written, also over an existing key. Only
  /// the root's caption goes under "<class>.Caption": a form owned by the
  /// root is an owned component like any other, keyed by its name (under
  /// the root's key it would overwrite the translator's caption of the root).
  void CaptionGroup(TComponent& component, bool isRoot) {
    const std::string& name = component.Name();
    const bool rootForm = isRoot && component.Is<TCustomForm>();
    for (const char* property : GeneratedCaptionProperties) {
      if (!HasText(component, property)) continue;
      m_file.Write(rootForm ? m_section + ".Caption" : name, Converted(GetStrProp(component, property)));
    }
    SubCaption(component, "EditLabel", name + ".EditLabel");
    SubCaption(component, "Properties", name + ".Properties");
  }

  /// An empty hint is never written.
  void Hint(TComponent& component) {
    if (!HasText(component, "Hint")) return;
    const std::string hint = Converted(GetStrProp(component, "Hint"));
    if (!hint.empty()) m_file.Write(component.Name() + ".Hint", hint);
  }

  /// Written when the file is the default language's or lacks the key.
  void Entry(const std::string& key, const std::string& text) {
    const std::string value = Converted(text);
    if (m_overwrite || Lacks(key)) m_file.Write(key, value);
  }

 private:
  /// Generated files of the other Chinese script get the texts converted;
  /// every other pair (and a catalogue without a default) takes them as
  /// they are.
  static int ConversionTarget(std::optional<TLanguageKind> from, TLanguageKind to) noexcept {
    if (from == TLanguageKind::lkChineseTradionary && to == TLanguageKind::lkChineseSimplify) return 0;
    if (from == TLanguageKind::lkChineseSimplify && to == TLanguageKind::lkChineseTradionary) return 1;
    return 2;
  }

  std::string Converted(const std::string& text) const {
    return m_target < 2 ? m_language.ConvertText(text, m_target, m_language.WordConvert()) : text;
  }

  void SubCaption(TComponent& component, const char* property, const std::string& key) {
    TObject* sub = ObjectProperty(component, property).object;
    if (sub == nullptr || FindPropInfo(*sub, "Caption") == nullptr) return;
    m_file.Write(key, Converted(AsText(GetPropValue(*sub, "Caption"))));
  }

  const TUIMultiLanguage& m_language;
  LanguageFile& m_file;
  std::string m_section;
  int m_target;
  bool m_overwrite;
};

/// A component bound to an action takes its caption and hint from the
/// action, whose own keys carry them.
bool FollowsAction(const TComponent& component) {
  if (component.Is<TBasicAction>()) return false;
  return ObjectProperty(component, "Action").object != nullptr;
}

void GenerateItems(Generator& generator, TComponent& component) {
  const std::string& name = component.Name();
  TObject* owner = ItemsOwner(component);
  if (owner == nullptr) return;
  for (const char* property : StringListProperties) {
    if (TStrings* lines = HeldAs<TStrings>(*owner, property)) {
      for (int i = 0; i < lines->Count(); ++i) generator.Entry(Indexed(name, property, i), lines->Get(i));
    }
  }
  for (const char* property : CollectionProperties) {
    TCollection* items = HeldAs<TCollection>(*owner, property);
    if (items == nullptr) continue;
    for (int i = 0; i < items->Count(); ++i) {
      const TCollectionItem& item = items->Items(i);
      std::optional<std::string> caption;
      if (HasText(item, "Caption")) {
        caption = GetStrProp(item, "Caption");
      } else if (TObject* title = ObjectProperty(item, "Title").object; title != nullptr && HasText(*title, "Caption")) {
        caption = GetStrProp(*title, "Caption");
      }
      if (caption) generator.Entry(Indexed(name, property, i), *caption);
    }
  }
  TObject* items = ObjectProperty(*owner, "Items").object;
  if (items == nullptr) return;
  if (items->Is<TTreeNodes>()) {
    const auto& nodes = static_cast<const TTreeNodes&>(*items);
    for (int i = 0; i < nodes.Count(); ++i) generator.Entry(Indexed(name, "Items", i), nodes.Item(i).Text());
  } else if (items->Is<TListItems>()) {
    const auto& list = static_cast<const TListItems&>(*items);
    for (int i = 0; i < list.Count(); ++i) {
      const TListItem& item = list.Item(i);
      const std::string key = Indexed(name, "Items", i);
      generator.Entry(key, item.Caption());
      for (int j = 0; j < item.SubItems().Count(); ++j) {
        generator.Entry(Indexed(key, "SubItems", j), item.SubItems().Get(j));
      }
    }
  }
}

}  // namespace

// Both Chinese code pages (936, 950) begin double-byte characters with
// 0x81-0xFE; English and custom files are taken in the system's code page.
const LeadByteTable& LanguageFileLeadBytes(TLanguageKind kind) {
  static const LeadByteTable chinese = [] {
    LeadByteTable table{};
    for (int b = 0x81; b <= 0xFE; ++b) table[static_cast<std::size_t>(b)] = true;
    return table;
  }();
  if (kind == TLanguageKind::lkChineseSimplify || kind == TLanguageKind::lkChineseTradionary) return chinese;
  return CurrentLanguagePlatform().AnsiLeadBytes();
}

// ---- TUIMultiLanguage -------------------------------------------------------

void TUIMultiLanguage::TranslateForms() {
  if (IsLoading()) return;
  if (m_languageFolder.empty()) {
    if (OnBeforeTranslate) OnBeforeTranslate(*this);
    if (OnAfterTranslate) OnAfterTranslate(*this);
    return;
  }
  if (OnBeforeTranslate) OnBeforeTranslate(*this);
  TScreen& screen = Screen();
  const int count = screen.FormCount();
  for (int i = 0; i < count; ++i) {
    TCustomForm& form = screen.Forms(i);
    // In a form designer only the project's forms would be visited here (the
    // designer names them; a form is one when the first line of its
    // description file names it). There is no designer in this library, so
    // every form of the running program is visited.
    if (!m_formClassName.empty() && form.ClassName() != m_formClassName) continue;
    TranslateComponent(form);
    (void)form.PostWindowMessage(kTranslatedMessage, 0, 0);
  }
  if (OnAfterTranslate) OnAfterTranslate(*this);
}

void TUIMultiLanguage::TranslateComponent(TComponent& root) {
  const std::string section = root.ClassName();
  const std::string path =
      m_languageFolder + KindFolders[static_cast<int>(m_languageKind)] + section + ".ini";
  const LanguagePlatform& platform = CurrentLanguagePlatform();
  if (!platform.FileExists(path)) return GenerateLanguageFiles(root);
  const std::unique_ptr<LanguageFile> file =
      platform.OpenLanguageFile(path, section, LanguageFileLeadBytes(m_languageKind), LanguageFileAccess::Read);
  if (root.Is<TCustomForm>()) {
    if (auto caption = file->Find(section + ".Caption")) static_cast<TCustomForm&>(root).SetCaption(*caption);
  }
  const int count = root.ComponentCount();
  for (int i = 0; i < count; ++i) {
    TComponent& component = root.Components(i);
    const std::string name = component.Name();
    if (component.Is<TCustomFrame>()) TranslateComponent(component);
    if (auto caption = file->Find(name)) {
      for (const char* property : CaptionProperties) {
        if (HasText(component, property)) SetStrProp(component, property, *caption);
      }
      ApplySubCaption(*file, component, "EditLabel", name + ".EditLabel");
      ApplySubCaption(*file, component, "Properties", name + ".Properties");
    }
    if (auto hint = file->Find(name + ".Hint"); hint && HasText(component, "Hint")) {
      SetStrProp(component, "Hint", *hint);
    }
    TObject* owner = ItemsOwner(component);
    if (owner == nullptr) continue;
    for (const char* property : StringListProperties) {
      if (TStrings* lines = HeldAs<TStrings>(*owner, property)) ApplyList(*file, component, name, property, *lines);
    }
    for (const char* property : CollectionProperties) {
      if (TCollection* items = HeldAs<TCollection>(*owner, property)) {
        ApplyCollection(*file, component, name, property, *items);
      }
    }
    if (TObject* items = ObjectProperty(*owner, "Items").object) {
      if (items->Is<TTreeNodes>()) {
        ApplyTreeNodes(*file, name, static_cast<TTreeNodes&>(*items));
      } else if (items->Is<TListItems>()) {
        ApplyListItems(*file, name, static_cast<TListItems&>(*items));
      }
    }
  }
}

void TUIMultiLanguage::GenerateLanguageFiles(TComponent& root) {
  const std::string section = root.ClassName();
  const std::optional<TLanguageKind> defaultKind = m_languages->DefaultKind();
  const LanguagePlatform& platform = CurrentLanguagePlatform();
  for (int index = 0; index < m_languages->Count(); ++index) {
    const TLanguageItem& language = m_languages->Items(index);
    const std::string folder = m_languageFolder + KindFolders[static_cast<int>(language.Kind())];
    if (!platform.DirectoryExists(folder)) platform.ForceDirectories(folder);
    const std::unique_ptr<LanguageFile> file = platform.OpenLanguageFile(
        folder + section + ".ini", section, LanguageFileLeadBytes(language.Kind()), LanguageFileAccess::Write);
    Generator generator(*this, *file, section, defaultKind, language.Kind(), language.IsDefault());
    if (generator.Overwrites() || generator.Lacks(section + ".Caption")) generator.CaptionGroup(root, true);
    const int count = root.ComponentCount();
    for (int i = 0; i < count; ++i) {
      TComponent& component = root.Components(i);
      const std::string name = component.Name();
      if (component.Is<TCustomFrame>()) GenerateLanguageFiles(component);
      if (!FollowsAction(component)) {
        if (generator.Overwrites()) {
          generator.CaptionGroup(component, false);
          generator.Hint(component);
        } else {
          if (generator.Lacks(name)) generator.CaptionGroup(component, false);
          if (generator.Lacks(name + ".Hint")) generator.Hint(component);
        }
      }
      GenerateItems(generator, component);
    }
  }
}

// ---- the show hook ------------------------------------------------------------

TCustomForm* TUIMultiLanguage::OwnerForm() const noexcept {
  TComponent* owner = Owner();
  if (owner == nullptr || owner->IsDestroying() || !owner->Is<TCustomForm>()) return nullptr;
  return static_cast<TCustomForm*>(owner);
}

TNotifyEvent TUIMultiLanguage::ShowHook() noexcept { return TNotifyEvent::Of<&TUIMultiLanguage::HandleFormShow>(*this); }

void TUIMultiLanguage::SetHookOnShow(bool value) {
  if (value == m_hookOnShow) return;
  m_hookOnShow = value;
  TCustomForm* form = OwnerForm();
  if (form == nullptr) return;
  if (!value) {
    Unhook(*form);
    return;
  }
  SaveOnShow(form->OnShow(), *form);
  form->SetOnShow(ShowHook());
  m_hookedForm = form;
}

// The saved handler's object may go first: then it is dropped (Notification),
// unless it is another hook of the form, which hands over what it saved.
void TUIMultiLanguage::SaveOnShow(TNotifyEvent handler, TCustomForm& form) {
  m_savedOnShow = handler;
  if (auto* target = dynamic_cast<TComponent*>(m_savedOnShow.Target());
      target != nullptr && target != this && target != &form) {
    target->FreeNotification(*this);
  }
}

// Hooks stack: a hook installed later saved the one before it. Taking one
// out hands the handler it saved to whoever calls it now (the form, or the
// hook above it), so the form's own handler keeps running whatever order
// the hooks go in.
void TUIMultiLanguage::Unhook(TCustomForm& form) {
  const TNotifyEvent mine = ShowHook();
  if (form.OnShow() == mine) {
    form.SetOnShow(m_savedOnShow);
  } else {
    for (int i = 0; i < form.ComponentCount(); ++i) {
      TComponent& component = form.Components(i);
      if (&component == this || !component.Is<TUIMultiLanguage>()) continue;
      auto& above = static_cast<TUIMultiLanguage&>(component);
      if (above.m_savedOnShow == mine) above.SaveOnShow(m_savedOnShow, form);
    }
  }
  m_savedOnShow = {};
  m_hookedForm = nullptr;
}

void TUIMultiLanguage::HandleFormShow(TObject& sender) {
  const std::string path = CurrentLanguagePath();
  SetLanguagePath(path);
  SetLanguageKind(CurrentLanguageKind());
  if (m_savedOnShow) m_savedOnShow(sender);
}

void TUIMultiLanguage::Notification(TComponent& component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && m_savedOnShow.Target() == &component) m_savedOnShow = {};
}

}  // namespace quorlane
