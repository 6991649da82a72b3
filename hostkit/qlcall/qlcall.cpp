// qlcall: loads Quorlane.dll at run time and calls its exports by name.
//
//   qlcall [--dll PATH] [--raw] EXPORT [ARG...] [-- EXPORT [ARG...]]...
//
// All calls of one command run in one process, in order, so a session can be
// started, used and ended:  qlcall SetInitial @window -- GetVATList -- FreeInitial
//
// Arguments: texts may carry \xHH and \\ escapes; @null passes a null text
// pointer; integers are decimal or 0x hex; @window passes a hidden window of
// qlcall's own (a message-only window) as the host window.
// Output: one line per text or integer result, texts escaped as \xHH where not
// printable (or the bytes unchanged with --raw); calls without a result print
// nothing. Lines end in a single LF.
//
//   qlcall [--dll PATH] [--raw] --stdin
//
// keeps one process (and so one session) alive for a conversation: each line
// of standard input is one call, EXPORT ARG..., separated by spaces (write a
// space inside a text as \x20), and each gets exactly one output line: its
// result, "ok" for a call without one, or "error: ..." for a line that is no
// call. An empty line or the end of input ends the process.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "export_signatures.h"
#include "text_escape.h"
#include "win32/unique_resource.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitLoad = 3;

// Arguments and results travel in registers or stack slots of pointer width:
// 32 bits in the 32-bit DLL, 64 in the 64-bit one (a text result is a pointer).
using Word = std::uintptr_t;

struct Argument {
  Word value = 0;
  std::string text;  // storage for text arguments
  bool isText = false;
  bool isNull = false;
};

struct Call {
  const hostkit::ExportSignature* signature = nullptr;
  std::vector<Argument> args;
};

void PrintUsage() {
  std::fputs(
      "usage: qlcall [--dll PATH] [--raw] EXPORT [ARG...] [-- EXPORT [ARG...]]...\n"
      "       qlcall [--dll PATH] [--raw] --stdin    (one call per input line, one line per call)\n"
      "  texts: \\xHH and \\\\ escapes, @null for a null pointer\n"
      "  integers: decimal or 0x hex; @window: a hidden window of qlcall's own\n"
      "exports:\n",
      stderr);
  for (const auto& e : hostkit::kExports) std::fprintf(stderr, "  %.*s\n", static_cast<int>(e.name.size()), e.name.data());
}

HWND OwnWindow() {
  static win32::UniqueWindow window{
      ::CreateWindowExW(0, L"STATIC", L"qlcall", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)};
  return window.get();
}

bool ParseArgument(hostkit::ArgKind kind, std::string_view token, Argument& out) {
  switch (kind) {
    case hostkit::ArgKind::Text: {
      out.isText = true;
      if (token == "@null") {
        out.isNull = true;
        return true;
      }
      auto bytes = hostkit::UnescapeBytes(token);
      if (!bytes) return false;
      out.text = std::move(*bytes);
      return true;
    }
    case hostkit::ArgKind::Window:
      if (token == "@window") {
        out.value = reinterpret_cast<Word>(OwnWindow());
        return true;
      }
      [[fallthrough]];
    case hostkit::ArgKind::Integer: {
      const auto value = hostkit::ParseInteger(token);
      if (!value) return false;
      out.value = *value;
      return true;
    }
  }
  return false;
}

Word ValueOf(const Argument& a) {
  if (!a.isText) return a.value;
  if (a.isNull) return 0;
  return reinterpret_cast<Word>(a.text.c_str());
}

// Every export takes word-sized arguments and (in the 32-bit DLL) cleans its
// own stack, so calling it through a pointer of the right arity is exact; the
// result register is ignored for exports that return nothing.
Word Invoke(FARPROC proc, const std::vector<Argument>& args) {
  using Arity0 = Word(WINAPI*)();
  using Arity1 = Word(WINAPI*)(Word);
  using Arity2 = Word(WINAPI*)(Word, Word);
  switch (args.size()) {
    case 0: return reinterpret_cast<Arity0>(reinterpret_cast<void*>(proc))();
    case 1: return reinterpret_cast<Arity1>(reinterpret_cast<void*>(proc))(ValueOf(args[0]));
    default: return reinterpret_cast<Arity2>(reinterpret_cast<void*>(proc))(ValueOf(args[0]), ValueOf(args[1]));
  }
}

