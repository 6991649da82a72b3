#include "console.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <initializer_list>
#include <utility>

namespace quorlane::server::web {
namespace {

constexpr std::string_view kSessionCookie = "qlsession";
constexpr std::string_view kLanguageCookie = "qllang";
constexpr std::size_t kMaxFailureEntries = 1024;
constexpr unsigned kFreeFailures = 3;      // wrong tokens before an address is slowed down
constexpr int kLongestBlockSeconds = 60;
constexpr std::size_t kAuditBytes = 256 * 1024;
constexpr std::size_t kAuditLinesShown = 500;
constexpr auto kRateWindow = std::chrono::seconds(60);

// "{}" (or "{name}") in a text of console_text.cpp, replaced by HTML.
std::string Fill(std::string_view text, std::initializer_list<std::pair<std::string_view, std::string>> values) {
  std::string out(text);
  for (const auto& [name, value] : values) {
    const std::string mark = "{" + std::string(name) + "}";
    if (const auto at = out.find(mark); at != std::string::npos) out.replace(at, mark.size(), value);
  }
  return out;
}

std::string Fill(std::string_view text, const std::string& value) { return Fill(text, {{"", value}}); }

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string IpText(const net::IpAddress& ip) {
  char text[64];
  if (!ip.v6) {
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip.bytes[0], ip.bytes[1], ip.bytes[2], ip.bytes[3]);
    return text;
  }
  std::string out;
  for (int i = 0; i < 16; i += 2) {
    std::snprintf(text, sizeof text, "%s%x", i ? ":" : "", (ip.bytes[static_cast<std::size_t>(i)] << 8) |
                                                            ip.bytes[static_cast<std::size_t>(i) + 1]);
    out += text;
  }
  return out;
}

HttpResponse Redirect(std::string_view to) {
  HttpResponse response;
  response.status = 303;
  response.headers.emplace_back("Location", std::string(to));
  AddPageHeaders(response, false);
  return response;
}

std::string FormatBytes(std::uint64_t bytes) {
  char text[64];
  if (bytes >= 1024ull * 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / (1024.0 * 1024 * 1024));
  } else if (bytes >= 1024ull * 1024) {
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024));
  } else if (bytes >= 1024) {
    std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024.0);
  } else {
    std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
  }
  return text;
}

std::string FormatMilliseconds(double seconds) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f ms", seconds * 1000.0);
  return text;
}

std::string Clock24(const std::tm& tm, bool withDate) {
  char text[64];
  if (withDate) {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
  } else {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  }
  return text;
}

// The audit log quotes every byte outside printable ASCII (and '"', '\') as
// \xHH; the page turns them back into bytes so keys show in their language.
std::string UnescapeAuditLine(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 3 < line.size() && line[i + 1] == 'x' && std::isxdigit(static_cast<unsigned char>(line[i + 2])) &&
        std::isxdigit(static_cast<unsigned char>(line[i + 3]))) {
      out.push_back(static_cast<char>(std::stoi(std::string(line.substr(i + 2, 2)), nullptr, 16)));
      i += 3;
    } else {
      out.push_back(line[i]);
    }
  }
  return out;
}

}  // namespace

