// The library's own Simplified/Traditional character table, for platforms
// whose string mapping leaves Chinese text unmapped (Wine). Generated at build
// time from OpenCC's character dictionaries: first candidate, BMP only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorlane {

/// The character's Simplified form, or the character itself.
[[nodiscard]] std::uint16_t FallbackToSimplified(std::uint16_t ch) noexcept;
/// The character's Traditional form, or the character itself.
[[nodiscard]] std::uint16_t FallbackToTraditional(std::uint16_t ch) noexcept;
/// Number of characters each direction changes.
[[nodiscard]] std::size_t FallbackToSimplifiedCount() noexcept;
[[nodiscard]] std::size_t FallbackToTraditionalCount() noexcept;

}  // namespace quorlane
