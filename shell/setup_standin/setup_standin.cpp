// Embedded in place of Microsoft's WebView2 online installer when a build is
// made without it: tells the user instead of installing anything.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ::MessageBoxW(nullptr,
                L"This build of Talvora carries no Microsoft Edge WebView2 installer.\r\n"
                L"Please install the Microsoft Edge WebView2 Runtime from Microsoft, then start the assistant again.",
                L"Microsoft Edge WebView2", MB_OK | MB_ICONINFORMATION);
  return 0;
}
