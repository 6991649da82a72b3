// libFuzzer target: the session's settings file (Quorlane.ini) as the
// profile functions hand it over, and the path rules built on its values.
// Product entries keep their codes trimmed and non-empty, a lookup finds an
// entry with its own code, and every folder the rules form ends in "\".
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "session_settings.h"

namespace {

bool IsDelimiter(char c) { return c == '\\' || c == '/'; }

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const auto products = quorlane::ParseProductsSection(input);
  for (const auto& entry : products) {
    if (entry.code.empty() || entry.code.front() == ';' || IsBlank(entry.code.front()) ||
        IsBlank(entry.code.back())) {
      __builtin_trap();
    }
    if (!entry.host.empty() && entry.mode != quorlane::InstallationMode::Networked) __builtin_trap();
    const quorlane::ProductEntry* found = quorlane::FindProduct(products, entry.code);
    if (found == nullptr || found > &entry) __builtin_trap();
  }

  const std::size_t cut = input.find('\0');
  const std::string_view first = input.substr(0, cut);
  const std::string_view second = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);
  (void)quorlane::ParseFlag(first);
  if (const auto port = quorlane::ParsePort(first); port && (*port == 0 || *port > 65535)) __builtin_trap();

  const std::string folder = quorlane::FolderOf(first);
  if (folder.empty() || !IsDelimiter(folder.back())) __builtin_trap();
  const std::string dataDirectory = quorlane::SettleDataDirectory(second, folder);
  if (!IsDelimiter(dataDirectory.back())) __builtin_trap();
  const std::string log = quorlane::DebugLogPathFor(dataDirectory, first);
  if (log.rfind(dataDirectory, 0) != 0 || log.size() < dataDirectory.size() + 14) __builtin_trap();
  return 0;
}
