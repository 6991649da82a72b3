// A server's log: one line per event (the site server: per connection and per
// lock change; the update server: per look-up), plus start-up and fault
// reports. Lines go to standard error at once (when enabled) and to the file
// in batches: the site server's lock store flushes before every journal sync,
// so a change's line is in the file before its reply is sent; other lines
// follow within a quarter second (the server loop's flush timer).
// Thread-safe.
#pragma once

#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

namespace quorlane::audit {

/// Quotes a protocol text for a log line: printable ASCII as is, every other
/// byte (and '"', '\\') as \xHH, so a key cannot forge a line.
[[nodiscard]] std::string Quoted(std::string_view text);
/// The same, appended to `out`.
void AppendQuoted(std::string& out, std::string_view text);

class AuditLog {
 public:
  AuditLog() = default;
  ~AuditLog();
  AuditLog(const AuditLog&) = delete;
  AuditLog& operator=(const AuditLog&) = delete;

  /// An empty path logs to standard error only.
  [[nodiscard]] bool Open(const std::string& path, bool toConsole, std::string& error);
  /// Writes "yyyy-mm-dd hh:mm:ss " + text.
  void Line(std::string_view text);
  void Flush();

 private:
  void WriteBuffer();  // with mutex_ held

  std::mutex mutex_;
  std::string buffer_;
  // The time stamp is formatted once per second.
  std::time_t stampSecond_ = -1;
  char stamp_[32] = {};
  std::size_t stampLength_ = 0;
  std::FILE* file_ = nullptr;
  bool toConsole_ = true;
};

}  // namespace quorlane::audit
