#include "child_process.h"

#include <thread>

#include "win32/unique_resource.h"

namespace testsupport {

std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs) {
  ProcessResult result;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  win32::UniqueHandle readEnd, writeEnd;
  if (!::CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) {
    result.exitCode = static_cast<DWORD>(-1);
    return result;
  }
  ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = writeEnd.get();
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION info{};
  std::wstring mutableLine = commandLine;
  if (!::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info)) {
    result.exitCode = static_cast<DWORD>(-1);
    return result;
  }
  win32::UniqueHandle process{info.hProcess};
  win32::UniqueHandle thread{info.hThread};
  writeEnd.reset();  // the child holds the only write end now

  // Drain the pipe on a thread so a chatty child cannot block on a full pipe.
  std::thread reader([&] {
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(readEnd.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
      result.output.append(buffer, got);
    }
  });
  if (::WaitForSingleObject(process.get(), timeoutMs) == WAIT_TIMEOUT) {
    result.timedOut = true;
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), 5000);
  }
  reader.join();
  ::GetExitCodeProcess(process.get(), &result.exitCode);
  return result;
}

}  // namespace testsupport
