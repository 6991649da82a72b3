// The instance slot and the hand-off of a parameter string to the first
// instance. The slot is a 4-byte named mapping holding the first instance's
// application window; it is opened before the main routine runs and closed
// after it has returned (static initialisation and finalisation).
#pragma once

#include <windows.h>

#include <string>

namespace talvora {

inline constexpr wchar_t kInstanceSlotName[] = L"{89846000-B237-4FF4-BDC9-5B39EB8E0A02}";

void OpenInstanceSlot() noexcept;
void CloseInstanceSlot() noexcept;

/// True when another instance holds the slot; that instance has then been
/// asked to restore itself and its last active pop-up brought forward.
/// False when this process is (or acts as) the first instance.
[[nodiscard]] bool ClaimInstanceSlot(HWND applicationWindow) noexcept;

/// Sends `text` by WM_COPYDATA to the top-level window titled `title`, waiting
/// while that window works on it.
void SendParameterToWindow(const std::wstring& title, const std::wstring& text) noexcept;

}  // namespace talvora
