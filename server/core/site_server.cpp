#include "site_server.h"

#include <ctime>

#include "frame_parser.h"
#include "platform/platform.h"
#include "request.h"

namespace quorlane::server {
namespace {

using asio::ip::tcp;

constexpr std::size_t kMaxQueuedReplyBytes = 256 * 1024;
constexpr std::string_view kListTag = "[QLLISTLOCKS]";

std::optional<LockCommand> LockCommandOf(std::string_view tag) {
  if (tag == "[LOCKDB]") return LockCommand::Lock;
  if (tag == "[UNLOCKDB]") return LockCommand::Unlock;
  if (tag == "[FORCEUNLOCKDB]") return LockCommand::ForceUnlock;
  if (tag == "[CHECKDBLOCK]") return LockCommand::Check;
  return std::nullopt;
}

std::string_view CommandName(LockCommand command) {
  switch (command) {
    case LockCommand::Lock: return "LOCKDB";
    case LockCommand::Unlock: return "UNLOCKDB";
    case LockCommand::ForceUnlock: return "FORCEUNLOCKDB";
    case LockCommand::Check: return "CHECKDBLOCK";
  }
  return "?";
}

}  // namespace

SiteServer::SiteServer(asio::io_context& io, const ServerConfig& config, LockStore& store, audit::AuditLog& log,
                       SiteRequests& requests, BlockingWork& work)
    : config_(config), store_(store), log_(log), requests_(requests), work_(work), io_(io), listener_(io, log),
      recoverTimer_(io), figures_(std::make_unique<CommandFigures[]>(Commands().size() + 1)) {}

bool SiteServer::Listen(std::string& error) { return listener_.Listen(config_.listen, error); }

std::uint16_t SiteServer::Port() const { return listener_.Port(); }

void SiteServer::Start() {
  connections_.locksHeld = store_.Table().Size();
  listener_.Start([this](tcp::socket socket, const asio::ip::address& address, std::uint16_t port) {
    OnAccepted(std::move(socket), address, port);
  });
}

void SiteServer::OnAccepted(tcp::socket socket, const asio::ip::address& address, std::uint16_t port) {
  ErrorCode ignored;
  const std::string peer = net::PeerText(address, port);
  if (!config_.allow.Allows(net::IpOf(address))) {
    ++connections_.refusedNotAllowed;
    log_.Line("refused peer=" + peer + ": not in the allowed client networks");
    socket.close(ignored);
  } else if (sessions_.size() >= config_.maxConnections) {
    ++connections_.refusedTooMany;
    log_.Line("refused peer=" + peer + ": too many connections (" + std::to_string(config_.maxConnections) + ")");
    socket.close(ignored);
  } else {
    socket.set_option(tcp::no_delay(true), ignored);
    auto session = std::make_shared<Session>(*this, std::move(socket), peer, address.is_loopback());
    session->serial_ = ++nextSessionSerial_;
    sessions_.insert(session);
    ++connections_.accepted;
    connections_.open = sessions_.size();
    if (sessions_.size() > connections_.most) connections_.most = sessions_.size();
    log_.Line("connect peer=" + peer);
    session->Start();
  }
}

void SiteServer::Stop() {
  if (stopped_) return;
  stopped_ = true;
  listener_.Stop();
  recoverTimer_.cancel();
  auto sessions = sessions_;
  for (const auto& session : sessions) session->Close("server stopping");
  waiting_.clear();
  auto console = std::move(consoleWaiting_);
  for (auto& [seq, done] : console) done(false, "the server is stopping");
}

void SiteServer::Remove(const std::shared_ptr<Session>& session) {
  sessions_.erase(session);
  connections_.open = sessions_.size();
  if (session->TookLocks()) {
    const std::time_t now = std::time(nullptr);
    for (auto& [key, origin] : origins_) {
      if (origin.session == session->Serial() && origin.goneAt == 0) origin.goneAt = now;
    }
  }
}

void SiteServer::WaitDurable(std::shared_ptr<Session> session, std::uint64_t seq) {
  waiting_.emplace_back(seq, session);
}

void SiteServer::OnDurable(std::uint64_t seq) {
  durableSeq_ = std::max(durableSeq_, seq);
  while (!waiting_.empty() && waiting_.front().first <= durableSeq_) {
    auto session = waiting_.front().second.lock();
    waiting_.pop_front();
    if (session) session->Flush();
  }
  while (!consoleWaiting_.empty() && consoleWaiting_.front().first <= durableSeq_) {
    auto done = std::move(consoleWaiting_.front().second);
    consoleWaiting_.pop_front();
    done(true, {});
  }
}

void SiteServer::OnStoreFailed(const std::string& error) {
  if (stopped_) return;
  const std::uint64_t durable = durableSeq_;
  store_.Rollback();
  log_.Line("store: " + error + "; changes after #" + std::to_string(durable) +
            " dropped, changes refused until the journal can be written again");
  durableSeq_ = store_.LastSeq();
  connections_.locksHeld = store_.Table().Size();
  // The console's releases after the durable end were dropped with the rest.
  while (!consoleWaiting_.empty() && consoleWaiting_.back().first > durable) {
    auto done = std::move(consoleWaiting_.back().second);
    consoleWaiting_.pop_back();
    done(false, "the lock journal cannot be written (" + error + ")");
  }
  auto sessions = sessions_;
  for (const auto& session : sessions) session->Redo(durable);
  OnDurable(durableSeq_);
  if (recovering_) return;
  recovering_ = true;
  auto attempt = std::make_shared<std::function<void()>>();
  *attempt = [this, attempt] {
    recoverTimer_.expires_after(std::chrono::seconds(1));
    recoverTimer_.async_wait([this, attempt](const ErrorCode& ec) {
      if (ec || stopped_) return;
      std::string why;
      if (!store_.TryRecover(why)) {
        (*attempt)();
        return;
      }
      recovering_ = false;
      log_.Line("store: journal rewritten; changes accepted again");
    });
  };
  (*attempt)();
}

void SiteServer::NoteChangeFrom(const Session& session) {
  if (&session != lastChanger_) {
    lastChanger_ = &session;
    lastInterleave_ = std::chrono::steady_clock::now();
  }
}

const std::string& SiteServer::StartTimeNow() {
  const std::time_t now = std::time(nullptr);
  if (now != startTimeSecond_ || startTime_.empty()) {
    startTimeSecond_ = now;
    startTime_ = FormatStartTime(platform::LocalTime(now));
  }
  return startTime_;
}

std::string SiteServer::LockListing() const {
  std::string text;
  for (const auto& [key, holder] : store_.Table().Locks()) {
    text.append(audit::Quoted(key)).append(" ").append(audit::Quoted(holder.user)).append(" ");
    text.append(audit::Quoted(holder.computer)).append(" ").append(audit::Quoted(holder.startTime)).append("\n");
  }
  return text;
}

namespace {

// Malformed requests and unknown tags are answered at once, within the
// shortest limit any client uses.
constexpr CommandInfo kUnknownCommand{"", "?", CommandLane::Network, std::chrono::seconds(12)};

std::string Seconds(std::chrono::seconds limit) { return std::to_string(limit.count()) + " s"; }

}  // namespace

CommandFigures& SiteServer::FiguresOf(const CommandRow* row) noexcept {
  return figures_[row ? static_cast<std::size_t>(row - Commands().data()) : Commands().size()];
}

const CommandFigures& SiteServer::FiguresOf(const CommandRow* row) const noexcept {
  return figures_[row ? static_cast<std::size_t>(row - Commands().data()) : Commands().size()];
}

const CommandInfo& SiteServer::InfoOf(const CommandRow* row) noexcept { return row ? row->info : kUnknownCommand; }

void SiteServer::NoteDropped(const Session& session, const CommandRow* row, Dropped why) {
  const CommandInfo& command = InfoOf(row);
  std::string_view what;
  switch (why) {
    case Dropped::Waited:
      what = "not started: waited behind earlier requests until";
      ++FiguresOf(row).notStarted;
      break;
    case Dropped::Queued:
      what = "not started: queued until";
      ++FiguresOf(row).notStarted;
      break;
    case Dropped::Finished:
      what = "finished";
      ++FiguresOf(row).late;
      break;
    case Dropped::Ready:
      what = "ready";
      ++FiguresOf(row).late;
      break;
  }
  log_.Line(std::string(command.name) + " peer=" + session.Peer() + " " + std::string(what) + " after the client's " +
            Seconds(command.clientLimit) + " limit: not answered");
}

void SiteServer::RunBlocking(std::shared_ptr<Session> session, Handled handled) {
  work_.Post(handled.row->info.lane, [this, executor = io_.get_executor(), session = std::move(session),
                                      handled = std::move(handled)]() mutable {
    std::optional<std::string> reply;
    if (Clock::now() > handled.deadline) {
      NoteDropped(*session, handled.row, Dropped::Queued);
    } else {
      try {
        reply = (*handled.job)();
      } catch (...) {
        reply = ReplyFrame(kErrorTag, "internal error;");
      }
      if (Clock::now() > handled.deadline) {
        NoteDropped(*session, handled.row, Dropped::Finished);
        reply.reset();
      }
    }
    // The session travels on to the network thread, which alone may end it.
    asio::post(executor, [session = std::move(session), reply = std::move(reply)]() mutable {
      session->Deliver(std::move(reply));
    });
  });
}

SiteServer::Handled SiteServer::Handle(std::string_view body, Session& session, std::uint64_t& neededSeq,
                                       Clock::time_point received, Clock::time_point now) {
  // A reply never goes out before the journal holds every change it could
  // depend on, including other connections' changes that this answer reveals.
  neededSeq = store_.LastSeq();
  const auto request = SplitRequest(body);
  Handled handled;
  handled.row = request ? FindCommand(request->tag) : nullptr;
  handled.deadline = AnswerDeadline(InfoOf(handled.row), received);
  ++FiguresOf(handled.row).received;
  if (now > handled.deadline) {
    // Neither carried out nor answered: a lock taken now would be one its
    // client believes it never got.
    NoteDropped(session, handled.row, Dropped::Waited);
    handled.dropped = true;
    return handled;
  }
  if (!request) {
    log_.Line("peer=" + session.Peer() + " request without a command tag: " + audit::Quoted(body.substr(0, 64)));
    handled.reply = ReplyFrame(kErrorTag, "malformed request;");
  } else if (!handled.row) {
    log_.Line("peer=" + session.Peer() + " unknown command " + audit::Quoted(request->tag));
    handled.reply = ReplyFrame(kErrorTag, "unknown command;");
  } else if (handled.row->answer) {
    handled.reply = (this->*handled.row->answer)(*request, session, neededSeq);
  } else {
    handled.job = (requests_.*handled.row->prepare)(*request, session.Peer());
  }
  return handled;
}

std::string SiteServer::AnswerLockListing(const Request&, Session& session, std::uint64_t&) {
  return session.PeerIsLoopback() ? ReplyFrame(kListTag, LockListing())
                                  : ReplyFrame(kErrorTag, "listing only from this computer;");
}

std::string SiteServer::AnswerLock(const Request& request, Session& session, std::uint64_t& neededSeq) {
  return LockRequest(*LockCommandOf(request.tag), request, session, neededSeq);
}

std::string SiteServer::LockRequest(LockCommand command, const Request& request, Session& session,
                                    std::uint64_t& neededSeq) {
  const auto fields = ParseLockFields(request.fields);
  if (!fields) {
    log_.Line("peer=" + session.Peer() + " " + std::string(CommandName(command)) + " with fewer than three fields");
    return ReplyFrame(kErrorTag, "missing fields;");
  }
  // While the journal cannot be written a change is undone and refused.
  std::optional<LockHolder> before;
  const bool refuseChanges = store_.Failed();
  if (refuseChanges) {
    if (const LockHolder* holder = store_.Table().Find(fields->key)) before = *holder;
  }
  LockOutcome outcome = store_.Table().Execute(command, fields->key, fields->user, fields->computer, StartTimeNow());
  if (outcome.change && refuseChanges) {
    store_.Table().Apply(before ? LockChange{LockChange::Kind::Grant, fields->key, *before}
                                : LockChange{LockChange::Kind::Release, fields->key, {}});
    outcome.change.reset();
    outcome.payload = "N;;;";
  }
  if (outcome.change) {
    neededSeq = store_.Append(*outcome.change);
    NoteChangeFrom(session);
    ScheduleCommit();
    if (outcome.change->kind == LockChange::Kind::Release) origins_.erase(fields->key);
    connections_.locksHeld.store(store_.Table().Size(), std::memory_order_relaxed);
  }
  if (command == LockCommand::Lock && !outcome.payload.empty() && outcome.payload.front() == 'Y') {
    NoteLockOrigin(fields->key, session);
  }
  if (command != LockCommand::Check) {
    std::string& line = lineBuffer_;
    line.assign(CommandName(command)).append(" peer=").append(session.Peer()).append(" user=");
    audit::AppendQuoted(line, fields->user);
    line.append(" computer=");
    audit::AppendQuoted(line, fields->computer);
    line.append(" key=");
    audit::AppendQuoted(line, fields->key);
    line.append(" result=");
    audit::AppendQuoted(line, outcome.payload);
    if (outcome.change) line.append(" changed");
    log_.Line(line);
    if (line.capacity() > 4096) std::string().swap(line);
  }
  return ReplyFrame(request.tag, outcome.payload);
}

void SiteServer::ScheduleCommit() {
  // The commit runs after the handlers that are ready now, so the changes of
  // every connection served in this round share one sync.
  if (commitPosted_) return;
  commitPosted_ = true;
  asio::post(io_, [this] {
    commitPosted_ = false;
    store_.Commit(/*blockingAllowed=*/std::chrono::steady_clock::now() - lastInterleave_ > kAloneFor);
  });
}

void SiteServer::NoteLockOrigin(const std::string& key, Session& session) {
  LockOrigin& origin = origins_[key];
  if (origin.session == session.Serial() && origin.goneAt == 0) return;
  origin = {session.Serial(), session.Peer(), 0};
  session.TookLock();
}

namespace {

web::LockRow RowOf(const std::string& key, const LockHolder& holder) {
  web::LockRow row;
  row.key = key;
  row.user = holder.user;
  row.computer = holder.computer;
  row.since = holder.startTime;
  return row;
}

}  // namespace

std::vector<web::LockRow> SiteServer::ConsoleLocks() const {
  std::vector<web::LockRow> rows;
  rows.reserve(store_.Table().Size());
  for (const auto& [key, holder] : store_.Table().Locks()) {
    web::LockRow row = RowOf(key, holder);
    if (const auto origin = origins_.find(key); origin != origins_.end()) {
      row.link = origin->second.goneAt ? web::LockRow::Link::Gone : web::LockRow::Link::Open;
      row.peer = origin->second.peer;
      row.goneAt = origin->second.goneAt;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

void SiteServer::ConsoleRelease(const std::string& key, const web::LockRow& expected, const std::string& who,
                                std::function<void(web::ReleaseOutcome)> done) {
  using Result = web::ReleaseOutcome::Result;
  web::ReleaseOutcome outcome;
  const LockHolder* holder = store_.Table().Find(key);
  if (!holder) {
    outcome.result = Result::NotHeld;
    return done(outcome);
  }
  outcome.holder = RowOf(key, *holder);
  // The administrator confirmed this holder: a lock that changed hands since
  // the question was shown is not released.
  if (holder->user != expected.user || holder->computer != expected.computer || holder->startTime != expected.since) {
    outcome.result = Result::HeldByAnother;
    return done(outcome);
  }
  if (stopped_ || store_.Failed()) {
    outcome.error = stopped_ ? "the server is stopping" : "the lock journal cannot be written now";
    return done(outcome);
  }
  const LockHolder was = *holder;
  LockOutcome released = store_.Table().Execute(LockCommand::ForceUnlock, key, "quorlane-web", "console", StartTimeNow());
  if (!released.change) {
    outcome.error = "the lock table did not change";
    return done(outcome);
  }
  const std::uint64_t seq = store_.Append(*released.change);
  origins_.erase(key);
  connections_.locksHeld.store(store_.Table().Size(), std::memory_order_relaxed);
  ++FiguresOf(FindCommand("[FORCEUNLOCKDB]")).received;
  std::string line = "FORCEUNLOCKDB " + who + " key=";
  audit::AppendQuoted(line, key);
  line.append(" held by user=");
  audit::AppendQuoted(line, was.user);
  line.append(" computer=");
  audit::AppendQuoted(line, was.computer);
  line.append(" since=");
  audit::AppendQuoted(line, was.startTime);
  line.append(" result=");
  audit::AppendQuoted(line, released.payload);
  line.append(" changed");
  log_.Line(line);
  outcome.result = Result::Released;
  consoleWaiting_.emplace_back(seq, [outcome, done = std::move(done)](bool ok, const std::string& error) mutable {
    if (!ok) {
      outcome.result = Result::Failed;
      outcome.error = error;
    }
    done(outcome);
  });
  ScheduleCommit();
}

Session::Session(SiteServer& server, tcp::socket socket, std::string peer, bool peerIsLoopback)
    : server_(server),
      socket_(std::move(socket)),
      frameTimer_(socket_.get_executor()),
      parser_(server.Config().maxRequestBytes),
      peer_(std::move(peer)),
      peerIsLoopback_(peerIsLoopback) {}

void Session::Start() {
  ErrorCode ec;
  socket_.non_blocking(true, ec);
  WaitReadable();
}

void Session::WaitReadable() {
  if (reading_ || closed_) return;
  if (pausedSince_) {
    // Whatever waits in the socket now was sent during the pause.
    ErrorCode ec;
    if (socket_.available(ec) > 0) backlogSince_ = pausedSince_;
    pausedSince_.reset();
  }
  reading_ = true;
  // The reactor keeps the socket registered: a read that must wait costs no
  // system call, and one that need not wait is tried at once.
  socket_.async_read_some(asio::buffer(inbox_), [self = shared_from_this()](const ErrorCode& ec, std::size_t n) {
    self->reading_ = false;
    self->OnRead(ec, n);
  });
}

void Session::OnRead(const ErrorCode& ec, std::size_t bytes) {
  if (closed_ || ec == asio::error::operation_aborted) return;
  if (ec == asio::error::eof) {
    Close(parser_.InFrame() ? "closed by peer inside a frame" : "closed by peer");
    return;
  }
  if (ec) {
    Close("read failed: " + ec.message());
    return;
  }
  const auto now = SiteServer::Clock::now();
  const auto received = backlogSince_.value_or(now);
  backlogSince_.reset();
  Process(std::string_view(inbox_.data(), bytes), received, now);
  // A full inbox: more may be waiting. Read it through the shared buffer
  // until a read comes back short (the socket is then empty) or the input
  // must wait behind queued replies or a blocking job.
  bool more = bytes == inbox_.size();
  while (more && !closed_ && leftover_.empty() && !awaiting_) {
    ErrorCode readError;
    const auto buffer = server_.ReadBuffer();
    const std::size_t n = socket_.read_some(buffer, readError);
    if (readError == asio::error::would_block || readError == asio::error::try_again) break;
    if (readError == asio::error::eof) {
      Close(parser_.InFrame() ? "closed by peer inside a frame" : "closed by peer");
      return;
    }
    if (readError) {
      Close("read failed: " + readError.message());
      return;
    }
    Process(std::string_view(static_cast<const char*>(buffer.data()), n), received, now);
    more = n == buffer.size();
  }
  if (!closed_) ResumeWhenDrained();
}

void Session::Process(std::string_view input, SiteServer::Clock::time_point received,
                      SiteServer::Clock::time_point now) {
  while (!input.empty() && !closed_) {
    if (queuedBytes_ >= kMaxQueuedReplyBytes) {
      leftover_.assign(input);
      leftoverReceived_ = received;
      return;
    }
    const bool wasInFrame = parser_.InFrame();
    const auto result = parser_.Feed(input);
    input.remove_prefix(result.consumed);
    if (result.status == FrameParser::Status::Error) {
      ++(parser_.LastError() == FrameParser::Error::TooLarge ? server_.Connections().cutTooLarge
                                                            : server_.Connections().cutBadBytes);
      Close(parser_.LastError() == FrameParser::Error::TooLarge
                ? "request larger than " + std::to_string(server_.Config().maxRequestBytes) + " bytes"
                : "bytes outside a frame");
      return;
    }
    if (!wasInFrame && parser_.InFrame()) {
      frameReceived_ = received;
      ArmFrameTimer();
    }
    if (result.status == FrameParser::Status::Frame) {
      ++requests_;
      std::uint64_t needed = 0;
      auto handled = server_.Handle(parser_.Body(), *this, needed, wasInFrame ? frameReceived_ : received, now);
      if (handled.job) {
        // What follows in this read waits until the job has answered.
        awaiting_ = true;
        pausedSince_ = now;
        leftover_.assign(input);
        leftoverReceived_ = received;
        if (timerArmed_) frameTimer_.cancel();
        timerArmed_ = false;
        server_.RunBlocking(shared_from_this(), std::move(handled));
        return;
      }
      if (!handled.dropped) {
        queuedBytes_ += handled.reply.size();
        replies_.push_back(Queued{needed, std::move(handled.reply),
                                  needed > server_.DurableSeq() ? std::string(parser_.Body()) : std::string(),
                                  handled.row, handled.deadline, wasInFrame ? frameReceived_ : received});
      }
      // A new frame may start in the same read; its timer is armed above.
      if (!parser_.InFrame() && timerArmed_) {
        frameTimer_.cancel();
        timerArmed_ = false;
      }
    }
  }
  if (!parser_.InFrame() && timerArmed_) {
    frameTimer_.cancel();
    timerArmed_ = false;
  }
}

void Session::ArmFrameTimer() {
  frameDeadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(server_.Config().frameTimeoutSeconds);
  frameTimer_.expires_at(frameDeadline_);
  timerArmed_ = true;
  frameTimer_.async_wait([self = shared_from_this()](const ErrorCode& ec) {
    if (ec || self->closed_) return;
    if (self->parser_.InFrame() && std::chrono::steady_clock::now() >= self->frameDeadline_) {
      ++self->server_.Connections().cutTimeout;
      self->Close("frame not completed within " + std::to_string(self->server_.Config().frameTimeoutSeconds) + " s");
    }
  });
}

void Session::Flush() { ResumeWhenDrained(); }

void Session::Deliver(std::optional<std::string> reply) {
  if (closed_) return;
  awaiting_ = false;
  if (reply) {
    queuedBytes_ += reply->size();
    // Behind every earlier reply; it reveals no lock change of its own. Its
    // job has checked the deadline already.
    replies_.push_back(Queued{replies_.empty() ? 0 : replies_.back().seq, std::move(*reply), {}, nullptr,
                              SiteServer::Clock::time_point::max(), {}});
  }
  ResumeWhenDrained();
}

void Session::Redo(std::uint64_t durableSeq) {
  if (closed_) return;
  for (auto& queued : replies_) {
    if (queued.seq <= durableSeq) continue;
    queued.seq = 0;
    if (queued.request.empty()) continue;
    std::uint64_t needed = 0;
    auto handled = server_.Handle(queued.request, *this, needed, queued.received, SiteServer::Clock::now());
    if (handled.job) continue;  // not a lock request: its reply stands
    // A dropped request leaves an empty reply, which sends nothing.
    queuedBytes_ = queuedBytes_ - queued.reply.size() + handled.reply.size();
    queued.reply = std::move(handled.reply);
    queued.request.clear();
  }
}

bool Session::SendNow() {
  ErrorCode ec;
  std::size_t sent = socket_.send(asio::buffer(out_), 0, ec);  // the socket does not block
  if (ec == asio::error::would_block || ec == asio::error::try_again) {
    sent = 0;
    ec.clear();
  }
  if (ec) {
    Close("write failed: " + ec.message());
    return false;
  }
  if (sent == out_.size()) {
    out_.clear();
    if (out_.capacity() > 65536) std::string().swap(out_);
    return true;
  }
  // The peer is not reading fast enough: the rest goes when it does.
  out_.erase(0, sent);
  writing_ = true;
  asio::async_write(socket_, asio::buffer(out_), [self = shared_from_this()](const ErrorCode& error, std::size_t) {
    self->writing_ = false;
    if (error) {
      if (error != asio::error::operation_aborted) self->Close("write failed: " + error.message());
      return;
    }
    self->out_.clear();
    if (self->out_.capacity() > 65536) std::string().swap(self->out_);
    self->ResumeWhenDrained();
  });
  return false;
}

void Session::ResumeWhenDrained() {
  if (closed_ || writing_) return;
  for (;;) {
    // Every reply that may go out now goes in one send; one whose client
    // has stopped waiting (the disk was that slow) not at all.
    std::size_t ready = 0;
    std::optional<SiteServer::Clock::time_point> now;
    for (; ready < replies_.size() && replies_[ready].seq <= server_.DurableSeq(); ++ready) {
      std::string& reply = replies_[ready].reply;
      queuedBytes_ -= reply.size();
      if (!now) now = SiteServer::Clock::now();
      if (*now > replies_[ready].deadline) {
        server_.NoteDropped(*this, replies_[ready].row, SiteServer::Dropped::Ready);
        continue;
      }
      if (out_.empty()) {
        out_.swap(reply);
      } else {
        out_.append(reply);
      }
    }
    replies_.erase(replies_.begin(), replies_.begin() + static_cast<std::ptrdiff_t>(ready));
    if (!out_.empty()) {
      if (!SendNow()) return;
      continue;
    }
    if (!replies_.empty()) {
      server_.WaitDurable(shared_from_this(), replies_.back().seq);
      return;
    }
    if (awaiting_) return;  // Deliver() resumes
    if (leftover_.empty()) break;
    std::string input;
    input.swap(leftover_);
    Process(input, leftoverReceived_, SiteServer::Clock::now());
    if (closed_) return;
  }
  WaitReadable();
}

void Session::Close(std::string_view reason) {
  if (closed_) return;
  closed_ = true;
  server_.Log().Line("close peer=" + peer_ + " requests=" + std::to_string(requests_) + " reason=" +
                     std::string(reason));
  ErrorCode ec;
  frameTimer_.cancel();
  socket_.close(ec);
  server_.Remove(shared_from_this());
}

}  // namespace quorlane::server
