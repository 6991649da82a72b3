#include "session_settings.h"

#include <cstdio>

#include "reply_frame.h"

namespace quorlane {
namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool IsDelimiter(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::vector<ProductEntry> ParseProductsSection(std::string_view section) {
  std::vector<ProductEntry> products;
  while (!section.empty()) {
    const std::size_t end = section.find('\0');
    const std::string_view line = section.substr(0, end);
    section.remove_prefix(end == std::string_view::npos ? section.size() : end + 1);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    ProductEntry entry;
    entry.code = TrimText(line.substr(0, equals));
    if (entry.code.empty() || entry.code.front() == ';') continue;
    const std::string value = TrimText(line.substr(equals + 1));
    const std::size_t comma = value.find(',');
    const std::string word = TrimText(std::string_view(value).substr(0, comma));
    if (EqualsIgnoringCase(word, "standalone")) {
      entry.mode = InstallationMode::Standalone;
    } else if (EqualsIgnoringCase(word, "networked")) {
      entry.mode = InstallationMode::Networked;
      if (comma != std::string::npos) entry.host = TrimText(std::string_view(value).substr(comma + 1));
    }
    products.push_back(std::move(entry));
  }
  return products;
}

const ProductEntry* FindProduct(const std::vector<ProductEntry>& products, std::string_view productCode) {
  const ProductEntry* fallback = nullptr;
  for (const auto& entry : products) {
    if (EqualsIgnoringCase(entry.code, productCode)) return &entry;
    if (entry.code == "*" && !fallback) fallback = &entry;
  }
  return fallback;
}

std::optional<bool> ParseFlag(std::string_view text) {
  const std::string word = TrimText(text);
  for (const char* yes : {"1", "true", "yes", "networked"}) {
    if (EqualsIgnoringCase(word, yes)) return true;
  }
  for (const char* no : {"0", "false", "no", "standalone"}) {
    if (EqualsIgnoringCase(word, no)) return false;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> ParsePort(std::string_view text) {
  const std::string digits = TrimText(text);
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  std::uint32_t port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (port == 0 || port > 65535) return std::nullopt;
  return port;
}

std::string FolderOf(std::string_view modulePath) {
  std::size_t at = modulePath.size();
  while (at > 0 && !IsDelimiter(modulePath[at - 1])) --at;
  std::string folder(modulePath.substr(0, at));
  if (folder.empty()) folder = ".\\";
  return folder;
}

std::string SettleDataDirectory(std::string_view configured, std::string_view dllFolder) {
  std::string folder = TrimText(configured);
  const bool absolute = (folder.size() >= 2 && folder[1] == ':') || (!folder.empty() && IsDelimiter(folder[0]));
  if (folder.empty()) {
    folder = std::string(dllFolder);
  } else if (!absolute) {
    std::string base(dllFolder);
    if (!base.empty() && !IsDelimiter(base.back())) base.push_back('\\');
    folder = base + folder;
  }
  if (folder.empty() || !IsDelimiter(folder.back())) folder.push_back('\\');
  return folder;
}

std::string DebugLogPathFor(std::string_view dataDirectory, std::string_view programPath) {
  std::string_view name = programPath;
  std::size_t at = name.size();
  while (at > 0 && !IsDelimiter(name[at - 1]) && name[at - 1] != ':') --at;
  name.remove_prefix(at);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  std::string path(dataDirectory);
  path.append(name);
  path.append("_DebugInfo.txt");
  return path;
}

std::string FormatTraceLine(const LocalTime& when, std::string_view dateSeparator, std::string_view timeSeparator,
                            std::string_view text) {
  char hh[8], nn[8], ss[8];
  std::snprintf(hh, sizeof hh, "%02d", when.hour);
  std::snprintf(nn, sizeof nn, "%02d", when.minute);
  std::snprintf(ss, sizeof ss, "%02d", when.second);
  std::string line = std::to_string(when.month);
  line.append(dateSeparator);
  line.append(std::to_string(when.day));
  line.push_back(' ');
  line.append(hh).append(timeSeparator).append(nn).append(timeSeparator).append(ss);
  line.push_back(' ');
  line.append(text);
  line.append("\r\n");
  return line;
}

}  // namespace quorlane
