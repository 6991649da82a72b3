// The Windows build of quorlane-server as a child process under Wine: started
// on a port of its choosing with a data folder (and a configuration) of the
// test's own, asked over loopback, and terminated hard at the end.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "raw_client.h"
#include "win32/unique_resource.h"

namespace servertest {

inline std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class WindowsServer {
 public:
  explicit WindowsServer(const std::wstring& folder) : folder_(folder) {}
  ~WindowsServer() { Kill(); }
  WindowsServer(const WindowsServer&) = delete;
  WindowsServer& operator=(const WindowsServer&) = delete;

  /// `settings`: lines of the server's [server] section (none: no configuration file).
  bool Start(const std::vector<std::string>& settings = {}) {
    const std::wstring portFile = folder_ + L"port.txt";
    ::DeleteFileW(portFile.c_str());
    ::DeleteFileW((folder_ + L"web-port.txt").c_str());
    webPort_ = 0;
    // The web console on a port of its own choosing (never the fixed 4080).
    std::wstring line = L"\"" + testsupport::ProgramFolder() + L"quorlane-server.exe\" --listen 127.0.0.1:0 --data \"" +
                        folder_ + L"data\" --port-file \"" + portFile + L"\" --web-listen 127.0.0.1:0 --web-port-file \"" +
                        folder_ + L"web-port.txt\"";
    if (!settings.empty()) {
      std::ofstream config(Narrow(folder_ + L"server.ini"), std::ios::binary);
      config << "[server]\r\n";
      for (const auto& setting : settings) config << setting << "\r\n";
      line += L" --config \"" + folder_ + L"server.ini\"";
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &info)) {
      return false;
    }
    process_.reset(info.hProcess);
    win32::UniqueHandle thread{info.hThread};
    for (int i = 0; i < 500; ++i) {
      std::ifstream in(Narrow(portFile));
      std::stringstream text;
      text << in.rdbuf();
      if (!text.str().empty() && text.str().back() == '\n') {
        port_ = static_cast<std::uint16_t>(std::stoi(text.str()));
        return true;
      }
      if (::WaitForSingleObject(process_.get(), 20) == WAIT_OBJECT_0) return false;
    }
    return false;
  }

  /// The web console's port; waits up to 5 s for it (0 when it never came).
  std::uint16_t WebPort() {
    for (int i = 0; webPort_ == 0 && i < 250; ++i) {
      std::ifstream in(Narrow(folder_ + L"web-port.txt"));
      std::stringstream text;
      text << in.rdbuf();
      if (!text.str().empty() && text.str().back() == '\n') {
        webPort_ = static_cast<std::uint16_t>(std::stoi(text.str()));
      } else {
        ::Sleep(20);
      }
    }
    return webPort_;
  }
  /// The login token the server wrote in its data folder.
  std::string WebToken() const {
    std::ifstream in(Narrow(folder_ + L"data\\web-login.token"), std::ios::binary);
    std::string token;
    std::getline(in, token);
    return token;
  }

  void Kill() {
    if (!process_) return;
    ::TerminateProcess(process_.get(), 9);
    ::WaitForSingleObject(process_.get(), 10000);
    process_.reset();
  }

  /// One request over a connection of its own: the reply body, or why there is none.
  std::string Ask(const std::string& body) {
    quorlane::server::RawClient client;
    std::string error;
    if (!client.Connect("127.0.0.1", port_, std::chrono::seconds(5), error)) return "(connect: " + error + ")";
    const auto reply = client.Request(body, std::chrono::seconds(20), error);
    return reply ? *reply : "(none: " + error + ")";
  }

 private:
  std::wstring folder_;
  win32::UniqueHandle process_;
  std::uint16_t port_ = 0;
  std::uint16_t webPort_ = 0;
};

/// A new folder of this test program's own under the temporary folder, ending in "\".
inline std::wstring FreshFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring folder =
      std::wstring(temp) + L"qlserver-" + name + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

}  // namespace servertest
