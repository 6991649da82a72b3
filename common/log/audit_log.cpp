#include "log/audit_log.h"

#include <ctime>

#include "platform/platform.h"

namespace quorlane::audit {

void AppendQuoted(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.reserve(out.size() + text.size() + 2);
  out.push_back('"');
  while (!text.empty()) {
    // Runs of plain characters go in one append.
    std::size_t plain = 0;
    while (plain < text.size()) {
      const auto c = static_cast<unsigned char>(text[plain]);
      if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') break;
      ++plain;
    }
    out.append(text.substr(0, plain));
    if (plain == text.size()) break;
    const auto c = static_cast<unsigned char>(text[plain]);
    const char escaped[4] = {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
    out.append(escaped, sizeof escaped);
    text.remove_prefix(plain + 1);
  }
  out.push_back('"');
}

std::string Quoted(std::string_view text) {
  std::string out;
  AppendQuoted(out, text);
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
  const std::time_t now = std::time(nullptr);
  std::lock_guard lock(mutex_);
  if (now != stampSecond_) {
    stampSecond_ = now;
    const std::tm t = platform::LocalTime(now);
    stampLength_ = std::strftime(stamp_, sizeof stamp_, "%Y-%m-%d %H:%M:%S ", &t);
  }
  if (toConsole_) {
    std::string line(stamp_, stampLength_);
    line.append(text).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
  if (file_) {
    buffer_.append(stamp_, stampLength_).append(text).push_back('\n');
    if (buffer_.size() >= 64 * 1024) WriteBuffer();
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

}  // namespace quorlane::audit
