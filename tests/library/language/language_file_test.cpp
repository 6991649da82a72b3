// The language files' own reader and writer on real files under Wine:
// checked against the profile functions themselves on awkward files, bytes
// passed through whatever the system's code page (these cases run in code
// page 950 and again in 936), line breaks kept, and a pass that reads the
// file as it is at each look-up.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "folders_win.h"
#include "framework/Classes.h"
#include "language/UIMultiLanguage.h"
#include "language/language_platform.h"

namespace quorlane {
namespace {

// 水 (Big5 A4 F4) is no GBK character; Ａ (GBK A3 C1) is no Big5 one. The
// profile functions turn either into "?" on the other script's system.
constexpr char kWaterBig5[] = "\xA4\xF4";
constexpr char kFullWidthAGbk[] = "\xA3\xC1";
constexpr char kXuBig5[] = "\xB3\x5C";  // 許: trail byte "\"

class TSpyLabel : public TComponent {
  QL_DECLARE_CLASS()
 public:
  using TComponent::TComponent;
  [[nodiscard]] const std::string& Caption() const noexcept { return m_caption; }
  void SetCaption(const std::string& caption) {
    m_caption = caption;
    if (OnSet) OnSet();
  }
  std::function<void()> OnSet;

 private:
  std::string m_caption;
};
constexpr TPropertyInfo kSpyProperties[] = {
    props::Text<TSpyLabel, &TSpyLabel::Caption, &TSpyLabel::SetCaption>("Caption"),
};
QL_DEFINE_CLASS(TSpyLabel, TComponent, kSpyProperties)

class TNoteForm : public TForm {
  QL_DECLARE_CLASS()
 public:
  using TForm::TForm;
};
QL_DEFINE_CLASS(TNoteForm, TForm, {})

const LeadByteTable& ChineseLeadBytes() {
  static const LeadByteTable table = [] {
    LeadByteTable t{};
    for (int b = 0x81; b <= 0xFE; ++b) t[static_cast<std::size_t>(b)] = true;
    return t;
  }();
  return table;
}

class LanguageFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static int run = 0;
    folder = std::string(temp) + "ql-files-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++run) +
             "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    CurrentLanguageKind() = TLanguageKind::lkChineseTradionary;
    language.SetLanguagePath(folder);
  }
  void TearDown() override {
    testsupport::RemoveTree(folder);
    CurrentLanguagePath() = "<Bin>Languages";
    CurrentLanguageKind() = TLanguageKind::lkChineseSimplify;
  }
  void Put(const std::string& path, const std::string& bytes) const {
    const std::size_t slash = path.find_last_of('\\');
    CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  [[nodiscard]] static std::string Bytes(const std::string& path) {
    std::string bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
      std::fclose(file);
    }
    return bytes;
  }
  [[nodiscard]] std::string File(TLanguageKind kind, const std::string& cls) const {
    return folder + KindFolders[static_cast<int>(kind)] + cls + ".ini";
  }
  static std::optional<std::string> Ours(const std::string& path, const std::string& key) {
    return CurrentLanguagePlatform()
        .OpenLanguageFile(path, "TNoteForm", ChineseLeadBytes(), LanguageFileAccess::Read)
        ->Find(key);
  }
  static std::optional<std::string> Profile(const std::string& path, const std::string& key) {
    static constexpr char kAbsent[] = "\x01\n\x01";
    char buffer[1024];
    const DWORD length =
        GetPrivateProfileStringA("TNoteForm", key.c_str(), kAbsent, buffer, sizeof buffer, path.c_str());
    const std::string value(buffer, length);
    if (value == kAbsent) return std::nullopt;
    return value;
  }
  void Catalogue(std::initializer_list<std::pair<TLanguageKind, bool>> kinds) {
    for (const auto& [kind, isDefault] : kinds) {
      TLanguageItem& item = language.Languages().Add();
      item.SetName(KindLabels[static_cast<int>(kind)]);
      item.SetKind(kind);
      item.SetIsDefault(isDefault);
    }
  }

