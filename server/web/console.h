// The site console: login, the pages (locks, VAT list, audit log, health),
// the actions, and /metrics, as plain functions of an HttpRequest. The
// listener calls Handle() on the web thread, one request at a time.
//
// Rules every request meets, in this order:
//   - the Host header names the listener's own address or a name in
//     web_hosts (a page fetched under another name is a DNS-rebinding attempt);
//   - /metrics answers only to the networks in metrics_allow, without login;
//   - everything else but the login page and the static files needs a login
//     session (cookie "qlsession": HttpOnly, SameSite=Strict, limited
//     lifetime), and every POST besides the login carries that session's own
//     form token, compared in constant time;
//   - wrong login tokens from one address slow that address down.
// Pages are sent with Content-Security-Policy and X-Frame-Options: DENY, and
// pages with data are not cached. Platform-free.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "code_page_text.h"
#include "console_backend.h"
#include "console_text.h"
#include "http_message.h"
#include "net/network_filter.h"

namespace quorlane::server::web {

struct ConsoleSettings {
  net::NetworkFilter metricsAllow;
  std::vector<std::string> hosts;  ///< web_hosts: names besides the listener's address
  CodePage codePage = CodePage::Big5;
  std::chrono::seconds sessionLifetime{8 * 3600};
  std::size_t maxSessions = 64;
  /// The server's local time (platform::LocalTime), for times on the pages.
  std::function<std::tm(std::time_t)> localTime;
};

/// The platform's secure random source: fills the buffer.
using RandomSource = std::function<void(unsigned char* buffer, std::size_t size)>;
/// The login token as it is now (the file may be rotated while the server
/// runs); empty when there is none.
using TokenSource = std::function<std::string()>;
using Clock = std::chrono::steady_clock;
using WallClock = std::function<std::time_t()>;

class Console {
 public:
  Console(ConsoleSettings settings, ConsoleBackend& backend, TokenSource token, RandomSource random,
          WallClock wallClock);

  [[nodiscard]] HttpResponse Handle(const HttpRequest& request, Clock::time_point now);

  /// Samples the request counters for the per-second rates (every few
  /// seconds, from the web thread's timer).
  void Sample(Clock::time_point now);

  [[nodiscard]] std::uint64_t FailedLogins() const noexcept { return failedLogins_; }
  [[nodiscard]] std::size_t SessionCount() const noexcept { return sessions_.size(); }

 private:
  struct Session {
    std::string csrf;
    std::string label;      ///< names the session in the audit log (never the cookie)
    std::string tokenSeen;  ///< the login token it was opened with: a rotation ends it
    Clock::time_point expires;
  };
  struct Failures {
    unsigned count = 0;
    Clock::time_point blockedUntil{};
    Clock::time_point last{};
  };
  struct Context {
    const HttpRequest& request;
    Language language;
    Session* session;
    std::string sessionId;
    Clock::time_point now;
  };

  [[nodiscard]] bool HostAllowed(const HttpRequest& request) const;
  [[nodiscard]] std::string RandomHex(std::size_t bytes);
  [[nodiscard]] Session* FindSession(const HttpRequest& request, Clock::time_point now, std::string& id);
  [[nodiscard]] HttpResponse Login(const HttpRequest& request, Language language, Clock::time_point now);
  [[nodiscard]] HttpResponse Metrics(const HttpRequest& request);

  [[nodiscard]] HttpResponse LocksPage(const Context& context, const std::string& notice, bool noticeIsError);
  [[nodiscard]] HttpResponse LockRows(const Context& context);
  [[nodiscard]] HttpResponse ReleaseQuestion(const Context& context);
  [[nodiscard]] HttpResponse ReleaseAction(const Context& context, const std::map<std::string, std::string>& form);
  [[nodiscard]] HttpResponse VatPage(const Context& context, const std::string* typed, const std::string& notice,
                                     bool noticeIsError);
  [[nodiscard]] HttpResponse VatAction(const Context& context, const std::map<std::string, std::string>& form);
  [[nodiscard]] HttpResponse AuditPage(const Context& context);
  [[nodiscard]] HttpResponse HealthPage(const Context& context);

  [[nodiscard]] std::string Who(const Context& context) const;
  [[nodiscard]] std::string RenderLockRows(const std::vector<LockRow>& rows, const Context& context) const;

  ConsoleSettings settings_;
  ConsoleBackend& backend_;
  TokenSource token_;
  RandomSource random_;
  WallClock wallClock_;
  std::map<std::string, Session> sessions_;      // by cookie value
  std::map<std::string, Failures> failures_;     // by address
  std::uint64_t failedLogins_ = 0;
  // Request counters every few seconds, for the rates over the last minute.
  struct RateSample {
    Clock::time_point at;
    std::vector<std::uint64_t> received;
  };
  std::deque<RateSample> samples_;
};

/// Everything a page is sent with (security headers, caching).
void AddPageHeaders(HttpResponse& response, bool cacheable);

/// The figures in the Prometheus text format (version 0.0.4).
[[nodiscard]] std::string RenderMetrics(const ServerFigures& figures);

/// The console's style sheet and script (served from memory; nothing is
/// fetched from anywhere else).
[[nodiscard]] std::string_view ConsoleStyleSheet();
[[nodiscard]] std::string_view ConsoleScript();

/// "yyyy/m/d hh:nn" (the lock table's start time) as a time, read as local
/// time; nothing when it does not parse.
[[nodiscard]] std::optional<std::time_t> ParseStartTime(std::string_view text);
/// "3 d 4 h", "2 h 5 min", "7 min", "<1 min".
[[nodiscard]] std::string FormatAge(std::int64_t seconds);

}  // namespace quorlane::server::web
