// libFuzzer target: the shell's command line, its parameter string and a
// hand-off payload, all of which another program controls. The input bytes
// are read as UTF-16LE units, as the payload arrives. Splitting drops every
// quote and keeps no separator outside a quoted run; a value read from the
// parameter string is a piece of it without "," or a line break; the name
// of a path has no delimiter left; only the three schemes leave the shell.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "parameter_string.h"

namespace {

bool HasLineBreakOrComma(std::wstring_view text) { return text.find_first_of(L",\r\n") != std::wstring_view::npos; }

void CheckValue(std::wstring_view input, const std::wstring& value) {
  if (HasLineBreakOrComma(value) || input.find(value) == std::wstring_view::npos) __builtin_trap();
}

bool StartsWithLower(std::wstring_view text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    wchar_t c = text[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace talvora;
  const std::wstring input = CopyDataText(data, size);
  if (input.size() > size / 2 || input.find(L'\0') != std::wstring::npos) __builtin_trap();

  const auto arguments = SplitCommandLine(input);
  std::size_t total = 0;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i].find(L'"') != std::wstring::npos) __builtin_trap();
    total += arguments[i].size();
    if (i == 0 || i + 1 == arguments.size()) {
      if (CommandLineArgument(input, i) != arguments[i]) __builtin_trap();
    }
  }
  if (total > input.size() || arguments.size() > input.size()) __builtin_trap();
  if (!CommandLineArgument(input, arguments.size()).empty()) __builtin_trap();
  if (IsBlankParameter(input) != arguments.empty()) __builtin_trap();

  for (const auto& line : ParameterLines(input)) {
    if (HasLineBreakOrComma(line)) __builtin_trap();
  }
  const ParameterValues values = ReadParameters(input);
  for (const std::wstring* value : {&values.custId, &values.productId, &values.timeStamp, &values.aiUrl}) {
    if (!value->empty()) CheckValue(input, *value);
  }
  const std::wstring address = NavigationAddress(values.aiUrl);
  if (address.size() != values.aiUrl.size() || address.find(L'|') != std::wstring::npos) __builtin_trap();

  if (IsExternallyOpenable(input) && !StartsWithLower(input, L"http:") && !StartsWithLower(input, L"https:") &&
      !StartsWithLower(input, L"mailto:")) {
    __builtin_trap();
  }
  const std::wstring name = FileNamePart(input);
  if (name.find_first_of(L"\\/:") != std::wstring::npos || input.size() < name.size() ||
      input.compare(input.size() - name.size(), name.size(), name) != 0) {
    __builtin_trap();
  }
  return 0;
}