  std::string folder;
  TUIMultiLanguage language{nullptr};
};

struct AwkwardFile {
  const char* what;
  std::string bytes;
  std::string key;
  std::optional<std::string> ours;
  std::optional<std::string> profile;  // where it differs, the row says why ours is right
};

// Code page 950 only: the profile functions read through it.
TEST_F(LanguageFiles, AwkwardFilesReadAsTheProfileFunctionsReadThem) {
  if (GetACP() != 950) GTEST_SKIP() << "the table is for code page 950";
  const std::optional<std::string> absent;
  const std::string head = "[TNoteForm]\r\n";
  const std::vector<AwkwardFile> rows = {
      {"plain", head + "Ok=OK\r\n", "Ok", "OK", "OK"},
      {"letter case", "[tnoteFORM]\r\nOK=x\r\n", "ok", "x", "x"},
      {"present and empty", head + "Ok=\r\n", "Ok", "", ""},
      {"duplicate keys: the first", head + "Ok=1\r\nOK=2\r\n", "Ok", "1", "1"},
      {"blanks around key and value", head + " \t Ok \t=  O K \t\r\n", "Ok", "O K", "O K"},
      {"double quotes", head + "Ok=\"  O K  \"\r\n", "Ok", "  O K  ", "  O K  "},
      {"single quotes", head + "Ok='x'\r\n", "Ok", "x", "x"},
      {"quotes that do not match", head + "Ok=\"x'\r\n", "Ok", "\"x'", "\"x'"},
      {"a missing section", "[TOther]\r\nOk=x\r\n", "Ok", absent, absent},
      {"a key before any section", "Ok=x\r\n" + head, "Ok", absent, absent},
      {"a section twice: the first", head + "A=1\r\n[T]\r\nB=2\r\n" + head + "Ok=3\r\n", "Ok", absent, absent},
      {"a section twice: the first's key", head + "Ok=1\r\n" + head + "Ok=2\r\n", "Ok", "1", "1"},
      {"no final line break", head + "Ok=x", "Ok", "x", "x"},
      {"LF line ends", "[TNoteForm]\nA=1\nOk=x\n", "Ok", "x", "x"},
      {"CR line ends", "[TNoteForm]\rA=1\rOk=x\r", "Ok", "x", "x"},
      {"a comment line", head + ";Ok=1\r\nOk=2\r\n", "Ok", "2", "2"},
      {"a line without =", head + "Ok\r\n", "Ok", absent, absent},
      {"the section name runs to the last ]", "[TNoteForm]]\r\nOk=x\r\n", "Ok", absent, absent},
      {"Big5 trail byte 0x5C before =", head + kXuBig5 + "=x\r\n", kXuBig5, "x", "x"},
      {"Big5 trail byte 0x5C ending the value", head + "Ok=" + kXuBig5 + "\r\n", "Ok", kXuBig5, kXuBig5},
      {"Big5 trail byte 0x5C before a quote", head + "Ok=\"" + kXuBig5 + "\"\r\n", "Ok", kXuBig5, kXuBig5},
      {"a full-width blank ending the value", head + "Ok=x\xA1\x40\r\n", "Ok", "x\xA1\x40", "x\xA1\x40"},
      // Ａ and ａ (A2 CF, A2 E9) are two Big5 characters: letter case is
      // folded in single-byte characters only.
      {"full-width letters", head + "\xA2\xCF=x\r\n", "\xA2\xE9", absent, absent},
      // Α and α (A3 44, A3 5C) likewise.
      {"Greek letters", head + "\xA3\x44=x\r\n", "\xA3\x5C", absent, absent},
      // Ours: the bytes as they are. The profile functions read the file
      // through code page 950, which has no character for GBK's Ａ.
      {"a GBK value on a Big5 system", head + "Ok=" + kFullWidthAGbk + "\r\n", "Ok", kFullWidthAGbk, "?"},
      // Ours: a line break is stored escaped; the profile functions show
      // the escape.
      {"an escaped line break", head + "Ok=a%nb\r\n", "Ok", "a\nb", "a%nb"},
      {"a lone %", head + "Ok=50%\r\n", "Ok", "50%", "50%"},
      // Ours: a file is 8-bit text in its language's code page; a UTF-8
      // mark is skipped and the value's bytes come as they are. The profile
      // functions turn a marked UTF-8 file into the system's code page, and
      // read a UTF-16 one, which ours does not (no language file is one).
      {"a marked UTF-8 file", "\xEF\xBB\xBF" + head + "Ok=\xE6\xB0\xB4\r\n", "Ok", "\xE6\xB0\xB4", kWaterBig5},
      {"a UTF-16 file", std::string("\xFF\xFE[\0T\0N\0o\0t\0e\0F\0o\0r\0m\0]\0\r\0\n\0O\0k\0=\0x\0", 36), "Ok",
       absent, "x"},
  };
  const std::string path = folder + "awkward.ini";
  for (const AwkwardFile& row : rows) {
    Put(path, row.bytes);
    EXPECT_EQ(Ours(path, row.key), row.ours) << row.what;
    EXPECT_EQ(Profile(path, row.key), row.profile) << row.what;
  }
}

