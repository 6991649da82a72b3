// The errors the components raise: a message text, and for failed system
// calls the error code beside the system's message.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorlane {

/// An error of the components: carries its message text (the library's own
/// messages are Big5 bytes), returned by what() as it is.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  [[nodiscard]] std::string Message() const { return what(); }
};

/// A failed operating-system call: its error code and the system's message.
class EOSError : public Exception {
 public:
  EOSError(std::uint32_t errorCode, const std::string& systemMessage)
      : Exception(systemMessage), m_errorCode(errorCode) {}
  [[nodiscard]] std::uint32_t ErrorCode() const noexcept { return m_errorCode; }

 private:
  std::uint32_t m_errorCode;
};

/// Fills a message with one "%s" placeholder.
[[nodiscard]] std::string FormatMessageText(std::string_view format, std::string_view argument);

}  // namespace quorlane
