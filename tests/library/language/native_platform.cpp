// Stand-in for the Windows side of the language component in the native
// build: fixed folders, a visible full-path expansion, Big5-like lead bytes,
// and language files kept in memory (keys without letter case, values in
// the order they were first written).
#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "framework/errors.h"
#include "language/language_platform.h"
#include "native_platform.h"

namespace quorlane {
namespace {

class MemoryFile final : public LanguageFile {
 public:
  explicit MemoryFile(MemoryFiles::File& file) noexcept : m_file(file) {}
  std::optional<std::string> Find(const std::string& key) override {
    if (key == Files().failingKey) throw Exception("cannot read " + key);
    for (const auto& [name, value] : m_file) {
      if (SameKey(name, key)) return value;
    }
    return std::nullopt;
  }
  void Write(const std::string& key, const std::string& value) override {
    for (auto& [name, stored] : m_file) {
      if (SameKey(name, key)) {
        stored = value;
        return;
      }
    }
    m_file.emplace_back(key, value);
  }

 private:
  MemoryFiles::File& m_file;
};

class NativePlatform final : public LanguagePlatform {
 public:
  std::string WindowsDirectory() const override { return "C:\\WINDOWS"; }
  std::string ApplicationFolder() const override { return "C:\\Program Files\\Host\\"; }
  std::string ExpandFileName(const std::string& path) const override { return "C:\\Work\\[" + path + "]"; }
  bool DirectoryExists(const std::string& path) const override {
    static const std::set<std::string> folders = {"C:\\Program Files\\Host\\", "C:\\WINDOWS\\", "tables"};
    return folders.count(path) != 0 || std::find(Files().folders.begin(), Files().folders.end(), path) !=
                                           Files().folders.end();
  }
  std::string ConvertChinese(std::string_view text, bool) const override { return std::string(text); }
  const LeadByteTable& AnsiLeadBytes() const override {
    static const LeadByteTable table = [] {
      LeadByteTable t{};
      for (int b = 0x81; b <= 0xFE; ++b) t[static_cast<std::size_t>(b)] = true;
      return t;
    }();
    return table;
  }
  bool FileExists(const std::string& path) const override { return Files().files.count(path) != 0; }
  void ForceDirectories(const std::string& path) const override { Files().folders.push_back(path); }
  std::unique_ptr<LanguageFile> OpenLanguageFile(const std::string& path, const std::string&, const LeadByteTable&,
                                                 LanguageFileAccess) const override {
    return std::make_unique<MemoryFile>(Files().files[path]);
  }
};

}  // namespace

// Compared in place: the fuzzer looks keys up millions of times.
bool SameKey(std::string_view a, std::string_view b) noexcept {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

MemoryFiles& Files() {
  static MemoryFiles files;
  return files;
}

const LanguagePlatform& CurrentLanguagePlatform() {
  static const NativePlatform platform;
  return platform;
}

}  // namespace quorlane
