#include "xKey.h"

#include "localfiles/local_files_win.h"
#include "keyfile/local_text.h"
#include "keyfile/taxation_key.h"

#include <ws2tcpip.h>

#include <chrono>
#include <cstring>
#include <exception>

namespace quorlane {
namespace {

constexpr char kWindowClass[] = "QuorlaneSessionWindow";
constexpr UINT kLookupMessage = WM_APP + 1;
constexpr UINT kFirstSocketMessage = WM_APP + 0x100;
constexpr int kProbeLimitMs = 3000;
// 0.00017355 of a day: the connection and destruction waits.
constexpr auto kConnectLimit = std::chrono::microseconds(14994720);
constexpr int kConnectionAborted = 10053;  // WSAECONNABORTED
constexpr std::size_t kReadPiece = 64 * 1024;

int g_windowClassUsers = 0;

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

std::string ModulePath(HMODULE module) {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string ProfileText(const std::string& ini, const char* section, const char* key, const char* fallback) {
  std::string value(4096, '\0');
  const DWORD n = ::GetPrivateProfileStringA(section, key, fallback, value.data(), static_cast<DWORD>(value.size()),
                                             ini.c_str());
  value.resize(n);
  return value;
}

// The ANSI form of a text the trace carries in full-width brackets.
std::string AnsiText(const wchar_t* text) {
  const int n = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string ansi(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, -1, ansi.data(), n, nullptr, nullptr);
  ansi.resize(static_cast<std::size_t>(n - 1));
  return ansi;
}

std::string LocaleText(LCTYPE type, const char* fallback) {
  char buffer[16] = {};
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer) <= 1) return fallback;
  return buffer;
}

// The IPv4 address of a server text for the blocking probe; false when a
// dotted text is malformed or a host name does not resolve.
bool ResolveForProbe(const std::string& server, in_addr& address) {
  if (IsDottedAddressText(server)) {
    address.s_addr = ::inet_addr(server.c_str());
    return address.s_addr != INADDR_NONE || server == "255.255.255.255";
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(server.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  ::freeaddrinfo(found);
  return true;
}

}  // namespace

TxKey::WinsockUser::WinsockUser() {
  WSADATA data;
  started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

TxKey::WinsockUser::~WinsockUser() {
  if (started) ::WSACleanup();
}

SessionSettings SessionSettings::FromIniBeside(HMODULE module) {
  SessionSettings settings;
  const std::string folder = FolderOf(ModulePath(module));
  const std::string ini = folder + "Quorlane.ini";
  settings.dataDirectory = SettleDataDirectory(ProfileText(ini, "Quorlane", "DataDir", ""), folder);

  std::string section(32768, '\0');
  const DWORD n = ::GetPrivateProfileSectionA("Products", section.data(), static_cast<DWORD>(section.size()), ini.c_str());
  section.resize(n);
  settings.products = ParseProductsSection(section);

  // A default no INI line can hold tells a missing key from a present empty one.
  constexpr char kMissing[] = "\x01";
  if (const auto host = ProfileText(ini, "Session", "ServerHost", kMissing); host != kMissing) {
    settings.serverHost = host;
  }
  if (const auto port = ParsePort(ProfileText(ini, "Session", "Port", ""))) settings.port = *port;
  if (const auto net = ParseFlag(ProfileText(ini, "Session", "NetVersion", ""))) settings.netVersion = *net;
  settings.owner = ProfileText(ini, "Quorlane", "Owner", "");
  return settings;
}

TxKey::TxKey(const SessionSettings& settings)
    : ServerHost(settings.serverHost),
      Port(settings.port),
      NetVersion(settings.netVersion),
      m_dataDirectory(settings.dataDirectory),
      m_products(settings.products),
      m_owner(settings.owner) {
  m_debugLogEnabled = ::GetFileAttributesA((m_dataDirectory + "Quorlane.debug").c_str()) != INVALID_FILE_ATTRIBUTES;
  m_debugLogPath = DebugLogPathFor(m_dataDirectory, ModulePath(nullptr));

  const HINSTANCE instance = ThisModule();
  if (g_windowClassUsers++ == 0) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &TxKey::WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassExA(&windowClass);
  }
  // A message-only window: it needs no display and is never shown.
  m_window.reset(::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this));
}

TxKey::~TxKey() {
  CloseConnection();
  const auto start = std::chrono::steady_clock::now();
  while (Connected() && std::chrono::steady_clock::now() - start < kConnectLimit) ::Sleep(1);
  m_window.reset();
  if (--g_windowClassUsers == 0) ::UnregisterClassA(kWindowClass, ThisModule());
}

LRESULT CALLBACK TxKey::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  try {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    } else if (auto* self = reinterpret_cast<TxKey*>(::GetWindowLongPtrA(window, GWLP_USERDATA))) {
      if (message == self->m_socketMessage && self->m_socket && wParam == self->m_socket.get()) {
        self->OnSocketMessage(wParam, lParam);
        return 0;
      }
      if (message == kLookupMessage && self->m_lookup && reinterpret_cast<HANDLE>(wParam) == self->m_lookup.get()) {
        self->OnLookupMessage(lParam);
        return 0;
      }
    }
  } catch (...) {
    // A failure while handling a socket event must not unwind into user32.
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

bool TxKey::ConnectServer(const std::string& server, std::uint32_t port) {
  if (Open() && m_openServer == server && m_openPort == port) return true;
  if (!ProbeServer(server, port)) return false;
  CloseConnection();
  if (!m_window || port > 65535) return false;

  m_socket.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!m_socket) return false;
  m_socketMessage = kFirstSocketMessage + ((m_socketMessage + 1 - kFirstSocketMessage) & 0xFF);
  if (::WSAAsyncSelect(m_socket.get(), m_window.get(), m_socketMessage, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0) {
    m_socket.reset();
    return false;
  }
  m_openServer = server;
  m_openPort = port;
  m_connectionLost = false;
  if (IsDottedAddressText(server)) {
    StartConnect(::inet_addr(server.c_str()));
  } else {
    m_state = State::Resolving;
    m_lookupBuffer = std::make_unique<char[]>(MAXGETHOSTSTRUCT);
    m_lookup.reset(::WSAAsyncGetHostByName(m_window.get(), kLookupMessage, server.c_str(), m_lookupBuffer.get(),
                                           MAXGETHOSTSTRUCT));
    if (!m_lookup) FailConnection(::WSAGetLastError());
  }
  return true;
}

void TxKey::StartConnect(std::uint32_t address) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = ::htons(static_cast<u_short>(m_openPort));
  target.sin_addr.s_addr = address;
  m_state = State::Connecting;
  if (::connect(m_socket.get(), reinterpret_cast<const sockaddr*>(&target), sizeof(target)) != 0) {
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) FailConnection(error);
  }
}

