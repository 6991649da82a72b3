// The web console's rules and pages, natively, against a table of locks of
// the test's own: what every byte a workstation can send looks like on a
// page, the code pages where Big5 tables differ, and the login, session,
// form-token and Host rules.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "code_page_text.h"
#include "console.h"
#include "http_message.h"

namespace {

using namespace quorlane::server::web;

// --- Code pages -------------------------------------------------------------

struct DecodeCase {
  CodePage codePage;
  const char* bytes;
  const char* shown;  // UTF-8
};

// The codes where common Big5 tables disagree: the console shows what
// Windows' code page 950 makes of them, on Linux and Windows alike.
TEST(CodePageText, ShowsMicrosoftsBig5WhereBig5TablesDiffer) {
  const DecodeCase cases[] = {
      {CodePage::Big5, "\xA1\x45", "\u2027"},      // ‧ (plain Big5: U+2022 •)
      {CodePage::Big5, "\xA1\xC2", "\u00AF"},      // ¯ (U+203E ‾)
      {CodePage::Big5, "\xA1\xE3", "\uFF5E"},      // ～ (U+223C ∼)
      {CodePage::Big5, "\xA2\x44", "\uFFE5"},      // ￥ (U+00A5 ¥)
      {CodePage::Big5, "\xA2\x46", "\uFFE0"},      // ￠ (U+00A2 ¢)
      {CodePage::Big5, "\xA3\xE1", "\u20AC"},      // € (not in plain Big5)
      {CodePage::Big5, "\xF9\xF9", "\u2550"},      // ═ (the ETEN box drawings)
      {CodePage::Big5, "\xA2\xCC", "\u5341"},      // 十 (duplicate of A451)
      {CodePage::Big5, "\xA4\x51", "\u5341"},
      {CodePage::Big5, "\xB8\xEA\xAE\xC6\xAE\x77", "資料庫"},
      {CodePage::Big5, "\xB3\x5C", "許"},          // second byte is '\'
      {CodePage::Gbk, "\xD7\xCA\xC1\xCF\xBF\xE2", "资料库"},
      {CodePage::Gbk, "\x80", "\u20AC"},           // Microsoft's 936: the euro sign
      {CodePage::Gbk, "\xA3\xC1", "\uFF21"},       // Ａ
      {CodePage::Western, "\x80\xE9\x9F", "\u20ACé\u0178"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(ShowBytes(c.bytes, c.codePage), c.shown);
  }
  // And the table itself, where it differs.
  EXPECT_EQ(DecodeDoubleByte(CodePage::Big5, 0xA1, 0x45), U'\u2027');
  EXPECT_EQ(DecodeDoubleByte(CodePage::Big5, 0xA3, 0xE1), U'\u20AC');
}

TEST(CodePageText, BytesThatDoNotDecodeAreShownAsEscapesNeverDropped) {
  const DecodeCase cases[] = {
      {CodePage::Big5, "\x80", "\\x80"},                  // no single byte above ASCII
      {CodePage::Big5, "\xFF", "\\xFF"},
      {CodePage::Big5, "\xA4", "\\xA4"},                  // a lead byte at the end
      {CodePage::Big5, "\xA4\x20x", "\\xA4 x"},           // a lead byte before a byte that is no trail
      {CodePage::Big5, "\x81\x40", "\\x81@"},             // user-defined area: no character
      {CodePage::Western, "\x81\x8D", "\\x81\\x8D"},      // unassigned in 1252
      {CodePage::Western, "a\tb\x01", "a\\x09b\\x01"},    // control bytes in a field
      {CodePage::Big5, "C:\\x41\\dir", "C:\\x5Cx41\\dir"}, // a backslash that would read as an escape
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    EXPECT_EQ(ShowBytes(c.bytes, c.codePage), c.shown);
  }
  EXPECT_EQ(ShowBytes("line 1\r\nline\t2", CodePage::Big5, ShownAs::Text), "line 1\r\nline\t2");
}

TEST(CodePageText, ShownTextTurnsBackIntoTheSameBytes) {
  std::string every;
  for (int b = 0; b < 256; ++b) every.push_back(static_cast<char>(b));
  const std::string samples[] = {every, "\xB8\xEA\xAE\xC6\\x41\\\\x", "\xB3\x5C\xA4", "abc\\", "\\x\\xZZ\\x4"};
  for (const CodePage codePage : {CodePage::Big5, CodePage::Gbk, CodePage::Western}) {
    for (const auto& bytes : samples) {
      std::string error;
      for (const ShownAs how : {ShownAs::Field, ShownAs::Text}) {
        const std::string shown = ShowBytes(bytes, codePage, how);
        const auto back = ParseShownText(shown, codePage, error);
        ASSERT_TRUE(back) << error;
        // Big5 writes a few characters twice (F9F9-F9FE repeat box drawings
        // of F9E9-F9F1, A2CC and A2CE repeat 十 and 卅): those come back as
        // the character's standard code, everything else byte for byte.
        EXPECT_EQ(ShowBytes(*back, codePage, how), shown);
        if (codePage != CodePage::Big5 || bytes != every) EXPECT_EQ(*back, bytes) << static_cast<int>(codePage);
      }
    }
  }
  std::string error;
  EXPECT_EQ(ParseShownText("資料庫 \\xFF", CodePage::Big5, error), std::string("\xB8\xEA\xAE\xC6\xAE\x77 \xFF"));
  EXPECT_FALSE(ParseShownText("资料库", CodePage::Big5, error)) << "Simplified characters have no Big5 code";
  EXPECT_NE(error.find("code page 950"), std::string::npos) << error;
  EXPECT_FALSE(ParseShownText("\xFF\xFE", CodePage::Big5, error)) << "not UTF-8";
}

// --- Escaping on the pages --------------------------------------------------

class FakeBackend : public ConsoleBackend {
 public:
  std::vector<LockRow> locks;
  std::vector<std::string> audit;
  std::string vatList = "5%\r\n";
  std::vector<std::string> released;
  std::vector<std::string> saved;
  bool answer = true;

  std::optional<std::vector<LockRow>> Locks() override {
    if (!answer) return std::nullopt;
    return locks;
  }
  ReleaseOutcome Release(const std::string& key, const LockRow& expected, const std::string& who) override {
    ReleaseOutcome outcome;
    for (auto it = locks.begin(); it != locks.end(); ++it) {
      if (it->key != key) continue;
      outcome.holder = *it;
      if (it->user != expected.user || it->computer != expected.computer || it->since != expected.since) {
        outcome.result = ReleaseOutcome::Result::HeldByAnother;
        return outcome;
      }
      locks.erase(it);
      released.push_back(key + " by " + who);
      outcome.result = ReleaseOutcome::Result::Released;
      return outcome;
    }
    outcome.result = ReleaseOutcome::Result::NotHeld;
    return outcome;
  }
  bool ReadVatList(std::string& list, std::string&) override {
    list = vatList;
    return true;
  }
  bool SaveVatList(std::string_view list, const std::string& who, std::string&) override {
    vatList = std::string(list);
    saved.push_back(who);
    return true;
  }
  std::vector<std::string> AuditTail(std::size_t) override { return audit; }
  ServerFigures Figures() override {
    ServerFigures f;
    f.version = "1.0.0";
    f.commands = {{"LOCKDB", 5, 1, 0}, {"unknown", 1, 0, 0}};
    f.syncBounds = {0.001, 0.01};
    f.syncCumulative = {2, 3};
    f.syncCount = 4;
    f.syncSumSeconds = 0.5;
    f.locksHeld = locks.size();
    return f;
  }
  std::vector<PlaceState> FileRoots() override { return {{"/srv/shared", true, {}}}; }
  std::vector<PlaceState> Services() override { return {{"nginx", false, "not running"}}; }
  void Audit(const std::string& line) override { audit.push_back(line); }
};

LockRow Held(std::string key, std::string user, std::string computer, std::string since,
             LockRow::Link link = LockRow::Link::Unknown, std::string peer = {}, std::time_t goneAt = 0) {
  LockRow row;
  row.key = std::move(key);
  row.user = std::move(user);
  row.computer = std::move(computer);
  row.since = std::move(since);
  row.link = link;
  row.peer = std::move(peer);
  row.goneAt = goneAt;
  return row;
}

constexpr char kToken[] = "the-login-token-of-this-test-0123456789abc";

class ConsoleTest : public ::testing::Test {
 protected:
  ConsoleTest() : console_(Settings(), backend_, [this] { return token_; }, Random(), [] { return std::time_t{1700000000}; }) {}

  static ConsoleSettings Settings() {
    ConsoleSettings settings;
    std::string error;
    settings.metricsAllow = *quorlane::net::NetworkFilter::Parse("127.0.0.0/8", error);
    settings.hosts = {"localhost", "console.example"};
    settings.localTime = [](std::time_t when) {
      std::tm tm{};
      when %= 86400;
      tm.tm_hour = static_cast<int>(when / 3600);
      tm.tm_min = static_cast<int>(when / 60 % 60);
      tm.tm_sec = static_cast<int>(when % 60);
      tm.tm_year = 124;
      tm.tm_mday = 1;
      return tm;
    };
    return settings;
  }
  static RandomSource Random() {
    return [](unsigned char* buffer, std::size_t size) {
      static unsigned char next = 1;
      for (std::size_t i = 0; i < size; ++i) buffer[i] = next++;
    };
  }

  HttpRequest Request(std::string method, std::string target, std::string body = {}) {
    HttpRequest request;
    request.method = std::move(method);
    request.target = std::move(target);
    request.body = std::move(body);
    request.host = "127.0.0.1:4080";
    request.localAddress = "127.0.0.1";
    request.localPort = 4080;
    request.peer = *quorlane::net::IpAddress::Parse(peer_);
    request.peerText = peer_ + ":50000";
    request.cookie = cookie_;
    return request;
  }
  HttpResponse Send(HttpRequest request) { return console_.Handle(request, now_); }
  HttpResponse Get(const std::string& target) { return Send(Request("GET", target)); }
  HttpResponse Post(const std::string& target, const std::string& body) {
    HttpRequest request = Request("POST", target, body);
    request.contentType = "application/x-www-form-urlencoded";
    return Send(request);
  }
  static std::string Header(const HttpResponse& response, const std::string& name) {
    for (const auto& [key, value] : response.headers) {
      if (key == name) return value;
    }
    return {};
  }
  // Logs in and keeps the cookie; returns the session's form token.
  std::string LogIn() {
    const HttpResponse response = Post("/login", std::string("token=") + kToken);
    EXPECT_EQ(response.status, 303);
    const std::string cookie = Header(response, "Set-Cookie");
    cookie_ = cookie.substr(0, cookie.find(';'));
    const std::string page = Get("/locks").body;
    const auto at = page.find("name=\"csrf\" value=\"");
    EXPECT_NE(at, std::string::npos);
    return page.substr(at + 19, 32);
  }

  FakeBackend backend_;
  std::string token_ = kToken;
  std::string peer_ = "127.0.0.1";
  std::string cookie_;
  Clock::time_point now_ = Clock::time_point(std::chrono::hours(1000));
  Console console_;
};

TEST_F(ConsoleTest, EveryByteAWorkstationCanSendIsShownAsTextNeverAsMarkup) {
  const struct {
    const char* key;
    const char* shown;  // as it appears in the page's HTML
  } cases[] = {
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"a&b \"c\" 'd'", "a&amp;b &quot;c&quot; &#39;d&#39;"},
      {"\xB8\xEA\xAE\xC6\xAE\x77", "資料庫"},
      {"\xB3\x5C<", "許&lt;"},
      {"\xFF\x80\x01", "\\xFF\\x80\\x01"},
      {"\xA4", "\\xA4"},
  };
  for (const auto& c : cases) backend_.locks.push_back(Held(c.key, "ann<", "PC&1", "2024/1/2 10:00"));
  LogIn();
  const std::string page = Get("/locks").body;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    EXPECT_NE(page.find("<td class=\"key\">" + std::string(c.shown) + "</td>"), std::string::npos);
  }
  EXPECT_EQ(page.find("<script>alert"), std::string::npos);
  EXPECT_NE(page.find("<td class=\"user\">ann&lt;</td><td class=\"computer\">PC&amp;1</td>"), std::string::npos);
  // Keys travel through the release form as hex: every byte arrives.
  EXPECT_NE(page.find("/locks/release?key=ff8001\""), std::string::npos);
}

