// The barrier every export runs its body behind: nothing thrown inside the
// library crosses into the host; the export returns its failure result.
#pragma once

#include <string>
#include <type_traits>

#include "library_state.h"

namespace quorlane {

/// Body yields the result text; failure result: the empty text.
template <typename Body>
const char* TextExport(Body&& body) noexcept {
  try {
    return ReturnText(body());
  } catch (...) {
    return ReturnEmptyText();
  }
}

/// Body yields success; the export returns exactly 1 or 0.
template <typename Body>
int FlagExport(Body&& body) noexcept {
  try {
    return body() ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

/// Body returns nothing; a failure is swallowed.
template <typename Body>
void VoidExport(Body&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

}  // namespace quorlane
