// The mapping from application identifiers to update addresses, and the
// file an administrator writes it in. Pure parsing; no file is read here.
//
// File format (bytes; identifiers compare byte for byte):
//   # comment              a line whose first non-blank character is # or ;
//   IDENTIFIER = ADDRESS   split at the first "="; blanks around both trimmed
// "\xHH" (two hex digits) stands for any byte, so an identifier may hold "="
// or "#", and either side may hold Big5 or GBK bytes on any editor. Every
// other backslash is an ordinary character (UNC paths need no doubling).
// Blank lines, CR LF line ends and a leading UTF-8 byte-order mark are fine.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorlane::updater {

/// Longest address: the library takes at most 16,384 bytes before the LF.
inline constexpr std::size_t kMaxAddressBytes = 16384;

class UpdateMap {
 public:
  /// Nothing, with "line N: ..." in `error`, for a line that is not an entry,
  /// an empty or duplicate identifier, an identifier or address that a
  /// request or reply line could not carry (CR, LF, NUL, too long).
  [[nodiscard]] static std::optional<UpdateMap> Parse(std::string_view text, std::string& error);

  /// The address for an identifier; null when it has none.
  [[nodiscard]] const std::string* Find(std::string_view identifier) const;
  [[nodiscard]] std::size_t Size() const noexcept { return m_entries.size(); }

 private:
  std::unordered_map<std::string, std::string> m_entries;
};

}  // namespace quorlane::updater
