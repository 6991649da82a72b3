// TxKey: the session object through which every site-server operation runs.
// The library creates one (SetInitial) and frees it (the balancing
// FreeInitial); hosts never see it.
//
// Threading: everything runs on the thread that created the object. The
// service connection is an asynchronous socket whose events arrive as
// messages to a message-only window of the session's own, on that thread;
// waits pump the thread's queue, so host handlers may call back in.
#pragma once

#include "win32/unique_resource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lock_reply.h"
#include "reply_frame.h"
#include "session_settings.h"

namespace quorlane {

/// What the session reads when it is created (Quorlane.ini beside the DLL).
struct SessionSettings {
  std::string dataDirectory;  // ends in "\"
  std::vector<ProductEntry> products;
  std::string serverHost = "127.0.0.1";
  std::uint32_t port = 4000;
  bool netVersion = false;
  std::string owner;  // [Quorlane] Owner=: whose "Taxation.txt" this installation accepts

  /// Reads Quorlane.ini in the folder of `module` (the DLL; null: the program).
  [[nodiscard]] static SessionSettings FromIniBeside(HMODULE module);
};

class TxKey {
 public:
  /// The library hands down what it knows: the settings of its Quorlane.ini
  /// (SessionSettings::FromIniBeside the DLL's own module).
  explicit TxKey(const SessionSettings& settings);
  TxKey(const TxKey&) = delete;
  TxKey& operator=(const TxKey&) = delete;
  ~TxKey();

  // Session state used by the operations.
  std::string ServerHost = "127.0.0.1";
  std::uint32_t Port = 4000;
  bool NetVersion = false;
  std::string LockedDBUserName;
  std::string LockedDBComputerName;
  std::string LockedDBStartTime;

  [[nodiscard]] bool Receiving() const { return m_reply.Receiving(); }
  [[nodiscard]] const std::string& ReceivedData() const { return m_reply.ReceivedData(); }
  [[nodiscard]] const std::string& DataDirectory() const { return m_dataDirectory; }
  [[nodiscard]] bool DebugLogEnabled() const { return m_debugLogEnabled; }
  [[nodiscard]] const std::string& DebugLogPath() const { return m_debugLogPath; }

  // Transport.
  [[nodiscard]] bool ConnectServer(const std::string& server, std::uint32_t port);
  [[nodiscard]] bool ProbeServer(const std::string& server, std::uint32_t port);
  void WaitConnected();
  [[nodiscard]] bool Connected() const { return m_state == State::Connected; }
  [[nodiscard]] bool Open() const { return m_state != State::Closed; }
  [[nodiscard]] std::string SendAndWait(const std::string& body, const std::string& tag, int limitSeconds);
  void WaitForReply(int limitSeconds);
  void ClientSocketRead();
  void ClientSocketError(int& code);

  struct UserAndComputer {
    std::string userName;
    std::string computerName;
  };
  [[nodiscard]] UserAndComputer GetUserAndComputer() const;
  void WriteDebugInfo(const std::string& text) const;
  [[nodiscard]] static std::vector<std::string> SplitFields(const std::string& text, const std::string& separator) {
    return quorlane::SplitFields(text, separator);
  }

  // Database locks.
  [[nodiscard]] bool SetLockDB(const std::string& lockKey, const std::string& productCode);
  [[nodiscard]] bool SetUnLockDB(const std::string& lockKey, bool forced);
  [[nodiscard]] bool CheckDBLocked(const std::string& lockKey);
  [[nodiscard]] InstallationMode ResolveInstallationMode(const std::string& productCode) const;
  [[nodiscard]] std::string LookupServerHost(const std::string& productCode) const;

  // Files and services on the site server (or, for files, on this machine).
  [[nodiscard]] std::string DoDeleteFile(const std::string& fileName);
  [[nodiscard]] std::string DoCopyFile(const std::string& source, const std::string& target);
  [[nodiscard]] static std::string DeleteLocalFile(const std::string& fileName);
  [[nodiscard]] static std::string CopyLocalFile(const std::string& source, const std::string& target);
  /// "[STARTTHESERVICE]", "[STOPTHESERVICE]" or "[THESERVICESTARTED]" to `host`.
  [[nodiscard]] bool ServiceRequest(const std::string& tag, const std::string& host, const std::string& service);
  [[nodiscard]] std::string GetFileSizeInfo(const std::string& first, const std::string& second);

  // The VAT list and the taxation key (site server, or the data directory).
  [[nodiscard]] std::string GetVATList();
  void SaveVATList(const std::string& list);
  [[nodiscard]] std::string GetTaxationAPIKey();

 private:
  enum class State { Closed, Resolving, Connecting, Connected };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  void OnSocketMessage(WPARAM socket, LPARAM event);
  void OnLookupMessage(LPARAM status);
  void StartConnect(std::uint32_t address);
  void CloseConnection();
  void FailConnection(int code);
  void FlushPendingSend();
  [[nodiscard]] bool OpeningSequence(const std::string& server);
  [[nodiscard]] bool LockRequest(const std::string& tag, const std::string& lockKey);
  void PumpMessages();

  struct WinsockUser {
    WinsockUser();
    ~WinsockUser();
    WinsockUser(const WinsockUser&) = delete;
    WinsockUser& operator=(const WinsockUser&) = delete;
    bool started = false;
  };

  WinsockUser m_winsock;
  std::string m_dataDirectory;
  bool m_debugLogEnabled = false;
  std::string m_debugLogPath;
  std::vector<ProductEntry> m_products;
  std::string m_owner;

  win32::UniqueWindow m_window;
  win32::UniqueSocket m_socket;
  win32::UniqueAsyncRequest m_lookup;  // the pending asynchronous host-name lookup
  std::unique_ptr<char[]> m_lookupBuffer;  // written by Winsock until the lookup completes
  State m_state = State::Closed;
  std::string m_openServer;
  std::uint32_t m_openPort = 0;
  UINT m_socketMessage = 0;  // changes with every connection, so late events of a closed one are ignored
  std::string m_pendingSend;
  // Set when a socket error or a close ended the connection during a wait,
  // so the operation in progress ends at once with its failure result.
  bool m_connectionLost = false;
  ReplyAssembler m_reply;
};

}  // namespace quorlane
