#include "update_server.h"

#include <array>
#include <vector>

#include "platform/platform.h"
#include "request_line.h"

namespace quorlane::updater {
namespace {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using audit::Quoted;

constexpr auto kSweepInterval = std::chrono::milliseconds(250);
constexpr auto kRefusalLogInterval = std::chrono::seconds(1);
/// Longest text of a peer's that goes into one log line.
constexpr std::size_t kLoggedBytes = 200;

std::string QuotedPrefix(std::string_view text) {
  if (text.size() <= kLoggedBytes) return audit::Quoted(text);
  return audit::Quoted(text.substr(0, kLoggedBytes)) + "... (" + std::to_string(text.size()) + " bytes)";
}

std::string DurationText(std::chrono::milliseconds limit) {
  const auto ms = limit.count();
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

}  // namespace

/// One client. Holds its socket and its partial line; every pending
/// operation holds a shared_ptr to it, the server's list holds one more.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(UpdateServer& server, tcp::socket socket, std::string peer, std::string address, bool loopback)
      : server_(server),
        socket_(std::move(socket)),
        peer_(std::move(peer)),
        address_(std::move(address)),
        loopback_(loopback),
        accepted_(Clock::now()),
        lastActivity_(accepted_) {}

  void Start(std::list<std::shared_ptr<Connection>>::iterator position) {
    position_ = position;
    ErrorCode ignored;
    socket_.non_blocking(true, ignored);  // the reply is written without waiting
    Read();
  }

  /// Closes the socket and leaves the server's list; logs `line` unless empty.
  void Close(const std::string& line) {
    if (closed_) return;
    closed_ = true;
    if (!line.empty()) server_.Log().Line(line);
    ErrorCode ignored;
    socket_.close(ignored);
    server_.Remove(*this);
  }

  /// The log line of a limit this connection has run into by `now`, if any.
  [[nodiscard]] std::string Expiry(Clock::time_point now) const {
    const auto& settings = server_.Settings();
    if (now - lastActivity_ >= settings.idleLimit) {
      return "refused peer=" + peer_ + ": silent for " + DurationText(settings.idleLimit);
    }
    if (now - accepted_ >= settings.requestLimit) {
      return "refused peer=" + peer_ + ": no whole request line within " + DurationText(settings.requestLimit);
    }
    return {};
  }

  [[nodiscard]] const std::string& Address() const noexcept { return address_; }
  [[nodiscard]] std::list<std::shared_ptr<Connection>>::iterator Position() const noexcept { return position_; }

 private:
  void Read() {
    socket_.async_read_some(asio::buffer(buffer_), [self = shared_from_this()](const ErrorCode& ec,
                                                                               std::size_t n) { self->OnRead(ec, n); });
  }

  void OnRead(const ErrorCode& ec, std::size_t n) {
    if (closed_) return;
    if (ec == asio::error::eof) {
      Close("dropped peer=" + peer_ + ": closed after " + std::to_string(reader_.Buffered()) +
            " bytes, before a whole request line");
      return;
    }
    if (ec) {
      Close("dropped peer=" + peer_ + ": " + ec.message());
      return;
    }
    lastActivity_ = Clock::now();
    switch (reader_.Feed(std::string_view(buffer_.data(), n))) {
      case RequestLineReader::Status::NeedMore:
        Read();
        return;
      case RequestLineReader::Status::TooLong:
        Close("refused peer=" + peer_ + ": request line over " + std::to_string(kMaxRequestLineBytes) + " bytes");
        return;
      case RequestLineReader::Status::Line:
        Answer(reader_.Line());
        return;
    }
  }

  void Answer(std::string_view line) {
    const Request request = ClassifyLine(line);
    std::string logLine;
    if (request.kind == Request::Kind::Lookup) {
      const std::string* address = server_.Map().Find(request.identifier);
      if (address != nullptr) reply_ = *address;
      logLine = "lookup peer=" + peer_ + " id=" + QuotedPrefix(request.identifier) +
                (address != nullptr ? " answer=" + QuotedPrefix(*address) : " unknown");
    } else if (request.kind == Request::Kind::Reload && loopback_) {
      reply_ = server_.Reload(peer_);  // logs its own line
    } else {
      logLine = "other peer=" + peer_ + " line=" + QuotedPrefix(line) + " answered with an empty line";
    }
    if (!logLine.empty()) server_.Log().Line(logLine);
    reply_.append("\r\n");
    // The server closes first, at once behind its reply, so the client's
    // ports do not wait in TIME_WAIT and a burst of look-ups cannot run out
    // of them. A reply the socket cannot take at once goes out in the
    // background, bounded by the idle and request limits.
    ErrorCode ec;
    const std::size_t sent = socket_.write_some(asio::buffer(reply_), ec);
    if (ec && ec != asio::error::would_block && ec != asio::error::try_again) {
      Close("dropped peer=" + peer_ + ": reply not sent: " + ec.message());
      return;
    }
    if (sent == reply_.size()) {
      Close({});
      return;
    }
    asio::async_write(socket_, asio::buffer(reply_.data() + sent, reply_.size() - sent),
                      [self = shared_from_this()](const ErrorCode& error, std::size_t) {
                        if (self->closed_) return;
                        self->Close(error ? "dropped peer=" + self->peer_ + ": reply not sent: " + error.message()
                                          : std::string());
                      });
  }

