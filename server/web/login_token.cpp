#include "login_token.h"

#include "platform/platform.h"

namespace quorlane::server::web {
namespace {

constexpr std::string_view kFileName = "web-login.token";
constexpr auto kRereadAfter = std::chrono::seconds(2);

std::string Base64Url(const unsigned char* bytes, std::size_t size) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  std::uint32_t bits = 0;
  int count = 0;
  for (std::size_t i = 0; i < size; ++i) {
    bits = (bits << 8) | bytes[i];
    count += 8;
    while (count >= 6) {
      count -= 6;
      out.push_back(kAlphabet[(bits >> count) & 0x3F]);
    }
  }
  if (count > 0) out.push_back(kAlphabet[(bits << (6 - count)) & 0x3F]);
  return out;
}

// The token is the file's first line.
std::string FirstLine(const std::string& text) {
  const auto end = text.find_first_of("\r\n");
  return text.substr(0, end);
}

bool Write(const std::string& dataFolder, std::string& token, std::string& error) {
  token = LoginToken::NewToken();
  if (token.empty()) return error = "the system's secure random source failed", false;
  const std::string path = LoginToken::PathIn(dataFolder);
  if (platform::ReplaceFileContents(path, token + "\n", platform::FileAccess::Administrators, error) ==
      platform::Replacement::Failed) {
    error = "cannot write " + path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace

std::string LoginToken::PathIn(const std::string& dataFolder) {
  if (dataFolder.empty()) return std::string(kFileName);
  const char last = dataFolder.back();
  return dataFolder + (last == '/' || last == '\\' ? "" : "/") + std::string(kFileName);
}

std::string LoginToken::NewToken() {
  unsigned char bytes[32];
  if (!platform::SecureRandom(bytes, sizeof bytes)) return {};
  return Base64Url(bytes, sizeof bytes);
}

bool LoginToken::Ensure(const std::string& dataFolder, std::string& token, std::string& error) {
  const std::string path = PathIn(dataFolder);
  std::string text;
  if (!platform::ReadWholeFile(path, text, error, /*missingIsEmpty=*/true)) return false;
  token = FirstLine(text);
  if (token.empty()) return Write(dataFolder, token, error);
  std::string problem;
  if (!platform::IsPrivateFile(path, problem)) {
    token.clear();
    error = problem + " (the server's account must own it, mode 600; or rotate the token as that account)";
    return false;
  }
  return true;
}

bool LoginToken::Read(const std::string& dataFolder, std::string& token, std::string& error) {
  const std::string path = PathIn(dataFolder);
  std::string text;
  if (!platform::ReadWholeFile(path, text, error, /*missingIsEmpty=*/true)) return false;
  token = FirstLine(text);
  if (token.empty()) return error = "no login token in " + path + " yet: the server writes one when it starts", false;
  return true;
}

bool LoginToken::Rotate(const std::string& dataFolder, std::string& token, std::string& error) {
  return Write(dataFolder, token, error);
}

std::string LoginToken::Current() {
  std::lock_guard lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  if (!read_ || now - readAt_ >= kRereadAfter) {
    std::string token, error;
    // A file that cannot be read (or that others may read) lets nobody in.
    token_ = Ensure(folder_, token, error) ? token : std::string();
    readAt_ = now;
    read_ = true;
  }
  return token_;
}

}  // namespace quorlane::server::web
