// The local key file "Taxation.txt" and the scrambling of its lines, shared by
// the library (which reads the file), quorlane-taxkey (which writes it) and
// the site server (which keeps its own key in the same form). Platform-free.
//
// The scheme is obfuscation, not a security boundary: it keeps the key out of
// plain sight in editors, backups and e-mail, and it tells a line it wrote
// from anything else. A scrambled line is "QK1-" followed by base64url (no
// padding) of: one salt byte, the text masked with a keystream drawn from the
// salt, and a CRC-32 of version, salt and text. Printable ASCII only, no
// spaces. A line that is not in that form, or whose check does not hold (a
// typo, a foreign file, a line cut short), unscrambles to the empty text.
//
// The file: line 1 a comment (not used), line 2 scrambled owner + "==" + first
// part of the key, line 3 scrambled second part of the key; CR LF endings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorlane::taxkey {

inline constexpr std::string_view kSchemePrefix = "QK1-";
/// The reader takes at most this many characters of lines 2 and 3.
inline constexpr std::size_t kMaxLineChars = 255;
/// The most text bytes one scrambled line of at most 255 characters holds.
inline constexpr std::size_t kMaxPlainBytesPerLine = 183;

[[nodiscard]] std::string Scramble(std::string_view text, std::uint8_t salt);
/// The text, or the empty text for a line not in the scheme's form. Spaces
/// and tabs around the line (added by editors) are ignored.
[[nodiscard]] std::string Unscramble(std::string_view line);

/// The letters A to Z lower-cased; every other byte as it is.
[[nodiscard]] std::string LowerAsciiLetters(std::string_view text);

/// The library's reading of the key file's bytes for an installation's
/// owner: empty for an empty owner, fewer than three lines, no "==" in the
/// unscrambled second line or another owner; else the text behind "==" plus
/// the unscrambled third line.
[[nodiscard]] std::string KeyFromKeyFile(std::string_view fileText, std::string_view owner);

/// What the second line of a key file names, for the tool's "read".
struct KeyFileContent {
  std::string owner;
  std::string key;
};
[[nodiscard]] std::optional<KeyFileContent> ReadKeyFile(std::string_view fileText);

/// The bytes of a key file for `owner` and `key`, or nothing with `error`
/// when they cannot be written so that the library reads them back (empty or
/// ill-formed owner, empty key, more than both lines hold).
[[nodiscard]] std::optional<std::string> ComposeKeyFile(std::string_view owner, std::string_view key,
                                                        std::uint8_t salt2, std::uint8_t salt3, std::string& error);

}  // namespace quorlane::taxkey
