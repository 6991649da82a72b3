// The site server's network side: the acceptor, one Session per connection
// and the dispatch of requests to the lock store. Everything here runs on
// the one thread that runs the io_context; the blocking threads (and, on
// Windows, the store's writer thread) only post completions to it.
//
// A request's path on Linux, with no other thread involved: the reactor
// reads it into the connection's small inbox; the lock table answers at
// once and the change is queued; after every connection that was ready in
// this round has been served, one commit writes the round's changes durably;
// then the replies are sent straight from the commit (a plain send, with an
// asynchronous write only when the socket's buffer is full).
#pragma once

#include "net/asio.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "log/audit_log.h"
#include "net/tcp_listener.h"
#include "blocking_work.h"
#include "command_table.h"
#include "console_backend.h"
#include "frame_parser.h"
#include "lock_store.h"
#include "request.h"
#include "server_config.h"
#include "site_requests.h"

namespace quorlane::server {

class Session;

/// What the workstation side counts, written on the network thread and read
/// by the web console's.
struct ConnectionFigures {
  std::atomic<std::uint64_t> open{0}, most{0}, accepted{0};
  std::atomic<std::uint64_t> refusedNotAllowed{0}, refusedTooMany{0};
  std::atomic<std::uint64_t> cutTooLarge{0}, cutTimeout{0}, cutBadBytes{0};
  std::atomic<std::uint64_t> locksHeld{0};
};

class SiteServer {
 public:
  SiteServer(asio::io_context& io, const ServerConfig& config, LockStore& store, audit::AuditLog& log,
             SiteRequests& requests, BlockingWork& work);

  /// Binds and listens; false with `error` when the address cannot be used.
  [[nodiscard]] bool Listen(std::string& error);
  [[nodiscard]] std::uint16_t Port() const;
  void Start();
  /// Stops accepting and closes every connection; run() then returns.
  void Stop();

  /// Called (on the io thread) when the journal is durable up to `seq`.
  void OnDurable(std::uint64_t seq);
  /// Called (on the io thread) when the journal cannot be written: the
  /// changes not yet durable are dropped, every reply that waits for them is
  /// answered again from the durable table (a change as refused, "N;;;"),
  /// reads go on, changes are refused until the journal could be rewritten
  /// (tried every second).
  void OnStoreFailed(const std::string& error);

  // Used by sessions.
  using Clock = std::chrono::steady_clock;
  struct Handled {
    std::string reply;                      ///< the reply frame, unless `job` is set or `dropped`
    std::optional<SiteRequests::Job> job;   ///< blocking work that yields the reply frame
    const CommandRow* row = nullptr;        ///< what was asked; nullptr for an unknown tag
    Clock::time_point deadline;             ///< no answer leaves after this
    bool dropped = false;                   ///< the client stopped waiting before it was started
  };
  /// Carries out (or hands out as a job) the request in `body`, received at
  /// `received`; a request whose client has stopped waiting by `now` is
  /// neither carried out nor answered, only audited.
  [[nodiscard]] Handled Handle(std::string_view body, Session& session, std::uint64_t& neededSeq,
                               Clock::time_point received, Clock::time_point now);
  /// Runs `handled.job` on a worker of its lane and hands its reply to
  /// `session` on the network thread; a job that cannot start, or finish,
  /// before its deadline is not answered.
  void RunBlocking(std::shared_ptr<Session> session, Handled handled);
  /// Why a request goes unanswered: it waited behind earlier requests of its
  /// connection, or in its lane, past the limit; or it was ready after it.
  enum class Dropped { Waited, Queued, Finished, Ready };
  /// Audits and counts a request whose client had stopped waiting.
  void NoteDropped(const Session& session, const CommandRow* row, Dropped why);
  /// What became of each command's requests; `row` nullptr: unknown tags.
  [[nodiscard]] CommandFigures& FiguresOf(const CommandRow* row) noexcept;
  [[nodiscard]] const CommandFigures& FiguresOf(const CommandRow* row) const noexcept;
  [[nodiscard]] ConnectionFigures& Connections() noexcept { return connections_; }
  [[nodiscard]] const ConnectionFigures& Connections() const noexcept { return connections_; }

  // The web console's side, on the network thread.
  /// Every held lock, with whether the connection that took it is still open.
  [[nodiscard]] std::vector<web::LockRow> ConsoleLocks() const;
  /// Force-releases `key` when `expected` still holds it, audited with `who`;
  /// `done` runs on the network thread once the release is durable (or
  /// cannot be).
  void ConsoleRelease(const std::string& key, const web::LockRow& expected, const std::string& who,
                      std::function<void(web::ReleaseOutcome)> done);
  [[nodiscard]] static const CommandInfo& InfoOf(const CommandRow* row) noexcept;

  // The command table's handlers on the network thread.
  [[nodiscard]] std::string AnswerLock(const Request& request, Session& session, std::uint64_t& neededSeq);
  [[nodiscard]] std::string AnswerLockListing(const Request& request, Session& session, std::uint64_t& neededSeq);
  void WaitDurable(std::shared_ptr<Session> session, std::uint64_t seq);
  void Remove(const std::shared_ptr<Session>& session);
  [[nodiscard]] std::uint64_t DurableSeq() const noexcept { return durableSeq_; }
  /// The start time a lock granted now gets (formatted once per second).
  [[nodiscard]] const std::string& StartTimeNow();
  [[nodiscard]] const ServerConfig& Config() const noexcept { return config_; }
  [[nodiscard]] audit::AuditLog& Log() noexcept { return log_; }
  /// One read buffer for all connections: idle connections hold none.
  [[nodiscard]] asio::mutable_buffer ReadBuffer() noexcept { return asio::buffer(readBuffer_); }