void AddPageHeaders(HttpResponse& response, bool cacheable) {
  // Only our own script and style sheet; no frames, no foreign form targets.
  response.headers.emplace_back("Content-Security-Policy",
                                "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                                "connect-src 'self'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'");
  response.headers.emplace_back("X-Frame-Options", "DENY");
  response.headers.emplace_back("X-Content-Type-Options", "nosniff");
  response.headers.emplace_back("Referrer-Policy", "no-referrer");
  response.headers.emplace_back("Cache-Control", cacheable ? "max-age=300" : "no-store");
}

std::optional<std::time_t> ParseStartTime(std::string_view text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  char end = 0;
  if (std::sscanf(std::string(text).c_str(), "%d/%d/%d %d:%d%c", &year, &month, &day, &hour, &minute, &end) != 5) {
    return std::nullopt;
  }
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_isdst = -1;
  const std::time_t when = std::mktime(&tm);
  if (when == static_cast<std::time_t>(-1)) return std::nullopt;
  return when;
}

std::string FormatAge(std::int64_t seconds) {
  if (seconds < 60) return "<1 min";
  const std::int64_t minutes = seconds / 60, hours = minutes / 60, days = hours / 24;
  if (days > 0) return std::to_string(days) + " d " + std::to_string(hours % 24) + " h";
  if (hours > 0) return std::to_string(hours) + " h " + std::to_string(minutes % 60) + " min";
  return std::to_string(minutes) + " min";
}

Console::Console(ConsoleSettings settings, ConsoleBackend& backend, TokenSource token, RandomSource random,
                 WallClock wallClock)
    : settings_(std::move(settings)),
      backend_(backend),
      token_(std::move(token)),
      random_(std::move(random)),
      wallClock_(std::move(wallClock)) {}

std::string Console::RandomHex(std::size_t bytes) {
  std::string raw(bytes, '\0');
  random_(reinterpret_cast<unsigned char*>(raw.data()), raw.size());
  return HexEncode(raw);
}

bool Console::HostAllowed(const HttpRequest& request) const {
  std::string host = LowerAscii(request.host);
  if (host.empty()) return false;
  // Split off the port: "name:port", "[v6]:port", "[v6]".
  std::string name = host;
  std::string port;
  if (host.front() == '[') {
    const auto close = host.find(']');
    if (close == std::string::npos) return false;
    name = host.substr(1, close - 1);
    if (close + 1 < host.size()) {
      if (host[close + 1] != ':') return false;
      port = host.substr(close + 2);
    }
  } else if (const auto colon = host.find(':'); colon != std::string::npos) {
    name = host.substr(0, colon);
    port = host.substr(colon + 1);
  }
  const std::string ownPort = std::to_string(request.localPort);
  if (port.empty() ? request.localPort != 80 : port != ownPort) return false;
  if (name == LowerAscii(request.localAddress)) return true;
  return std::any_of(settings_.hosts.begin(), settings_.hosts.end(),
                     [&](const std::string& allowed) { return LowerAscii(allowed) == name; });
}

Console::Session* Console::FindSession(const HttpRequest& request, Clock::time_point now, std::string& id) {
  const auto cookie = CookieValue(request.cookie, kSessionCookie);
  if (!cookie) return nullptr;
  const auto it = sessions_.find(*cookie);
  if (it == sessions_.end()) return nullptr;
  // A rotated token ends every session opened with the old one.
  const std::string token = token_();
  if (now >= it->second.expires || token.empty() || !ConstantTimeEquals(it->second.tokenSeen, token)) {
    sessions_.erase(it);
    return nullptr;
  }
  id = it->first;
  return &it->second;
}

namespace {

// The frame every page shares: header, navigation, language choice, logout.
std::string PageHtml(Language language, std::string_view title, std::string_view active, const std::string* csrf,
                     const std::string& body) {
  std::string html = "<!DOCTYPE html>\n<html lang=\"" + std::string(LanguageCode(language)) +
                     "\"><head><meta charset=\"utf-8\"><meta name=\"viewport\" content=\"width=device-width\">"
                     "<title>" + HtmlEscape(title) + " · " + std::string(Say(language, Text::Title)) +
                     "</title><link rel=\"stylesheet\" href=\"/static/console.css\">"
                     "<script src=\"/static/console.js\" defer></script></head><body><header><h1>" +
                     std::string(Say(language, Text::Title)) + "</h1>";
  if (csrf) {
    html += "<nav>";
    const std::pair<std::string_view, Text> links[] = {
        {"/locks", Text::NavLocks}, {"/vat", Text::NavVat}, {"/audit", Text::NavAudit}, {"/health", Text::NavHealth}};
    for (const auto& [href, text] : links) {
      html += "<a href=\"" + std::string(href) + "\"" + (href == active ? " class=\"active\"" : "") + ">" +
              std::string(Say(language, text)) + "</a>";
    }
    html += "</nav>";
  }
  html += "<div class=\"tools\"><label>" + std::string(Say(language, Text::LanguageLabel)) +
          " <select id=\"language\">";
  const std::pair<Language, std::string_view> languages[] = {
      {Language::English, "English"}, {Language::TraditionalChinese, "繁體中文"}, {Language::SimplifiedChinese, "简体中文"}};
  for (const auto& [option, name] : languages) {
    html += "<option value=\"" + std::string(LanguageCode(option)) + "\"" + (option == language ? " selected" : "") +
            ">" + std::string(name) + "</option>";
  }
  html += "</select></label>";
  if (csrf) {
    html += "<form method=\"post\" action=\"/logout\"><input type=\"hidden\" name=\"csrf\" value=\"" + *csrf +
            "\"><button type=\"submit\" id=\"logout\">" + std::string(Say(language, Text::LogOut)) + "</button></form>";
  }
  html += "</div></header><main>" + body + "</main></body></html>\n";
  return html;
}

HttpResponse PageResponse(int status, std::string body) {
  HttpResponse response;
  response.status = status;
  response.body = std::move(body);
  AddPageHeaders(response, false);
  return response;
}

std::string Notice(const std::string& text, bool error) {
  if (text.empty()) return {};
  return std::string("<p class=\"notice") + (error ? " error" : "") + "\" id=\"notice\">" + text + "</p>";
}

std::string CsrfField(const std::string& csrf) {
  return "<input type=\"hidden\" name=\"csrf\" value=\"" + csrf + "\">";
}

}  // namespace

HttpResponse Console::Handle(const HttpRequest& request, Clock::time_point now) {
  const Language language = ChooseLanguage(CookieValue(request.cookie, kLanguageCookie).value_or(""),
                                           request.acceptLanguage);
  if (!HostAllowed(request)) {
    HttpResponse response = PageResponse(421, PageHtml(language, Say(language, Text::Forbidden), "", nullptr,
                                                       "<p class=\"notice error\">" +
                                                           std::string(Say(language, Text::Forbidden)) + ": Host</p>"));
    return response;
  }
  const std::string path(PathOf(request.target));
  const bool get = request.method == "GET" || request.method == "HEAD";
  const bool post = request.method == "POST";
  if (path == "/static/console.css" || path == "/static/console.js") {
    if (!get) return PageResponse(405, {});
    HttpResponse response;
    response.contentType = path.back() == 's' && path[path.size() - 2] == 'j' ? "text/javascript; charset=utf-8"
                                                                                : "text/css; charset=utf-8";
    response.body = std::string(path.back() == 's' && path[path.size() - 2] == 'j' ? ConsoleScript()
                                                                                    : ConsoleStyleSheet());
    AddPageHeaders(response, true);
    return response;
  }
  if (path == "/metrics") {
    if (!get) return PageResponse(405, {});
    return Metrics(request);
  }
  if (path == "/login") {
    if (post) return Login(request, language, now);
    if (!get) return PageResponse(405, {});
    std::string id;
    if (FindSession(request, now, id)) return Redirect("/locks");
    return Login(request, language, now);
  }

  std::string id;
  Session* session = FindSession(request, now, id);
  if (!session) {
    if (get && ParseQuery(request.target).count("part")) return PageResponse(401, {});
    if (get) return Redirect("/login");
    return PageResponse(403, PageHtml(language, Say(language, Text::LoginTitle), "", nullptr,
                                      Notice(std::string(Say(language, Text::LoginExpired)), true) +
                                          "<p><a href=\"/login\">" + std::string(Say(language, Text::LoginTitle)) +
                                          "</a></p>"));
  }
  const Context context{request, language, session, id, now};
  std::map<std::string, std::string> form;
  if (post) {
    form = ParseForm(request.body);
    const auto csrf = form.find("csrf");
    if (csrf == form.end() || !ConstantTimeEquals(session->csrf, csrf->second)) {
      return PageResponse(403, PageHtml(language, Say(language, Text::Forbidden), "", &session->csrf,
                                        Notice(std::string(Say(language, Text::CsrfRefused)), true)));
    }
  } else if (!get) {
    return PageResponse(405, {});
  }

  if (path == "/") return Redirect("/locks");
  if (path == "/locks" && get) {
    if (ParseQuery(request.target).count("part")) return LockRows(context);
    return LocksPage(context, {}, false);
  }
  if (path == "/locks/release") return post ? ReleaseAction(context, form) : ReleaseQuestion(context);
  if (path == "/vat") return post ? VatAction(context, form) : VatPage(context, nullptr, {}, false);
  if (path == "/audit" && get) return AuditPage(context);
  if (path == "/health" && get) return HealthPage(context);
  if (path == "/logout" && post) {
    backend_.Audit("web logout peer=" + request.peerText + " session=" + session->label);
    sessions_.erase(id);
    HttpResponse response = Redirect("/login");
    response.headers.emplace_back("Set-Cookie", std::string(kSessionCookie) +
                                                    "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
    return response;
  }
  return PageResponse(404, PageHtml(language, Say(language, Text::NotFound), "", &session->csrf,
                                    Notice(std::string(Say(language, Text::NotFound)), true)));
}

HttpResponse Console::Login(const HttpRequest& request, Language language, Clock::time_point now) {
  auto loginPage = [&](int status, const std::string& notice) {
    const std::string body =
        "<h2>" + std::string(Say(language, Text::LoginTitle)) + "</h2>" + Notice(notice, status != 200) +
        "<form method=\"post\" action=\"/login\" class=\"login\"><label>" +
        std::string(Say(language, Text::LoginToken)) +
        " <input type=\"password\" name=\"token\" id=\"token\" autocomplete=\"off\" autofocus></label>"
        "<button type=\"submit\" id=\"login\">" + std::string(Say(language, Text::LoginButton)) +
        "</button></form><p class=\"hint\">" + HtmlEscape(Say(language, Text::LoginHint)) + "</p>";
    return PageResponse(status, PageHtml(language, Say(language, Text::LoginTitle), "", nullptr, body));
  };
  if (request.method != "POST") return loginPage(200, {});

  const std::string address = IpText(request.peer);
  Failures& failures = failures_[address];
  if (now < failures.blockedUntil) {
    const auto wait = (std::chrono::duration_cast<std::chrono::milliseconds>(failures.blockedUntil - now).count() + 999) / 1000;
    HttpResponse response = loginPage(429, Fill(Say(language, Text::LoginSlowDown), std::to_string(wait)));
    response.headers.emplace_back("Retry-After", std::to_string(wait));
    return response;
  }
  const auto form = ParseForm(request.body);
  std::string typed = form.count("token") ? form.at("token") : std::string();
  while (!typed.empty() && std::isspace(static_cast<unsigned char>(typed.back()))) typed.pop_back();
  while (!typed.empty() && std::isspace(static_cast<unsigned char>(typed.front()))) typed.erase(0, 1);
  const std::string token = token_();
  if (token.empty() || !ConstantTimeEquals(token, typed)) {
    ++failedLogins_;
    ++failures.count;
    failures.last = now;
    if (failures.count > kFreeFailures) {
      const int seconds = std::min(kLongestBlockSeconds, 1 << std::min(failures.count - kFreeFailures - 1, 6u));
      failures.blockedUntil = now + std::chrono::seconds(seconds);
    }
    backend_.Audit("web login refused peer=" + request.peerText + ": wrong token (" + std::to_string(failures.count) +
                   " in a row from this address)");
    // Forget addresses that stopped trying, the oldest first.
    if (failures_.size() > kMaxFailureEntries) {
      auto oldest = failures_.begin();
      for (auto it = failures_.begin(); it != failures_.end(); ++it) {
        if (it->second.last < oldest->second.last) oldest = it;
      }
      failures_.erase(oldest);
    }
    return loginPage(403, std::string(Say(language, Text::LoginWrong)));
  }
  failures_.erase(address);
  if (sessions_.size() >= settings_.maxSessions) {
    auto first = std::min_element(sessions_.begin(), sessions_.end(),
                                  [](const auto& a, const auto& b) { return a.second.expires < b.second.expires; });
    sessions_.erase(first);
  }
  const std::string id = RandomHex(16);  // 128 bits
  Session session{RandomHex(16), RandomHex(4), token, now + settings_.sessionLifetime};
  backend_.Audit("web login peer=" + request.peerText + " session=" + session.label);
  sessions_[id] = std::move(session);
  HttpResponse response = Redirect("/locks");
  response.headers.emplace_back("Set-Cookie", std::string(kSessionCookie) + "=" + id +
                                                  "; Path=/; HttpOnly; SameSite=Strict; Max-Age=" +
                                                  std::to_string(settings_.sessionLifetime.count()));
  return response;
}

HttpResponse Console::Metrics(const HttpRequest& request) {
  if (!settings_.metricsAllow.Allows(request.peer)) {
    HttpResponse response;
    response.status = 403;
    response.contentType = "text/plain; charset=utf-8";
    response.body = "metrics are not served to this address\n";
    return response;
  }
  ServerFigures figures = backend_.Figures();
  figures.webLoginsFailed = failedLogins_;
  figures.webSessions = sessions_.size();
  HttpResponse response;
  response.contentType = "text/plain; version=0.0.4; charset=utf-8";
  response.body = RenderMetrics(figures);
  response.headers.emplace_back("Cache-Control", "no-store");
  return response;
}

std::string Console::Who(const Context& context) const {
  return "web session=" + context.session->label + " peer=" + context.request.peerText;
}

std::string Console::RenderLockRows(const std::vector<LockRow>& rows, const Context& context) const {
  const Language language = context.language;
  const CodePage cp = settings_.codePage;
  std::string html = "<p id=\"lock-count\">" + Fill(Say(language, Text::LocksCount), std::to_string(rows.size())) +
                     "</p>";
  if (rows.empty()) return html + "<p class=\"empty\">" + std::string(Say(language, Text::NoLocks)) + "</p>";
  html += "<table id=\"locks\"><thead><tr>";
  for (const Text column : {Text::ColKey, Text::ColUser, Text::ColComputer, Text::ColSince, Text::ColAge,
                            Text::ColConnection}) {
    html += "<th>" + std::string(Say(language, column)) + "</th>";
  }
  html += "<th></th></tr></thead><tbody>";
  const std::time_t now = wallClock_();
  for (const LockRow& row : rows) {
    std::string link;
    switch (row.link) {
      case LockRow::Link::Open:
        link = std::string(Say(language, Text::LinkOpen)) + " · " + HtmlEscape(row.peer);
        break;
      case LockRow::Link::Gone:
        link = Fill(Say(language, Text::LinkGone), Clock24(settings_.localTime(row.goneAt), true)) + " · " +
               HtmlEscape(row.peer);
        break;
      case LockRow::Link::Unknown: link = std::string(Say(language, Text::LinkUnknown)); break;
    }
    const auto since = ParseStartTime(row.since);
    html += std::string("<tr") + (row.link == LockRow::Link::Gone ? " class=\"gone\"" : "") + ">";
    html += "<td class=\"key\">" + HtmlEscape(ShowBytes(row.key, cp)) + "</td><td class=\"user\">" +
            HtmlEscape(ShowBytes(row.user, cp)) + "</td><td class=\"computer\">" +
            HtmlEscape(ShowBytes(row.computer, cp)) + "</td><td class=\"since\">" +
            HtmlEscape(ShowBytes(row.since, cp)) + "</td><td class=\"age\">" +
            (since ? FormatAge(std::max<std::int64_t>(0, now - *since)) : std::string("?")) +
            "</td><td class=\"link\">" + link + "</td><td><a class=\"button release\" href=\"/locks/release?key=" +
            HexEncode(row.key) + "\">" + std::string(Say(language, Text::ReleaseButton)) + "</a></td></tr>";
  }
  return html + "</tbody></table>";
}

namespace {

void NewestFirst(std::vector<LockRow>& rows) {
  std::vector<std::pair<std::time_t, std::size_t>> order;
  for (std::size_t i = 0; i < rows.size(); ++i) order.emplace_back(ParseStartTime(rows[i].since).value_or(0), i);
  std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<LockRow> sorted;
  sorted.reserve(rows.size());
  for (const auto& [when, index] : order) sorted.push_back(std::move(rows[index]));
  rows = std::move(sorted);
}

}  // namespace

HttpResponse Console::LockRows(const Context& context) {
  auto rows = backend_.Locks();
  if (!rows) return PageResponse(503, Notice(std::string(Say(context.language, Text::ServerBusy)), true));
  NewestFirst(*rows);
  return PageResponse(200, RenderLockRows(*rows, context));
}

HttpResponse Console::LocksPage(const Context& context, const std::string& notice, bool noticeIsError) {
  const Language language = context.language;
  auto rows = backend_.Locks();
  std::string body = "<h2>" + std::string(Say(language, Text::LocksTitle)) + "</h2>" + Notice(notice, noticeIsError);
  body += "<p class=\"controls\"><input type=\"search\" id=\"filter\" data-filter=\"locks\" placeholder=\"" +
          std::string(Say(language, Text::FilterPlaceholder)) + "\"> <span class=\"hint\">" +
          std::string(Say(language, Text::AutoRefresh)) + " " +
          Fill(Say(language, Text::ShownBytesNote), std::to_string(static_cast<unsigned>(settings_.codePage))) +
          "</span></p>";
  if (!rows) {
    body += Notice(std::string(Say(language, Text::ServerBusy)), true);
  } else {
    NewestFirst(*rows);
    body += "<section id=\"lock-list\" data-refresh=\"/locks?part=rows\">" + RenderLockRows(*rows, context) +
            "</section>";
  }
  return PageResponse(rows ? 200 : 503,
                      PageHtml(language, Say(language, Text::LocksTitle), "/locks", &context.session->csrf, body));
}

HttpResponse Console::ReleaseQuestion(const Context& context) {
  const Language language = context.language;
  const CodePage cp = settings_.codePage;
  const auto query = ParseQuery(context.request.target);
  const auto key = query.count("key") ? HexDecode(query.at("key")) : std::nullopt;
  if (!key) return PageResponse(400, PageHtml(language, Say(language, Text::BadRequest), "/locks", &context.session->csrf,
                                              Notice(std::string(Say(language, Text::BadRequest)), true)));
  const auto rows = backend_.Locks();
  if (!rows) return LocksPage(context, std::string(Say(language, Text::ServerBusy)), true);
  const auto row = std::find_if(rows->begin(), rows->end(), [&](const LockRow& r) { return r.key == *key; });
  auto shown = [&](const std::string& bytes) { return "<strong>" + HtmlEscape(ShowBytes(bytes, cp)) + "</strong>"; };
  if (row == rows->end()) {
    return LocksPage(context, Fill(Say(language, Text::NotHeld), {{"key", shown(*key)}}), true);
  }
  const std::string body =
      "<h2>" + std::string(Say(language, Text::ReleaseTitle)) + "</h2><p id=\"question\">" +
      Fill(Say(language, Text::ReleaseQuestion),
           {{"key", shown(row->key)}, {"user", shown(row->user)}, {"computer", shown(row->computer)},
            {"since", shown(row->since)}}) +
      "</p><form method=\"post\" action=\"/locks/release\">" + CsrfField(context.session->csrf) +
      "<input type=\"hidden\" name=\"key\" value=\"" + HexEncode(row->key) +
      "\"><input type=\"hidden\" name=\"user\" value=\"" + HexEncode(row->user) +
      "\"><input type=\"hidden\" name=\"computer\" value=\"" + HexEncode(row->computer) +
      "\"><input type=\"hidden\" name=\"since\" value=\"" + HexEncode(row->since) +
      "\"><button type=\"submit\" id=\"confirm-release\" class=\"danger\">" +
      std::string(Say(language, Text::ReleaseConfirm)) + "</button> <a class=\"button\" href=\"/locks\">" +
      std::string(Say(language, Text::Cancel)) + "</a></form>";
  return PageResponse(200, PageHtml(language, Say(language, Text::ReleaseTitle), "/locks", &context.session->csrf, body));
}

HttpResponse Console::ReleaseAction(const Context& context, const std::map<std::string, std::string>& form) {
  const Language language = context.language;
  const CodePage cp = settings_.codePage;
  auto field = [&](const char* name) {
    const auto it = form.find(name);
    return it == form.end() ? std::nullopt : HexDecode(it->second);
  };
  const auto key = field("key"), user = field("user"), computer = field("computer"), since = field("since");
  if (!key || !user || !computer || !since) {
    return PageResponse(400, PageHtml(language, Say(language, Text::BadRequest), "/locks", &context.session->csrf,
                                      Notice(std::string(Say(language, Text::BadRequest)), true)));
  }
  LockRow expected;
  expected.key = *key;
  expected.user = *user;
  expected.computer = *computer;
  expected.since = *since;
  const ReleaseOutcome outcome = backend_.Release(*key, expected, Who(context));
  auto shown = [&](const std::string& bytes) { return "<strong>" + HtmlEscape(ShowBytes(bytes, cp)) + "</strong>"; };
  const auto holderText = [&](Text text) {
    return Fill(Say(language, text), {{"key", shown(*key)}, {"user", shown(outcome.holder.user)},
                                      {"computer", shown(outcome.holder.computer)},
                                      {"since", shown(outcome.holder.since)}});
  };
  switch (outcome.result) {
    case ReleaseOutcome::Result::Released: return LocksPage(context, holderText(Text::Released), false);
    case ReleaseOutcome::Result::NotHeld: return LocksPage(context, holderText(Text::NotHeld), true);
    case ReleaseOutcome::Result::HeldByAnother: return LocksPage(context, holderText(Text::HeldByAnother), true);
    case ReleaseOutcome::Result::Failed: break;
  }
  return LocksPage(context, Fill(Say(language, Text::ReleaseFailed), HtmlEscape(outcome.error)), true);
}

HttpResponse Console::VatPage(const Context& context, const std::string* typed, const std::string& notice,
                              bool noticeIsError) {
  const Language language = context.language;
  std::string shown;
  std::string size;
  if (typed) {
    shown = *typed;
  } else {
    std::string list, error;
    if (!backend_.ReadVatList(list, error)) {
      return PageResponse(500, PageHtml(language, Say(language, Text::VatTitle), "/vat", &context.session->csrf,
                                        Notice(HtmlEscape(error), true)));
    }
    shown = ShowBytes(list, settings_.codePage, ShownAs::Text);
    size = Fill(Say(language, Text::VatBytes), std::to_string(list.size()));
  }
  const std::string body =
      "<h2>" + std::string(Say(language, Text::VatTitle)) + "</h2>" + Notice(notice, noticeIsError) +
      "<p class=\"hint\">" + HtmlEscape(Say(language, Text::VatHint)) + " " +
      Fill(Say(language, Text::ShownBytesNote), std::to_string(static_cast<unsigned>(settings_.codePage))) + " " +
      size + "</p><form method=\"post\" action=\"/vat\">" + CsrfField(context.session->csrf) +
      "<textarea name=\"list\" id=\"vat-list\" rows=\"16\" spellcheck=\"false\">" + HtmlEscape(shown) +
      "</textarea><p><button type=\"submit\" id=\"save-vat\">" + std::string(Say(language, Text::VatSave)) +
      "</button></p></form>";
  return PageResponse(200, PageHtml(language, Say(language, Text::VatTitle), "/vat", &context.session->csrf, body));
}

HttpResponse Console::VatAction(const Context& context, const std::map<std::string, std::string>& form) {
  const Language language = context.language;
  const std::string typed = form.count("list") ? form.at("list") : std::string();
  std::string error;
  const auto bytes = ParseShownText(typed, settings_.codePage, error);
  if (!bytes) return VatPage(context, &typed, Fill(Say(language, Text::VatNotSaved), HtmlEscape(error)), true);
  if (!backend_.SaveVatList(*bytes, Who(context), error)) {
    return VatPage(context, &typed, Fill(Say(language, Text::VatNotSaved), HtmlEscape(error)), true);
  }
  return VatPage(context, nullptr, Fill(Say(language, Text::VatSaved), std::to_string(bytes->size())), false);
}

HttpResponse Console::AuditPage(const Context& context) {
  const Language language = context.language;
  const auto query = ParseQuery(context.request.target);
  const std::string filter = query.count("q") ? query.at("q") : std::string();
  const std::string lowerFilter = LowerAscii(filter);
  const auto lines = backend_.AuditTail(kAuditBytes);
  std::string rows;
  std::size_t shown = 0;
  for (auto it = lines.rbegin(); it != lines.rend() && shown < kAuditLinesShown; ++it) {
    const std::string text = ShowBytes(UnescapeAuditLine(*it), settings_.codePage);
    if (!lowerFilter.empty() && LowerAscii(text).find(lowerFilter) == std::string::npos) continue;
    rows += "<li>" + HtmlEscape(text) + "</li>";
    ++shown;
  }
  std::string body = "<h2>" + std::string(Say(language, Text::AuditTitle)) +
                     "</h2><form method=\"get\" action=\"/audit\" class=\"controls\"><input type=\"search\" "
                     "id=\"filter\" name=\"q\" data-filter=\"audit\" value=\"" +
                     HtmlEscape(filter) + "\" placeholder=\"" + std::string(Say(language, Text::AuditFilter)) +
                     "\"></form>";
  if (shown == 0 && filter.empty()) {
    body += "<p class=\"empty\">" + std::string(Say(language, Text::AuditEmpty)) + "</p>";
  } else {
    body += "<p class=\"hint\">" + Fill(Say(language, Text::AuditShown), std::to_string(shown)) +
            "</p><ol id=\"audit\" class=\"audit\">" + rows + "</ol>";
  }
  return PageResponse(200, PageHtml(language, Say(language, Text::AuditTitle), "/audit", &context.session->csrf, body));
}

void Console::Sample(Clock::time_point now) {
  const ServerFigures figures = backend_.Figures();
  RateSample sample{now, {}};
  for (const auto& command : figures.commands) sample.received.push_back(command.received);
  samples_.push_back(std::move(sample));
  while (samples_.size() > 1 && now - samples_.front().at > kRateWindow + std::chrono::seconds(5)) samples_.pop_front();
}

HttpResponse Console::HealthPage(const Context& context) {
  const Language language = context.language;
  ServerFigures figures = backend_.Figures();
  figures.webLoginsFailed = failedLogins_;
  const std::time_t now = wallClock_();
  auto row = [](std::string_view label, const std::string& value, const char* id = nullptr) {
    return std::string("<tr><th>") + std::string(label) + "</th><td" +
           (id ? std::string(" id=\"") + id + "\"" : std::string()) + ">" + value + "</td></tr>";
  };
  std::string body = "<h2>" + std::string(Say(language, Text::HealthTitle)) + "</h2>";
  if (figures.journalFailing) body += Notice(std::string(Say(language, Text::JournalFailing)), true);
  body += "<table class=\"figures\" id=\"health\">";
  body += row(Say(language, Text::Version), HtmlEscape(figures.version), "version");
  body += row(Say(language, Text::Uptime), FormatAge(std::max<std::int64_t>(0, now - figures.startedAt)) + " (" +
                                               Clock24(settings_.localTime(figures.startedAt), true) + ")");
  body += row(Say(language, Text::ConnectionsNow), std::to_string(figures.connectionsNow), "connections");
  body += row(Say(language, Text::ConnectionsMax), std::to_string(figures.connectionsMax));
  body += row(Say(language, Text::JournalSize), FormatBytes(figures.journalBytes));
  body += row(Say(language, Text::LastSync),
              figures.syncCount ? FormatMilliseconds(figures.lastSyncSeconds) + " (" +
                                      Clock24(settings_.localTime(figures.lastSyncAt), false) + ")"
                                : std::string("–"));
  body += row(Say(language, Text::SlowestSync),
              figures.syncCount ? FormatMilliseconds(figures.slowestSyncSeconds) : std::string("–"));
  body += row(Say(language, Text::FreeDisk), figures.freeDiskBytes ? FormatBytes(*figures.freeDiskBytes) : "?");
  body += row(Say(language, Text::DataFolder), HtmlEscape(figures.dataFolder));
  body += row(std::string(Say(language, Text::Jobs)) + " (" + std::string(Say(language, Text::FileLane)) + ")",
              std::to_string(figures.fileJobsQueued) + " " + std::string(Say(language, Text::Queued)) + ", " +
                  std::to_string(figures.fileJobsRunning) + " " + std::string(Say(language, Text::Running)));
  body += row(std::string(Say(language, Text::Jobs)) + " (" + std::string(Say(language, Text::ShortLane)) + ")",
              std::to_string(figures.shortJobsQueued) + " " + std::string(Say(language, Text::Queued)) + ", " +
                  std::to_string(figures.shortJobsRunning) + " " + std::string(Say(language, Text::Running)));
  body += "</table>";

  // Requests per second over the samples of the last minute.
  const RateSample* oldest = nullptr;
  for (const auto& sample : samples_) {
    if (context.now - sample.at <= kRateWindow + std::chrono::seconds(5) && sample.received.size() == figures.commands.size()) {
      oldest = &sample;
      break;
    }
  }
  const double span = oldest ? std::chrono::duration<double>(context.now - oldest->at).count() : 0.0;
  body += "<h3>" + std::string(Say(language, Text::RequestsPerSecond)) + "</h3><table class=\"counts\" id=\"requests\"><tr><th>" +
          std::string(Say(language, Text::Command)) + "</th><th>" + std::string(Say(language, Text::Received)) +
          "</th><th>/s</th><th>" + std::string(Say(language, Text::NotStarted)) + "</th><th>" +
          std::string(Say(language, Text::Late)) + "</th></tr>";
  for (std::size_t i = 0; i < figures.commands.size(); ++i) {
    const CommandCount& command = figures.commands[i];
    std::string rate = "–";
    if (oldest && span >= 1.0) {
      char text[64];
      std::snprintf(text, sizeof text, "%.2f", static_cast<double>(command.received - oldest->received[i]) / span);
      rate = text;
    }
    body += "<tr><td>" + HtmlEscape(command.name) + "</td><td>" + std::to_string(command.received) + "</td><td>" +
            rate + "</td><td>" + std::to_string(command.notStarted) + "</td><td>" + std::to_string(command.late) +
            "</td></tr>";
  }
  body += "</table><h3>" + std::string(Say(language, Text::Refusals)) + "</h3><table class=\"counts\" id=\"refusals\"><tr><th>" +
          std::string(Say(language, Text::RefusalReason)) + "</th><th>" + std::string(Say(language, Text::Count)) +
          "</th></tr>";
  const std::pair<Text, std::uint64_t> refusals[] = {
      {Text::RefusedNotAllowed, figures.refusedNotAllowed}, {Text::RefusedTooMany, figures.refusedTooMany},
      {Text::ClosedTooLarge, figures.closedFrameTooLarge},  {Text::ClosedTimeout, figures.closedFrameTimeout},
      {Text::ClosedBadBytes, figures.closedBadBytes}};
  for (const auto& [text, count] : refusals) {
    body += "<tr><td>" + std::string(Say(language, text)) + "</td><td>" + std::to_string(count) + "</td></tr>";
  }
  body += "<tr><td>" + std::string(Say(language, Text::RefusedLogin)) + "</td><td>" + std::to_string(failedLogins_) +
          "</td></tr></table>";

  auto places = [&](Text title, const std::vector<PlaceState>& list, const char* id) {
    std::string html = "<h3>" + std::string(Say(language, title)) + "</h3><ul class=\"places\" id=\"" + id + "\">";
    if (list.empty()) html += "<li>" + std::string(Say(language, Text::None)) + "</li>";
    for (const auto& place : list) {
      html += std::string("<li class=\"") + (place.ok ? "ok" : "bad") + "\"><code>" + HtmlEscape(place.name) +
              "</code> — " + HtmlEscape(place.state) + "</li>";
    }
    return html + "</ul>";
  };
  auto roots = backend_.FileRoots();
  for (auto& root : roots) root.state = std::string(Say(language, root.ok ? Text::Exists : Text::Missing));
  body += places(Text::FileRoots, roots, "roots");
  body += places(Text::AllowedServices, backend_.Services(), "services");
  return PageResponse(200, PageHtml(language, Say(language, Text::HealthTitle), "/health", &context.session->csrf, body));
}

}  // namespace quorlane::server::web
