// What the web console asks of the running server. The site server's
// implementation (site_console_backend.cpp) copies what a page shows off the
// network thread in one short step and renders nothing there; the tests give
// the console a table of their own. Called on the web thread only.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlane::server::web {

/// One held lock as the lock page shows it.
struct LockRow {
  std::string key, user, computer;  ///< bytes in the workstations' code page
  std::string since;                ///< "yyyy/m/d hh:nn", the server's local time
  enum class Link {
    Open,     ///< the connection that took (or last confirmed) it is open
    Gone,     ///< that connection has closed: a workstation that crashed leaves this
    Unknown,  ///< taken before the server last started
  } link = Link::Unknown;
  std::string peer;          ///< that connection's address (Open, Gone)
  std::time_t goneAt = 0;    ///< when it closed (Gone)
};

struct ReleaseOutcome {
  enum class Result {
    Released,       ///< durable, audited
    NotHeld,        ///< nobody holds the key (any more)
    HeldByAnother,  ///< the holder changed since the page was shown: nothing released
    Failed,         ///< the journal cannot be written, or the server did not answer
  } result = Result::Failed;
  LockRow holder;     ///< who held it (Released), or holds it now (HeldByAnother)
  std::string error;  ///< Failed
};

struct CommandCount {
  std::string name;  ///< "LOCKDB", ...; "unknown" for tags the server does not know
  std::uint64_t received = 0, notStarted = 0, late = 0;
};

/// The server's figures, for the health page and /metrics. Counters count
/// since the server started.
struct ServerFigures {
  std::string version;
  std::time_t startedAt = 0;
  std::uint64_t connectionsNow = 0, connectionsMax = 0, connectionsAccepted = 0;
  std::uint64_t refusedNotAllowed = 0, refusedTooMany = 0;
  std::uint64_t closedFrameTooLarge = 0, closedFrameTimeout = 0, closedBadBytes = 0;
  std::vector<CommandCount> commands;
  std::uint64_t locksHeld = 0;
  /// Journal syncs: bucket upper bounds (seconds) and cumulative counts.
  std::vector<double> syncBounds;
  std::vector<std::uint64_t> syncCumulative;
  std::uint64_t syncCount = 0;
  double syncSumSeconds = 0, lastSyncSeconds = 0, slowestSyncSeconds = 0;
  std::time_t lastSyncAt = 0;
  std::uint64_t journalBytes = 0;
  bool journalFailing = false;
  std::uint64_t fileJobsQueued = 0, fileJobsRunning = 0, shortJobsQueued = 0, shortJobsRunning = 0;
  std::optional<std::uint64_t> freeDiskBytes;  ///< in the data folder
  std::string dataFolder;
  std::uint64_t webLoginsFailed = 0, webSessions = 0;
};

struct PlaceState {
  std::string name;
  bool ok = false;     ///< the root exists as a folder, the service runs
  std::string state;   ///< what was found ("running", "not running", "no such service", ...)
};

class ConsoleBackend {
 public:
  virtual ~ConsoleBackend() = default;
  /// Every held lock; nothing when the server did not answer in time.
  [[nodiscard]] virtual std::optional<std::vector<LockRow>> Locks() = 0;
  /// Force-releases `key` if `expected` still holds it; `who` names the
  /// console session and its address for the audit line.
  [[nodiscard]] virtual ReleaseOutcome Release(const std::string& key, const LockRow& expected,
                                               const std::string& who) = 0;
  [[nodiscard]] virtual bool ReadVatList(std::string& list, std::string& error) = 0;
  /// Durable before it returns true; audited like "vat-list set".
  [[nodiscard]] virtual bool SaveVatList(std::string_view list, const std::string& who, std::string& error) = 0;
  /// The audit log's last lines, oldest first (up to about `maxBytes`).
  [[nodiscard]] virtual std::vector<std::string> AuditTail(std::size_t maxBytes) = 0;
  [[nodiscard]] virtual ServerFigures Figures() = 0;
  [[nodiscard]] virtual std::vector<PlaceState> FileRoots() = 0;
  [[nodiscard]] virtual std::vector<PlaceState> Services() = 0;
  /// A line in the server's audit log.
  virtual void Audit(const std::string& line) = 0;
};

}  // namespace quorlane::server::web
