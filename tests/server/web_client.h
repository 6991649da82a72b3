// A small HTTP/1.1 client for the tests of the web console, on common/net's
// blocking client: one connection per request, every step bounded in time,
// the session cookie kept between requests. Native and Windows tests alike.
#pragma once

#include <cctype>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "net/blocking_client.h"

namespace webtest {

struct WebReply {
  int status = 0;                              ///< 0: no answer (the text is in `body`)
  std::map<std::string, std::string> headers;  ///< names in lower case
  std::string body;
};

class WebClient {
 public:
  WebClient(std::string host, std::uint16_t port) : host_(std::move(host)), port_(port) {}

  WebReply Get(const std::string& target) { return Send("GET", target, {}); }
  WebReply Post(const std::string& target, const std::string& form) { return Send("POST", target, form); }

  /// The session's form token on a page.
  static std::string Csrf(const std::string& page) {
    const auto at = page.find("name=\"csrf\" value=\"");
    return at == std::string::npos ? std::string() : page.substr(at + 19, 32);
  }
  static std::string UrlEncode(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if (std::isalnum(byte) || c == '-' || c == '_' || c == '.') {
        out.push_back(c);
      } else {
        out += '%';
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
      }
    }
    return out;
  }

  std::string cookie;  ///< "qlsession=..." once logged in
  std::string hostHeader;  ///< the Host header; default the address and port

 private:
  WebReply Send(const std::string& method, const std::string& target, const std::string& form) {
    WebReply reply;
    quorlane::net::BlockingClient client;
    std::string error;
    if (!client.Connect(host_, port_, std::chrono::seconds(5), error)) return reply.body = "connect: " + error, reply;
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: " +
                          (hostHeader.empty() ? host_ + ":" + std::to_string(port_) : hostHeader) + "\r\nConnection: close\r\n";
    if (!cookie.empty()) request += "Cookie: " + cookie + "\r\n";
    if (method == "POST") {
      request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " + std::to_string(form.size()) +
                 "\r\n";
    }
    request += "\r\n" + form;
    if (!client.Send(request, std::chrono::seconds(5), error)) return reply.body = "send: " + error, reply;
    const auto whole = client.ReadMessage(
        [](std::string& received) -> std::optional<std::string> {
          const auto end = received.find("\r\n\r\n");
          if (end == std::string::npos) return std::nullopt;
          std::size_t length = 0;
          std::string lower = received.substr(0, end);
          for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
          if (const auto at = lower.find("\r\ncontent-length:"); at != std::string::npos) {
            length = std::stoul(lower.substr(at + 17));
          }
          if (received.size() < end + 4 + length) return std::nullopt;
          std::string message = received.substr(0, end + 4 + length);
          received.erase(0, message.size());
          return message;
        },
        "HTTP response", std::chrono::seconds(20), error);
    if (!whole) return reply.body = "read: " + error, reply;
    const auto headerEnd = whole->find("\r\n\r\n");
    reply.status = std::stoi(whole->substr(9, 3));
    std::size_t line = whole->find("\r\n") + 2;
    while (line < headerEnd) {
      const auto next = whole->find("\r\n", line);
      const std::string text = whole->substr(line, next - line);
      const auto colon = text.find(':');
      std::string name = text.substr(0, colon);
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      reply.headers[name] = text.substr(colon + 2);
      line = next + 2;
    }
    reply.body = whole->substr(headerEnd + 4);
    if (const auto set = reply.headers.find("set-cookie"); set != reply.headers.end()) {
      cookie = set->second.substr(0, set->second.find(';'));
    }
    return reply;
  }

  std::string host_;
  std::uint16_t port_;
};

}  // namespace webtest
