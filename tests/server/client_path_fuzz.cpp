// libFuzzer target: the paths, patterns and copy fields a peer sends. Every
// path that resolves must lie inside a root and hold no component that
// Windows would read differently ("", ".", "..", names with ":" or a
// trailing dot or space); refusals must say why.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "client_path.h"
#include "request.h"

namespace {

using namespace quorlane::server;

const FileAccessRules& Rules(bool windows) {
  static const FileAccessRules linux = [] {
    std::string error;
    return *FileAccessRules::Build({"/srv/shared", "/srv/a/b"}, {"D:\\Shared => /srv/shared", "\\\\fs\\s => /srv/a/b", "E:\\ => /srv"},
                                   false, error);
  }();
  static const FileAccessRules win = [] {
    std::string error;
    return *FileAccessRules::Build({"D:\\Shared", "\\\\fs\\s"}, {"X:\\ => D:\\Shared"}, true, error);
  }();
  return windows ? win : linux;
}

void Check(const FileAccessRules& rules, std::string_view path) {
  std::string refusal;
  const auto resolved = rules.Resolve(path, refusal);
  if (!resolved) {
    if (refusal.empty()) __builtin_trap();
    return;
  }
  const LocalPath& root = rules.Roots()[resolved->root];
  if (resolved->local.components.size() != root.components.size() + resolved->below.size()) __builtin_trap();
  for (const auto& name : resolved->below) {
    if (name.empty() || name == "." || name == ".." || name.find(':') != std::string::npos ||
        name.find('\\') != std::string::npos || name.find('/') != std::string::npos || name.back() == '.' ||
        name.back() == ' ' || name.size() > kMaxNameBytes) {
      __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  Check(Rules(false), input);
  Check(Rules(true), input);
  (void)MatchesWildcard(input.substr(0, input.size() / 2), input.substr(input.size() / 2));
  if (const auto paths = SplitCopyFields(input)) {
    Check(Rules(false), paths->first);
    Check(Rules(false), paths->second);
  }
  return 0;
}