void TxKey::OnLookupMessage(LPARAM status) {
  static_cast<void>(m_lookup.release());  // completed: nothing left to cancel
  if (const int error = WSAGETASYNCERROR(status); error != 0) {
    FailConnection(error);
    return;
  }
  const auto* host = reinterpret_cast<const hostent*>(m_lookupBuffer.get());
  if (host->h_addrtype != AF_INET || !host->h_addr_list || !host->h_addr_list[0]) {
    FailConnection(WSAHOST_NOT_FOUND);
    return;
  }
  std::uint32_t address = 0;
  std::memcpy(&address, host->h_addr_list[0], sizeof(address));
  StartConnect(address);
}

void TxKey::OnSocketMessage(WPARAM /*socket*/, LPARAM event) {
  const int error = WSAGETSELECTERROR(event);
  switch (WSAGETSELECTEVENT(event)) {
    case FD_CONNECT:
      if (error != 0) {
        FailConnection(error);
      } else {
        m_state = State::Connected;
        FlushPendingSend();
      }
      break;
    case FD_READ:
      if (error != 0) {
        FailConnection(error);
      } else {
        ClientSocketRead();
      }
      break;
    case FD_WRITE:
      if (error == 0) FlushPendingSend();
      break;
    case FD_CLOSE:
      // Whatever the server sent before closing is still to be read.
      if (error == 0) ClientSocketRead();
      if (error != 0) {
        FailConnection(error);
      } else if (m_socket) {
        CloseConnection();
        m_connectionLost = true;
      }
      break;
    default:
      break;
  }
}

void TxKey::FailConnection(int code) {
  int pending = code;
  ClientSocketError(pending);
  // Any other error ends the connection too: the operation in progress ends
  // with its failure result, and the next connecting operation opens anew.
  if (m_state != State::Closed) CloseConnection();
  m_connectionLost = true;
}

