// The instance slot and the hand-off of a parameter string to the first
// instance. The slot is a 4-byte named mapping holding the first instance's
// application window; it is opened before the main routine runs and closed
// after it has returned (static initialisation and finalisation).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace talvora {

inline constexpr wchar_t kInstanceSlotName[] = L"{89846000-B237-4FF4-BDC9-5B39EB8E0A02}";

void OpenInstanceSlot() noexcept;
void CloseInstanceSlot() noexcept;

/// The slot's 4-byte form of a window handle and back. 64-bit Windows keeps
/// window handles 32-bit significant so that 32-bit and 64-bit processes can
/// share them: the low 32 bits are the whole handle and the full value is their
/// sign extension (HandleToLong / LongToHandle), so this is lossless in both.
[[nodiscard]] inline std::uint32_t WindowToSlotValue(HWND window) noexcept {
  return static_cast<std::uint32_t>(HandleToLong(window));
}
[[nodiscard]] inline HWND SlotValueToWindow(std::uint32_t value) noexcept {
  return static_cast<HWND>(LongToHandle(static_cast<LONG>(value)));
}

/// True when another instance holds the slot; that instance has then been
/// asked to restore itself and its last active pop-up brought forward.
/// False when this process is (or acts as) the first instance.
[[nodiscard]] bool ClaimInstanceSlot(HWND applicationWindow) noexcept;

/// Sends `text` by WM_COPYDATA to the top-level window titled `title`, waiting
/// while that window works on it.
void SendParameterToWindow(const std::wstring& title, const std::wstring& text) noexcept;

}  // namespace talvora
