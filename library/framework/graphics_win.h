// GDI fonts for the Windows widget set (graphics_win.cpp); no <windows.h> here.
#pragma once

#include "framework/widgetset.h"

namespace quorlane {

/// An HFONT made from the face name (ANSI bytes), character set, height and
/// style. Raises EOSError when the system refuses.
[[nodiscard]] FontHandle NewGdiFont(const TFontData& font);
void FreeGdiFont(FontHandle font) noexcept;

}  // namespace quorlane
