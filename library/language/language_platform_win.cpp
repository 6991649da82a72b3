// The Windows side of the language component: code pages, the Chinese
// string mapping (or the built-in table where the platform leaves Chinese
// unmapped), folders of the system and of the running executable, and the
// language files (language_file_win.cpp).
#include <windows.h>

#include <memory>
#include <string>

#include "framework/os_error_win.h"
#include "language/chinese_fallback.h"
#include "language/chinese_mapping_win.h"
#include "language/language_file_win.h"
#include "language/language_platform.h"

namespace quorlane {
namespace {

constexpr UINT kBig5 = 950;
constexpr UINT kGbk = 936;
constexpr LCID kChinesePrc = 0x00020804;     // Chinese (PRC), PRC sort order
constexpr LCID kChineseTaiwan = 0x00000404;  // Chinese (Taiwan), default sort order

// Each step asks for the size first and fills second. Explicit lengths keep
// text after an embedded zero byte instead of cutting it off there.
std::wstring Decode(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (needed == 0) RaiseLastOSError();
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  if (MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), needed) == 0) RaiseLastOSError();
  return wide;
}

std::string Encode(UINT codePage, std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int needed = WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed == 0) RaiseLastOSError();
  std::string text(static_cast<std::size_t>(needed), '\0');
  if (WideCharToMultiByte(codePage, 0, wide.data(), length, text.data(), needed, nullptr, nullptr) == 0) {
    RaiseLastOSError();
  }
  return text;
}

std::wstring PlatformMap(LCID locale, DWORD flags, std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int needed = LCMapStringW(locale, flags, wide.data(), length, nullptr, 0);
  if (needed == 0) RaiseLastOSError();
  std::wstring mapped(static_cast<std::size_t>(needed), L'\0');
  if (LCMapStringW(locale, flags, wide.data(), length, mapped.data(), needed) == 0) RaiseLastOSError();
  return mapped;
}

bool MapsOne(LCID locale, DWORD flags, wchar_t from, wchar_t expected) noexcept {
  wchar_t out[4] = {};
  return LCMapStringW(locale, flags, &from, 1, out, 4) == 1 && out[0] == expected;
}

// The last "\" that is a character of its own in the ANSI code page (a
// Big5 or GBK character may end in byte 0x5C).
std::size_t LastDelimiter(const std::string& path, const LeadByteTable& lead) noexcept {
  std::size_t found = std::string::npos;
  for (std::size_t i = 0; i < path.size();) {
    if (path[i] == '\\') found = i;
    i += (lead[static_cast<unsigned char>(path[i])] && i + 1 < path.size()) ? 2 : 1;
  }
  return found;
}

bool IsDirectory(const std::string& path) noexcept {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string FullPath(const std::string& path) {
  const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) RaiseLastOSError();
  std::string full(needed, '\0');
  const DWORD length = GetFullPathNameA(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) RaiseLastOSError();
  full.resize(length);
  return full;
}

class WindowsLanguagePlatform final : public LanguagePlatform {
 public:
  std::string WindowsDirectory() const override {
    char buffer[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) RaiseLastOSError();
    return std::string(buffer, length);
  }

  std::string ApplicationFolder() const override {
    std::string path(MAX_PATH, '\0');
    for (;;) {
      const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
      if (length == 0) RaiseLastOSError();
      if (length < path.size()) {
        path.resize(length);
        break;
      }
      path.resize(path.size() * 2);
    }
    const std::size_t slash = LastDelimiter(path, AnsiLeadBytes());
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  }

  std::string ExpandFileName(const std::string& path) const override { return FullPath(path); }

  bool DirectoryExists(const std::string& path) const override { return IsDirectory(path); }

  std::string ConvertChinese(std::string_view text, bool toSimplified) const override {
    if (toSimplified) {
      return Encode(kGbk, MapChinese(Decode(kBig5, text), true));
    }
    return Encode(kBig5, MapChinese(Decode(kGbk, text), false));
  }

  const LeadByteTable& AnsiLeadBytes() const override {
    static const LeadByteTable table = [] {
      LeadByteTable t{};
      for (int b = 0; b < 256; ++b) t[static_cast<std::size_t>(b)] = IsDBCSLeadByte(static_cast<BYTE>(b)) != 0;
      return t;
    }();
    return table;
  }

  bool FileExists(const std::string& path) const override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  // Parents first; a folder that appears meanwhile (another process) is fine.
  void ForceDirectories(const std::string& path) const override {
    std::string folder = path;
    while (!folder.empty()) {
      const std::size_t last = LastDelimiter(folder, AnsiLeadBytes());
      if (last + 1 != folder.size()) break;
      folder.pop_back();
    }
    if (folder.empty() || IsDirectory(folder)) return;
    const std::size_t parent = LastDelimiter(folder, AnsiLeadBytes());
    if (parent != std::string::npos && parent > 0 && folder[parent - 1] != ':') {
      ForceDirectories(folder.substr(0, parent));
    }
    if (!CreateDirectoryA(folder.c_str(), nullptr)) {
      const DWORD error = GetLastError();
      if (error == ERROR_ALREADY_EXISTS && IsDirectory(folder)) return;
      RaiseOSError(error, "Unable to create folder " + folder);
    }
  }

  std::unique_ptr<LanguageFile> OpenLanguageFile(const std::string& path, const std::string& section,
                                                 const LeadByteTable& leadBytes,
                                                 LanguageFileAccess access) const override {
    return OpenWindowsLanguageFile(FullPath(path), section, leadBytes, access);
  }
};

}  // namespace

bool PlatformMapsChinese() noexcept {
  static const bool maps = MapsOne(kChinesePrc, LCMAP_SIMPLIFIED_CHINESE, L'\x9AD4', L'\x4F53') &&
                           MapsOne(kChineseTaiwan, LCMAP_TRADITIONAL_CHINESE, L'\x4F53', L'\x9AD4');
  return maps;
}

std::wstring MapChinese(std::wstring_view wide, bool toSimplified) {
  if (PlatformMapsChinese()) {
    return toSimplified ? PlatformMap(kChinesePrc, LCMAP_SIMPLIFIED_CHINESE, wide)
                        : PlatformMap(kChineseTaiwan, LCMAP_TRADITIONAL_CHINESE, wide);
  }
  std::wstring mapped(wide);
  for (wchar_t& ch : mapped) {
    const auto unit = static_cast<std::uint16_t>(ch);
    ch = static_cast<wchar_t>(toSimplified ? FallbackToSimplified(unit) : FallbackToTraditional(unit));
  }
  return mapped;
}

const LanguagePlatform& CurrentLanguagePlatform() {
  static const WindowsLanguagePlatform platform;
  return platform;
}

}  // namespace quorlane
