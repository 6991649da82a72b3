#include "service_definitions.h"

namespace quorlane::service {

ServiceDefinition SiteServerService() {
  ServiceDefinition d;
  d.name = L"QuorlaneServer";
  d.displayName = L"Quorlane site server";
  d.description = L"Database locks, files, services, VAT list and taxation key for the workstations of this site.";
  d.dataFolder = "Quorlane\\Server";
  // Safe by default, as the program itself: loopback only, no file roots,
  // no services, until the administrator edits this file.
  d.defaultFiles = {{"quorlane-server.ini",
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
                     "# allow_service = Spooler\r\n"}};
  d.defaultOptions = [](const std::string& folder) {
    return std::vector<std::string>{"--config", folder + "quorlane-server.ini"};
  };
  return d;
}

ServiceDefinition UpdateServerService() {
  ServiceDefinition d;
  d.name = L"QuorlaneUpdateServer";
  d.displayName = L"Quorlane update server";
  d.description = L"Answers the applications' self-update look-ups on TCP port 9568.";
  d.account = L"NT AUTHORITY\\LocalService";
  d.dataFolder = "Quorlane\\UpdateServer";
  d.defaultFiles = {{"update-map.txt",
                     "# Quorlane update server: one line per application, IDENTIFIER = ADDRESS.\r\n"
                     "# See update-server\\README.md. After a change:  quorlane-update-server reload\r\n"
                     "# SALES = https://updates.example.com/sales/setup.exe\r\n"}};
  d.defaultOptions = [](const std::string& folder) {
    return std::vector<std::string>{"--listen", "0.0.0.0:9568",        "--map", folder + "update-map.txt",
                                    "--log",    folder + "update.log", "--quiet"};
  };
  return d;
}

}  // namespace quorlane::service
