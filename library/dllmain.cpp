#include <windows.h>

#include "library_state.h"

// Only remembers the module: anything more (sockets, windows, files) would run
// under the loader lock. The library-wide objects are made by SetInitial.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    quorlane::Library().module = instance;
    ::DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}
