// The toolkit's Windows widget set with real windows, where a creation fails
// half-way: a hook subclasses the new window and answers WM_CREATE with -1,
// so the window is destroyed (WM_NCDESTROY) before CreateWindowExA returns.
// This program's allocations are watched meanwhile: a block freed twice, or
// read after it was freed, shows (freed blocks are zeroed and kept aside
// until the end of the watch), and so does a block that is never freed.
#include <windows.h>
#include <malloc.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "framework/Classes.h"

namespace {

// A fixed table: the watch itself must not allocate.
struct HeapWatch {
  static constexpr std::size_t kSlots = 1 << 14;
  void* live[kSlots] = {};
  void* freed[kSlots] = {};
  std::size_t liveCount = 0, freedCount = 0;
  int doubleFrees = 0;
  bool watching = false;
  CRITICAL_SECTION lock;
  HeapWatch() { InitializeCriticalSection(&lock); }
};
HeapWatch& Watch() {
  static HeapWatch watch;
  return watch;
}

void* Allocate(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  HeapWatch& watch = Watch();
  if (watch.watching) {
    EnterCriticalSection(&watch.lock);
    for (auto& slot : watch.live) {
      if (slot == nullptr) {
        slot = block;
        ++watch.liveCount;
        break;
      }
    }
    LeaveCriticalSection(&watch.lock);
  }
  return block;
}

void Release(void* block) noexcept {
  if (block == nullptr) return;
  HeapWatch& watch = Watch();
  if (!watch.watching) return std::free(block);
  EnterCriticalSection(&watch.lock);
  bool known = false;
  for (auto& slot : watch.live) {
    if (slot == block) {
      slot = nullptr;
      --watch.liveCount;
      known = true;
      break;
    }
  }
  bool again = false;
  for (std::size_t i = 0; i < watch.freedCount; ++i) again |= watch.freed[i] == block;
  if (again) {
    ++watch.doubleFrees;
  } else if (known && watch.freedCount < HeapWatch::kSlots) {
    std::memset(block, 0, _msize(block));
    watch.freed[watch.freedCount++] = block;
  } else {
    std::free(block);
  }
  LeaveCriticalSection(&watch.lock);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }

namespace quorlane {
namespace {

WNDPROC gOriginal = nullptr;
int gRefusals = 0;

LRESULT CALLBACK RefuseCreation(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    ++gRefusals;
    return -1;
  }
  return CallWindowProcA(gOriginal, window, message, wParam, lParam);
}

// Subclasses the next child window of our own class the moment it exists.
LRESULT CALLBACK SubclassOnCreation(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    const auto* create = reinterpret_cast<CBT_CREATEWNDA*>(lParam);
    char className[64] = {};
    GetClassNameA(reinterpret_cast<HWND>(wParam), className, sizeof className);
    if ((create->lpcs->style & WS_CHILD) && std::strcmp(className, "QuorlaneContainer") == 0) {
      gOriginal = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrA(reinterpret_cast<HWND>(wParam), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RefuseCreation)));
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(WidgetSetWindows, ACreationRefusedAfterNcCreateLeavesNoWindowNoStaleHandleAndNoLeak) {
  TForm form(nullptr);
  form.HandleNeeded();
  HWND formWindow = reinterpret_cast<HWND>(form.Handle());
  ASSERT_NE(formWindow, nullptr);

  HHOOK hook = SetWindowsHookExA(WH_CBT, &SubclassOnCreation, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  HeapWatch& watch = Watch();
  {
    TPanel panel(nullptr);
    panel.SetVisible(false);  // so that its window is made below, not by SetParent
    panel.SetParent(&form);
    watch.watching = true;
    const std::size_t before = watch.liveCount;
    EXPECT_THROW(panel.HandleNeeded(), Exception);
    EXPECT_EQ(gRefusals, 1);
    EXPECT_FALSE(panel.HandleAllocated());
    EXPECT_EQ(watch.doubleFrees, 0) << "the binding was freed twice";
    EXPECT_EQ(watch.liveCount, before) << "a block of the failed creation was never freed";
    watch.watching = false;
    UnhookWindowsHookEx(hook);
    // With the hook gone the same control gets its window.
    panel.HandleNeeded();
    EXPECT_TRUE(panel.HandleAllocated());
    EXPECT_EQ(GetParent(reinterpret_cast<HWND>(panel.Handle())), formWindow);
  }
  EXPECT_EQ(GetWindow(formWindow, GW_CHILD), nullptr) << "the panel's window went with the panel";
  for (std::size_t i = 0; i < watch.freedCount; ++i) std::free(watch.freed[i]);
  watch.freedCount = 0;
}

}  // namespace
}  // namespace quorlane
