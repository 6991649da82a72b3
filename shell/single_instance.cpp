#include "single_instance.h"

#include <cstdint>
#include <vector>

#include "win32/unique_resource.h"

namespace talvora {

namespace {

// Process-wide by nature: the slot lives from before the main routine to
// after it.
win32::UniqueHandle gSlotMapping;
win32::UniqueMapView gSlotView;

// The slot is 4 bytes wide in every build: never read or write it as an HWND,
// which is 8 bytes in a 64-bit build.
volatile std::uint32_t* SlotContent() noexcept { return static_cast<volatile std::uint32_t*>(gSlotView.get()); }

struct InstanceSlotLifetime {
  InstanceSlotLifetime() noexcept { OpenInstanceSlot(); }
  ~InstanceSlotLifetime() { CloseInstanceSlot(); }
};
// Constructed during static initialisation, before wWinMain; destroyed after it.
const InstanceSlotLifetime gInstanceSlotLifetime;

}  // namespace

void OpenInstanceSlot() noexcept {
  bool created = false;
  gSlotMapping.reset(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kInstanceSlotName));
  if (!gSlotMapping) {
    gSlotMapping.reset(
        ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(DWORD), kInstanceSlotName));
    created = true;
  }
  if (!gSlotMapping) return;
  gSlotView.reset(::MapViewOfFile(gSlotMapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
  if (!gSlotView) {
    gSlotMapping.reset();
    return;
  }
  if (created) *SlotContent() = 0;
}

void CloseInstanceSlot() noexcept {
  // The content stays: the slot disappears with its last open handle.
  gSlotView.reset();
  gSlotMapping.reset();
}

bool ClaimInstanceSlot(HWND applicationWindow) noexcept {
  volatile std::uint32_t* slot = SlotContent();
  if (slot == nullptr) return false;
  const HWND holder = SlotValueToWindow(*slot);
  if (holder == nullptr) {
    *slot = WindowToSlotValue(applicationWindow);
    return false;
  }
  // Like the hand-off itself: a hung first instance must not hang this start.
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(holder, WM_SYSCOMMAND, SC_RESTORE, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, INFINITE, &ignored);
  HWND popup = ::GetLastActivePopup(holder);
  // Windows keeps the last active pop-up on the root owner; where it is kept
  // on the direct owner only, a box owned by the main window is one step further.
  for (int step = 0; step < 4 && popup != nullptr; ++step) {
    const HWND next = ::GetLastActivePopup(popup);
    if (next == nullptr || next == popup) break;
    popup = next;
  }
  if (popup != nullptr && popup != holder && ::IsWindowVisible(popup) && ::IsWindowEnabled(popup)) {
    ::SetForegroundWindow(popup);
  }
  return true;
}

void SendParameterToWindow(const std::wstring& title, const std::wstring& text) noexcept {
  try {
    std::vector<wchar_t> block(text.begin(), text.end());
    block.push_back(L'\0');
    const HWND target = ::FindWindowW(nullptr, title.c_str());
    if (target == nullptr) return;

    // Without this the first instance may not take the foreground when it
    // handles the hand-off: the foreground right belongs to this process.
    DWORD targetProcess = 0;
    ::GetWindowThreadProcessId(target, &targetProcess);
    if (targetProcess != 0) ::AllowSetForegroundWindow(targetProcess);

    COPYDATASTRUCT data{};
    data.dwData = 0;
    data.cbData = static_cast<DWORD>(block.size() * sizeof(wchar_t));
    data.lpData = block.data();
    // A hung first instance must not hang every later start; a responsive
    // one is waited for without a time limit.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG | SMTO_NORMAL,
                          INFINITE, &ignored);
  } catch (...) {
    // Out of memory for the copy: the parameter is dropped like one without a window.
  }
}

}  // namespace talvora
