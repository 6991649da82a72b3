// The update server's network side: the acceptor, one Connection per client
// and the limits that keep a server on the Internet standing. Everything runs
// on the one thread that runs the io_context.
//
// One look-up per connection: the client sends one request line, the server
// answers with one line and closes. A connection that never completes its
// line is closed when it is silent for the idle limit, when it has taken the
// request limit in all, or when the line grows past 16 KiB.
#pragma once

#include "net/asio.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "log/audit_log.h"
#include "net/listen_address.h"
#include "net/tcp_listener.h"
#include "update_map.h"

namespace quorlane::updater {

struct UpdateServerSettings {
  net::ListenAddress listen{"127.0.0.1", 9568};
  /// The mapping file; empty: no file, every identifier gets an empty line.
  std::string mapPath;
  std::size_t maxConnections = 1024;
  /// Simultaneous connections from one address.
  std::size_t maxPerAddress = 64;
  std::chrono::milliseconds idleLimit{10'000};
  /// Time a connection may take from accept to a complete request line.
  std::chrono::milliseconds requestLimit{30'000};
};

class Connection;

class UpdateServer {
 public:
  UpdateServer(asio::io_context& io, const UpdateServerSettings& settings, audit::AuditLog& log);
  ~UpdateServer();
  UpdateServer(const UpdateServer&) = delete;
  UpdateServer& operator=(const UpdateServer&) = delete;

  /// Reads the mapping file (when one is set). False with `error` when it
  /// cannot be read or is not a mapping.
  [[nodiscard]] bool LoadMap(std::string& error);
  /// Binds and listens; false with `error` when the address cannot be used.
  [[nodiscard]] bool Listen(std::string& error);
  [[nodiscard]] std::uint16_t Port() const;
  [[nodiscard]] std::size_t MapSize() const noexcept { return map_->Size(); }
  void Start();
  /// Stops accepting and closes every connection; run() then returns.
  void Stop();
  /// Re-reads the mapping file; a file that cannot be read or parsed leaves
  /// the current mapping in place. Returns the log text of the outcome.
  std::string Reload(const std::string& requestedBy);

  // Used by connections.
  [[nodiscard]] const UpdateServerSettings& Settings() const noexcept { return settings_; }
  [[nodiscard]] audit::AuditLog& Log() noexcept { return log_; }
  [[nodiscard]] const UpdateMap& Map() const noexcept { return *map_; }
  void Remove(Connection& connection);

 private:
  void OnAccepted(asio::ip::tcp::socket socket, const asio::ip::address& address, std::uint16_t port);
  /// Refusals at the limits are logged at most once a second, with a count.
  void RefuseQuietly(const std::string& peer, const std::string& reason);
  void Sweep();

  const UpdateServerSettings& settings_;
  audit::AuditLog& log_;
  net::TcpListener listener_;
  asio::steady_timer sweepTimer_;
  std::shared_ptr<const UpdateMap> map_;
  std::list<std::shared_ptr<Connection>> connections_;
  std::unordered_map<std::string, std::size_t> perAddress_;
  std::chrono::steady_clock::time_point lastRefusalLog_{};
  std::size_t refusalsNotLogged_ = 0;
  bool stopped_ = false;
};

}  // namespace quorlane::updater
