// The web console's login token: 256 random bits from the platform's secure
// source, written at the first start to "web-login.token" in the data folder,
// readable by the server's account and the machine's administrators only
// (mode 0600 on Linux; on Windows an access list naming the account, SYSTEM
// and Administrators). "quorlane-server web-token" prints it, "--rotate"
// replaces it; a running server notices a new token within two seconds and
// ends every login session opened with the old one.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

namespace quorlane::server::web {

class LoginToken {
 public:
  [[nodiscard]] static std::string PathIn(const std::string& dataFolder);
  /// Reads the token; writes a new one first when there is none. False with
  /// `error` when it cannot be read or written, or (Linux) other accounts may
  /// read the file.
  [[nodiscard]] static bool Ensure(const std::string& dataFolder, std::string& token, std::string& error);
  /// Reads the token for printing (no check of the file's owner: root reads
  /// the server account's file). False when there is none yet.
  [[nodiscard]] static bool Read(const std::string& dataFolder, std::string& token, std::string& error);
  /// Replaces the token with a new one.
  [[nodiscard]] static bool Rotate(const std::string& dataFolder, std::string& token, std::string& error);
  /// 43 characters of base64url (256 bits); empty when the random source fails.
  [[nodiscard]] static std::string NewToken();

  /// The running server's view: the token as the file holds it now, read
  /// again at most every two seconds (thread-safe).
  explicit LoginToken(std::string dataFolder) : folder_(std::move(dataFolder)) {}
  [[nodiscard]] std::string Current();

 private:
  std::string folder_;
  std::mutex mutex_;
  std::string token_;
  std::chrono::steady_clock::time_point readAt_{};
  bool read_ = false;
};

}  // namespace quorlane::server::web
