// The replacement step of the word table, on bytes: platform-free.
#pragma once

#include <string>
#include <string_view>

#include "language/language_platform.h"

namespace quorlane {

/// Replaces every occurrence of `from` in `text` by `to`, left to right and
/// without overlap. A byte-exact match that begins on the second byte of a
/// double-byte character (as `leadBytes` reads the text from its start) is
/// passed over and the search goes on after its first byte. An empty `from`
/// changes nothing.
[[nodiscard]] std::string ReplaceAllMultiByte(std::string_view text, std::string_view from, std::string_view to,
                                              const LeadByteTable& leadBytes);

/// A table without lead bytes (single-byte code pages).
[[nodiscard]] const LeadByteTable& SingleByteTable() noexcept;

}  // namespace quorlane
