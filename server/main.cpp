// quorlane-server: the site server and its admin commands.
#include "net/asio.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "lock_store.h"
#include "log/audit_log.h"
#include "net/listen_address.h"
#include "raw_client.h"
#include "platform/platform.h"
#include "request.h"
#include "server_config.h"
#include "service/argument_reader.h"
#include "service/server_program.h"
#include "site_console_backend.h"
#include "site_data.h"
#include "site_server.h"
#include "console.h"
#include "login_token.h"
#include "web_listener.h"

namespace qs = quorlane::server;
namespace audit = quorlane::audit;
namespace net = quorlane::net;
namespace platform = quorlane::platform;
namespace web = quorlane::server::web;

namespace {

constexpr const char* kHelp = R"(quorlane-server: the Quorlane site server (database locks, files, services,
VAT list and taxation key for the workstations of one site)

Usage:
  quorlane-server [--config FILE] [--listen ADDR:PORT] [--data DIR] [--port-file FILE]
                  [--web-listen ADDR:PORT] [--web-port-file FILE]
      Runs the server until SIGTERM, SIGINT (Ctrl+C) or, on Windows, the
      console closing. Options on the command line override the file.
  quorlane-server locks [--connect ADDR:PORT | --config FILE | --data DIR]
      Lists the held locks: key, user, computer, start time (texts quoted,
      bytes outside printable ASCII as \xHH). --connect (or the listen address
      of --config) asks the running server, which answers this only to
      connections from its own computer; --data reads the journal of a data
      folder directly (also while the server runs; read-only).
  quorlane-server release KEY [--connect ADDR:PORT | --config FILE]
      Force-releases the lock on KEY through the running server and prints
      who held it. The release is audited like any other.
  quorlane-server vat-list show [--config FILE | --data DIR]
      Prints the site's VAT list as stored (bytes as they are).
  quorlane-server vat-list set [--config FILE | --data DIR]
      Replaces the VAT list with standard input (every byte of it), durably;
      a running server answers with it at once. Audited.
  quorlane-server set-taxation-key [--config FILE | --data DIR]
      Reads the taxation key from standard input (one line; typed without
      echo at a terminal) and stores it in the data folder, readable by this
      account only: run it as the server's account. Never from the command
      line, where other users see it; never written to a log.
  quorlane-server web-token [--config FILE | --data DIR] [--rotate]
      Prints the web console's login token (the server writes one at its
      first start); --rotate replaces it, which ends every login session.
      Run it as the server's account (or as an administrator to print).
  quorlane-server check-config --config FILE
      Reads the configuration, prints the effective settings and exits.
  quorlane-server service install [OPTION...] | service uninstall   (Windows)
      Installs (or updates) the Windows service QuorlaneServer, which runs
      with --config %ProgramData%\Quorlane\Server\quorlane-server.ini
      (written there when missing) and the OPTIONs, starts with Windows and
      is restarted after a crash; or stops and removes it, keeping its data.
  quorlane-server --help | --version

Options:
  --config FILE      INI file with a [server] section (see below)
  --listen ADDR:PORT numeric address and port; port 0 picks any free port
  --data DIR         data folder (journal, audit log, lock file); created if missing
  --port-file FILE   once listening, write the bound port (decimal and a newline)
  --web-listen ADDR:PORT  the web console's address ("" turns it off)
  --web-port-file FILE    once the console listens, write its port likewise
  --connect ADDR:PORT  the server an admin command talks to

