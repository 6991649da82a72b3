// Where a client's file request may act. Clients send Windows paths (drive
// paths and UNC paths) in their own ANSI code page; this file turns them into
// paths below the configured file roots, or refuses them with a reason for
// the audit log. Purely lexical and platform-free: links are the platform
// layer's business (file_service_*.cpp), which never sees a ".." or a name
// that this layer refused.
//
//   parse    "/" becomes "\"; drive ("D:\...") or UNC ("\\server\share\...")
//            only; "." and ".." resolved as Windows resolves them, never above
//            the drive or share root; refused: empty, too long, control and
//            wildcard characters, "\\?\" and "\\.\", alternate data streams
//            (any ":" after the drive), names ending in "." or " ", device
//            names (CON, NUL, COM1, LPT1.txt, ...)
//   map      the longest configured Windows prefix (compared without regard
//            to the case of A-Z) is replaced by its local folder; on a Linux
//            server a path without a mapping is refused, on Windows it is
//            used as it is
//   roots    the result must lie in (or be) one of the file roots
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlane::server {

#ifdef _WIN32
inline constexpr bool kServerUsesWindowsPaths = true;
#else
inline constexpr bool kServerUsesWindowsPaths = false;
#endif

/// Longest client path accepted (MAX_PATH less its terminating zero).
inline constexpr std::size_t kMaxClientPathBytes = 259;
inline constexpr std::size_t kMaxNameBytes = 255;

/// A path as components: `prefix` is "D:" (letter upper-cased) or
/// "\\server\share" for Windows paths and empty for POSIX paths ("/").
struct LocalPath {
  std::string prefix;
  std::vector<std::string> components;

  [[nodiscard]] bool IsWindows() const { return !prefix.empty(); }
  /// "D:\a\b", "\\srv\share\a", "/srv/a"; a root alone is "D:\" or "/".
  [[nodiscard]] std::string ToString() const;
};

/// A client's Windows path, normalised; nothing with `refusal` set.
[[nodiscard]] std::optional<LocalPath> ParseClientPath(std::string_view text, std::string& refusal);

/// An absolute POSIX path from the configuration ("." and ".." refused).
[[nodiscard]] std::optional<LocalPath> ParsePosixPath(std::string_view text, std::string& error);

struct PathMapping {
  LocalPath from;  ///< a Windows prefix
  LocalPath to;    ///< the server's folder for it
};

/// The file roots and mappings of a configuration, checked for the server's
/// kind of paths (Windows or POSIX).
class FileAccessRules {
 public:
  /// `roots`: file_root values; `mappings`: path_map values
  /// ("WINDOWS-PREFIX => LOCAL-FOLDER").
  [[nodiscard]] static std::optional<FileAccessRules> Build(const std::vector<std::string>& roots,
                                                            const std::vector<std::string>& mappings,
                                                            bool windowsServer, std::string& error);

  struct Resolved {
    std::size_t root = 0;                ///< index into Roots()
    std::vector<std::string> below;      ///< components below the root (empty: the root itself)
    LocalPath local;                     ///< the whole local path
  };
  /// The local path a client path names, or nothing with the refusal reason.
  [[nodiscard]] std::optional<Resolved> Resolve(std::string_view clientPath, std::string& refusal) const;

  [[nodiscard]] const std::vector<LocalPath>& Roots() const noexcept { return roots_; }
  [[nodiscard]] const std::vector<PathMapping>& Mappings() const noexcept { return mappings_; }
  [[nodiscard]] bool WindowsServer() const noexcept { return windows_; }

 private:
  std::vector<LocalPath> roots_;
  std::vector<PathMapping> mappings_;
  bool windows_ = false;
};

/// "*" and "?" as Windows matches them in a folder listing, letters A-Z
/// without regard to case; "" and "*.*" match every name.
[[nodiscard]] bool MatchesWildcard(std::string_view pattern, std::string_view name);

/// The letters A to Z lower-cased.
[[nodiscard]] std::string AsciiLower(std::string_view text);

}  // namespace quorlane::server
