// quorlane-update-server: answers the library's self-update look-ups, and
// its admin commands.
#include "net/asio.h"

#include <atomic>
#include <charconv>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "log/audit_log.h"
#include "line_client.h"
#include "net/listen_address.h"
#include "platform/platform.h"
#include "request_line.h"
#include "service/argument_reader.h"
#include "service/server_program.h"
#include "update_map.h"
#include "update_server.h"

namespace audit = quorlane::audit;
namespace net = quorlane::net;
namespace platform = quorlane::platform;
namespace qu = quorlane::updater;

namespace {

constexpr const char* kHelp = R"(quorlane-update-server: tells each application where its updates are

Usage:
  quorlane-update-server [--listen ADDR:PORT] [--map FILE] [--log FILE] [--quiet]
                         [--max-connections N] [--max-per-address N]
                         [--idle-seconds N] [--request-seconds N] [--port-file FILE]
      Runs the server until SIGTERM, SIGINT (Ctrl+C) or, on Windows, the
      console closing. Each connection sends one line "A1;" + identifier + ";"
      and gets one line back: the identifier's update address from the
      mapping file, or an empty line when it has none. Any other line also
      gets an empty line (and a log line). Without --map every identifier
      gets an empty line. SIGHUP (Linux) re-reads the mapping file.
  quorlane-update-server reload [--connect ADDR:PORT]
      Makes the running server re-read its mapping file; a file with an error
      leaves the current mapping in place. Works only from the server's own
      computer. Prints the outcome; exit status 1 when the file was refused.
  quorlane-update-server lookup IDENTIFIER [--connect ADDR:PORT]
      Asks the running server as the library does and prints the reply line.
  quorlane-update-server check-map FILE
      Reads a mapping file, prints the number of entries or the faulty line.
  quorlane-update-server service install [OPTION...] | service uninstall   (Windows)
      Installs (or updates) the Windows service QuorlaneUpdateServer, which
      runs on 0.0.0.0:9568 with the mapping file and log in
      %ProgramData%\Quorlane\UpdateServer (the mapping written there when
      missing) and the OPTIONs, starts with Windows and is restarted after a
      crash; or stops and removes it, keeping its data.
  quorlane-update-server --help | --version

Options (defaults in brackets):
  --listen ADDR:PORT    numeric address and port [127.0.0.1:9568]; port 0 picks
                        any free port; 0.0.0.0:9568 or [::]:9568 for every interface
  --map FILE            the mapping file (identifier = address lines) [none]
  --log FILE            also append the log to FILE [none]
  --quiet               write no log lines to standard error
  --max-connections N   connections at once; more are closed at once [1024]
  --max-per-address N   connections at once from one address [64]
  --idle-seconds N      a client silent this long is disconnected [10]
  --request-seconds N   time from connecting to a whole request line [30]
  --port-file FILE      once listening, write the bound port (decimal, newline)
  --connect ADDR:PORT   the server an admin command talks to [127.0.0.1:9568]

A request line over 16384 bytes disconnects its sender.
Exit status: 0 stopped cleanly, 1 run-time failure, 2 bad usage, mapping or address.
)";

struct Options {
  std::string command;  // empty: run the server
  std::string argument;
  std::string connect = "127.0.0.1:9568";
  std::string logPath, portFile;
  bool quiet = false;
  qu::UpdateServerSettings settings;
};

int Usage(const std::string& message) {
  std::fprintf(stderr, "quorlane-update-server: %s (see --help)\n", message.c_str());
  return 2;
}

bool ParseCount(const std::string& text, std::size_t& value) {
  std::size_t parsed = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (ec != std::errc() || end != text.data() + text.size() || parsed == 0 || parsed > 10'000'000) return false;
  value = parsed;
  return true;
}

int RunServer(const Options& options) {
  platform::RaiseOpenFileLimit();
  audit::AuditLog log;
  std::string error;
  if (!log.Open(options.logPath, !options.quiet, error)) {
    std::fprintf(stderr, "quorlane-update-server: %s\n", error.c_str());
    return 1;
  }
  asio::io_context io(1);
  qu::UpdateServer server(io, options.settings, log);
  if (!server.LoadMap(error)) {
    log.Line("cannot use the mapping file: " + error);
    log.Flush();
    return 2;
  }
  if (!server.Listen(error)) {
    log.Line(error);
    log.Flush();
    return 1;
  }

  // Signals are caught from here on.
  quorlane::service::ServerLoop loop(io, log);
  server.Start();
  const auto& settings = options.settings;
  log.Line("listening on " + quorlane::net::ListenAddress{settings.listen.host, server.Port()}.ToString() + ", " +
           (settings.mapPath.empty() ? std::string("no mapping file: every identifier gets an empty line")
                                     : "mapping " + settings.mapPath + " with " + std::to_string(server.MapSize()) +
                                           " entries") +
           ", at most " + std::to_string(settings.maxConnections) + " connections (" +
           std::to_string(settings.maxPerAddress) + " per address)");
  if (!options.portFile.empty() && !loop.WritePortFile(options.portFile, server.Port(), error)) {
    log.Line("cannot write the port file: " + error);
    log.Flush();
    return 1;
  }
  loop.OnHangUp([&] { server.Reload("SIGHUP"); });
  loop.Run([&] { server.Stop(); });
  log.Line("stopped");
  log.Flush();
  return 0;
}

