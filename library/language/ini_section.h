// One section of a language file, read and written from the file's bytes.
//
// The format is the Windows profile format as the language files use it:
// a line "[name]" opens a section (the name runs to the last "]" of the
// line), a line "key=value" is a value, anything else (a comment, a line
// without "=") is kept as it is. The rules of the profile functions hold:
// the section and the keys are compared without regard to the case of A-Z,
// the first of two sections or keys of the same name wins, blanks around
// keys and values are dropped, a value in matching quotes (" or ') is read
// without them, and CR, LF or CR LF ends a line. Unlike the profile
// functions, bytes are never converted through a code page: a value reads
// back with exactly the bytes it was written with, whatever the system's
// code page. Letter case is folded only in single-byte characters, since
// the trail byte of a Big5 or GBK character may be a letter.
//
// A value is one line of text. So that any text survives, a value is
// stored escaped: a line break becomes "%n" (LF) or "%r" (CR), a "%" that
// would be read as the start of one of these becomes "%%", and a value
// with blanks at either end, or one that begins and ends with the same
// quote, is put in double quotes. "%" (0x25) can never be the trail byte of
// a Big5 or GBK character, unlike "\" (0x5C).
//
// Lines written new end in CR LF. Nothing in here touches a file: the
// caller hands in the bytes and writes back what changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "language/language_platform.h"

namespace quorlane {

/// The text a value is stored as on its line (escaped, quoted if needed).
[[nodiscard]] std::string EncodeIniValue(std::string_view value);
/// The text of a stored value: `stored` is what follows "=" up to the end
/// of its line; blanks, quotes and escapes are taken off.
[[nodiscard]] std::string DecodeIniValue(std::string_view stored);
/// Two names compared as keys and sections are:
/// A-Z and a-z alike in single-byte characters, double-byte characters
/// (by `leadBytes`) byte for byte.
[[nodiscard]] bool SameIniName(std::string_view a, std::string_view b, const LeadByteTable& leadBytes) noexcept;

class IniSection {
 public:
  /// Which bytes of the file changed: `removed` bytes at `offset` were
  /// replaced by `inserted` bytes (Bytes() holds the new content).
  struct Change {
    std::size_t offset = 0;
    std::size_t removed = 0;
    std::size_t inserted = 0;
  };

  IniSection(std::string section, const LeadByteTable& leadBytes);

  /// Looks at the file's bytes as they are now. When they differ from the
  /// bytes looked at before, by as little as one byte, they are indexed
  /// again; so a look-up after Look() always answers for these bytes.
  void Look(std::string_view bytes);
  /// The value of the first key of that name in the first section of this
  /// name; none when there is no such key (or section).
  [[nodiscard]] std::optional<std::string> Find(std::string_view key) const;
  /// Makes the held bytes give `value` for `key`: the first such key's value
  /// is replaced in place, else a line is added after the section's last
  /// line, else the section is added at the end. Nothing changes (none)
  /// when the key already gives exactly this value.
  std::optional<Change> Write(std::string_view key, std::string_view value);
  [[nodiscard]] const std::string& Bytes() const noexcept { return m_bytes; }

 private:
  struct Entry {
    std::size_t keyBegin;
    std::size_t keyEnd;
    std::size_t valueBegin;  // after the blanks that follow "="
    std::size_t valueEnd;    // before the blanks that end the line
    std::uint32_t hash;
  };

  void Index();
  void Insert(const Entry& entry);
  void Grow();
  [[nodiscard]] std::uint32_t Hash(std::string_view name) const noexcept;
  [[nodiscard]] const Entry* Lookup(std::string_view key) const noexcept;
  [[nodiscard]] std::string_view Slice(std::size_t begin, std::size_t end) const noexcept {
    return std::string_view(m_bytes).substr(begin, end - begin);
  }
  Change Replace(std::size_t offset, std::size_t removed, const std::string& text);

  std::string m_section;
  const LeadByteTable& m_leadBytes;
  std::string m_bytes;
  bool m_sectionFound = false;
  /// Where a new key goes: after the section's last line that is not blank.
  std::size_t m_insertAt = 0;
  /// That line ends the file without a line break.
  bool m_insertNeedsBreak = false;
  std::vector<Entry> m_entries;
  /// Open addressing: entry index + 1, 0 for a free slot; a power of two long.
  std::vector<std::uint32_t> m_slots;
};

}  // namespace quorlane
