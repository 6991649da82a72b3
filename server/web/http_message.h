// What the web console sees of an HTTP exchange, without the HTTP library:
// the listener (web_listener.cpp, on Boost.Beast) fills an HttpRequest from
// the parsed message and sends the HttpResponse back, so the console's rules
// and pages are plain functions, tested natively. Also the small text helpers
// of forms, cookies and HTML. Platform-free.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/network_filter.h"

namespace quorlane::server::web {

struct HttpRequest {
  std::string method;   ///< "GET", "POST", ...
  std::string target;   ///< path and query, as sent
  std::string host;     ///< the Host header ("" when absent)
  std::string cookie;   ///< the Cookie header
  std::string contentType;
  std::string acceptLanguage;
  std::string body;
  net::IpAddress peer;        ///< who connected
  std::string peerText;       ///< "192.168.1.20:50112", for the audit log
  std::string localAddress;   ///< the listener's address as reached: "127.0.0.1", "::1"
  unsigned short localPort = 0;
};

struct HttpResponse {
  int status = 200;
  std::string contentType = "text/html; charset=utf-8";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
};

/// The path part of a target ("/locks" of "/locks?part=rows").
[[nodiscard]] std::string_view PathOf(std::string_view target);
/// Decodes application/x-www-form-urlencoded text (a query or a form body);
/// the first of two equal names counts.
[[nodiscard]] std::map<std::string, std::string> ParseForm(std::string_view text);
/// The query of a target, decoded like a form.
[[nodiscard]] std::map<std::string, std::string> ParseQuery(std::string_view target);
/// One cookie's value from a Cookie header; nothing when absent.
[[nodiscard]] std::optional<std::string> CookieValue(std::string_view header, std::string_view name);
/// &, <, >, " and ' as character references.
[[nodiscard]] std::string HtmlEscape(std::string_view text);
/// Bytes as lower-case hex and back (keys travel through forms this way, so
/// every byte arrives as it was).
[[nodiscard]] std::string HexEncode(std::string_view bytes);
[[nodiscard]] std::optional<std::string> HexDecode(std::string_view hex);
/// Compares without an early exit, so the time taken does not tell how much
/// of a secret matched.
[[nodiscard]] bool ConstantTimeEquals(std::string_view a, std::string_view b) noexcept;

}  // namespace quorlane::server::web
