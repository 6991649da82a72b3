// The language component's Windows side for native tests of the converter:
// converts nothing (so the word table's and the converter's own effects
// show alone), remembers each conversion it was asked for, and reads text
// as a Big5 or GBK code page does (lead bytes 0x81-0xFE).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "language/language_platform.h"

namespace quorlane {

class RecordingPlatform final : public LanguagePlatform {
 public:
  /// The executable's folder, which the word table needs to exist.
  static constexpr char kHostFolder[] = "C:\\Host\\";

  std::string WindowsDirectory() const override { return "C:\\WINDOWS"; }
  std::string ApplicationFolder() const override { return kHostFolder; }
  std::string ExpandFileName(const std::string& path) const override { return path; }
  bool DirectoryExists(const std::string& path) const override { return hostFolderExists && path == kHostFolder; }
  std::string ConvertChinese(std::string_view text, bool toSimplified) const override {
    conversions.emplace_back(std::string(text), toSimplified);
    return std::string(text);
  }
  const LeadByteTable& AnsiLeadBytes() const override {
    static const LeadByteTable table = [] {
      LeadByteTable t{};
      for (int b = 0x81; b <= 0xFE; ++b) t[static_cast<std::size_t>(b)] = true;
      return t;
    }();
    return table;
  }

  bool hostFolderExists = true;
  mutable std::vector<std::pair<std::string, bool>> conversions;
};

/// The one the test program's CurrentLanguagePlatform() answers.
[[nodiscard]] RecordingPlatform& TestPlatform();

}  // namespace quorlane