void TxKey::CloseConnection() {
  if (m_lookup) {
    m_lookup.reset();
    // A cancelled lookup may still be writing its answer: its buffer is left
    // to it (one small block, only when a lookup is abandoned half-way).
    static_cast<void>(m_lookupBuffer.release());
  }
  m_socket.reset();
  m_state = State::Closed;
  m_pendingSend.clear();
  m_reply.ConnectionClosed();
}

bool TxKey::ProbeServer(const std::string& server, std::uint32_t port) {
  if (port > 65535) return false;
  in_addr address{};
  if (!ResolveForProbe(server, address)) return false;
  win32::UniqueSocket probe(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!probe) return false;
  u_long nonBlocking = 1;
  if (::ioctlsocket(probe.get(), FIONBIO, &nonBlocking) != 0) return false;
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = ::htons(static_cast<u_short>(port));
  target.sin_addr = address;
  if (::connect(probe.get(), reinterpret_cast<const sockaddr*>(&target), sizeof(target)) == 0) return true;
  if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(probe.get(), &writable);
  FD_SET(probe.get(), &failed);
  timeval limit{kProbeLimitMs / 1000, (kProbeLimitMs % 1000) * 1000};
  if (::select(0, nullptr, &writable, &failed, &limit) <= 0) return false;
  if (FD_ISSET(probe.get(), &failed)) return false;
  int error = 0;
  int size = sizeof(error);
  if (::getsockopt(probe.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) return false;
  return error == 0 && FD_ISSET(probe.get(), &writable);
}

void TxKey::PumpMessages() {
  MSG message;
  // Look first, then take the message with the functions of its window's
  // character set: a message removed with PeekMessageA is already converted
  // to ANSI, which loses typed characters meant for a Unicode window (every
  // .NET window) that the host's own loop would have delivered intact.
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    const bool unicode = message.hwnd != nullptr && ::IsWindowUnicode(message.hwnd);
    // Take the message looked at: the first one that matches its window and
    // id is that one, even if another thread posts in between.
    const HWND window = message.hwnd;
    const UINT id = message.message;
    const BOOL taken = unicode ? ::PeekMessageW(&message, window, id, id, PM_REMOVE)
                               : ::PeekMessageA(&message, window, id, id, PM_REMOVE);
    if (!taken) break;
    if (message.message == WM_QUIT) {
      // Not ours to take: leave it for the host's own loop.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    ::TranslateMessage(&message);
    if (unicode) {
      ::DispatchMessageW(&message);
    } else {
      ::DispatchMessageA(&message);
    }
  }
}

void TxKey::WaitConnected() {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    if (std::chrono::steady_clock::now() - start >= kConnectLimit) break;
    PumpMessages();
    if (Connected()) break;
    // A failed open (refused, lookup failed) cannot become connected.
    if (!Open()) break;
  }
}

void TxKey::FlushPendingSend() {
  while (!m_pendingSend.empty() && m_state == State::Connected) {
    const int sent = ::send(m_socket.get(), m_pendingSend.data(), static_cast<int>(m_pendingSend.size()), 0);
    if (sent == SOCKET_ERROR) {
      const int error = ::WSAGetLastError();
      if (error != WSAEWOULDBLOCK) FailConnection(error);
      return;
    }
    m_pendingSend.erase(0, static_cast<std::size_t>(sent));
  }
}

std::string TxKey::SendAndWait(const std::string& body, const std::string& tag, int limitSeconds) {
  if (!m_window || IsBlankText(ServerHost)) return {};
  if (!Open()) return {};
  // Bytes of an earlier, late reply that the host has not pumped yet are
  // read now, so that the reset below drops them instead of this request
  // taking them for its own reply.
  if (Connected()) ClientSocketRead();
  if (!Open()) return {};
  m_reply.ResetForSend();
  m_connectionLost = false;
  if (Connected()) {
    // A connection still opening sends nothing; the wait then runs out.
    m_pendingSend = FrameRequest(body);
    FlushPendingSend();
  }
  WaitForReply(limitSeconds);
  return m_reply.TakePayload(tag);
}

void TxKey::WaitForReply(int limitSeconds) {
  const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(limitSeconds) * 1000u;
  while (static_cast<std::int32_t>(::GetTickCount() - deadline) <= 0) {
    ::Sleep(100);
    PumpMessages();
    if (m_reply.ReplyComplete()) break;
    if (m_connectionLost) break;
  }
}

