#include "parameter_string.h"

#include <cstring>

namespace talvora {

namespace {

constexpr bool IsSeparator(wchar_t c) { return c >= 1 && c <= 32; }

constexpr wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool StartsWithName(std::wstring_view entry, std::wstring_view name) {
  if (entry.size() <= name.size() || entry[name.size()] != L'=') return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (Lower(entry[i]) != Lower(name[i])) return false;
  }
  return true;
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine) {
  std::vector<std::wstring> arguments;
  std::size_t i = 0;
  const std::size_t n = commandLine.size();
  while (true) {
    while (i < n && IsSeparator(commandLine[i])) ++i;
    if (i >= n) break;
    std::wstring argument;
    while (i < n && !IsSeparator(commandLine[i])) {
      if (commandLine[i] == L'"') {
        ++i;
        while (i < n && commandLine[i] != L'"') argument.push_back(commandLine[i++]);
        if (i < n) ++i;  // the closing quote
      } else {
        argument.push_back(commandLine[i++]);
      }
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

std::wstring CommandLineArgument(std::wstring_view commandLine, std::size_t index) {
  auto arguments = SplitCommandLine(commandLine);
  return index < arguments.size() ? std::move(arguments[index]) : std::wstring{};
}

bool IsBlankParameter(std::wstring_view text) {
  for (wchar_t c : text) {
    if (static_cast<unsigned>(c) > 32) return false;
  }
  return true;
}

std::vector<std::wstring> ParameterLines(std::wstring_view text) {
  std::wstring joined;
  joined.reserve(text.size() + 16);
  for (wchar_t c : text) {
    if (c == L',') {
      joined += L"\r\n";
    } else {
      joined.push_back(c);
    }
  }
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < joined.size()) {
    if (joined[i] == L'\r' || joined[i] == L'\n') {
      lines.emplace_back(joined, start, i - start);
      if (joined[i] == L'\r' && i + 1 < joined.size() && joined[i + 1] == L'\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  // A last line without a line break still counts; a final break adds none.
  if (start < joined.size()) lines.emplace_back(joined, start, joined.size() - start);
  return lines;
}

ParameterValues ReadParameters(std::wstring_view text) {
  ParameterValues values;
  if (IsBlankParameter(text)) return values;
  const auto lines = ParameterLines(text);
  auto valueOf = [&lines](std::wstring_view name) {
    for (const auto& line : lines) {
      if (StartsWithName(line, name)) return line.substr(name.size() + 1);
    }
    return std::wstring{};
  };
  values.custId = valueOf(L"CustID");
  values.productId = valueOf(L"ProductID");
  values.timeStamp = valueOf(L"TimeStamp");
  values.aiUrl = valueOf(L"AiURL");
  return values;
}

std::wstring NavigationAddress(std::wstring_view aiUrl) {
  std::wstring address(aiUrl);
  for (auto& c : address) {
    if (c == L'|') c = L',';
  }
  return address;
}

std::wstring CopyDataText(const void* data, std::size_t byteCount) {
  std::wstring text;
  if (data == nullptr) return text;
  const auto* bytes = static_cast<const unsigned char*>(data);
  const std::size_t units = byteCount / 2;
  text.reserve(units);
  for (std::size_t i = 0; i < units; ++i) {
    // Assembled byte by byte: the sender's block need not be aligned.
    const auto unit = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

bool IsExternallyOpenable(std::wstring_view uri) {
  const auto colon = uri.find(L':');
  if (colon == std::wstring_view::npos) return false;
  std::wstring scheme;
  for (wchar_t c : uri.substr(0, colon)) scheme.push_back(Lower(c));
  return scheme == L"http" || scheme == L"https" || scheme == L"mailto";
}

RuntimePaths RuntimePathsFor(std::wstring_view allUsersProfile) {
  RuntimePaths paths;
  paths.userDataFolder = std::wstring(allUsersProfile) + L"\\EdgeUserDataFolder\\sorvik_dovudi\\";
  paths.installerFolder = std::wstring(allUsersProfile) + L"\\EdgeUserDataFolder\\";
  paths.installerFile = paths.installerFolder + L"MicrosoftEdgeWebview2Setup.exe";
  return paths;
}

std::wstring FileNamePart(std::wstring_view path) {
  const auto cut = path.find_last_of(L"\\/:");
  return std::wstring(cut == std::wstring_view::npos ? path : path.substr(cut + 1));
}

}  // namespace talvora
