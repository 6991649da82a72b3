// The shell's text rules that need no Windows API: splitting its own command
// line, reading a parameter string, reading a hand-off payload and deciding
// which addresses may leave the shell. Built natively as well, so these rules
// are tested with sanitizers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace talvora {

/// The four values a parameter string carries ("CustID=..,ProductID=..,...").
struct ParameterValues {
  std::wstring custId;
  std::wstring productId;
  std::wstring timeStamp;
  std::wstring aiUrl;

  bool operator==(const ParameterValues&) const = default;
};

/// Splits a command line the way the program's run time does: codes 1 to 32
/// separate arguments, a double quote opens a run that lasts to the next
/// double quote (or the end), the quotes are dropped, there is no escape.
/// Element 0 is the program name. The C run time's and CommandLineToArgvW's
/// rules differ (backslash escapes, doubled quotes), so this is our own.
[[nodiscard]] std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine);

/// Argument `index` of the command line, or the empty text when it is missing.
[[nodiscard]] std::wstring CommandLineArgument(std::wstring_view commandLine, std::size_t index);

/// True when nothing but codes up to 32 remain after trimming.
[[nodiscard]] bool IsBlankParameter(std::wstring_view text);

/// Every "," becomes CR LF; the result is then split into lines at CR, LF or
/// CR LF, the way the window's string list loads text.
[[nodiscard]] std::vector<std::wstring> ParameterLines(std::wstring_view text);

/// Reads the four values. An entry matches a name when it starts with the name
/// (letter case ignored) directly followed by "="; nothing is trimmed; the
/// first matching entry wins; the value is the rest of the entry unchanged.
[[nodiscard]] ParameterValues ReadParameters(std::wstring_view text);

/// The address to open for an "AiURL" value: every "|" stands for ",".
[[nodiscard]] std::wstring NavigationAddress(std::wstring_view aiUrl);

/// The text of a WM_COPYDATA payload: UTF-16LE units up to the first zero
/// unit, never reading past `byteCount` bytes. A payload without a zero unit
/// gives all its whole units; an odd trailing byte is ignored.
[[nodiscard]] std::wstring CopyDataText(const void* data, std::size_t byteCount);

/// Only http, https and mailto addresses are handed to the system: web
/// content must not be able to start programs or open local files through
/// the shell.
[[nodiscard]] bool IsExternallyOpenable(std::wstring_view uri);

/// The runtime paths built from the value of ALLUSERSPROFILE.
struct RuntimePaths {
  std::wstring userDataFolder;   // base + "\EdgeUserDataFolder\sorvik_dovudi\"
  std::wstring installerFolder;  // base + "\EdgeUserDataFolder\"
  std::wstring installerFile;    // installer folder + "MicrosoftEdgeWebview2Setup.exe"
};
[[nodiscard]] RuntimePaths RuntimePathsFor(std::wstring_view allUsersProfile);

/// The file-name part of a path (after the last "\", "/" or ":").
[[nodiscard]] std::wstring FileNamePart(std::wstring_view path);

}  // namespace talvora
