// How qlcall writes arbitrary bytes on a terminal and reads them back from the
// command line. Platform-free.
//
// Escaped form: printable ASCII (0x20..0x7E) stands for itself except the
// backslash, which is written "\\"; every other byte is "\xHH" (upper-case).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hostkit {

[[nodiscard]] std::string EscapeBytes(std::string_view bytes);

/// Reverses EscapeBytes; also accepts lower-case hex digits. Returns nothing for
/// a malformed escape (a lone backslash, "\x" without two hex digits, "\q").
[[nodiscard]] std::optional<std::string> UnescapeBytes(std::string_view text);

/// A 32-bit argument written in decimal (optionally negative) or as 0x hex.
[[nodiscard]] std::optional<std::uint32_t> ParseInteger(std::string_view text);

}  // namespace hostkit
