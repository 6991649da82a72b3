// The web console's view of the running site server. Runs on the web thread:
// what lives on the network thread (the lock table, which connection took a
// lock, a release) is copied or done there in one short posted step; the
// counters are atomics read from here; the VAT list, the audit log and the
// disk are read here, never on the network thread.
#pragma once

#include <atomic>
#include <chrono>
#include <future>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "blocking_work.h"
#include "console_backend.h"
#include "lock_store.h"
#include "log/audit_log.h"
#include "net/asio.h"
#include "server_config.h"
#include "site_requests.h"
#include "site_server.h"

namespace quorlane::server::web {

class SiteConsoleBackend final : public ConsoleBackend {
 public:
  /// `auditPath` is the audit log's file ("" when off).
  SiteConsoleBackend(asio::io_context& serverIo, SiteServer& server, LockStore& store, BlockingWork& work,
                     SiteRequests& requests, const ServerConfig& config, audit::AuditLog& log, std::string auditPath);

  [[nodiscard]] std::optional<std::vector<LockRow>> Locks() override;
  [[nodiscard]] ReleaseOutcome Release(const std::string& key, const LockRow& expected, const std::string& who) override;
  [[nodiscard]] bool ReadVatList(std::string& list, std::string& error) override;
  [[nodiscard]] bool SaveVatList(std::string_view list, const std::string& who, std::string& error) override;
  [[nodiscard]] std::vector<std::string> AuditTail(std::size_t maxBytes) override;
  [[nodiscard]] ServerFigures Figures() override;
  [[nodiscard]] std::vector<PlaceState> FileRoots() override;
  [[nodiscard]] std::vector<PlaceState> Services() override;
  void Audit(const std::string& line) override;

  /// The server is stopping: waits for the network thread give up at once
  /// (it no longer runs what they wait for).
  void Shutdown() noexcept { stopping_ = true; }

 private:
  template <typename T>
  [[nodiscard]] bool Wait(std::future<T>& future, std::chrono::milliseconds limit) const;

  asio::io_context& serverIo_;
  SiteServer& server_;
  LockStore& store_;
  BlockingWork& work_;
  SiteRequests& requests_;
  const ServerConfig& config_;
  audit::AuditLog& log_;
  std::string auditPath_;
  std::time_t startedAt_;
  // Service states cost a program run each: asked at most every ten seconds.
  std::vector<PlaceState> services_;
  std::chrono::steady_clock::time_point servicesAt_{};
  std::atomic<bool> stopping_{false};
};

}  // namespace quorlane::server::web
