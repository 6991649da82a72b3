// The session's settings from Quorlane.ini and the path and line rules of its
// debug trace. Platform-free: the Windows side reads the file and the clock.
//
//   [Quorlane]  DataDir=folder of VATList.txt, Taxation.txt and the trace
//   [Products]  code=standalone | code=networked,host   (*= for codes not listed)
//   [Session]   ServerHost=, Port=, NetVersion= initial session values
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlane {

enum class InstallationMode { Networked, Standalone, Undetermined };

struct ProductEntry {
  std::string code;
  InstallationMode mode = InstallationMode::Undetermined;
  std::string host;
};

/// The [Products] section as GetPrivateProfileSection returns it: key=value
/// entries, each ended by a zero byte. Entries that name no known mode count
/// as undetermined.
[[nodiscard]] std::vector<ProductEntry> ParseProductsSection(std::string_view section);

/// The entry for `productCode` (codes compare case-insensitively, as the
/// profile functions compare keys), else the "*" entry, else none.
[[nodiscard]] const ProductEntry* FindProduct(const std::vector<ProductEntry>& products, std::string_view productCode);

/// "1", "true", "yes" or "networked" → true; "0", "false", "no", "standalone" → false.
[[nodiscard]] std::optional<bool> ParseFlag(std::string_view text);
/// Decimal port 1..65535.
[[nodiscard]] std::optional<std::uint32_t> ParsePort(std::string_view text);

/// The data directory: `configured` (relative to `dllFolder` unless absolute)
/// or, when blank, `dllFolder`; always ending in "\".
[[nodiscard]] std::string SettleDataDirectory(std::string_view configured, std::string_view dllFolder);
/// The folder part of a module path, ending in "\".
[[nodiscard]] std::string FolderOf(std::string_view modulePath);
/// data directory + program file name without its extension + "_DebugInfo.txt".
[[nodiscard]] std::string DebugLogPathFor(std::string_view dataDirectory, std::string_view programPath);

struct LocalTime {
  int month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
/// "m/d hh:nn:ss " + text + CR LF, with the system's separators.
[[nodiscard]] std::string FormatTraceLine(const LocalTime& when, std::string_view dateSeparator,
                                          std::string_view timeSeparator, std::string_view text);

}  // namespace quorlane
