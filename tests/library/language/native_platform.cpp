// Stand-in for the Windows side of the language component in the native
// build: fixed folders, a visible full-path expansion, Big5-like lead bytes.
#include <set>
#include <string>

#include "language/language_platform.h"

namespace quorlane {
namespace {

class NativePlatform final : public LanguagePlatform {
 public:
  std::string WindowsDirectory() const override { return "C:\\WINDOWS"; }
  std::string ApplicationFolder() const override { return "C:\\Program Files\\Host\\"; }
  std::string ExpandFileName(const std::string& path) const override { return "C:\\Work\\[" + path + "]"; }
  bool DirectoryExists(const std::string& path) const override {
    static const std::set<std::string> folders = {"C:\\Program Files\\Host\\", "C:\\WINDOWS\\", "tables"};
    return folders.count(path) != 0;
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
};

}  // namespace

const LanguagePlatform& CurrentLanguagePlatform() {
  static const NativePlatform platform;
  return platform;
}

}  // namespace quorlane