Configuration ([server] section; defaults in brackets):
  listen = ADDR:PORT            [127.0.0.1:4000]
  data = DIR                    [quorlane-data; relative to the config file's folder]
  allow = CIDR list             [127.0.0.0/8 ::1/128] client networks that may
                                connect; others are refused and logged
  max_request_bytes = N         [1048576] largest request frame; a bigger one
                                disconnects its sender
  max_connections = N           [1024] further connections are refused and logged
  frame_timeout_seconds = N     [30] time to complete a started request frame;
                                connections otherwise stay open without limit
  audit_log = FILE              [audit.log; relative to the data folder; empty: none]
  log_to_console = yes|no       [yes] also write log lines to standard error
  file_root = FOLDER            [none] a folder below which file requests act;
                                one line per root; without any, every file
                                request is refused ("N;5")
  path_map = PREFIX => FOLDER   [none] a Windows path prefix of the clients
                                (D:\Shared, \\srv\share) and the server folder
                                it stands for; needed on Linux
  allow_service = NAME[, NAME]  [none] services the service commands may act on
  service_backend = B           [systemd on Linux, scm on Windows] or command, none
  service_command = PROGRAM     run as PROGRAM start|stop|status NAME (backend command)
  service_timeout_seconds = N   [10] longest wait for a service command
  web_listen = ADDR:PORT        [127.0.0.1:4080] the web console (pages and
                                /metrics); empty turns it off
  web_allow = CIDR list         [127.0.0.0/8 ::1/128] who may connect to it
  metrics_allow = CIDR list     [127.0.0.0/8 ::1/128] who may read /metrics
                                (no login); the pages always need a login
  web_hosts = NAME[, NAME]      [localhost] host names the console answers to
                                besides its own address
  web_code_page = 950|936|1252  [950] the workstations' code page, for
                                showing keys, users and computers

Exit status: 0 stopped cleanly, 1 run-time failure, 2 bad usage or configuration.
)";

struct Options {
  std::string command;  // empty: run the server
  std::string configPath, listen, data, portFile, connect, key, subcommand;
  std::optional<std::string> webListen;
  std::string webPortFile;
  bool rotate = false;
};