std::wstring Widen(std::string_view text) {
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::wstring DefaultDllPath() {
  std::wstring path(MAX_PATH, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  const auto slash = path.find_last_of(L"\\/");
  return (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) + L"Quorlane.dll";
}

// One call from `tokens` starting at `next`: EXPORT ARG... up to a "--" or the
// end; missing trailing text arguments are passed as empty texts.
std::optional<Call> ParseCall(const std::vector<std::string_view>& tokens, std::size_t& next, std::string& error) {
  Call call;
  const std::string_view name = tokens[next++];
  call.signature = hostkit::FindExport(name);
  if (!call.signature) {
    error = "no export named " + std::string(name);
    return std::nullopt;
  }
  for (; next < tokens.size() && tokens[next] != "--"; ++next) {
    if (call.args.size() >= call.signature->argCount) {
      error = "too many arguments for " + std::string(name);
      return std::nullopt;
    }
    Argument arg;
    if (!ParseArgument(call.signature->args[call.args.size()], tokens[next], arg)) {
      error = "bad argument '" + std::string(tokens[next]) + "'";
      return std::nullopt;
    }
    call.args.push_back(std::move(arg));
  }
  if (next < tokens.size()) ++next;  // the "--"
  while (call.args.size() < call.signature->argCount) {
    Argument arg;
    if (!ParseArgument(call.signature->args[call.args.size()], "", arg)) {
      error = "missing argument for " + std::string(name);
      return std::nullopt;
    }
    call.args.push_back(std::move(arg));
  }
  return call;
}

// Calls one export and prints its result line; `alwaysALine` prints "ok" for
// calls without a result, so a conversation gets one line per call.
bool Run(HMODULE dll, const Call& call, bool raw, bool alwaysALine) {
  const std::string name(call.signature->name);
  const FARPROC proc = ::GetProcAddress(dll, name.c_str());
  if (!proc) {
    if (alwaysALine) {
      std::printf("error: the DLL has no export %s\n", name.c_str());
      std::fflush(stdout);
    }
    std::fprintf(stderr, "qlcall: the DLL has no export %s\n", name.c_str());
    return false;
  }
  const Word result = Invoke(proc, call.args);
  switch (call.signature->result) {
    case hostkit::ResultKind::None:
      if (alwaysALine) std::puts("ok");
      break;
    case hostkit::ResultKind::Integer:
      // An integer result fills the low 32 bits of the register only.
      std::printf("%ld\n", static_cast<long>(static_cast<std::int32_t>(static_cast<std::uint32_t>(result))));
      break;
    case hostkit::ResultKind::Text: {
      const char* text = reinterpret_cast<const char*>(result);
      if (!text) {
        std::puts("@null");
      } else if (raw) {
        std::fputs(text, stdout);
        std::fputc('\n', stdout);
      } else {
        std::puts(hostkit::EscapeBytes(text).c_str());
      }
      break;
    }
  }
  std::fflush(stdout);
  return true;
}

// The --stdin conversation: one call per line until an empty line or the end.
int Converse(HMODULE dll, bool raw) {
  std::string line;
  for (;;) {
    line.clear();
    int c = 0;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) return 0;
    std::vector<std::string_view> tokens;
    for (std::size_t start = 0; start < line.size();) {
      const std::size_t end = std::min(line.find(' ', start), line.size());
      if (end > start) tokens.emplace_back(line.data() + start, end - start);
      start = end + 1;
    }
    std::size_t next = 0;
    std::string error;
    const auto call = tokens.empty() ? std::nullopt : ParseCall(tokens, next, error);
    if (!call || next != tokens.size()) {
      std::printf("error: %s\n", call ? "one call per line" : error.c_str());
      std::fflush(stdout);
      continue;
    }
    Run(dll, *call, raw, true);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Results are bytes: no CR is added before line feeds.
  _setmode(_fileno(stdout), _O_BINARY);
  std::wstring dllPath;
  bool raw = false;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (option == "--dll" && i + 1 < argc) {
      dllPath = Widen(argv[++i]);
    } else if (option == "--raw") {
      raw = true;
    } else if (option == "--help" || option == "-h") {
      PrintUsage();
      return 0;
    } else {
      break;
    }
  }
  if (i >= argc) {
    PrintUsage();
    return kExitUsage;
  }

  const bool conversation = i < argc && std::string_view(argv[i]) == "--stdin";
  std::vector<Call> calls;
  if (conversation) {
    if (i + 1 != argc) {
      std::fputs("qlcall: --stdin takes no calls on the command line\n", stderr);
      return kExitUsage;
    }
  } else {
    std::string error;
    const std::vector<std::string_view> tokens(argv + i, argv + argc);
    std::size_t next = 0;
    while (next < tokens.size()) {
      auto call = ParseCall(tokens, next, error);
      if (!call) {
        std::fprintf(stderr, "qlcall: %s\n", error.c_str());
        return kExitUsage;
      }
      calls.push_back(std::move(*call));
    }
  }

  if (dllPath.empty()) dllPath = DefaultDllPath();
  win32::UniqueModule dll{::LoadLibraryW(dllPath.c_str())};
  if (!dll) dll.reset(::LoadLibraryW(L"Quorlane.dll"));
  if (!dll) {
    std::fprintf(stderr, "qlcall: cannot load Quorlane.dll (error %lu)\n", ::GetLastError());
    return kExitLoad;
  }

  if (conversation) return Converse(dll.get(), raw);
  for (const Call& call : calls) {
    if (!Run(dll.get(), call, raw, false)) return kExitLoad;
  }
  // Keep the library loaded until here: a text result points into it.
  return 0;
}
