// What the language component needs of the operating system, behind one seam
// so the catalogue, path and word-table logic builds and is tested without
// Windows. The Windows implementation is language_platform_win.cpp; native
// tests link a definition of their own.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quorlane {

/// Which bytes begin a double-byte character in an 8-bit code page.
using LeadByteTable = std::array<bool, 256>;

/// One language file, held for one pass over a form: the values of one
/// section. Nothing is cached here: every look-up and every write goes to the
/// file at once, by the rules of the platform's profile functions (keys
/// compared without letter case, a value is one line, a write updates the
/// key in place or appends it, creating the file and the section). Letting
/// go of the object closes the file.
class LanguageFile {
 public:
  virtual ~LanguageFile() = default;
  /// The key's value; none when the section has no such key. A key that is
  /// present with an empty value gives the empty text.
  [[nodiscard]] virtual std::optional<std::string> Find(const std::string& key) = 0;
  /// Raises an error that names the file when the value cannot be written.
  virtual void Write(const std::string& key, const std::string& value) = 0;
};

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

  // Language files. A platform without them (the native stand-ins of the
  // tests that need none) raises Exception from each.

  /// An existing file (not a folder).
  [[nodiscard]] virtual bool FileExists(const std::string& path) const;
  /// Creates the folder together with every missing parent; raises EOSError.
  virtual void ForceDirectories(const std::string& path) const;
  /// The section `section` of the file at path (relative paths are taken
  /// against the current directory); the file need not exist yet.
  [[nodiscard]] virtual std::unique_ptr<LanguageFile> OpenLanguageFile(const std::string& path,
                                                                       const std::string& section) const;
};

[[nodiscard]] const LanguagePlatform& CurrentLanguagePlatform();

}  // namespace quorlane