void TxKey::ClientSocketRead() {
  if (!m_socket) return;
  std::string chunk;
  char piece[kReadPiece];
  while (chunk.size() <= ReplyAssembler::kMaxReplyBytes) {
    const int n = ::recv(m_socket.get(), piece, sizeof piece, 0);
    if (n > 0) {
      chunk.append(piece, static_cast<std::size_t>(n));
      continue;
    }
    if (n == SOCKET_ERROR) {
      const int error = ::WSAGetLastError();
      if (error != WSAEWOULDBLOCK) {
        if (!chunk.empty()) break;  // hand over what came before the error
        FailConnection(error);
        return;
      }
    }
    break;
  }
  if (chunk.empty()) return;
  static const std::string readBegin = AnsiText(L"ClientSocketRead-\u3010BEGIN\u3011");
  WriteDebugInfo(readBegin + ", Receive:" + chunk);
  const auto result = m_reply.ClientSocketRead(chunk);
  WriteDebugInfo("ClientSocketRead, FReceivedData:" + m_reply.ReceivedData());
  if (result == ReplyAssembler::ChunkResult::Overflow) {
    CloseConnection();
    m_connectionLost = true;
  }
}

void TxKey::ClientSocketError(int& code) {
  if (code == kConnectionAborted) {
    CloseConnection();
    code = 0;
  }
}

TxKey::UserAndComputer TxKey::GetUserAndComputer() const {
  UserAndComputer who{"none", "none"};
  char buffer[255];
  DWORD size = sizeof buffer;
  if (::GetUserNameA(buffer, &size)) who.userName.assign(buffer, ::strnlen(buffer, sizeof buffer));
  size = sizeof buffer;
  if (::GetComputerNameA(buffer, &size)) who.computerName.assign(buffer, ::strnlen(buffer, sizeof buffer));
  return who;
}