TEST_F(ConsoleTest, LocksAreListedNewestFirstAndALockLeftByAClosedConnectionStandsOut) {
  backend_.locks = {Held("OLD", "ann", "PC1", "2023/11/14 22:00", LockRow::Link::Open, "10.0.0.1:5000"),
                    Held("NEW", "bob", "PC2", "2023/11/14 22:10", LockRow::Link::Gone, "10.0.0.2:5000", 1699999000),
                    Held("MID", "cy", "PC3", "2023/11/14 22:05")};
  LogIn();
  const std::string page = Get("/locks").body;
  const auto newAt = page.find(">NEW<"), midAt = page.find(">MID<"), oldAt = page.find(">OLD<");
  ASSERT_NE(oldAt, std::string::npos);
  EXPECT_LT(newAt, midAt);
  EXPECT_LT(midAt, oldAt);
  EXPECT_NE(page.find("<tr class=\"gone\"><td class=\"key\">NEW</td>"), std::string::npos);
  EXPECT_NE(page.find("gone since 2024-01-01 21:56:40 · 10.0.0.2:5000"), std::string::npos);
  EXPECT_NE(page.find("open · 10.0.0.1:5000"), std::string::npos);
  EXPECT_NE(page.find("taken before the server started"), std::string::npos);
  // The refresh fetches the list alone.
  const HttpResponse rows = Get("/locks?part=rows");
  EXPECT_EQ(rows.status, 200);
  EXPECT_EQ(rows.body.find("<html"), std::string::npos);
  EXPECT_NE(rows.body.find("3 lock(s) held"), std::string::npos);
}

