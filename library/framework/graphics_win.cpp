// GDI fonts: LOGFONTA from a TFontData. Face names are the font's ANSI
// bytes; CreateFontIndirectA reads them through the process's code page.
#include "win32/unique_resource.h"

#include <windows.h>

#include <cstring>

#include "framework/graphics_win.h"
#include "framework/os_error_win.h"

namespace quorlane {

FontHandle NewGdiFont(const TFontData& data) {
  LOGFONTA font{};
  font.lfHeight = data.height;
  font.lfWeight = data.bold ? FW_BOLD : FW_NORMAL;
  font.lfItalic = data.italic ? TRUE : FALSE;
  font.lfUnderline = data.underline ? TRUE : FALSE;
  font.lfStrikeOut = data.strikeOut ? TRUE : FALSE;
  font.lfCharSet = static_cast<BYTE>(data.charset);
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  // The face field holds 31 bytes and a zero; a longer name is cut before
  // the character that does not fit, never inside a double-byte one.
  std::size_t length = 0;
  while (length < data.name.size()) {
    const bool lead = IsDBCSLeadByte(static_cast<BYTE>(data.name[length])) != 0;
    const std::size_t next = length + ((lead && length + 1 < data.name.size()) ? 2 : 1);
    if (next > LF_FACESIZE - 1) break;
    length = next;
  }
  std::memcpy(font.lfFaceName, data.name.data(), length);
  win32::UniqueGdiObject<HFONT> handle(CreateFontIndirectA(&font));
  if (!handle) RaiseLastOSError();
  return reinterpret_cast<FontHandle>(handle.release());
}

void FreeGdiFont(FontHandle font) noexcept {
  if (font != 0) DeleteObject(reinterpret_cast<HFONT>(font));
}

}  // namespace quorlane