  UpdateServer& server_;
  tcp::socket socket_;
  std::string peer_;
  std::string address_;
  bool loopback_;
  Clock::time_point accepted_;
  Clock::time_point lastActivity_;
  RequestLineReader reader_;
  std::array<char, 512> buffer_{};
  std::string reply_;
  bool closed_ = false;
  std::list<std::shared_ptr<Connection>>::iterator position_;
};

UpdateServer::UpdateServer(asio::io_context& io, const UpdateServerSettings& settings, audit::AuditLog& log)
    : settings_(settings),
      log_(log),
      listener_(io, log),
      sweepTimer_(io),
      map_(std::make_shared<const UpdateMap>()) {}

UpdateServer::~UpdateServer() = default;

bool UpdateServer::LoadMap(std::string& error) {
  if (settings_.mapPath.empty()) return true;
  std::string text;
  if (!platform::ReadWholeFile(settings_.mapPath, text, error, false)) return false;
  auto map = UpdateMap::Parse(text, error);
  if (!map) return error = settings_.mapPath + ": " + error, false;
  map_ = std::make_shared<const UpdateMap>(std::move(*map));
  return true;
}

bool UpdateServer::Listen(std::string& error) { return listener_.Listen(settings_.listen, error); }

std::uint16_t UpdateServer::Port() const { return listener_.Port(); }

void UpdateServer::Start() {
  listener_.Start([this](tcp::socket socket, const asio::ip::address& address, std::uint16_t port) {
    OnAccepted(std::move(socket), address, port);
  });
  Sweep();
}

void UpdateServer::OnAccepted(tcp::socket socket, const asio::ip::address& address, std::uint16_t port) {
  ErrorCode peerError;
  const std::string peer = net::PeerText(address, port);
  std::string addressText = address.to_string();
  const auto counted = perAddress_.find(addressText);
  const std::size_t fromAddress = counted == perAddress_.end() ? 0 : counted->second;
  if (connections_.size() >= settings_.maxConnections) {
    RefuseQuietly(peer, "too many connections (" + std::to_string(settings_.maxConnections) + ")");
    socket.close(peerError);
  } else if (fromAddress >= settings_.maxPerAddress) {
    RefuseQuietly(peer, "too many connections from " + addressText + " (" + std::to_string(settings_.maxPerAddress) +
                            ")");
    socket.close(peerError);
  } else {
    ++perAddress_[addressText];
    auto connection =
        std::make_shared<Connection>(*this, std::move(socket), peer, std::move(addressText), address.is_loopback());
    connections_.push_front(connection);
    connection->Start(connections_.begin());
  }
}

void UpdateServer::RefuseQuietly(const std::string& peer, const std::string& reason) {
  const auto now = Clock::now();
  if (now - lastRefusalLog_ < kRefusalLogInterval) {
    ++refusalsNotLogged_;
    return;
  }
  lastRefusalLog_ = now;
  std::string line = "refused peer=" + peer + ": " + reason;
  if (refusalsNotLogged_ > 0) {
    line += " (and " + std::to_string(refusalsNotLogged_) + " more refused at the limits since the last such line)";
    refusalsNotLogged_ = 0;
  }
  log_.Line(line);
}

void UpdateServer::Remove(Connection& connection) {
  const auto counted = perAddress_.find(connection.Address());
  if (counted != perAddress_.end() && --counted->second == 0) perAddress_.erase(counted);
  connections_.erase(connection.Position());
}

void UpdateServer::Sweep() {
  const auto now = Clock::now();
  std::vector<std::pair<std::shared_ptr<Connection>, std::string>> expired;
  for (const auto& connection : connections_) {
    if (std::string reason = connection->Expiry(now); !reason.empty()) {
      expired.emplace_back(connection, std::move(reason));
    }
  }
  for (auto& [connection, reason] : expired) connection->Close(reason);
  if (refusalsNotLogged_ > 0 && now - lastRefusalLog_ >= kRefusalLogInterval) {
    log_.Line(std::to_string(refusalsNotLogged_) + " more connections refused at the limits");
    refusalsNotLogged_ = 0;
    lastRefusalLog_ = now;
  }
  sweepTimer_.expires_after(kSweepInterval);
  sweepTimer_.async_wait([this](const ErrorCode& ec) {
    if (!ec && !stopped_) Sweep();
  });
}

void UpdateServer::Stop() {
  if (stopped_) return;
  stopped_ = true;
  listener_.Stop();
  sweepTimer_.cancel();
  const std::vector<std::shared_ptr<Connection>> open(connections_.begin(), connections_.end());
  for (const auto& connection : open) connection->Close({});
}

std::string UpdateServer::Reload(const std::string& requestedBy) {
  std::string outcome;
  if (settings_.mapPath.empty()) {
    outcome = "reload: no mapping file was given, nothing to read";
  } else {
    const std::size_t before = map_->Size();
    std::string error;
    if (LoadMap(error)) {
      outcome = "reloaded " + settings_.mapPath + ": " + std::to_string(map_->Size()) + " entries";
    } else {
      outcome = "reload failed: " + error + "; keeping the previous mapping (" + std::to_string(before) + " entries)";
    }
  }
  // The outcome also goes back as one reply line.
  for (char& c : outcome) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  log_.Line(outcome + " (requested by " + requestedBy + ")");
  return outcome;
}

}  // namespace quorlane::updater
