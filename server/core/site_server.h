// The site server's network side: the acceptor, one Session per connection
// and the dispatch of requests to the lock store. Everything here runs on
// the one thread that runs the io_context; the store's writer thread only
// posts completions to it.
#pragma once

#include <asio.hpp>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>

#include "audit_log.h"
#include "blocking_work.h"
#include "frame_parser.h"
#include "lock_store.h"
#include "server_config.h"
#include "site_requests.h"

namespace quorlane::server {

class Session;

class SiteServer {
 public:
  SiteServer(asio::io_context& io, const ServerConfig& config, LockStore& store, AuditLog& log,
             SiteRequests& requests, BlockingWork& work);

  /// Binds and listens; false with `error` when the address cannot be used.
  [[nodiscard]] bool Listen(std::string& error);
  [[nodiscard]] std::uint16_t Port() const;
  void Start();
  /// Stops accepting and closes every connection; run() then returns.
  void Stop();
  /// Runs once Stop() has closed everything (to end the caller's own waits).
  void OnStopped(std::function<void()> handler) { onStopped_ = std::move(handler); }

  /// Called (on the io thread) when the journal is durable up to `seq`.
  void OnDurable(std::uint64_t seq);

  // Used by sessions.
  struct Handled {
    std::string reply;                      ///< the reply frame, unless `job` is set
    std::optional<SiteRequests::Job> job;   ///< blocking work that yields the reply frame
  };
  [[nodiscard]] Handled Handle(std::string_view body, Session& session, std::uint64_t& neededSeq);
  /// Runs `job` on a blocking thread and hands its reply to `session` on the
  /// network thread.
  void RunBlocking(std::shared_ptr<Session> session, SiteRequests::Job job);
  void WaitDurable(std::shared_ptr<Session> session, std::uint64_t seq);
  void Remove(const std::shared_ptr<Session>& session);
  [[nodiscard]] std::uint64_t DurableSeq() const noexcept { return durableSeq_; }
  [[nodiscard]] const ServerConfig& Config() const noexcept { return config_; }
  [[nodiscard]] AuditLog& Log() noexcept { return log_; }
  /// One read buffer for all connections: idle connections hold none.
  [[nodiscard]] asio::mutable_buffer ReadBuffer() noexcept { return asio::buffer(readBuffer_); }

 private:
  void Accept();
  void OnAccepted(const std::error_code& ec, asio::ip::tcp::socket socket);
  [[nodiscard]] std::string LockListing() const;

  const ServerConfig& config_;
  LockStore& store_;
  AuditLog& log_;
  SiteRequests& requests_;
  BlockingWork& work_;
  asio::ip::tcp::acceptor acceptor_;
  asio::steady_timer acceptRetry_;
  std::unordered_set<std::shared_ptr<Session>> sessions_;
  std::deque<std::pair<std::uint64_t, std::weak_ptr<Session>>> waiting_;  // ordered by seq
  std::uint64_t durableSeq_ = 0;
  bool stopped_ = false;
  bool commitPosted_ = false;
  std::function<void()> onStopped_;
  std::array<char, 65536> readBuffer_{};
};

/// One client connection. Owns its socket; every pending operation holds a
/// shared_ptr to it. Reading pauses while replies wait for the disk or for
/// the peer to take them, so input is never buffered without bound.
class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(SiteServer& server, asio::ip::tcp::socket socket, std::string peer, bool peerIsLoopback);
  void Start();
  void Close(std::string_view reason);
  /// Sends the replies whose changes are durable now.
  void Flush();
  /// The reply of the blocking job this connection waits for.
  void Deliver(std::string reply);
  [[nodiscard]] const std::string& Peer() const noexcept { return peer_; }
  [[nodiscard]] bool PeerIsLoopback() const noexcept { return peerIsLoopback_; }

 private:
  void WaitReadable();
  void OnReadable();
  /// Feeds `input` to the parser and queues the replies; keeps what is left
  /// when too much reply text is queued already.
  void Process(std::string_view input);
  void ArmFrameTimer();
  void StartWrite();
  void ResumeWhenDrained();

  SiteServer& server_;
  asio::ip::tcp::socket socket_;
  asio::steady_timer frameTimer_;
  std::chrono::steady_clock::time_point frameDeadline_{};
  FrameParser parser_;
  std::string peer_;
  bool peerIsLoopback_;
  std::deque<std::pair<std::uint64_t, std::string>> replies_;  // waiting for the disk
  std::size_t queuedBytes_ = 0;
  std::string leftover_;  // input not yet parsed (bounded by one read)
  std::string out_;       // the write in flight
  bool writing_ = false;
  bool reading_ = false;
  bool closed_ = false;
  bool timerArmed_ = false;
  // A blocking job runs for this connection: later requests wait behind it,
  // so replies keep the order of their requests.
  bool awaiting_ = false;
  std::uint64_t requests_ = 0;
};

}  // namespace quorlane::server
