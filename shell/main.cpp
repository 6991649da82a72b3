// Talvora: shows the vendor's assistant page for one customer and product.
// One instance per logon session; a second start hands its parameter string
// to the first and ends.
#include <windows.h>
#include <objbase.h>

#include "application.h"
#include "parameter_string.h"
#include "single_instance.h"
#include "uTalvora.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  try {
    // WebView2 objects are single-threaded and need an STA.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    win32::ScopeExit uninitialise([com] {
      if (SUCCEEDED(com)) ::CoUninitialize();
    });
    talvora::Application application(instance);
    if (talvora::ClaimInstanceSlot(application.Handle())) {
      talvora::SendParameterToWindow(talvora::kProgramTitle,
                                     talvora::CommandLineArgument(::GetCommandLineW(), 1));
      return 0;
    }
    application.SetTitle(talvora::kProgramTitle);
    talvora::TfrmTalvora form(application);
    form.Show();
    application.Run();
    return 0;
  } catch (...) {
    return 0;
  }
}
