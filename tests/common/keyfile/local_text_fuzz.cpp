// libFuzzer target: the line rules of the local VAT list and taxation files,
// whatever bytes a damaged or hand-edited file holds. Splitting keeps every
// byte that is not a line break, and the file form is stable: writing what
// was read gives the same lines and the same bytes again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "keyfile/local_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto lines = quorlane::SplitTextLines(input);

  std::size_t kept = 0;
  for (const auto& line : lines) {
    if (line.find_first_of("\r\n") != std::string::npos) __builtin_trap();
    kept += line.size();
  }
  std::size_t breaks = 0;
  for (std::size_t i = 0; i < input.size(); ++i) {
    if (input[i] == '\n' || input[i] == '\r') breaks += 1;
  }
  if (kept + breaks != input.size()) __builtin_trap();
  if (lines.size() > breaks + 1 || (!input.empty() && lines.empty() && breaks == 0)) __builtin_trap();

  const std::string file = quorlane::JoinCrLfLines(lines);
  if (quorlane::SplitTextLines(file) != lines) __builtin_trap();
  if (quorlane::VatListFileText(file) != file) __builtin_trap();
  if (file != quorlane::VatListFileText(input)) __builtin_trap();
  return 0;
}
