// The yardstick of the hand-off benchmark: a GUI program that creates one
// window, lets the system show it, and ends.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = ::DefWindowProcW;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"TrivialGui";
  ::RegisterClassW(&windowClass);
  HWND window = ::CreateWindowExW(0, L"TrivialGui", L"trivial", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, instance, nullptr);
  ::ShowWindow(window, SW_SHOW);
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  ::DestroyWindow(window);
  return 0;
}