// What our writer writes, the profile functions read as the same value
// (a line break aside, which they cannot hold).
TEST_F(LanguageFiles, TheProfileFunctionsReadWhatWeWrite) {
  if (GetACP() != 950) GTEST_SKIP() << "the values are Big5";
  const std::string path = folder + "written.ini";
  const std::vector<std::string> values = {"OK", "", " padded ", "'q'", "\"q\"", std::string(kXuBig5) + "x",
                                           std::string("a") + kXuBig5, "50%"};
  for (std::size_t i = 0; i < values.size(); ++i) {
    CurrentLanguagePlatform()
        .OpenLanguageFile(path, "TNoteForm", ChineseLeadBytes(), LanguageFileAccess::Write)
        ->Write("K" + std::to_string(i), values[i]);
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(Profile(path, "K" + std::to_string(i)), values[i]) << i;
    EXPECT_EQ(Ours(path, "K" + std::to_string(i)), values[i]) << i;
  }
}

// A Simplified file read on a Traditional system and a Traditional one on
// a Simplified system: generated, written and applied byte for byte.
TEST_F(LanguageFiles, BytesPassThroughInEveryCodePage) {
  TNoteForm form(nullptr);
  auto& label = TComponent::Create<TLabel>(form);
  label.SetName("Notice");
  label.SetCaption(std::string(kWaterBig5) + kXuBig5);
  Catalogue({{TLanguageKind::lkChineseTradionary, true}, {TLanguageKind::lkChineseSimplify, false}});
  language.GenerateLanguageFiles(form);
  EXPECT_EQ(Bytes(File(TLanguageKind::lkChineseTradionary, "TNoteForm")),
            std::string("[TNoteForm]\r\nTNoteForm.Caption=\r\nNotice=") + kWaterBig5 + kXuBig5 + "\r\n");

  const std::string simplified = std::string(kFullWidthAGbk) + "\xC8\xED\xBC\xFE";  // Ａ软件
  Put(File(TLanguageKind::lkChineseSimplify, "TNoteForm"),
      "[TNoteForm]\r\nTNoteForm.Caption=" + simplified + "\r\nNotice=" + simplified + "\r\n");
  language.SetAutoTranslate(false);
  language.SetLanguageKind(TLanguageKind::lkChineseSimplify);
  language.TranslateComponent(form);
  EXPECT_EQ(form.Caption(), simplified) << "code page " << GetACP();
  EXPECT_EQ(label.Caption(), simplified);

  language.SetLanguageKind(TLanguageKind::lkChineseTradionary);
  language.TranslateComponent(form);
  EXPECT_EQ(label.Caption(), std::string(kWaterBig5) + kXuBig5) << "code page " << GetACP();
}