TEST_F(ConsoleTest, NoPageNorActionWithoutALoginAlsoFromThisComputer) {
  backend_.locks = {Held("SALES", "ann", "VM", "2024/1/2 10:00")};
  for (const char* page : {"/", "/locks", "/vat", "/audit", "/health", "/locks/release?key=53414c4553"}) {
    const HttpResponse response = Get(page);
    EXPECT_EQ(response.status, 303) << page;
    EXPECT_EQ(Header(response, "Location"), "/login") << page;
  }
  EXPECT_EQ(Get("/locks?part=rows").status, 401) << "the refresh learns that the session ended";
  EXPECT_EQ(Post("/locks/release", "key=53414c4553&user=616e6e&computer=564d&since=00").status, 403);
  EXPECT_EQ(Post("/vat", "list=x").status, 403);
  EXPECT_TRUE(backend_.released.empty());
  EXPECT_TRUE(backend_.saved.empty());
  // A cookie the server never handed out is no session.
  cookie_ = "qlsession=00112233445566778899aabbccddeeff";
  EXPECT_EQ(Get("/locks").status, 303);
}

TEST_F(ConsoleTest, LoginSetsAStrictHttpOnlyCookieOfLimitedLifetimeAndAuditsTheSession) {
  const HttpResponse response = Post("/login", std::string("token=") + kToken);
  ASSERT_EQ(response.status, 303);
  const std::string cookie = Header(response, "Set-Cookie");
  EXPECT_NE(cookie.find("qlsession="), std::string::npos);
  EXPECT_NE(cookie.find("; HttpOnly"), std::string::npos);
  EXPECT_NE(cookie.find("; SameSite=Strict"), std::string::npos);
  EXPECT_NE(cookie.find("; Max-Age=28800"), std::string::npos);
  EXPECT_EQ(cookie.find('=') + 1 + 32, cookie.find(';')) << "128 bits of session id: " << cookie;
  ASSERT_FALSE(backend_.audit.empty());
  EXPECT_EQ(backend_.audit.back().rfind("web login peer=127.0.0.1:50000 session=", 0), 0u) << backend_.audit.back();
  EXPECT_EQ(backend_.audit.back().find(cookie.substr(10, 32)), std::string::npos) << "the log never shows the cookie";
  // The session ends with its lifetime.
  cookie_ = cookie.substr(0, cookie.find(';'));
  EXPECT_EQ(Get("/locks").status, 200);
  now_ += std::chrono::hours(8);
  EXPECT_EQ(Get("/locks").status, 303);
}

