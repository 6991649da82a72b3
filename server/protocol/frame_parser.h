// Incremental assembly of request frames: "[BEGIN]" body "[END]".
//
// TCP hands the server arbitrary fragments, so the parser keeps only the
// frame in progress and reports, for each call, how much of the input it
// consumed. It never holds more than the configured largest request, and it
// never includes platform headers (it is fuzzed and unit-tested natively).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorlane::server {

inline constexpr std::string_view kFrameBegin = "[BEGIN]";
inline constexpr std::string_view kFrameEnd = "[END]";

class FrameParser {
 public:
  enum class Status {
    NeedMore,  ///< every byte was consumed; the frame (if any) is incomplete
    Frame,     ///< a frame is complete; Body() holds it until the next Feed
    Error,     ///< the input can never become a frame; drop the connection
  };
  enum class Error {
    None,
    NotAFrame,  ///< bytes outside a frame that do not start "[BEGIN]"
    TooLarge,   ///< the frame grew past the largest request
  };
  struct Result {
    Status status;
    std::size_t consumed;  ///< bytes of the input used by this call
  };

  /// `maxFrameBytes` bounds a whole frame, markers included.
  explicit FrameParser(std::size_t maxFrameBytes);

  /// Consumes input up to the end of the next complete frame. Call again with
  /// the rest of the input after a Frame result. After Error the parser stays
  /// in error and consumes nothing.
  [[nodiscard]] Result Feed(std::string_view input);

  /// The text between "[BEGIN]" and the first "[END]" of the last frame.
  [[nodiscard]] std::string_view Body() const noexcept { return body_; }
  /// True once a byte of a new frame has arrived and its "[END]" has not.
  [[nodiscard]] bool InFrame() const noexcept { return inFrame_; }
  [[nodiscard]] Error LastError() const noexcept { return error_; }
  /// Bytes currently held for the frame in progress.
  [[nodiscard]] std::size_t Buffered() const noexcept { return pending_.size(); }

 private:
  std::size_t maxFrameBytes_;
  std::string pending_;  // bytes of the frame in progress, "[BEGIN]" included
  std::string body_;
  bool inFrame_ = false;
  Error error_ = Error::None;
};

}  // namespace quorlane::server
