// libFuzzer target: the keys of the per-form language files, against texts a
// form shows and files a translator has edited. The input is cut at line
// feeds into pieces: the first lays out a form (a byte per control: list
// box, tree, list view or button, with a count of lines or items), the next
// ones are the texts the controls show, then the translated values, then
// extra "key=value" lines a translator added.
//  - Generation writes every text under its own key with its value unchanged
//    (the default language is Traditional Chinese, the other one English).
//  - After the edits, switching to English leaves every text as the first
//    entry whose key matches without letter case says, or as it was when
//    there is none: keys never collide, nothing lands on the wrong control.
// The language files' format is fuzzed on its own (ini_section_fuzz.cpp);
// here they are kept in memory by the native stand-in platform.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fake_widgetset.h"
#include "framework/Classes.h"
#include "language/UIMultiLanguage.h"
#include "native_platform.h"

namespace {

using namespace quorlane;

constexpr char kFolder[] = "C:\\Languages\\";
constexpr std::size_t kMaxControls = 6;

class Pieces {
 public:
  explicit Pieces(std::string_view input) : m_rest(input) {}
  [[nodiscard]] bool Empty() const { return m_rest.empty(); }
  std::string Next() {
    const std::size_t end = m_rest.find('\n');
    std::string piece(m_rest.substr(0, end));
    m_rest.remove_prefix(end == std::string_view::npos ? m_rest.size() : end + 1);
    return piece;
  }

 private:
  std::string_view m_rest;
};

/// The first entry of `file` whose key matches without letter case.
std::optional<std::string> Lookup(const MemoryFiles::File& file, const std::string& key) {
  for (const auto& [name, value] : file) {
    if (SameKey(name, key)) return value;
  }
  return std::nullopt;
}

/// One text a control shows, with its key and how to read it back.
struct Text {
  std::string key;
  std::function<std::string()> read;
};

/// Every key is distinct without letter case.
void CheckKeysDistinct(const MemoryFiles::File& file) {
  for (std::size_t i = 0; i < file.size(); ++i) {
    for (std::size_t j = i + 1; j < file.size(); ++j) {
      if (SameKey(file[i].first, file[j].first)) __builtin_trap();
    }
  }
}

void Run(Pieces& pieces) {
  Files() = {};
  CurrentLanguageKind() = TLanguageKind::lkChineseTradionary;
  TUIMultiLanguage language(nullptr);
  language.SetLanguagePath(kFolder);
  TLanguageItem& traditional = language.Languages().Add();
  traditional.SetKind(TLanguageKind::lkChineseTradionary);
  traditional.SetIsDefault(true);
  language.Languages().Add().SetKind(TLanguageKind::lkEnglish);

  auto form = std::make_unique<TForm>(nullptr);
  std::vector<Text> texts;
  const std::string layout = pieces.Next();
  for (std::size_t c = 0; c < layout.size() && c < kMaxControls; ++c) {
    const auto byte = static_cast<unsigned char>(layout[c]);
    const int count = (byte >> 2) % 4;
    const std::string name = "C" + std::to_string(c);
    auto place = [&](auto& control) -> decltype(control) {
      control.SetName(name);
      control.SetParent(form.get());
      return control;
    };
    switch (byte % 4) {
      case 0: {
        auto& list = place(TComponent::Create<TListBox>(*form));
        for (int i = 0; i < count; ++i) {
          list.Items().Add(pieces.Next());
          texts.push_back({name + ".Items[" + std::to_string(i) + "]", [&list, i] { return list.Items().Get(i); }});
        }
        break;
      }
      case 1: {
        auto& tree = place(TComponent::Create<TTreeView>(*form));
        TTreeNode* parent = nullptr;
        for (int i = 0; i < count; ++i) {
          // Every other node is a child of the one before, so the absolute order is walked.
          TTreeNode& node = tree.Items().AddChild(i % 2 ? parent : nullptr, pieces.Next());
          if (i % 2 == 0) parent = &node;
        }
        for (int i = 0; i < count; ++i) {
          texts.push_back({name + ".Items[" + std::to_string(i) + "]", [&tree, i] { return tree.Items().Item(i).Text(); }});
        }
        break;
      }
      case 2: {
        auto& view = place(TComponent::Create<TListView>(*form));
        auto& column = view.Columns().Add();
        column.SetCaption(pieces.Next());
        texts.push_back({name + ".Columns[0]", [&column] { return column.Caption(); }});
        for (int i = 0; i < count; ++i) {
          TListItem& item = view.Items().Add();
          item.SetCaption(pieces.Next());
          const std::string key = name + ".Items[" + std::to_string(i) + "]";
          texts.push_back({key, [&item] { return item.Caption(); }});
          for (int j = 0; j < i; ++j) {
            item.SubItems().Add(pieces.Next());
            texts.push_back({key + ".SubItems[" + std::to_string(j) + "]", [&item, j] { return item.SubItems().Get(j); }});
          }
        }
        break;
      }
      default: {
        auto& button = place(TComponent::Create<TButton>(*form));
        button.SetCaption(pieces.Next());
        button.SetHint(pieces.Next());
        texts.push_back({name, [&button] { return button.Caption(); }});
        texts.push_back({name + ".Hint", [&button] { return button.Hint(); }});
        break;
      }
    }
  }
  form->SetCaption(pieces.Next());
  texts.push_back({"TForm.Caption", [&form] { return form->Caption(); }});
  (void)form->Handle();

  // Generation: the files are missing, so translating writes them.
  language.TranslateForms();
  const std::string traditionalFile = std::string(kFolder) + "cht\\TForm.ini";
  const std::string englishFile = std::string(kFolder) + "eng\\TForm.ini";
  if (Files().files[englishFile] != Files().files[traditionalFile]) __builtin_trap();
  CheckKeysDistinct(Files().files[traditionalFile]);
  for (const Text& text : texts) {
    const auto written = Lookup(Files().files[traditionalFile], text.key);
    const std::string shown = text.read();
    // An empty hint is never written.
    if (written ? *written != shown : !(shown.empty() && text.key.size() > 5 &&
                                        text.key.compare(text.key.size() - 5, 5, ".Hint") == 0)) {
      __builtin_trap();
    }
  }

  // The translator's edits, then the switch to English.
  MemoryFiles::File& english = Files().files[englishFile];
  for (auto& entry : english) {
    if (pieces.Empty()) break;
    entry.second = pieces.Next();
  }
  while (!pieces.Empty()) {
    const std::string line = pieces.Next();
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) english.emplace_back(line.substr(0, equals), line.substr(equals + 1));
  }
  std::vector<std::string> before;
  for (const Text& text : texts) before.push_back(text.read());
  language.SetLanguageKind(TLanguageKind::lkEnglish);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const auto value = Lookup(english, texts[i].key);
    if (texts[i].read() != (value ? *value : before[i])) __builtin_trap();
  }
  form.reset();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  testing::FakeWidgetSet widgets;  // outlives the form
  Pieces pieces(std::string_view(reinterpret_cast<const char*>(data), size));
  Run(pieces);
  Files() = {};
  return 0;
}
