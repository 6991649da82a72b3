#include "client_path.h"

#include <array>

namespace quorlane::server {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) { return AsciiLower(a) == AsciiLower(b); }

std::string Hex(unsigned char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  return std::string("0x") + kHex[c >> 4] + kHex[c & 15];
}

// Windows opens these devices whatever folder or extension goes with them.
bool IsDeviceName(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  std::string upper;
  for (char c : base) upper.push_back(Upper(c));
  static constexpr std::array<std::string_view, 7> kFixed = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (auto device : kFixed) {
    if (upper == device) return true;
  }
  if (upper.size() >= 4 && (upper.substr(0, 3) == "COM" || upper.substr(0, 3) == "LPT")) {
    const std::string_view number = std::string_view(upper).substr(3);
    // 0-9, and the superscripts 1, 2, 3 (Windows-1252 and UTF-8).
    static constexpr std::array<std::string_view, 6> kSuperscripts = {"\xB9", "\xB2", "\xB3",
                                                                      "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};
    if (number.size() == 1 && number[0] >= '0' && number[0] <= '9') return true;
    for (auto superscript : kSuperscripts) {
      if (number == superscript) return true;
    }
  }
  return false;
}

// Adds one component of a Windows path, resolving "." and "..".
bool AddWindowsComponent(std::string_view name, std::vector<std::string>& components, std::string& refusal) {
  if (name.empty() || name == ".") return true;
  if (name == "..") {
    if (components.empty()) return refusal = "\"..\" leaves the drive or share root", false;
    components.pop_back();
    return true;
  }
  if (name.size() > kMaxNameBytes) return refusal = "a name is longer than 255 bytes", false;
  if (name.find(':') != std::string_view::npos) return refusal = "alternate data stream (\":\" in a name)", false;
  if (name.back() == '.' || name.back() == ' ') return refusal = "a name ends with a dot or a space", false;
  if (IsDeviceName(name)) return refusal = "device name " + std::string(name), false;
  components.emplace_back(name);
  return true;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  while (true) {
    const auto at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool StartsWith(const LocalPath& path, const LocalPath& prefix, bool ignoreCase) {
  const auto same = [&](std::string_view a, std::string_view b) { return ignoreCase ? EqualIgnoringCase(a, b) : a == b; };
  if (!same(path.prefix, prefix.prefix) || path.components.size() < prefix.components.size()) return false;
  for (std::size_t i = 0; i < prefix.components.size(); ++i) {
    if (!same(path.components[i], prefix.components[i])) return false;
  }
  return true;
}

}  // namespace

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string LocalPath::ToString() const {
  const char separator = IsWindows() ? '\\' : '/';
  std::string text = prefix;
  if (components.empty()) return text + separator;
  for (const auto& component : components) text.append(1, separator).append(component);
  return text;
}

std::optional<LocalPath> ParseClientPath(std::string_view text, std::string& refusal) {
  if (text.empty()) return refusal = "empty path", std::nullopt;
  if (text.size() > kMaxClientPathBytes) {
    return refusal = "path longer than " + std::to_string(kMaxClientPathBytes) + " bytes", std::nullopt;
  }
  std::string path(text);
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (path.size() >= 4 && path[0] == '\\' && path[1] == '\\' && (path[2] == '?' || path[2] == '.') && path[3] == '\\') {
    return refusal = "device or raw path (\\\\?\\ or \\\\.\\)", std::nullopt;
  }
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || std::string_view("<>\"|?*").find(c) != std::string_view::npos) {
      return refusal = "character " + Hex(byte) + " is not allowed in a path", std::nullopt;
    }
  }
  LocalPath result;
  std::string_view rest;
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    const auto parts = Split(std::string_view(path).substr(2), '\\');
    if (parts.size() < 2 || parts[0].empty() || parts[1].empty()) {
      return refusal = "UNC path without server and share", std::nullopt;
    }
    for (const auto part : {parts[0], parts[1]}) {
      std::vector<std::string> check;
      if (part == "." || part == ".." || !AddWindowsComponent(part, check, refusal)) {
        if (refusal.empty()) refusal = "UNC server or share named \".\" or \"..\"";
        return std::nullopt;
      }
    }
    result.prefix = "\\\\" + std::string(parts[0]) + "\\" + std::string(parts[1]);
    const std::size_t restAt = 2 + parts[0].size() + 1 + parts[1].size();
    rest = std::string_view(path).substr(restAt);
  } else if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') {
    if (path.size() > 2 && path[2] != '\\') return refusal = "drive-relative path (no \"\\\" after the drive)", std::nullopt;
    result.prefix = std::string(1, Upper(path[0])) + ":";
    rest = std::string_view(path).substr(2);
  } else {
    return refusal = "not an absolute path (a drive or UNC path is needed)", std::nullopt;
  }
  for (const auto name : Split(rest, '\\')) {
    if (!AddWindowsComponent(name, result.components, refusal)) return std::nullopt;
  }
  return result;
}

