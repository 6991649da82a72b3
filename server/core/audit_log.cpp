#include "audit_log.h"

#include <ctime>

#include "platform.h"

namespace quorlane::server {

std::string Quoted(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out.push_back(ch);
    } else {
      out.append("\\x").push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  out.push_back('"');
  return out;
}

AuditLog::~AuditLog() {
  if (file_) std::fclose(file_);
}

bool AuditLog::Open(const std::string& path, bool toConsole, std::string& error) {
  toConsole_ = toConsole;
  if (path.empty()) return true;
  file_ = std::fopen(path.c_str(), "ab");
  if (!file_) return error = "cannot open the audit log " + path, false;
  return true;
}

void AuditLog::Line(std::string_view text) {
  const std::tm t = LocalTime(std::time(nullptr));
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &t);
  std::string line(stamp);
  line.append(text).push_back('\n');
  std::lock_guard lock(mutex_);
  if (file_) {
    buffer_.append(line);
    if (buffer_.size() >= 64 * 1024) WriteBuffer();
  }
  if (toConsole_) {
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
}

void AuditLog::Flush() {
  std::lock_guard lock(mutex_);
  WriteBuffer();
}

void AuditLog::WriteBuffer() {
  if (!file_ || buffer_.empty()) return;
  // Whole lines in one write, so a crash never leaves half a line.
  std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  std::fflush(file_);
  buffer_.clear();
  if (buffer_.capacity() > 256 * 1024) std::string().swap(buffer_);
}

}  // namespace quorlane::server
