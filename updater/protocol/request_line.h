// The update server's request line: assembly from whatever chunks TCP hands
// over, with a length limit, and what a line asks for. Platform-free.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorlane::updater {

/// Most bytes a request line may hold before its line feed.
inline constexpr std::size_t kMaxRequestLineBytes = 16 * 1024;
/// The longest identifier a request line can carry ("A1;" + id + ";" CR).
inline constexpr std::size_t kMaxIdentifierBytes = kMaxRequestLineBytes - 5;

/// Collects bytes up to the first line feed.
class RequestLineReader {
 public:
  enum class Status { NeedMore, Line, TooLong };

  explicit RequestLineReader(std::size_t maxBytes = kMaxRequestLineBytes) noexcept : m_maxBytes(maxBytes) {}

  /// Takes the next bytes. Once Line or TooLong has been returned, further
  /// calls return the same and take nothing; bytes after the line feed are
  /// never kept.
  Status Feed(std::string_view bytes);
  /// The line without its line feed and without a CR directly before it.
  [[nodiscard]] std::string_view Line() const noexcept;
  /// Bytes held so far (at most the limit).
  [[nodiscard]] std::size_t Buffered() const noexcept { return m_line.size(); }

 private:
  std::string m_line;
  std::size_t m_maxBytes;
  Status m_status = Status::NeedMore;
};

struct Request {
  enum class Kind {
    Lookup,  ///< "A1;" + identifier + ";"
    Reload,  ///< the administrator's reload line
    Other,   ///< anything else: answered with an empty line
  };
  Kind kind = Kind::Other;
  /// The identifier of a look-up, as sent (may hold ";").
  std::string_view identifier;
};

/// The line the reload admin command sends. Honoured only from the server's
/// own computer; from anywhere else it is an ordinary unknown line.
inline constexpr std::string_view kReloadLine = "QL-ADMIN RELOAD";

/// What a complete line (as Line() gives it) asks for.
[[nodiscard]] Request ClassifyLine(std::string_view line) noexcept;

}  // namespace quorlane::updater
