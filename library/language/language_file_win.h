// The language files of the Windows side (language_file_win.cpp).
#pragma once

#include <memory>
#include <string>

#include "language/language_platform.h"

namespace quorlane {

/// A section of the language file at `path`, which must be a full path.
[[nodiscard]] std::unique_ptr<LanguageFile> OpenWindowsLanguageFile(const std::string& path, const std::string& section,
                                                                    const LeadByteTable& leadBytes,
                                                                    LanguageFileAccess access);

}  // namespace quorlane
