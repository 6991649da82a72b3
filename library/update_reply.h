// The update-address look-up's wire rules, free of Windows so they are tested
// and fuzzed natively: the request line, the reply line with its length limit,
// and the result texts GetAppSelfUpdURL hands back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorlane::update {

inline constexpr std::uint16_t kPort = 9568;
inline constexpr char kPortText[] = "9568";
inline constexpr int kConnectLimitMs = 5000;
/// Each wait for more reply bytes; silence that long ends the read.
inline constexpr int kSilenceLimitMs = 10000;
/// Most bytes a reply may hold before its line feed (a CR before it counts).
inline constexpr std::size_t kMaxReplyBytes = 16384;

/// "A1;" + identifier + ";" CR LF; the identifier's bytes go as they are.
[[nodiscard]] std::string RequestLine(std::string_view identifier);

/// Collects reply bytes up to the first line feed. Bytes after it are never
/// looked at: only the first line counts.
class ReplyLineReader {
 public:
  enum class Status { NeedMore, Line, TooLong };

  /// Takes the next bytes received. Once Line or TooLong has been returned,
  /// further calls return the same and take nothing.
  Status Feed(std::string_view bytes);
  /// The line without its LF and without a CR directly before the LF.
  [[nodiscard]] std::string Line() const;

 private:
  std::string m_received;
  Status m_status = Status::NeedMore;
};

/// "1,," + reply + "[END]".
[[nodiscard]] std::string ReplyResult(std::string_view reply);

/// The Big5 text "無法連上主機:%s, port %s" filled with host and port.
[[nodiscard]] std::string UnreachableMessage(std::string_view host, std::string_view port);

}  // namespace quorlane::update