int Usage(const std::string& message) {
  std::fprintf(stderr, "quorlane-server: %s (see --help)\n", message.c_str());
  return 2;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsAbsolute(const std::string& path) {
  if (path.empty()) return false;
  if (path[0] == '/' || path[0] == '\\') return true;
  return path.size() > 1 && path[1] == ':';
}

std::string Within(const std::string& folder, const std::string& path) {
  if (path.empty() || IsAbsolute(path) || folder.empty()) return path;
  const char last = folder.back();
  return (last == '/' || last == '\\') ? folder + path : folder + "/" + path;
}

bool LoadConfig(const Options& options, qs::ServerConfig& config, std::string& error) {
  config = qs::DefaultConfig();
  if (!options.configPath.empty()) {
    std::string text;
    if (!platform::ReadWholeFile(options.configPath, text, error, false)) return false;
    if (!qs::ApplyIni(text, config, error)) return error = options.configPath + ": " + error, false;
    config.dataFolder = Within(FolderOf(options.configPath), config.dataFolder);
  }
  if (!options.listen.empty() && !qs::ApplySetting("listen", options.listen, config, error)) return false;
  if (!options.data.empty() && !qs::ApplySetting("data", options.data, config, error)) return false;
  if (options.webListen && !qs::ApplySetting("web_listen", *options.webListen, config, error)) return false;
  return qs::CheckConfig(config, error);
}

// How long a stop waits for file and service jobs already running.
constexpr std::chrono::milliseconds kJobStopBound{5000};

int RunServer(const Options& options) {
  qs::ServerConfig config;
  std::string error;
  if (!LoadConfig(options, config, error)) return Usage(error);
  platform::RaiseOpenFileLimit();
  platform::IgnoreFileSizeSignal();
  auto rules = qs::FileAccessRules::Build(config.fileRoots, config.pathMaps, qs::kServerUsesWindowsPaths, error);
  if (!rules) return Usage(error);

  // Everything a worker thread may touch. Should a job outlast the bounded
  // stop below (a system call that never returns, on a hung network share),
  // all of it is deliberately left alive until the process ends.
  struct Parts {
    explicit Parts(const qs::ServerConfig& config, qs::FileAccessRules rules)
        : store(log), requests(config, std::move(rules), log), server(io, config, store, log, requests, work) {}
    audit::AuditLog log;
    asio::io_context io{1};
    qs::LockStore store;
    qs::SiteRequests requests;
    // Four threads for file jobs and four of their own for the short requests.
    qs::BlockingWork work{4, 4};
    qs::SiteServer server;
  };
  auto parts = std::make_unique<Parts>(config, std::move(*rules));
  auto& log = parts->log;
  auto& io = parts->io;
  auto& store = parts->store;
  auto& requests = parts->requests;
  auto& work = parts->work;
  auto& server = parts->server;
  if (!platform::MakeFolder(config.dataFolder, error) ||
      !log.Open(config.auditLog.empty() ? std::string() : Within(config.dataFolder, config.auditLog),
                config.logToConsole, error)) {
    std::fprintf(stderr, "quorlane-server: %s\n", error.c_str());
    return 1;
  }

  const int exitCode = 0;
  const bool opened = store.Open(
      config.dataFolder,
      [&](std::uint64_t seq, bool ok, const std::string& writeError) {
        auto report = [&, seq, ok, writeError] {
          if (ok) return server.OnDurable(seq);
          // Nothing undurable is ever confirmed: the waiting changes are
          // refused, reads go on, and writing resumes once it can.
          server.OnStoreFailed(writeError);
        };
        // An inline commit reports on the network thread itself.
        if (io.get_executor().running_in_this_thread()) {
          report();
        } else {
          asio::post(io, report);
        }
      },
      error);
  if (!opened) {
    log.Line("cannot open the lock store: " + error);
    log.Flush();
    return 1;
  }
  if (!server.Listen(error)) {
    log.Line(error);
    store.Close();
    log.Flush();
    return 1;
  }

  if (const int removed = requests.Data().RemoveLeftovers(); removed > 0) {
    log.Line("removed " + std::to_string(removed) + " temporary file(s) left by an earlier run");
  }
  // Signals are caught from here on.
  quorlane::service::ServerLoop loop(io, log);
  server.Start();
  log.Line("listening on " + quorlane::net::ListenAddress{config.listen.host, server.Port()}.ToString() +
           ", data folder " + config.dataFolder + ", allowed networks " + config.allowText);
  log.Line(std::to_string(config.fileRoots.size()) + " file root(s), " + std::to_string(config.pathMaps.size()) +
           " path mapping(s), " + std::to_string(config.allowedServices.size()) + " allowed service(s) through " +
           std::string(qs::ServiceBackendName(config.serviceBackend)));
  if (!options.portFile.empty() && !loop.WritePortFile(options.portFile, server.Port(), error)) {
    log.Line("cannot write the port file: " + error);
    store.Close();
    return 1;
  }

  // The web console: its own listener and thread, answering from copies.
  struct WebConsole {
    WebConsole(const qs::ServerConfig& config, asio::io_context& io, qs::SiteServer& server, qs::LockStore& store,
               qs::BlockingWork& work, qs::SiteRequests& requests, audit::AuditLog& log, std::string auditPath)
        : token(config.dataFolder),
          backend(io, server, store, work, requests, config, log, std::move(auditPath)),
          console(Settings(config), backend, [this] { return token.Current(); },
                  [](unsigned char* buffer, std::size_t size) {
                    if (!platform::SecureRandom(buffer, size)) throw std::runtime_error("no secure random bytes");
                  },
                  [] { return std::time(nullptr); }),
          listener(config, console, log) {}
    static web::ConsoleSettings Settings(const qs::ServerConfig& config) {
      web::ConsoleSettings settings;
      settings.metricsAllow = config.metricsAllow;
      settings.hosts = config.webHosts;
      settings.codePage = web::CodePageFromNumber(config.webCodePage).value_or(web::CodePage::Big5);
      settings.localTime = [](std::time_t when) { return platform::LocalTime(when); };
      return settings;
    }
    web::LoginToken token;
    web::SiteConsoleBackend backend;
    web::Console console;
    web::WebListener listener;
  };
  std::unique_ptr<WebConsole> webConsole;
  if (config.webListen) {
    std::string token;
    if (!web::LoginToken::Ensure(config.dataFolder, token, error)) {
      log.Line("web console: " + error + "; nobody can log in until that is fixed");
    }
    webConsole = std::make_unique<WebConsole>(
        config, io, server, store, work, requests, log,
        config.auditLog.empty() ? std::string() : Within(config.dataFolder, config.auditLog));
    if (!webConsole->listener.Listen(error)) {
      log.Line("web console off: " + error);
      webConsole.reset();
    } else {
      webConsole->listener.Start();
      log.Line("web console on " + quorlane::net::ListenAddress{config.webListen->host, webConsole->listener.Port()}.ToString() +
               " for " + config.webAllowText + " (/metrics for " + config.metricsAllowText + "); login token in " +
               web::LoginToken::PathIn(config.dataFolder));
      if (!options.webPortFile.empty() && !loop.WritePortFile(options.webPortFile, webConsole->listener.Port(), error)) {
        log.Line("cannot write the web port file: " + error);
      }
    }
  }
  loop.Run([&] {
    // The console first: its thread may be waiting for this one.
    if (webConsole) {
      webConsole->backend.Shutdown();
      webConsole->listener.Stop();
    }
    server.Stop();
  });
  webConsole.reset();
  const bool workStopped = work.Stop(kJobStopBound);
  if (!workStopped) {
    log.Line(std::to_string(work.Running()) + " job(s) still running " + std::to_string(kJobStopBound.count()) +
             " ms after the stop; not waited for (their clients get no answer)");
    static_cast<void>(parts.release());  // the abandoned jobs still use them
  }
  store.Close();
  log.Line("stopped");
  log.Flush();
  return exitCode;
}

bool AdminTarget(const Options& options, std::string& host, std::uint16_t& port, std::string& error) {
  if (!options.connect.empty()) {
    if (!net::SplitHostPort(options.connect, host, port)) return error = "--connect expects ADDR:PORT", false;
    return true;
  }
  qs::ServerConfig config;
  if (!LoadConfig(options, config, error)) return false;
  host = config.listen.host;
  if (host == "0.0.0.0") host = "127.0.0.1";
  if (host == "::") host = "::1";
  port = config.listen.port;
  return true;
}

int ListLocks(const Options& options) {
  std::string error;
  if (!options.data.empty() && options.connect.empty()) {
    qs::LockTable table;
    std::string note;
    if (!qs::LockStore::ReadTable(options.data, table, note, error)) {
      std::fprintf(stderr, "quorlane-server: %s\n", error.c_str());
      return 1;
    }
    for (const auto& [key, holder] : table.Locks()) {
      std::printf("%s %s %s %s\n", audit::Quoted(key).c_str(), audit::Quoted(holder.user).c_str(),
                  audit::Quoted(holder.computer).c_str(), audit::Quoted(holder.startTime).c_str());
    }
    if (!note.empty()) std::fprintf(stderr, "quorlane-server: %s\n", note.c_str());
    return 0;
  }
  std::string host;
  std::uint16_t port = 0;
  if (!AdminTarget(options, host, port, error)) return Usage(error);
  qs::RawClient client;
  std::optional<std::string> reply;
  if (client.Connect(host, port, std::chrono::seconds(5), error)) {
    reply = client.Request("[QLLISTLOCKS]", std::chrono::seconds(30), error);
  }
  const auto payload = reply ? qs::RawClient::Payload(*reply, "[QLLISTLOCKS]") : std::nullopt;
  if (!payload) {
    std::fprintf(stderr, "quorlane-server: %s\n", reply ? ("server refused: " + *reply).c_str() : error.c_str());
    return 1;
  }
  std::fwrite(payload->data(), 1, payload->size(), stdout);
  return 0;
}

int Release(const Options& options) {
  std::string error, host;
  std::uint16_t port = 0;
  if (!AdminTarget(options, host, port, error)) return Usage(error);
  qs::RawClient client;
  if (!client.Connect(host, port, std::chrono::seconds(5), error)) {
    std::fprintf(stderr, "quorlane-server: %s\n", error.c_str());
    return 1;
  }
  const std::string who = ";quorlane-admin;" + platform::ComputerName() + ";";
  const auto check = client.Request("[CHECKDBLOCK]" + options.key + who, std::chrono::seconds(12), error);
  const auto checkPayload = check ? qs::RawClient::Payload(*check, "[CHECKDBLOCK]") : std::nullopt;
  const auto reply = client.Request("[FORCEUNLOCKDB]" + options.key + who, std::chrono::seconds(12), error);
  const auto payload = reply ? qs::RawClient::Payload(*reply, "[FORCEUNLOCKDB]") : std::nullopt;
  if (!payload || payload->rfind("Y", 0) != 0) {
    std::fprintf(stderr, "quorlane-server: release failed: %s\n", payload ? payload->c_str() : error.c_str());
    return 1;
  }
  const auto fields = checkPayload ? qs::SplitFields(*checkPayload) : std::vector<std::string_view>{};
  if (fields.size() >= 4 && fields[0] == "Y") {
    std::printf("released %s (held by %s on %s since %s)\n", audit::Quoted(options.key).c_str(),
                audit::Quoted(fields[1]).c_str(), audit::Quoted(fields[2]).c_str(), audit::Quoted(fields[3]).c_str());
  } else {
    std::printf("%s was not locked\n", audit::Quoted(options.key).c_str());
  }
  return 0;
}

// Admin commands that change the data folder also leave a line in its audit log.
void AuditAdmin(const qs::ServerConfig& config, const std::string& text) {
  if (config.auditLog.empty()) return;
  audit::AuditLog log;
  std::string error;
  if (log.Open(Within(config.dataFolder, config.auditLog), false, error)) {
    log.Line(text + " (admin command on " + platform::ComputerName() + ")");
    log.Flush();
  }
}

int VatList(const Options& options) {
  qs::ServerConfig config;
  std::string error;
  if (!LoadConfig(options, config, error)) return Usage(error);
  qs::SiteData data(config.dataFolder);
  if (options.subcommand == "show") {
    std::string list;
    if (!data.ReadVatList(list, error)) {
      std::fprintf(stderr, "quorlane-server: %s\n", error.c_str());
      return 1;
    }
    std::fwrite(list.data(), 1, list.size(), stdout);
    return 0;
  }
  const std::string list = platform::ReadStandardInput("VAT list (one line; redirect a file for more): ", false);
  if (!platform::MakeFolder(config.dataFolder, error) || !data.SaveVatList(list, error)) {
    std::fprintf(stderr, "quorlane-server: %s\n", error.c_str());
    return 1;
  }
  AuditAdmin(config, "SaveVATList bytes=" + std::to_string(list.size()));
  std::fprintf(stderr, "quorlane-server: VAT list saved (%zu bytes)\n", list.size());
  return 0;
}

int SetTaxationKey(const Options& options) {
  qs::ServerConfig config;
  std::string error;
  if (!LoadConfig(options, config, error)) return Usage(error);
  std::string key = platform::ReadStandardInput("Taxation key: ", true);
  if (!key.empty() && key.back() == '\n') key.pop_back();
  if (!key.empty() && key.back() == '\r') key.pop_back();
  if (key.find_first_of("\r\n") != std::string::npos) return Usage("the key must be one line");
  if (key.empty()) return Usage("the key is empty");
  if (!platform::MakeFolder(config.dataFolder, error) || !qs::SiteData::SetTaxationKey(config.dataFolder, key, error)) {
    std::fprintf(stderr, "quorlane-server: %s\n", error.c_str());
    return 1;
  }
  AuditAdmin(config, "taxation key set (" + std::to_string(key.size()) + " bytes)");
  std::fprintf(stderr, "quorlane-server: taxation key set (%zu bytes) in %s\n", key.size(),
               qs::SiteData::KeyPath(config.dataFolder).c_str());
  return 0;
}

int WebToken(const Options& options) {
  qs::ServerConfig config;
  std::string error;
  if (!LoadConfig(options, config, error)) return Usage(error);
  std::string token;
  const bool ok = options.rotate ? (platform::MakeFolder(config.dataFolder, error) &&
                                    web::LoginToken::Rotate(config.dataFolder, token, error))
                                 : web::LoginToken::Read(config.dataFolder, token, error);
  if (!ok) {
    std::fprintf(stderr, "quorlane-server: %s\n", error.c_str());
    return 1;
  }
  if (options.rotate) AuditAdmin(config, "web login token rotated");
  std::printf("%s\n", token.c_str());
  return 0;
}

int CheckConfig(const Options& options) {
  qs::ServerConfig config;
  std::string error;
  if (!LoadConfig(options, config, error)) return Usage(error);
  std::printf("listen = %s\ndata = %s\nallow = %s\nmax_request_bytes = %zu\nmax_connections = %zu\n"
              "frame_timeout_seconds = %u\naudit_log = %s\nlog_to_console = %s\n",
              config.listen.ToString().c_str(), config.dataFolder.c_str(), config.allowText.c_str(),
              config.maxRequestBytes, config.maxConnections, config.frameTimeoutSeconds, config.auditLog.c_str(),
              config.logToConsole ? "yes" : "no");
  for (const auto& root : config.fileRoots) std::printf("file_root = %s\n", root.c_str());
  for (const auto& map : config.pathMaps) std::printf("path_map = %s\n", map.c_str());
  for (const auto& name : config.allowedServices) std::printf("allow_service = %s\n", name.c_str());
  std::printf("service_backend = %s\n", std::string(qs::ServiceBackendName(config.serviceBackend)).c_str());
  if (!config.serviceCommand.empty()) std::printf("service_command = %s\n", config.serviceCommand.c_str());
  std::printf("service_timeout_seconds = %u\n", config.serviceTimeoutSeconds);
  std::printf("web_listen = %s\nweb_allow = %s\nmetrics_allow = %s\nweb_hosts =",
              config.webListen ? config.webListen->ToString().c_str() : "", config.webAllowText.c_str(),
              config.metricsAllowText.c_str());
  for (const auto& host : config.webHosts) std::printf(" %s", host.c_str());
  std::printf("\nweb_code_page = %u\n", config.webCodePage);
  return 0;
}

int Main(const std::vector<std::string>& args);

// QuorlaneServer: quorlane-server as LocalSystem (it may start and stop the
// services it allows), configuration and data in ProgramData\Quorlane\Server.
quorlane::service::ServiceDefinition SiteServerService() {
  // Safe by default, as the program itself: loopback only, no file roots,
  // no services, until the administrator edits this file.
  static constexpr char kDefaultConfig[] =
      "# Quorlane site server (Windows service). Every setting is optional; see the\r\n"
      "# administrators' guide (server\\README.md) for all of them. Restart the service\r\n"
      "# after a change:  net stop QuorlaneServer && net start QuorlaneServer\r\n"
      "[server]\r\n"
      "# For the LAN: listen = 0.0.0.0:4000 and allow = 127.0.0.0/8 ::1/128 192.168.1.0/24\r\n"
      "listen = 127.0.0.1:4000\r\n"
      "allow = 127.0.0.0/8 ::1/128\r\n"
      "# Lock journal, audit log, VAT list and key, beside this file.\r\n"
      "data = data\r\n"
      "log_to_console = no\r\n"
      "# file_root = D:\\Shared\r\n"
      "# allow_service = Spooler\r\n"
      "# The web console (locks, VAT list, audit log, health; /metrics), on this\r\n"
      "# computer only. Log in with the token that\r\n"
      "#   quorlane-server web-token --config %ProgramData%\\Quorlane\\Server\\quorlane-server.ini\r\n"
      "# prints. Plain HTTP: for other computers put it behind a TLS reverse proxy\r\n"
      "# (see the administrators' guide) and add web_allow and web_hosts.\r\n"
      "web_listen = 127.0.0.1:4080\r\n"
      "web_allow = 127.0.0.0/8 ::1/128\r\n"
      "metrics_allow = 127.0.0.0/8 ::1/128\r\n"
      "web_code_page = 950\r\n";
  return {.name = L"QuorlaneServer",
          .displayName = L"Quorlane site server",
          .description = L"Database locks, files, services, VAT list and taxation key for the workstations of this site.",
          .account = {},
          .dataFolder = "Quorlane\\Server",
          .defaultFiles = {{"quorlane-server.ini", kDefaultConfig}},
          .defaultOptions = [](const std::string& folder) {
            return std::vector<std::string>{"--config", folder + "quorlane-server.ini"};
          }};
}

}  // namespace

