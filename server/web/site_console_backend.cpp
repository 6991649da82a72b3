#include "site_console_backend.h"

#include <filesystem>
#include <fstream>
#include <future>
#include <memory>

#include "project_version.h"
#include "service_rules.h"

namespace quorlane::server::web {
namespace {

// A page waits this long for the network thread, which answers in
// microseconds unless the machine is starved.
constexpr std::chrono::milliseconds kSnapshotWait{3000};
// A release waits for the disk as well.
constexpr std::chrono::milliseconds kReleaseWait{20000};

}  // namespace

template <typename T>
bool SiteConsoleBackend::Wait(std::future<T>& future, std::chrono::milliseconds limit) const {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!stopping_) {
    if (future.wait_for(std::chrono::milliseconds(50)) == std::future_status::ready) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
  }
  return false;
}

SiteConsoleBackend::SiteConsoleBackend(asio::io_context& serverIo, SiteServer& server, LockStore& store,
                                       BlockingWork& work, SiteRequests& requests, const ServerConfig& config,
                                       audit::AuditLog& log, std::string auditPath)
    : serverIo_(serverIo),
      server_(server),
      store_(store),
      work_(work),
      requests_(requests),
      config_(config),
      log_(log),
      auditPath_(std::move(auditPath)),
      startedAt_(std::time(nullptr)) {}

std::optional<std::vector<LockRow>> SiteConsoleBackend::Locks() {
  auto promise = std::make_shared<std::promise<std::vector<LockRow>>>();
  auto future = promise->get_future();
  asio::post(serverIo_, [this, promise] { promise->set_value(server_.ConsoleLocks()); });
  if (!Wait(future, kSnapshotWait)) return std::nullopt;
  return future.get();
}

ReleaseOutcome SiteConsoleBackend::Release(const std::string& key, const LockRow& expected, const std::string& who) {
  auto promise = std::make_shared<std::promise<ReleaseOutcome>>();
  auto future = promise->get_future();
  asio::post(serverIo_, [this, promise, key, expected, who] {
    server_.ConsoleRelease(key, expected, who, [promise](ReleaseOutcome outcome) { promise->set_value(std::move(outcome)); });
  });
  if (!Wait(future, kReleaseWait)) {
    ReleaseOutcome outcome;
    outcome.error = "the server did not answer in time";
    return outcome;
  }
  return future.get();
}

bool SiteConsoleBackend::ReadVatList(std::string& list, std::string& error) {
  return requests_.Data().ReadVatList(list, error);
}

bool SiteConsoleBackend::SaveVatList(std::string_view list, const std::string& who, std::string& error) {
  const bool saved = requests_.Data().SaveVatList(list, error);
  log_.Line("SaveVATList " + who + " bytes=" + std::to_string(list.size()) + " result=" +
            audit::Quoted(saved ? "Y;" : "N;not saved") + (saved ? "" : " (" + error + ")"));
  return saved;
}

std::vector<std::string> SiteConsoleBackend::AuditTail(std::size_t maxBytes) {
  std::vector<std::string> lines;
  if (auditPath_.empty()) return lines;
  log_.Flush();
  std::ifstream file(auditPath_, std::ios::binary);
  if (!file) return lines;
  file.seekg(0, std::ios::end);
  const auto size = static_cast<std::uint64_t>(file.tellg());
  const std::uint64_t start = size > maxBytes ? size - maxBytes : 0;
  file.seekg(static_cast<std::streamoff>(start));
  std::string text(static_cast<std::size_t>(size - start), '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(file.gcount()));
  std::size_t at = 0;
  if (start > 0) {
    // The first line was cut by the window: it starts behind the first break.
    at = text.find('\n');
    at = at == std::string::npos ? text.size() : at + 1;
  }
  while (at < text.size()) {
    auto end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(std::move(line));
    at = end + 1;
  }
  return lines;
}

ServerFigures SiteConsoleBackend::Figures() {
  ServerFigures f;
  f.version = PROJECT_VERSION_TEXT;
  f.startedAt = startedAt_;
  const ConnectionFigures& c = server_.Connections();
  f.connectionsNow = c.open;
  f.connectionsMax = c.most;
  f.connectionsAccepted = c.accepted;
  f.refusedNotAllowed = c.refusedNotAllowed;
  f.refusedTooMany = c.refusedTooMany;
  f.closedFrameTooLarge = c.cutTooLarge;
  f.closedFrameTimeout = c.cutTimeout;
  f.closedBadBytes = c.cutBadBytes;
  f.locksHeld = c.locksHeld;
  for (const CommandRow& row : Commands()) {
    const CommandFigures& counts = server_.FiguresOf(&row);
    f.commands.push_back({std::string(row.info.name), counts.received, counts.notStarted, counts.late});
  }
  const CommandFigures& unknown = server_.FiguresOf(nullptr);
  f.commands.push_back({"unknown", unknown.received, unknown.notStarted, unknown.late});

  const JournalFigures& j = store_.Figures();
  std::uint64_t cumulative = 0;
  for (std::size_t i = 0; i < JournalFigures::kBounds.size(); ++i) {
    cumulative += j.buckets[i];
    f.syncBounds.push_back(JournalFigures::kBounds[i]);
    f.syncCumulative.push_back(cumulative);
  }
  f.syncCount = j.syncs;
  // Syncs past the last bound count only in the total.
  if (f.syncCount < cumulative) f.syncCount = cumulative;
  f.syncSumSeconds = static_cast<double>(j.totalNanoseconds.load()) / 1e9;
  f.lastSyncSeconds = static_cast<double>(j.lastNanoseconds.load()) / 1e9;
  f.slowestSyncSeconds = static_cast<double>(j.slowestNanoseconds.load()) / 1e9;
  f.lastSyncAt = static_cast<std::time_t>(j.lastAt.load());
  f.journalBytes = j.bytes;
  f.journalFailing = store_.Failed();

  const auto files = work_.Load(CommandLane::Files), shortLane = work_.Load(CommandLane::Short);
  f.fileJobsQueued = files.queued;
  f.fileJobsRunning = files.running;
  f.shortJobsQueued = shortLane.queued;
  f.shortJobsRunning = shortLane.running;
  std::error_code ec;
  const auto space = std::filesystem::space(config_.dataFolder, ec);
  if (!ec) f.freeDiskBytes = space.available;
  f.dataFolder = config_.dataFolder;
  return f;
}

std::vector<PlaceState> SiteConsoleBackend::FileRoots() {
  std::vector<PlaceState> roots;
  for (const auto& root : config_.fileRoots) {
    std::error_code ec;
    roots.push_back({root, std::filesystem::is_directory(root, ec), {}});
  }
  return roots;
}

std::vector<PlaceState> SiteConsoleBackend::Services() {
  const auto now = std::chrono::steady_clock::now();
  if (servicesAt_ != std::chrono::steady_clock::time_point{} && now - servicesAt_ < std::chrono::seconds(10)) {
    return services_;
  }
  services_.clear();
  for (const auto& name : config_.allowedServices) {
    const ServiceAnswer answer = requests_.Services().Run(ServiceAction::Status, name);
    const bool running = answer.payload == "Y";
    services_.push_back({name, running, running ? "running" : answer.payload.substr(answer.payload.find(';') + 1)});
  }
  servicesAt_ = now;
  return services_;
}

void SiteConsoleBackend::Audit(const std::string& line) { log_.Line(line); }

}  // namespace quorlane::server::web
