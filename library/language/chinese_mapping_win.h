// The Simplified/Traditional mapping of UTF-16 text: the platform's
// LCMapStringW where it maps Chinese, the built-in table where it does not.
#pragma once

#include <string>
#include <string_view>

namespace quorlane {

/// Probed once per process: U+9AD4 must map to U+4F53 and back.
[[nodiscard]] bool PlatformMapsChinese() noexcept;
/// Raises EOSError when the platform mapping fails.
[[nodiscard]] std::wstring MapChinese(std::wstring_view wide, bool toSimplified);

}  // namespace quorlane
