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

/// One language file, held open for one step of a pass over a form or
/// frame: the values of one section (ini_section.h has the format).
/// Nothing is cached: a file opened for reading is looked at through a live
/// view of its bytes, so every look-up sees the file as it is at that
/// moment; a file opened for writing denies other writers while it is held,
/// and every write goes to the file at once, as one write of the bytes that
/// change. Letting go of the object closes the file.
class LanguageFile {
 public:
  virtual ~LanguageFile() = default;
  /// The key's value; none when the section has no such key. A key that is
  /// present with an empty value gives the empty text.
  [[nodiscard]] virtual std::optional<std::string> Find(const std::string& key) = 0;
  /// Updates the key in place or adds it, creating the file and the section
  /// when they do not exist yet; touches nothing when the file already holds
  /// this value. Raises an error that names the file when the value cannot
  /// be written (and on a file opened for reading).
  virtual void Write(const std::string& key, const std::string& value) = 0;
};

enum class LanguageFileAccess { Read, Write };

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
  /// against the current directory), whose double-byte characters begin
  /// with `leadBytes`. For writing, the file need not exist yet; for
  /// reading, a missing file has no keys.
  [[nodiscard]] virtual std::unique_ptr<LanguageFile> OpenLanguageFile(const std::string& path,
                                                                       const std::string& section,
                                                                       const LeadByteTable& leadBytes,
                                                                       LanguageFileAccess access) const;
};

[[nodiscard]] const LanguagePlatform& CurrentLanguagePlatform();

}  // namespace quorlane
