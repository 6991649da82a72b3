// The text rules of the library's local files ("VATList.txt", "Taxation.txt"):
// how their bytes split into lines and how lines are written back.
// Platform-free.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorlane {

/// A line ends at CR, LF or CR LF. A text that ends with a line break makes
/// no extra empty line; one that does not still forms a last line; the empty
/// text has no lines.
[[nodiscard]] std::vector<std::string> SplitTextLines(std::string_view text);

/// Every line followed by CR LF (no lines: the empty text).
[[nodiscard]] std::string JoinCrLfLines(const std::vector<std::string>& lines);

/// The VAT list file's form of a list text: its lines, each ended by CR LF.
[[nodiscard]] inline std::string VatListFileText(std::string_view list) { return JoinCrLfLines(SplitTextLines(list)); }

}  // namespace quorlane
