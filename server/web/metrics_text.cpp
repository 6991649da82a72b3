// /metrics in the Prometheus text format (version 0.0.4): every family with
// HELP and TYPE, counters ending in _total, times in seconds, sizes in bytes.
#include <cstdio>

#include "console.h"

namespace quorlane::server::web {
namespace {

class MetricsWriter {
 public:
  void Family(std::string_view name, std::string_view type, std::string_view help) {
    out_.append("# HELP ").append(name).append(" ").append(help).append("\n# TYPE ").append(name).append(" ")
        .append(type).append("\n");
  }
  void Value(std::string_view name, std::string_view labels, double value) {
    out_.append(name);
    if (!labels.empty()) out_.append("{").append(labels).append("}");
    char text[64];
    std::snprintf(text, sizeof text, " %.17g\n", value);
    out_.append(text);
  }
  void Value(std::string_view name, std::string_view labels, std::uint64_t value) {
    out_.append(name);
    if (!labels.empty()) out_.append("{").append(labels).append("}");
    out_.append(" ").append(std::to_string(value)).append("\n");
  }
  void One(std::string_view name, std::string_view type, std::string_view help, std::uint64_t value) {
    Family(name, type, help);
    Value(name, {}, value);
  }
  [[nodiscard]] std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

std::string Label(std::string_view name, std::string_view value) {
  // Command names and reasons are ours: letters, digits and '_' only.
  return std::string(name) + "=\"" + std::string(value) + "\"";
}

}  // namespace

std::string RenderMetrics(const ServerFigures& f) {
  MetricsWriter w;
  w.Family("quorlane_build_info", "gauge", "The running server's version.");
  w.Value("quorlane_build_info", Label("version", f.version), std::uint64_t{1});
  w.Family("quorlane_start_time_seconds", "gauge", "When the server started, in seconds since the epoch.");
  w.Value("quorlane_start_time_seconds", {}, static_cast<std::uint64_t>(f.startedAt));

  w.One("quorlane_connections", "gauge", "Workstation connections open now.", f.connectionsNow);
  w.One("quorlane_connections_max", "gauge", "The most workstation connections open at once since the start.",
        f.connectionsMax);
  w.One("quorlane_connections_accepted_total", "counter", "Workstation connections accepted.", f.connectionsAccepted);
  w.Family("quorlane_connections_refused_total", "counter", "Workstation connections refused at once, by reason.");
  w.Value("quorlane_connections_refused_total", Label("reason", "not_allowed"), f.refusedNotAllowed);
  w.Value("quorlane_connections_refused_total", Label("reason", "too_many"), f.refusedTooMany);
  w.Family("quorlane_connections_cut_total", "counter", "Workstation connections the server ended, by reason.");
  w.Value("quorlane_connections_cut_total", Label("reason", "request_too_large"), f.closedFrameTooLarge);
  w.Value("quorlane_connections_cut_total", Label("reason", "request_timeout"), f.closedFrameTimeout);
  w.Value("quorlane_connections_cut_total", Label("reason", "bytes_outside_request"), f.closedBadBytes);

  w.Family("quorlane_requests_total", "counter", "Requests received, by command.");
  for (const auto& c : f.commands) w.Value("quorlane_requests_total", Label("command", c.name), c.received);
  w.Family("quorlane_requests_unanswered_total", "counter",
           "Requests not answered because their client had stopped waiting, by command and reason.");
  for (const auto& c : f.commands) {
    w.Value("quorlane_requests_unanswered_total", Label("command", c.name) + "," + Label("reason", "not_started"),
            c.notStarted);
    w.Value("quorlane_requests_unanswered_total", Label("command", c.name) + "," + Label("reason", "late"), c.late);
  }

  w.One("quorlane_locks_held", "gauge", "Database locks held now.", f.locksHeld);
  w.Family("quorlane_journal_sync_seconds", "histogram", "Time to make a group of lock changes durable.");
  for (std::size_t i = 0; i < f.syncBounds.size() && i < f.syncCumulative.size(); ++i) {
    char bound[32];
    std::snprintf(bound, sizeof bound, "%g", f.syncBounds[i]);
    w.Value("quorlane_journal_sync_seconds_bucket", Label("le", bound), f.syncCumulative[i]);
  }
  w.Value("quorlane_journal_sync_seconds_bucket", Label("le", "+Inf"), f.syncCount);
  w.Value("quorlane_journal_sync_seconds_sum", {}, f.syncSumSeconds);
  w.Value("quorlane_journal_sync_seconds_count", {}, f.syncCount);
  w.One("quorlane_journal_bytes", "gauge", "Size of the lock journal's records.", f.journalBytes);
  w.One("quorlane_journal_failing", "gauge", "1 while the lock journal cannot be written and changes are refused.",
        f.journalFailing ? 1 : 0);

  w.Family("quorlane_jobs_queued", "gauge", "Jobs waiting for a worker thread, by lane.");
  w.Value("quorlane_jobs_queued", Label("lane", "files"), f.fileJobsQueued);
  w.Value("quorlane_jobs_queued", Label("lane", "short"), f.shortJobsQueued);
  w.Family("quorlane_jobs_running", "gauge", "Jobs running on a worker thread, by lane.");
  w.Value("quorlane_jobs_running", Label("lane", "files"), f.fileJobsRunning);
  w.Value("quorlane_jobs_running", Label("lane", "short"), f.shortJobsRunning);
  if (f.freeDiskBytes) {
    w.One("quorlane_data_free_bytes", "gauge", "Free space on the data folder's disk.", *f.freeDiskBytes);
  }
  w.One("quorlane_web_logins_failed_total", "counter", "Web console logins refused for a wrong token.",
        f.webLoginsFailed);
  w.One("quorlane_web_sessions", "gauge", "Web console login sessions open now.", f.webSessions);
  return w.Take();
}

}  // namespace quorlane::server::web
