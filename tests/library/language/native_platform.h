// What the native stand-in for the language component's Windows side keeps
// of language files: in memory, for the native tests of the translation.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorlane {

struct MemoryFiles {
  /// A file's one section: keys and values in the order first written.
  using File = std::vector<std::pair<std::string, std::string>>;
  std::map<std::string, File> files;
  std::vector<std::string> folders;
  /// Looking up this key raises Exception (a file that cannot be read).
  std::string failingKey;
};

/// Whether two keys are the same without letter case, as the stand-in's files
/// compare them.
[[nodiscard]] bool SameKey(std::string_view a, std::string_view b) noexcept;

/// The files of the native stand-in platform.
[[nodiscard]] MemoryFiles& Files();

}  // namespace quorlane
