#include "web_listener.h"

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <optional>

namespace quorlane::server::web {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
using asio::ip::tcp;

constexpr std::size_t kHeaderLimit = 16 * 1024;
// A replaced VAT list travels as a form: its bytes, escaped, fit in this.
constexpr std::size_t kBodyLimit = 8 * 1024 * 1024;
constexpr auto kIdleLimit = std::chrono::seconds(30);

std::string HeaderText(const http::request<http::string_body>& request, http::field field) {
  const auto it = request.find(field);
  return it == request.end() ? std::string() : std::string(it->value());
}

class HttpConnection : public std::enable_shared_from_this<HttpConnection> {
 public:
  HttpConnection(tcp::socket socket, Console& console, std::string peerText, net::IpAddress peer,
                 std::shared_ptr<std::size_t> open)
      : stream_(std::move(socket)),
        console_(console),
        peerText_(std::move(peerText)),
        peer_(peer),
        open_(std::move(open)) {
    ++*open_;
    ErrorCode ec;
    const auto local = stream_.socket().local_endpoint(ec);
    auto address = local.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
      address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    localAddress_ = address.to_string();
    localPort_ = local.port();
  }
  ~HttpConnection() { --*open_; }

  void Read() {
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(kBodyLimit);
    stream_.expires_after(kIdleLimit);
    http::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](const ErrorCode& ec, std::size_t) {
      self->OnRead(ec);
    });
  }

 private:
  void OnRead(const ErrorCode& ec) {
    if (ec == http::error::body_limit || ec == http::error::header_limit) {
      response_ = {};
      response_.result(ec == http::error::body_limit ? http::status::payload_too_large
                                                     : http::status::request_header_fields_too_large);
      response_.version(11);
      response_.keep_alive(false);
      response_.prepare_payload();
      return Write();
    }
    if (ec) return Close();
    const auto& message = parser_->get();
    HttpRequest request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    request.host = HeaderText(message, http::field::host);
    request.cookie = HeaderText(message, http::field::cookie);
    request.contentType = HeaderText(message, http::field::content_type);
    request.acceptLanguage = HeaderText(message, http::field::accept_language);
    request.body = message.body();
    request.peer = peer_;
    request.peerText = peerText_;
    request.localAddress = localAddress_;
    request.localPort = localPort_;
    HttpResponse answer;
    try {
      answer = console_.Handle(request, Clock::now());
    } catch (const std::exception&) {
      answer = {};
      answer.status = 500;
      answer.contentType = "text/plain; charset=utf-8";
      answer.body = "internal error\n";
    }
    response_ = {};
    response_.version(message.version());
    response_.result(static_cast<unsigned>(answer.status));
    response_.set(http::field::content_type, answer.contentType);
    for (const auto& [name, value] : answer.headers) response_.insert(name, value);
    response_.body() = request.method == "HEAD" ? std::string() : std::move(answer.body);
    response_.keep_alive(message.keep_alive());
    response_.prepare_payload();
    Write();
  }

  void Write() {
    stream_.expires_after(kIdleLimit);
    http::async_write(stream_, response_, [self = shared_from_this()](const ErrorCode& ec, std::size_t) {
      if (ec || !self->response_.keep_alive()) return self->Close();
      self->Read();
    });
  }

  void Close() {
    ErrorCode ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.close();
  }

  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::string_body> response_;
  Console& console_;
  std::string peerText_;
  net::IpAddress peer_;
  std::string localAddress_;
  unsigned short localPort_ = 0;
  std::shared_ptr<std::size_t> open_;
};

}  // namespace

WebListener::WebListener(const ServerConfig& config, Console& console, audit::AuditLog& log)
    : config_(config), console_(console), log_(log), listener_(io_, log), sampleTimer_(io_) {}

WebListener::~WebListener() { Stop(); }

bool WebListener::Listen(std::string& error) {
  return config_.webListen && listener_.Listen(*config_.webListen, error);
}

std::uint16_t WebListener::Port() const { return listener_.Port(); }

void WebListener::Start() {
  listener_.Start([this](tcp::socket socket, const asio::ip::address& address, std::uint16_t port) {
    OnAccepted(std::move(socket), address, port);
  });
  ScheduleSample();
  thread_ = std::thread([this] {
    for (;;) {
      try {
        io_.run();
        return;
      } catch (const std::exception& e) {
        // A handler's failure ends its connection, never the console.
        log_.Line(std::string("web console: ") + e.what());
      }
    }
  });
}

void WebListener::Stop() {
  io_.stop();
  if (thread_.joinable()) thread_.join();
}

void WebListener::ScheduleSample() {
  console_.Sample(Clock::now());
  sampleTimer_.expires_after(std::chrono::seconds(5));
  sampleTimer_.async_wait([this](const ErrorCode& ec) {
    if (!ec) ScheduleSample();
  });
}

void WebListener::OnAccepted(tcp::socket socket, const asio::ip::address& address, std::uint16_t port) {
  ErrorCode ignored;
  const std::string peer = net::PeerText(address, port);
  if (!config_.webAllow.Allows(net::IpOf(address))) {
    log_.Line("web refused peer=" + peer + ": not in web_allow");
    socket.close(ignored);
    return;
  }
  if (*open_ >= kMaxConnections) {
    log_.Line("web refused peer=" + peer + ": too many web connections (" + std::to_string(kMaxConnections) + ")");
    socket.close(ignored);
    return;
  }
  std::make_shared<HttpConnection>(std::move(socket), console_, peer, net::IpOf(address), open_)->Read();
}

}  // namespace quorlane::server::web