int Admin(const Options& options) {
  std::string host, error;
  std::uint16_t port = 0;
  if (!net::SplitHostPort(options.connect, host, port)) return Usage("--connect expects ADDR:PORT");
  const std::string line =
      options.command == "reload" ? std::string(qu::kReloadLine) : "A1;" + options.argument + ";";
  qu::LineClient client;
  std::optional<std::string> reply;
  if (client.Connect(host, port, std::chrono::seconds(5), error) &&
      client.Send(line + "\r\n", std::chrono::seconds(10), error)) {
    reply = client.ReadLine(std::chrono::seconds(30), error);
  }
  if (!reply) {
    std::fprintf(stderr, "quorlane-update-server: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", reply->c_str());
  if (options.command == "reload") {
    // From another computer the line is an unknown request: an empty reply.
    if (reply->empty()) std::fprintf(stderr, "quorlane-update-server: reload is accepted only locally\n");
    return reply->rfind("reloaded", 0) == 0 || reply->rfind("reload:", 0) == 0 ? 0 : 1;
  }
  return 0;
}

int CheckMap(const std::string& path) {
  std::string text, error;
  if (!platform::ReadWholeFile(path, text, error, false)) {
    std::fprintf(stderr, "quorlane-update-server: %s\n", error.c_str());
    return 2;
  }
  const auto map = qu::UpdateMap::Parse(text, error);
  if (!map) {
    std::fprintf(stderr, "quorlane-update-server: %s: %s\n", path.c_str(), error.c_str());
    return 2;
  }
  std::printf("%s: %zu entries\n", path.c_str(), map->Size());
  return 0;
}

// QuorlaneUpdateServer: quorlane-update-server as LocalService, mapping file
// and log in ProgramData\Quorlane\UpdateServer, on every interface's port 9568.
quorlane::service::ServiceDefinition UpdateServerService() {
  quorlane::service::ServiceDefinition service;
  service.name = L"QuorlaneUpdateServer";
  service.displayName = L"Quorlane update server";
  service.description = L"Answers the applications' self-update look-ups on TCP port 9568.";
  service.account = L"NT AUTHORITY\\LocalService";
  service.dataFolder = "Quorlane\\UpdateServer";
  service.defaultFiles.push_back({"update-map.txt",
                                  "# Quorlane update server: one line per application, IDENTIFIER = ADDRESS.\r\n"
                                  "# See update-server\\README.md. After a change:  quorlane-update-server reload\r\n"
                                  "# SALES = https://updates.example.com/sales/setup.exe\r\n"});
  service.defaultOptions = [](const std::string& folder) {
    return std::vector<std::string>{"--listen", "0.0.0.0:9568",        "--map", folder + "update-map.txt",
                                    "--log",    folder + "update.log", "--quiet"};
  };
  return service;
}

int Main(const std::vector<std::string>& args) {
  try {
    Options options;
    auto& settings = options.settings;
    quorlane::service::ArgumentReader reader(args);
    while (reader.Next()) {
      const std::string& arg = reader.Current();
      std::string text;
      std::size_t count = 0;
      if (arg == "--help" || arg == "-h") {
        std::fputs(kHelp, stdout);
        return 0;
      } else if (arg == "--version") {
        std::puts("quorlane-update-server 1.0.0");
        return 0;
      } else if (arg == "--listen") {
        if (!reader.Value(text)) return Usage("--listen needs ADDR:PORT");
        const auto listen = net::ListenAddress::Parse(text);
        if (!listen) return Usage("--listen expects a numeric ADDR:PORT, not \"" + text + "\"");
        settings.listen = *listen;
      } else if (arg == "--map") {
        if (!reader.Value(settings.mapPath)) return Usage("--map needs a file");
      } else if (arg == "--log") {
        if (!reader.Value(options.logPath)) return Usage("--log needs a file");
      } else if (arg == "--quiet") {
        options.quiet = true;
      } else if (arg == "--port-file") {
        if (!reader.Value(options.portFile)) return Usage("--port-file needs a file");
      } else if (arg == "--connect") {
        if (!reader.Value(options.connect)) return Usage("--connect needs ADDR:PORT");
      } else if (arg == "--max-connections" || arg == "--max-per-address" || arg == "--idle-seconds" ||
                 arg == "--request-seconds") {
        if (!reader.Value(text) || !ParseCount(text, count)) return Usage(arg + " needs a positive number");
        if (arg == "--max-connections") settings.maxConnections = count;
        if (arg == "--max-per-address") settings.maxPerAddress = count;
        if (arg == "--idle-seconds") settings.idleLimit = std::chrono::seconds(count);
        if (arg == "--request-seconds") settings.requestLimit = std::chrono::seconds(count);
      } else if (options.command.empty() && (arg == "reload" || arg == "lookup" || arg == "check-map")) {
        options.command = arg;
        if (arg != "reload" && !reader.Value(options.argument)) return Usage(arg + " needs an argument");
      } else {
        return Usage("unknown argument \"" + arg + "\"");
      }
    }
    if (options.command == "check-map") return CheckMap(options.argument);
    if (!options.command.empty()) return Admin(options);
    return RunServer(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quorlane-update-server: %s\n", e.what());
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  return quorlane::service::RunServerProgram(argc, argv, UpdateServerService, Main);
}