TEST_F(ConsoleTest, ARotatedTokenEndsTheSessionsOpenedWithTheOldOne) {
  LogIn();
  EXPECT_EQ(Get("/locks").status, 200);
  token_ = "another-token";
  EXPECT_EQ(Get("/locks").status, 303);
  EXPECT_EQ(Post("/login", std::string("token=") + kToken).status, 403);
  EXPECT_EQ(Post("/login", "token=another-token").status, 303);
}

TEST_F(ConsoleTest, RepeatedWrongTokensFromOneAddressAreSlowedDownOthersAreNot) {
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Post("/login", "token=wrong").status, 403) << i;
  EXPECT_EQ(Post("/login", "token=wrong").status, 403) << "the fourth is refused and starts a wait";
  HttpResponse response = Post("/login", std::string("token=") + kToken);
  EXPECT_EQ(response.status, 429) << "even the right token waits";
  EXPECT_EQ(Header(response, "Retry-After"), "1");
  now_ += std::chrono::seconds(2);
  EXPECT_EQ(Post("/login", "token=wrong").status, 403);
  EXPECT_EQ(Post("/login", std::string("token=") + kToken).status, 429);
  EXPECT_EQ(Header(Post("/login", "token=x"), "Retry-After"), "2") << "the wait doubles";
  peer_ = "127.0.0.2";
  EXPECT_EQ(Post("/login", std::string("token=") + kToken).status, 303) << "another address is not slowed";
  EXPECT_EQ(console_.FailedLogins(), 5u);
  // An empty token (no file) lets nobody in.
  token_.clear();
  EXPECT_EQ(Post("/login", "token=").status, 403);
}

