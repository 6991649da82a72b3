#include "child_process.h"

#include <thread>

#include "win32/unique_resource.h"

namespace testsupport {

std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

ChildJob::ChildJob() : m_job(::CreateJobObjectW(nullptr, nullptr)) {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (m_job) ::SetInformationJobObject(m_job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
}

win32::UniqueHandle ChildJob::Start(std::wstring commandLine, BOOL inheritHandles, DWORD flags,
                                    STARTUPINFOW& startup) {
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, inheritHandles, flags | CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &info)) {
    return {};
  }
  win32::UniqueHandle process{info.hProcess};
  win32::UniqueHandle thread{info.hThread};
  if (m_job && !::AssignProcessToJobObject(m_job.get(), process.get())) {
    ::TerminateProcess(process.get(), 1);
    return {};
  }
  ::ResumeThread(thread.get());
  return process;
}

void ChildJob::TerminateAll() {
  if (m_job) ::TerminateJobObject(m_job.get(), 1);
}

namespace {

ProcessResult Run(const std::wstring& commandLine, const std::string* input, DWORD timeoutMs) {
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
  win32::UniqueHandle inputRead, inputWrite;
  if (input) {
    if (!::CreatePipe(inputRead.put(), inputWrite.put(), &inherit, 0)) {
      result.exitCode = static_cast<DWORD>(-1);
      return result;
    }
    ::SetHandleInformation(inputWrite.get(), HANDLE_FLAG_INHERIT, 0);
    startup.hStdInput = inputRead.get();
  }
  ChildJob job;
  const win32::UniqueHandle process = job.Start(commandLine, TRUE, 0, startup);
  if (!process) {
    result.exitCode = static_cast<DWORD>(-1);
    return result;
  }
  writeEnd.reset();  // the child holds the only write end now
  inputRead.reset();
  std::thread writer([&] {
    if (!input) return;
    DWORD put = 0;
    ::WriteFile(inputWrite.get(), input->data(), static_cast<DWORD>(input->size()), &put, nullptr);
    inputWrite.reset();  // the end of the input
  });

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
  // The pipe ends only when every holder of its write end is gone: a process
  // the child left behind would keep the reader waiting.
  job.TerminateAll();
  reader.join();
  writer.join();
  ::GetExitCodeProcess(process.get(), &result.exitCode);
  return result;
}

}  // namespace

ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs) { return Run(commandLine, nullptr, timeoutMs); }

ProcessResult RunProcessWithInput(const std::wstring& commandLine, const std::string& input, DWORD timeoutMs) {
  return Run(commandLine, &input, timeoutMs);
}

}  // namespace testsupport
