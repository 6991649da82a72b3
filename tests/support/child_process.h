// Runs a program of ours as a child process and collects what it printed.
// For tests that cross a process boundary (qlcall, second instances).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace testsupport {

struct ProcessResult {
  DWORD exitCode = 0;
  std::string output;  // standard output and standard error, as bytes
  bool timedOut = false;
};

/// The folder of the running test program, ending in a backslash.
[[nodiscard]] std::wstring ProgramFolder();

/// Starts `commandLine` (program path first, quoted as needed), waits at most
/// `timeoutMs` and returns its exit code and output. A child that outlives the
/// limit is terminated and reported as timed out.
[[nodiscard]] ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs = 30000);

/// The same, with `input` as the child's standard input (then its end).
[[nodiscard]] ProcessResult RunProcessWithInput(const std::wstring& commandLine, const std::string& input,
                                                DWORD timeoutMs = 30000);

}  // namespace testsupport