TEST_F(ConsoleTest, EveryActionNeedsTheSessionsOwnFormToken) {
  backend_.locks = {Held("SALES", "ann", "VM", "2024/1/2 10:00")};
  const std::string csrf = LogIn();
  const std::string release = "key=53414c4553&user=616e6e&computer=564d&since=" + HexEncode("2024/1/2 10:00");
  for (const std::string& wrong : {std::string(), std::string("&csrf="), "&csrf=" + std::string(32, '0'),
                                   "&csrf=" + csrf.substr(0, 31)}) {
    EXPECT_EQ(Post("/locks/release", release + wrong).status, 403) << wrong;
    EXPECT_EQ(Post("/vat", "list=x" + wrong).status, 403) << wrong;
    EXPECT_EQ(Post("/logout", wrong.empty() ? "" : wrong.substr(1)).status, 403) << wrong;
  }
  EXPECT_TRUE(backend_.released.empty());
  EXPECT_EQ(backend_.vatList, "5%\r\n");
  const HttpResponse done = Post("/locks/release", release + "&csrf=" + csrf);
  EXPECT_EQ(done.status, 200);
  EXPECT_NE(done.body.find("Released <strong>SALES</strong> (held by <strong>ann</strong> on <strong>VM</strong>"),
            std::string::npos);
  ASSERT_EQ(backend_.released.size(), 1u);
  EXPECT_EQ(backend_.released[0].rfind("SALES by web session=", 0), 0u) << backend_.released[0];
  EXPECT_NE(backend_.released[0].find(" peer=127.0.0.1:50000"), std::string::npos);
  EXPECT_EQ(Post("/logout", "csrf=" + csrf).status, 303);
  EXPECT_EQ(Get("/locks").status, 303);
}

TEST_F(ConsoleTest, TheConfirmationNamesTheHolderAndALockThatChangedHandsIsNotReleased) {
  backend_.locks = {Held("SALES", "ann", "VM", "2024/1/2 10:00")};
  const std::string csrf = LogIn();
  const std::string question = Get("/locks/release?key=53414c4553").body;
  EXPECT_NE(question.find("Release the lock on <strong>SALES</strong>, held by <strong>ann</strong> on "
                          "<strong>VM</strong> since <strong>2024/1/2 10:00</strong>?"),
            std::string::npos);
  backend_.locks = {Held("SALES", "bob", "PC2", "2024/1/2 10:05")};
  const HttpResponse response = Post("/locks/release", "key=53414c4553&user=616e6e&computer=564d&since=" +
                                                           HexEncode("2024/1/2 10:00") + "&csrf=" + csrf);
  EXPECT_NE(response.body.find("is now held by <strong>bob</strong>"), std::string::npos);
  EXPECT_EQ(backend_.locks.size(), 1u);
}