 private:
  void OnAccepted(asio::ip::tcp::socket socket, const asio::ip::address& address, std::uint16_t port);
  [[nodiscard]] std::string LockListing() const;
  [[nodiscard]] std::string LockRequest(LockCommand command, const Request& request, Session& session,
                                        std::uint64_t& neededSeq);
  /// Remembers when changes last came from different connections in turn.
  void NoteChangeFrom(const Session& session);
  /// Makes the changes of this round durable after its other handlers ran.
  void ScheduleCommit();
  /// Remembers which connection took (or confirmed) a lock, for the console.
  void NoteLockOrigin(const std::string& key, Session& session);

  const ServerConfig& config_;
  LockStore& store_;
  audit::AuditLog& log_;
  SiteRequests& requests_;
  BlockingWork& work_;
  asio::io_context& io_;
  net::TcpListener listener_;
  asio::steady_timer recoverTimer_;
  bool recovering_ = false;
  std::unordered_set<std::shared_ptr<Session>> sessions_;
  std::deque<std::pair<std::uint64_t, std::weak_ptr<Session>>> waiting_;  // ordered by seq
  std::uint64_t durableSeq_ = 0;
  bool stopped_ = false;
  bool commitPosted_ = false;
  // The store may commit on this thread (and wait for the disk here) only
  // while one connection alone has been changing locks for a while: with
  // several, the next requests are served while the writer thread syncs.
  static constexpr std::chrono::milliseconds kAloneFor{20};
  const Session* lastChanger_ = nullptr;  // compared only, never followed
  std::chrono::steady_clock::time_point lastInterleave_{};
  std::time_t startTimeSecond_ = 0;
  std::string startTime_;
  std::string lineBuffer_;  // the audit line being built
  std::array<char, 65536> readBuffer_{};
  std::unique_ptr<CommandFigures[]> figures_;  // one per command, and one for unknown tags
  ConnectionFigures connections_;
  // Which connection took each lock (network thread; none for locks taken
  // before this start), and when that connection closed.
  struct LockOrigin {
    std::uint64_t session = 0;
    std::string peer;
    std::time_t goneAt = 0;
  };
  std::unordered_map<std::string, LockOrigin> origins_;
  std::uint64_t nextSessionSerial_ = 0;
  // Console releases waiting for the disk, ordered by seq.
  std::deque<std::pair<std::uint64_t, std::function<void(bool ok, const std::string& error)>>> consoleWaiting_;
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
  /// The reply of the blocking job this connection waits for; nothing when
  /// its client had stopped waiting.
  void Deliver(std::optional<std::string> reply);
  /// Answers again every queued reply that depended on changes after
  /// `durableSeq`, which were dropped.
  void Redo(std::uint64_t durableSeq);
  [[nodiscard]] const std::string& Peer() const noexcept { return peer_; }
  [[nodiscard]] bool PeerIsLoopback() const noexcept { return peerIsLoopback_; }
  [[nodiscard]] std::uint64_t Serial() const noexcept { return serial_; }
  /// A lock was granted to (or confirmed for) this connection.
  void TookLock() noexcept { tookLocks_ = true; }
  [[nodiscard]] bool TookLocks() const noexcept { return tookLocks_; }

 private:
  void WaitReadable();
  void OnRead(const ErrorCode& ec, std::size_t bytes);
  /// Sends out_ now as far as the socket takes it; true when all of it went,
  /// false when an asynchronous write continues (or the connection closed).
  bool SendNow();
  /// Feeds `input` (its requests received at `received`; it is `now`) to the
  /// parser and queues the replies; keeps what is left when too much reply
  /// text is queued already.
  void Process(std::string_view input, SiteServer::Clock::time_point received, SiteServer::Clock::time_point now);
  void ArmFrameTimer();
  void ResumeWhenDrained();

  SiteServer& server_;
  asio::ip::tcp::socket socket_;
  asio::steady_timer frameTimer_;
  std::chrono::steady_clock::time_point frameDeadline_{};
  FrameParser parser_;
  std::string peer_;
  bool peerIsLoopback_;
  // Replies waiting for the disk, oldest first (rarely more than one; empty
  // costs no memory, unlike a deque). A reply that waits for the disk keeps
  // its request, to be answered again should the journal fail.
  struct Queued {
    std::uint64_t seq;
    std::string reply;
    std::string request;
    const CommandRow* row;
    SiteServer::Clock::time_point deadline;
    SiteServer::Clock::time_point received;
  };
  std::vector<Queued> replies_;
  std::size_t queuedBytes_ = 0;
  // Reads land here first: enough for a lock request, so an idle connection
  // holds only this; a longer input continues through the server's buffer.
  std::array<char, 256> inbox_{};
  std::string leftover_;  // input not yet parsed (bounded by one read)
  SiteServer::Clock::time_point leftoverReceived_{};
  SiteServer::Clock::time_point frameReceived_{};  // when the frame being read began to arrive
  // Reading pauses while a job runs; what the client sent meanwhile waits in
  // the socket, and its requests count as received when the pause began (the
  // earliest they can have come): an answer is never sent later than the
  // client waits, at worst one is dropped that it would still have taken.
  std::optional<SiteServer::Clock::time_point> pausedSince_;
  std::optional<SiteServer::Clock::time_point> backlogSince_;
  std::string out_;       // the write in flight
  bool writing_ = false;
  bool reading_ = false;
  bool closed_ = false;
  bool timerArmed_ = false;
  // A blocking job runs for this connection: later requests wait behind it,
  // so replies keep the order of their requests.
  bool awaiting_ = false;
  std::uint64_t requests_ = 0;
  std::uint64_t serial_ = 0;  // set by the server when it accepts
  bool tookLocks_ = false;

  friend class SiteServer;
};

}  // namespace quorlane::server
