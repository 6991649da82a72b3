// Bytes in the workstations' ANSI code page as text a person can read, and
// back. Keys, users, computers and the VAT list reach the server as bytes in
// the code page of the workstations (Big5, GBK or Western European); the web
// console shows them in UTF-8. Both builds of the server use these tables
// (generated from Python's codecs), never the platform's, so the Linux and the
// Windows server show the same characters for the same bytes.
//
// Nothing is dropped: a byte that does not decode is shown as \xHH (and a
// backslash that would read as such an escape as \x5C), so the shown text
// turns back into exactly the bytes it came from (ParseShownText).
// Platform-free.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorlane::server::web {

enum class CodePage { Big5 = 950, Gbk = 936, Western = 1252 };

/// 950, 936 or 1252; nothing for another number.
[[nodiscard]] std::optional<CodePage> CodePageFromNumber(unsigned number);

enum class ShownAs {
  Field,  ///< one line: control bytes are escaped too (keys, users, computers)
  Text,   ///< several lines: tab, line feed and carriage return stay as they are
};

/// The bytes as UTF-8 text, undecodable bytes as \xHH.
[[nodiscard]] std::string ShowBytes(std::string_view bytes, CodePage codePage, ShownAs how = ShownAs::Field);

/// Turns shown (or typed) UTF-8 text back into bytes of the code page: each
/// \xHH is the byte HH, every other character is encoded. Nothing (with the
/// offending character in `error`) when the code page has no code for a
/// character or the text is not UTF-8.
[[nodiscard]] std::optional<std::string> ParseShownText(std::string_view text, CodePage codePage, std::string& error);

/// One Unicode character of the code page's double-byte range; 0 for none.
/// For the tests of the tables.
[[nodiscard]] char32_t DecodeDoubleByte(CodePage codePage, unsigned char lead, unsigned char trail);

}  // namespace quorlane::server::web