void TxKey::WriteDebugInfo(const std::string& text) const {
  if (!m_debugLogEnabled) return;
  try {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    const std::string line = FormatTraceLine({now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond},
                                             LocaleText(LOCALE_SDATE, "/"), LocaleText(LOCALE_STIME, ":"), text);
    win32::UniqueFile file(::CreateFileA(m_debugLogPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  } catch (...) {
    // The trace never affects an operation.
  }
}

InstallationMode TxKey::ResolveInstallationMode(const std::string& productCode) const {
  const ProductEntry* entry = FindProduct(m_products, productCode);
  return entry ? entry->mode : InstallationMode::Undetermined;
}

std::string TxKey::LookupServerHost(const std::string& productCode) const {
  const ProductEntry* entry = FindProduct(m_products, productCode);
  return entry && entry->mode == InstallationMode::Networked ? entry->host : std::string();
}

bool TxKey::OpeningSequence(const std::string& server) {
  if (!ConnectServer(server, Port)) return false;
  WaitConnected();
  return Connected();
}

bool TxKey::LockRequest(const std::string& tag, const std::string& lockKey) {
  const UserAndComputer who = GetUserAndComputer();
  const std::string payload = SendAndWait(RequestBody(tag, {lockKey, who.userName, who.computerName}), tag, 12);
  LockHolder holder{LockedDBUserName, LockedDBComputerName, LockedDBStartTime};
  const bool yes = EvaluateLockPayload(payload, holder);
  LockedDBUserName = std::move(holder.userName);
  LockedDBComputerName = std::move(holder.computerName);
  LockedDBStartTime = std::move(holder.startTime);
  return yes;
}

bool TxKey::SetLockDB(const std::string& lockKey, const std::string& productCode) {
  LockedDBUserName.clear();
  LockedDBComputerName.clear();
  LockedDBStartTime.clear();
  switch (ResolveInstallationMode(productCode)) {
    case InstallationMode::Networked: NetVersion = true; break;
    case InstallationMode::Standalone: NetVersion = false; break;
    case InstallationMode::Undetermined: return false;
  }
  if (!NetVersion) return true;
  if (Receiving()) return false;
  const std::string host = LookupServerHost(productCode);
  if (host.empty()) return false;
  ServerHost = host;
  if (!OpeningSequence(ServerHost)) return false;
  return LockRequest("[LOCKDB]", lockKey);
}

bool TxKey::SetUnLockDB(const std::string& lockKey, bool forced) {
  if (!NetVersion) return true;
  if (Receiving()) return false;
  return LockRequest(forced ? "[FORCEUNLOCKDB]" : "[UNLOCKDB]", lockKey);
}

bool TxKey::CheckDBLocked(const std::string& lockKey) {
  LockedDBUserName.clear();
  LockedDBComputerName.clear();
  LockedDBStartTime.clear();
  if (!NetVersion || Receiving()) return false;
  return LockRequest("[CHECKDBLOCK]", lockKey);
}

namespace {

// The trace's full-width brackets in the ANSI code page, converted once (the
// code page does not change while the DLL is loaded).
struct FileTraceTexts {
  std::string deleteBegin = AnsiText(L"DoDeleteFile-\u3010BEGIN\u3011");
  std::string deleteEnd = AnsiText(L"DoDeleteFile-\u3010END\u3011");
  std::string copyBegin = AnsiText(L"DoCopyFile-\u3010BEGIN\u3011");
  std::string copyEnd = AnsiText(L"DoCopyFile-\u3010END\u3011");
};

const FileTraceTexts& Traced() {
  static const FileTraceTexts texts;
  return texts;
}

}  // namespace

std::string TxKey::DoDeleteFile(const std::string& fileName) {
  WriteDebugInfo(Traced().deleteBegin);
  std::string result;
  if (NetVersion) {
    if (Receiving()) return {};
    result = SendAndWait(RequestBody("[DELETEFILE]", {fileName}), "[DELETEFILE]", 30);
  } else {
    result = DeleteLocalFile(fileName);
  }
  WriteDebugInfo("DeleteFileName:" + fileName);
  WriteDebugInfo("xKey.DoDeleteFile:" + result);
  WriteDebugInfo(Traced().deleteEnd);
  return result;
}

std::string TxKey::DoCopyFile(const std::string& source, const std::string& target) {
  WriteDebugInfo(Traced().copyBegin);
  std::string result;
  if (NetVersion) {
    if (Receiving()) return {};
    result = SendAndWait(RequestBody("[COPYFILE]", {source, target}), "[COPYFILE]", 30);
  } else {
    result = CopyLocalFile(source, target);
  }
  WriteDebugInfo("SourceFileName:" + source + ", TargetFileName:" + target);
  WriteDebugInfo("xKey.DoCopyFile:" + result);
  WriteDebugInfo(Traced().copyEnd);
  return result;
}

std::string TxKey::DeleteLocalFile(const std::string& fileName) {
  return localfiles::DeleteLocalFile(localfiles::WideFromAnsi(fileName));
}

std::string TxKey::CopyLocalFile(const std::string& source, const std::string& target) {
  if (localfiles::CopyFileContents(localfiles::WideFromAnsi(source), localfiles::WideFromAnsi(target))) return "Y;";
  return "N;" + std::to_string(::GetLastError());
}

bool TxKey::ServiceRequest(const std::string& tag, const std::string& host, const std::string& service) {
  if (Receiving()) return false;
  if (!OpeningSequence(host)) return false;
  return SendAndWait(RequestBody(tag, {service}), tag, 12) == "Y";
}

std::string TxKey::GetFileSizeInfo(const std::string& first, const std::string& second) {
  if (Receiving()) return {};
  return SendAndWait(RequestBody("[FILESIZEINFO]", {first, second}), "[FILESIZEINFO]", 20);
}

std::string TxKey::GetVATList() {
  if (NetVersion) {
    if (Receiving()) return {};
    return SendAndWait("[GetVATList]", "[GetVATList]", 12);
  }
  std::string bytes;
  if (!localfiles::ReadWholeFile(localfiles::WideFromAnsi(m_dataDirectory + "VATList.txt"), bytes)) return {};
  return VatListFileText(bytes);
}

void TxKey::SaveVATList(const std::string& list) {
  if (NetVersion) {
    if (Receiving()) return;
    static_cast<void>(SendAndWait("[SaveVATList]" + list + ";", "[SaveVATList]", 20));
    return;
  }
  static_cast<void>(
      localfiles::ReplaceFileContents(localfiles::WideFromAnsi(m_dataDirectory + "VATList.txt"), VatListFileText(list)));
}

std::string TxKey::GetTaxationAPIKey() {
  if (NetVersion) {
    if (Receiving()) return {};
    return SendAndWait("[GETTAXATIONKEY]", "[GETTAXATIONKEY]", 12);
  }
  // An empty owner never matches a file whose second line is "==key".
  if (m_owner.empty()) return {};
  std::string bytes;
  if (!localfiles::ReadWholeFile(localfiles::WideFromAnsi(m_dataDirectory + "Taxation.txt"), bytes)) return {};
  return taxkey::KeyFromKeyFile(bytes, m_owner);
}

}  // namespace quorlane