// A multi-line text is one line in the file, reads back exactly and never
// becomes a key of another component.
TEST_F(LanguageFiles, AMultiLineTextStaysOneValue) {
  TNoteForm form(nullptr);
  auto& note = TComponent::Create<TLabel>(form);
  note.SetName("Note");
  const std::string text = "First line\r\nB=taken\r\n%n stays";
  note.SetCaption(text);
  auto& b = TComponent::Create<TLabel>(form);
  b.SetName("B");
  b.SetCaption("b");
  Catalogue({{TLanguageKind::lkChineseTradionary, true}, {TLanguageKind::lkEnglish, false}});
  language.GenerateLanguageFiles(form);
  EXPECT_EQ(Bytes(File(TLanguageKind::lkEnglish, "TNoteForm")),
            "[TNoteForm]\r\nTNoteForm.Caption=\r\nNote=First line%r%nB=taken%r%n%%n stays\r\nB=b\r\n");
  note.SetCaption("x");
  language.SetAutoTranslate(false);
  language.SetLanguageKind(TLanguageKind::lkEnglish);
  language.TranslateComponent(form);
  EXPECT_EQ(note.Caption(), text);
  EXPECT_EQ(b.Caption(), "b");
}

// Every look-up sees the file as it is at that moment: a change made in the
// middle of a pass (here by a property setter, as another program could)
// is read by the look-ups after it.
TEST_F(LanguageFiles, ALookUpSeesTheFileAsItIsNow) {
  TNoteForm form(nullptr);
  auto& first = TComponent::Create<TSpyLabel>(form);
  first.SetName("First");
  auto& second = TComponent::Create<TSpyLabel>(form);
  second.SetName("Second");
  const std::string path = File(TLanguageKind::lkChineseTradionary, "TNoteForm");
  Put(path, "[TNoteForm]\r\nFirst=1\r\nSecond=old\r\n");
  first.OnSet = [&] {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(std::string("[TNoteForm]\r\nFirst=1\r\nSecond=").size());
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "new", 3, &written, &at));
    CloseHandle(file);
  };
  language.TranslateComponent(form);
  EXPECT_EQ(first.Caption(), "1");
  EXPECT_EQ(second.Caption(), "new");
}

// Generation writes a value only where the file lacks it: a file whose
// values are already there is not touched at all, and a shorter value
// leaves nothing of the longer one behind.
TEST_F(LanguageFiles, GenerationTouchesOnlyWhatChanges) {
  TNoteForm form(nullptr);
  auto& label = TComponent::Create<TLabel>(form);
  label.SetName("Notice");
  label.SetCaption("a long caption");
  auto& after = TComponent::Create<TLabel>(form);
  after.SetName("After");
  after.SetCaption("after");
  Catalogue({{TLanguageKind::lkChineseTradionary, true}, {TLanguageKind::lkEnglish, false}});
  language.GenerateLanguageFiles(form);
  const std::string path = File(TLanguageKind::lkChineseTradionary, "TNoteForm");
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const FILETIME old{0x2D9A8000u, 0x01C0E6F1u};  // 2001
  SetFileTime(file, nullptr, nullptr, &old);
  CloseHandle(file);

  language.GenerateLanguageFiles(form);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, old.dwHighDateTime) << "a file with every value is not written";
  EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, old.dwLowDateTime);

  label.SetCaption("short");
  language.GenerateLanguageFiles(form);
  EXPECT_EQ(Bytes(path), "[TNoteForm]\r\nTNoteForm.Caption=\r\nNotice=short\r\nAfter=after\r\n");
}

}  // namespace
}  // namespace quorlane
