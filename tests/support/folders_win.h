// Scratch folders of the Windows tests.
#pragma once

#include <string>

namespace testsupport {

/// Removes `folder` (with or without a final "\") and everything in it,
/// read-only files included. An empty path removes nothing, so a set-up that
/// stopped before it named its folder never takes the current one.
void RemoveTree(const std::wstring& folder);
/// The same for a path in the ANSI code page.
void RemoveTree(const std::string& folder);

}  // namespace testsupport