int main(int argc, char** argv) {
  return quorlane::service::RunServerProgram(argc, argv, SiteServerService, Main);
}

namespace {

int Main(const std::vector<std::string>& args) {
  try {
    Options options;
    quorlane::service::ArgumentReader reader(args);
    while (reader.Next()) {
      const std::string& arg = reader.Current();
      if (arg == "--help" || arg == "-h") {
        std::fputs(kHelp, stdout);
        return 0;
      } else if (arg == "--version") {
        std::puts("quorlane-server 1.0.0");
        return 0;
      } else if (arg == "--config") {
        if (!reader.Value(options.configPath)) return Usage("--config needs a file");
      } else if (arg == "--listen") {
        if (!reader.Value(options.listen)) return Usage("--listen needs ADDR:PORT");
      } else if (arg == "--data") {
        if (!reader.Value(options.data)) return Usage("--data needs a folder");
      } else if (arg == "--port-file") {
        if (!reader.Value(options.portFile)) return Usage("--port-file needs a file");
      } else if (arg == "--connect") {
        if (!reader.Value(options.connect)) return Usage("--connect needs ADDR:PORT");
      } else if (arg == "--web-listen") {
        std::string text;
        if (!reader.Value(text)) return Usage("--web-listen needs ADDR:PORT (or \"\")");
        options.webListen = text;
      } else if (arg == "--web-port-file") {
        if (!reader.Value(options.webPortFile)) return Usage("--web-port-file needs a file");
      } else if (arg == "--rotate" && options.command == "web-token") {
        options.rotate = true;
      } else if (options.command.empty() && (arg == "locks" || arg == "release" || arg == "check-config" ||
                                             arg == "vat-list" || arg == "set-taxation-key" ||
                                             arg == "web-token")) {
        options.command = arg;
        if (arg == "release" && !reader.Value(options.key)) return Usage("release needs a KEY");
        if (arg == "vat-list" &&
            (!reader.Value(options.subcommand) || (options.subcommand != "show" && options.subcommand != "set"))) {
          return Usage("vat-list needs show or set");
        }
      } else {
        return Usage("unknown argument \"" + arg + "\"");
      }
    }
    if (options.command == "locks") return ListLocks(options);
    if (options.command == "release") return Release(options);
    if (options.command == "check-config") return CheckConfig(options);
    if (options.command == "vat-list") return VatList(options);
    if (options.command == "set-taxation-key") return SetTaxationKey(options);
    if (options.command == "web-token") return WebToken(options);
    return RunServer(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quorlane-server: %s\n", e.what());
    return 1;
  }
}

}  // namespace