namespace {

// "\"" + text + "\"" built by appending: GCC 12 at -O3 reports a false
// -Wrestrict overlap for `"literal" + std::string(...)` (its bug 105329).
std::string InQuotes(std::string_view text) {
  std::string quoted(1, '"');
  quoted.append(text).push_back('"');
  return quoted;
}

}  // namespace

std::optional<LocalPath> ParsePosixPath(std::string_view text, std::string& error) {
  if (text.empty() || text.front() != '/') return error = InQuotes(text) + " is not an absolute path", std::nullopt;
  LocalPath result;
  for (const auto name : Split(text.substr(1), '/')) {
    if (name.empty()) continue;
    if (name == "." || name == "..") return error = InQuotes(text) + " holds \".\" or \"..\"", std::nullopt;
    result.components.emplace_back(name);
  }
  return result;
}

std::optional<FileAccessRules> FileAccessRules::Build(const std::vector<std::string>& roots,
                                                      const std::vector<std::string>& mappings, bool windowsServer,
                                                      std::string& error) {
  FileAccessRules rules;
  rules.windows_ = windowsServer;
  const auto parseLocal = [&](std::string_view text) -> std::optional<LocalPath> {
    if (!windowsServer) return ParsePosixPath(text, error);
    std::string refusal;
    auto path = ParseClientPath(text, refusal);
    if (!path) error = InQuotes(text) + ": " + refusal;
    return path;
  };
  for (const auto& text : roots) {
    auto root = parseLocal(Trim(text));
    if (!root) return error = "file_root: " + error, std::nullopt;
    if (root->components.empty() && !windowsServer) {
      return error = "file_root: \"/\" would open the whole system", std::nullopt;
    }
    rules.roots_.push_back(std::move(*root));
  }
  for (const auto& text : mappings) {
    const auto arrow = text.find("=>");
    if (arrow == std::string::npos) return error = "path_map: expected WINDOWS-PREFIX => FOLDER", std::nullopt;
    std::string refusal;
    auto from = ParseClientPath(Trim(std::string_view(text).substr(0, arrow)), refusal);
    if (!from) return error = "path_map: " + refusal, std::nullopt;
    auto to = parseLocal(Trim(std::string_view(text).substr(arrow + 2)));
    if (!to) return error = "path_map: " + error, std::nullopt;
    rules.mappings_.push_back({std::move(*from), std::move(*to)});
  }
  return rules;
}

std::optional<FileAccessRules::Resolved> FileAccessRules::Resolve(std::string_view clientPath,
                                                                  std::string& refusal) const {
  auto client = ParseClientPath(clientPath, refusal);
  if (!client) return std::nullopt;
  if (roots_.empty()) return refusal = "no file roots are configured", std::nullopt;

  const PathMapping* best = nullptr;
  for (const auto& mapping : mappings_) {
    if (StartsWith(*client, mapping.from, true) &&
        (!best || mapping.from.components.size() > best->from.components.size())) {
      best = &mapping;
    }
  }
  LocalPath local;
  if (best) {
    local = best->to;
    local.components.insert(local.components.end(), client->components.begin() + best->from.components.size(),
                            client->components.end());
  } else if (windows_) {
    local = std::move(*client);
  } else {
    return refusal = "no path_map entry covers this path", std::nullopt;
  }
  for (std::size_t i = 0; i < roots_.size(); ++i) {
    if (StartsWith(local, roots_[i], windows_)) {
      Resolved resolved;
      resolved.root = i;
      resolved.below.assign(local.components.begin() + roots_[i].components.size(), local.components.end());
      resolved.local = std::move(local);
      return resolved;
    }
  }
  return refusal = "outside every file root (" + local.ToString() + ")", std::nullopt;
}

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  if (pattern.empty() || pattern == "*.*") return true;
  const std::string p = AsciiLower(pattern), n = AsciiLower(name);
  // Iterative glob with one back-tracking point per "*".
  std::size_t pi = 0, ni = 0, star = std::string::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (star != std::string::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

}  // namespace quorlane::server
