#include "language/chinese_fallback.h"

#include <array>
#include <memory>

namespace quorlane {
namespace chinese_table {
extern const std::uint16_t kTraditionalToSimplified[][2];
extern const std::size_t kTraditionalToSimplifiedCount;
extern const std::uint16_t kSimplifiedToTraditional[][2];
extern const std::size_t kSimplifiedToTraditionalCount;
}  // namespace chinese_table

namespace {

// A full 64K table per direction (128 KiB each), built on first use: one
// load per character, where a search of the sorted pairs costs a dozen.
using Direct = std::array<std::uint16_t, 0x10000>;

std::unique_ptr<Direct> Build(const std::uint16_t (*pairs)[2], std::size_t count) {
  auto table = std::make_unique<Direct>();
  for (std::size_t i = 0; i < table->size(); ++i) (*table)[i] = static_cast<std::uint16_t>(i);
  for (std::size_t i = 0; i < count; ++i) (*table)[pairs[i][0]] = pairs[i][1];
  return table;
}

const Direct& ToSimplified() {
  static const std::unique_ptr<Direct> table =
      Build(chinese_table::kTraditionalToSimplified, chinese_table::kTraditionalToSimplifiedCount);
  return *table;
}

const Direct& ToTraditional() {
  static const std::unique_ptr<Direct> table =
      Build(chinese_table::kSimplifiedToTraditional, chinese_table::kSimplifiedToTraditionalCount);
  return *table;
}

}  // namespace

std::uint16_t FallbackToSimplified(std::uint16_t ch) noexcept { return ToSimplified()[ch]; }
std::uint16_t FallbackToTraditional(std::uint16_t ch) noexcept { return ToTraditional()[ch]; }
std::size_t FallbackToSimplifiedCount() noexcept { return chinese_table::kTraditionalToSimplifiedCount; }
std::size_t FallbackToTraditionalCount() noexcept { return chinese_table::kSimplifiedToTraditionalCount; }

}  // namespace quorlane
