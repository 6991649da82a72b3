#include "library_state.h"

namespace quorlane {
namespace {
constinit const char kEmptyText[] = "";
}

LibraryState::~LibraryState() {
  static_cast<void>(session.release());
  static_cast<void>(converter.release());
  for (auto& retired : retiredSessions) static_cast<void>(retired.release());
}

LibraryState& Library() noexcept {
  static LibraryState state;
  return state;
}

void StartUp(HWND hostMainWindow) {
  LibraryState& library = Library();
  library.savedOwnerWindow = library.ownerWindow;
  library.ownerWindow = hostMainWindow;
  if (!library.session) library.session = std::make_unique<TxKey>(SessionSettings::FromIniBeside(library.module));
  if (!library.converter) library.converter = std::make_unique<TWinPerTurn>();
  ++library.startCount;
}

void ShutDown() {
  LibraryState& library = Library();
  if (--library.startCount > 0) return;
  library.converter.reset();
  if (library.sessionCalls > 0 && library.session) {
    library.retiredSessions.push_back(std::move(library.session));
  }
  library.session.reset();
  library.ownerWindow = library.savedOwnerWindow;
}

SessionCall::~SessionCall() {
  LibraryState& library = Library();
  if (--library.sessionCalls == 0) library.retiredSessions.clear();
}

const char* ReturnText(std::string text) noexcept {
  std::string& buffer = Library().resultBuffer;
  buffer = std::move(text);
  return buffer.empty() ? kEmptyText : buffer.c_str();
}

const char* ReturnEmptyText() noexcept {
  Library().resultBuffer.clear();
  return kEmptyText;
}

std::string CopyArgument(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace quorlane