TEST_F(ConsoleTest, AForeignHostHeaderIsRefused) {
  const struct {
    const char* host;
    int status;
  } cases[] = {{"127.0.0.1:4080", 303}, {"localhost:4080", 303}, {"LOCALHOST:4080", 303},
               {"console.example:4080", 303}, {"evil.example:4080", 421}, {"127.0.0.1:4081", 421},
               {"127.0.0.1", 421}, {"", 421}, {"localhost.evil.example:4080", 421}, {"[::1]:4080", 421}};
  for (const auto& c : cases) {
    HttpRequest request = Request("GET", "/locks");
    request.host = c.host;
    EXPECT_EQ(Send(request).status, c.status) << c.host;
  }
  HttpRequest v6 = Request("GET", "/locks");
  v6.localAddress = "::1";
  v6.host = "[::1]:4080";
  EXPECT_EQ(Send(v6).status, 303);
  HttpRequest metrics = Request("GET", "/metrics");
  metrics.host = "rebound.example:4080";
  EXPECT_EQ(Send(metrics).status, 421);
}

TEST_F(ConsoleTest, PagesCarryTheSecurityHeadersAndDataIsNotCached) {
  LogIn();
  for (const char* page : {"/locks", "/vat", "/audit", "/health", "/login"}) {
    const HttpResponse response = Get(page);
    SCOPED_TRACE(page);
    EXPECT_NE(Header(response, "Content-Security-Policy").find("default-src 'none'; script-src 'self'"),
              std::string::npos);
    EXPECT_NE(Header(response, "Content-Security-Policy").find("frame-ancestors 'none'"), std::string::npos);
    EXPECT_EQ(Header(response, "X-Frame-Options"), "DENY");
    if (std::string(page) != "/login") EXPECT_EQ(Header(response, "Cache-Control"), "no-store");
  }
  EXPECT_EQ(Get("/static/console.js").contentType, "text/javascript; charset=utf-8");
}

TEST_F(ConsoleTest, MetricsNeedNoLoginButAnAllowedNetwork) {
  backend_.locks = {Held("A", "u", "c", "2024/1/2 10:00")};
  const HttpResponse metrics = Get("/metrics");
  EXPECT_EQ(metrics.status, 200);
  EXPECT_EQ(metrics.contentType, "text/plain; version=0.0.4; charset=utf-8");
  const std::string expected[] = {
      "# TYPE quorlane_requests_total counter\n",
      "quorlane_requests_total{command=\"LOCKDB\"} 5\n",
      "quorlane_requests_unanswered_total{command=\"LOCKDB\",reason=\"not_started\"} 1\n",
      "quorlane_locks_held 1\n",
      "# TYPE quorlane_journal_sync_seconds histogram\n",
      "quorlane_journal_sync_seconds_bucket{le=\"0.001\"} 2\n",
      "quorlane_journal_sync_seconds_bucket{le=\"+Inf\"} 4\n",
      "quorlane_journal_sync_seconds_sum 0.5\n",
      "quorlane_journal_sync_seconds_count 4\n"};
  for (const auto& line : expected) EXPECT_NE(metrics.body.find(line), std::string::npos) << line;
  peer_ = "10.1.2.3";
  EXPECT_EQ(Get("/metrics").status, 403);
}

TEST_F(ConsoleTest, TheVatListIsShownAndReplacedInTheWorkstationsCodePage) {
  backend_.vatList = "\xB8\xEA\xAE\xC6 5%\r\n\xFF<b>\r\n";
  const std::string csrf = LogIn();
  const std::string page = Get("/vat").body;
  EXPECT_NE(page.find(">資料 5%\r\n\\xFF&lt;b&gt;\r\n</textarea>"), std::string::npos);
  // The browser sends UTF-8 (form-encoded); the list is stored in Big5.
  HttpResponse saved = Post("/vat", "list=%E8%B3%87%E6%96%99+6%25%0D%0A%5CxFF&csrf=" + csrf);
  EXPECT_NE(saved.body.find("VAT list saved (10 bytes)"), std::string::npos);
  EXPECT_EQ(backend_.vatList, "\xB8\xEA\xAE\xC6 6%\r\n\xFF");
  // A character the code page lacks saves nothing and keeps what was typed.
  saved = Post("/vat", "list=%E8%B5%84&csrf=" + csrf);
  EXPECT_NE(saved.body.find("VAT list not saved"), std::string::npos);
  EXPECT_NE(saved.body.find(">资</textarea>"), std::string::npos);
  EXPECT_EQ(backend_.vatList, "\xB8\xEA\xAE\xC6 6%\r\n\xFF");
  ASSERT_EQ(backend_.saved.size(), 1u);
}

