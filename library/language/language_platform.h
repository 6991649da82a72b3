// What the language component needs of the operating system, behind one seam
// so the catalogue, path and word-table logic builds and is tested without
// Windows. The Windows implementation is language_platform_win.cpp; native
// tests link a definition of their own.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace quorlane {

/// Which bytes begin a double-byte character in an 8-bit code page.
using LeadByteTable = std::array<bool, 256>;

class LanguagePlatform {
 public:
  virtual ~LanguagePlatform() = default;
  /// The Windows directory, as the system reports it (no trailing "\").
  [[nodiscard]] virtual std::string WindowsDirectory() const = 0;
  /// Folder of the running process's executable, ending in "\".
  [[nodiscard]] virtual std::string ApplicationFolder() const = 0;
  /// Full path against the process's current directory, "." and ".." resolved.
  [[nodiscard]] virtual std::string ExpandFileName(const std::string& path) const = 0;
  [[nodiscard]] virtual bool DirectoryExists(const std::string& path) const = 0;
  /// Character conversion: Big5 to GBK when toSimplified, GBK to Big5 otherwise.
  /// Raises EOSError when a platform call fails.
  [[nodiscard]] virtual std::string ConvertChinese(std::string_view text, bool toSimplified) const = 0;
  /// Lead bytes of the process's ANSI code page.
  [[nodiscard]] virtual const LeadByteTable& AnsiLeadBytes() const = 0;
};

[[nodiscard]] const LanguagePlatform& CurrentLanguagePlatform();

}  // namespace quorlane
