// The 19 exports of Quorlane.dll with the kinds of their arguments and result,
// for hosts that call them generically (qlcall, the tests). Platform-free.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace hostkit {

enum class ArgKind : std::uint8_t { Text, Integer, Window };
enum class ResultKind : std::uint8_t { None, Text, Integer };

struct ExportSignature {
  std::string_view name;
  std::uint16_t ordinal;
  ResultKind result;
  std::uint8_t argCount;
  std::array<ArgKind, 2> args;
};

inline constexpr std::array<ExportSignature, 19> kExports{{
    {"SetInitial", 1, ResultKind::None, 1, {ArgKind::Window, ArgKind::Text}},
    {"FreeInitial", 2, ResultKind::None, 0, {}},
    {"SetLockDBDotNet", 3, ResultKind::Text, 2, {ArgKind::Text, ArgKind::Text}},
    {"SetUnLockDBDotNet", 4, ResultKind::Text, 1, {ArgKind::Text, ArgKind::Text}},
    {"SetForceUnLockDBDotNet", 5, ResultKind::Text, 1, {ArgKind::Text, ArgKind::Text}},
    {"CheckDBLockedDotNet", 6, ResultKind::Text, 1, {ArgKind::Text, ArgKind::Text}},
    {"DoDeleteFileDotNet", 7, ResultKind::Text, 1, {ArgKind::Text, ArgKind::Text}},
    {"DoCopyFileDotNet", 8, ResultKind::Text, 2, {ArgKind::Text, ArgKind::Text}},
    {"StartServerService", 9, ResultKind::Integer, 2, {ArgKind::Text, ArgKind::Text}},
    {"StopServerService", 10, ResultKind::Integer, 2, {ArgKind::Text, ArgKind::Text}},
    {"ServerServiceStarted", 11, ResultKind::Integer, 2, {ArgKind::Text, ArgKind::Text}},
    {"GetFileSizeInfo", 12, ResultKind::Text, 2, {ArgKind::Text, ArgKind::Text}},
    {"GetVATList", 13, ResultKind::Text, 0, {}},
    {"GetAppSelfUpdURL", 14, ResultKind::Text, 1, {ArgKind::Text, ArgKind::Text}},
    {"SaveVATList", 15, ResultKind::None, 1, {ArgKind::Text, ArgKind::Text}},
    {"GetTaxationAPIKey", 16, ResultKind::Text, 0, {}},
    {"GetConvertedMessageDotNet", 17, ResultKind::Text, 1, {ArgKind::Text, ArgKind::Text}},
    {"GetZConvertList", 18, ResultKind::None, 1, {ArgKind::Integer, ArgKind::Text}},
    {"SyncZConvertList", 19, ResultKind::None, 2, {ArgKind::Integer, ArgKind::Integer}},
}};

/// The export of that exact name (case-sensitive, as GetProcAddress matches).
[[nodiscard]] constexpr const ExportSignature* FindExport(std::string_view name) noexcept {
  for (const ExportSignature& e : kExports) {
    if (e.name == name) return &e;
  }
  return nullptr;
}

}  // namespace hostkit