TEST_F(ConsoleTest, TheAuditLogIsShownNewestFirstWithItsKeysDecodedAndFiltered) {
  backend_.audit = {"2024-01-02 10:00:00 LOCKDB peer=1 user=\"ann\" key=\"\\xB8\\xEA\\xAE\\xC6\" result=\"Y;;;\"",
                    "2024-01-02 10:01:00 connect peer=2", "2024-01-02 10:02:00 LOCKDB peer=3 key=\"<x>\""};
  LogIn();
  const std::string page = Get("/audit").body;
  const auto first = page.find("10:02:00"), second = page.find("10:01:00"), third = page.find("key=&quot;資料&quot;");
  ASSERT_NE(third, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_LT(second, third);
  EXPECT_NE(page.find("key=&quot;&lt;x&gt;&quot;"), std::string::npos);
  const std::string filtered = Get("/audit?q=lockdb").body;
  EXPECT_EQ(filtered.find("connect peer=2"), std::string::npos);
  EXPECT_NE(filtered.find("10:02:00"), std::string::npos);
}

TEST_F(ConsoleTest, ThePagesSpeakTheChosenLanguageRememberedInACookie) {
  backend_.locks = {Held("SALES", "ann", "VM", "2024/1/2 10:00")};
  LogIn();
  const std::string session = cookie_;
  const struct {
    const char* cookie;
    const char* acceptLanguage;
    const char* expected;
  } cases[] = {{"", "", "Held locks"},
               {"", "zh-TW,zh;q=0.9", "目前的鎖定"},
               {"", "zh-CN,zh;q=0.9", "当前的锁定"},
               {"; qllang=zh-TW", "en-US", "目前的鎖定"},
               {"; qllang=zh-CN", "zh-TW", "当前的锁定"},
               {"; qllang=en", "zh-TW", "Held locks"}};
  for (const auto& c : cases) {
    cookie_ = session + c.cookie;
    HttpRequest request = Request("GET", "/locks");
    request.acceptLanguage = c.acceptLanguage;
    EXPECT_NE(Send(request).body.find(c.expected), std::string::npos) << c.cookie << " " << c.acceptLanguage;
  }
}

TEST_F(ConsoleTest, HealthShowsTheFiguresRootsAndServices) {
  LogIn();
  console_.Sample(now_ - std::chrono::seconds(10));
  const std::string page = Get("/health").body;
  for (const char* text : {"<td id=\"version\">1.0.0</td>", "<code>/srv/shared</code> — exists",
                           "<li class=\"bad\"><code>nginx</code> — not running", "<td>LOCKDB</td><td>5</td><td>0.00</td>"}) {
    EXPECT_NE(page.find(text), std::string::npos) << text;
  }
}

TEST(HttpMessage, FormsCookiesAndHex) {
  const auto form = ParseForm("a=1+2&b=%E8%B3%87&a=second&c&%zz=%4");
  EXPECT_EQ(form.at("a"), "1 2");
  EXPECT_EQ(form.at("b"), "\xE8\xB3\x87");
  EXPECT_EQ(form.at("c"), "");
  EXPECT_EQ(form.at("%zz"), "%4");
  EXPECT_EQ(CookieValue("qllang=zh-TW; qlsession=abc", "qlsession"), "abc");
  EXPECT_FALSE(CookieValue("xqlsession=abc", "qlsession"));
  EXPECT_EQ(HexDecode(HexEncode(std::string("\0\xFF;", 3))), std::string("\0\xFF;", 3));
  EXPECT_FALSE(HexDecode("abc"));
  EXPECT_FALSE(HexDecode("zz"));
  EXPECT_TRUE(ConstantTimeEquals("secret", "secret"));
  EXPECT_FALSE(ConstantTimeEquals("secret", "secreT"));
  EXPECT_FALSE(ConstantTimeEquals("secret", "secret2"));
  EXPECT_FALSE(ConstantTimeEquals("secret", ""));
}

}  // namespace
