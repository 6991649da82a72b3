// Library-wide state of Quorlane.dll: the result buffer, the start count, the
// owner window and the two objects that SetInitial creates.
//
// Threading: none of this is locked. Every export runs on the thread that
// called SetInitial (the session's socket events arrive as messages to it).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "script/WinPerTurn.h"
#include "session/xKey.h"

namespace quorlane {

struct LibraryState {
  LibraryState() = default;
  LibraryState(const LibraryState&) = delete;
  LibraryState& operator=(const LibraryState&) = delete;
  // Unloading frees the result buffer but deliberately not the two objects:
  // their teardown closes sockets and windows, which must not run under the
  // loader lock. A host calls FreeInitial before it unloads the library.
  ~LibraryState();

  /// Text handed back by the latest text-returning export.
  std::string resultBuffer;
  std::unique_ptr<TxKey> session;
  std::unique_ptr<TWinPerTurn> converter;
  /// Start-up calls not yet balanced by shut-down calls; may go negative.
  std::int32_t startCount = 0;
  HWND ownerWindow = nullptr;
  /// The owner window as it was just before the latest SetInitial.
  HWND savedOwnerWindow = nullptr;
  /// Exports running a session operation right now (nested calls count too).
  int sessionCalls = 0;
  /// Sessions shut down while an operation of theirs was still running (a
  /// host handler called FreeInitial during a wait): freed when the last
  /// running export returns, never under the operation's feet.
  std::vector<std::unique_ptr<TxKey>> retiredSessions;
  /// The DLL's own module, remembered by DllMain.
  HMODULE module = nullptr;
};

[[nodiscard]] LibraryState& Library() noexcept;

/// Creates the library-wide objects on the first call and counts up.
void StartUp(HWND hostMainWindow);
/// Counts down; at zero (or below) frees both objects and restores the
/// owner window that the latest start-up replaced.
void ShutDown();

/// Held by every export while it uses the session: a shut-down meanwhile
/// retires the session instead of freeing it.
class SessionCall {
 public:
  SessionCall() noexcept { ++Library().sessionCalls; }
  ~SessionCall();
  SessionCall(const SessionCall&) = delete;
  SessionCall& operator=(const SessionCall&) = delete;
};

/// Stores a text result and returns the pointer an export hands back: the
/// buffer's characters, or a static empty string for the empty text.
[[nodiscard]] const char* ReturnText(std::string text) noexcept;
/// The failure result of a text-returning export.
[[nodiscard]] const char* ReturnEmptyText() noexcept;

/// Copies a text argument; a null pointer counts as the empty text.
[[nodiscard]] std::string CopyArgument(const char* text);

}  // namespace quorlane
