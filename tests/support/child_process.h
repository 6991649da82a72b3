// Runs a program of ours as a child process and collects what it printed.
// For tests that cross a process boundary (qlcall, second instances).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "win32/unique_resource.h"

namespace testsupport {

/// A job that ends every process put into it, and whatever those started,
/// when it is closed or the test dies: a crashed child's debugger or a
/// server left running cannot outlive the test and hold its pipes or ports.
class ChildJob {
 public:
  ChildJob();
  /// Starts `commandLine` suspended, puts it into the job, then lets it run.
  /// The process handle, or none when it could not be started.
  [[nodiscard]] win32::UniqueHandle Start(std::wstring commandLine, BOOL inheritHandles, DWORD flags,
                                          STARTUPINFOW& startup);
  /// Ends every process of the job now.
  void TerminateAll();

 private:
  win32::UniqueHandle m_job;
};

struct ProcessResult {
  DWORD exitCode = 0;
  std::string output;  // standard output and standard error, as bytes
  bool timedOut = false;
};

/// The folder of the running test program, ending in a backslash.
[[nodiscard]] std::wstring ProgramFolder();

/// Starts `commandLine` (program path first, quoted as needed), waits at most
/// `timeoutMs` and returns its exit code and output. A child that outlives the
/// limit is terminated and reported as timed out; whatever it started itself
/// (a crash debugger, say) ends with it.
[[nodiscard]] ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs = 30000);

/// The same, with `input` as the child's standard input (then its end).
[[nodiscard]] ProcessResult RunProcessWithInput(const std::wstring& commandLine, const std::string& input,
                                                DWORD timeoutMs = 30000);

}  // namespace testsupport
