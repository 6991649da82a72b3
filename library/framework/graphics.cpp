#include "framework/graphics.h"

#include <algorithm>
#include <map>

namespace quorlane {
namespace {

constexpr TPropertyInfo kFontProperties[] = {
    props::Integer<TFont, &TFont::Charset, &TFont::SetCharset>("Charset"),
    props::Integer<TFont, &TFont::Color, &TFont::SetColor>("Color"),
    props::Integer<TFont, &TFont::Height, &TFont::SetHeight>("Height"),
    props::Text<TFont, &TFont::Name, &TFont::SetName>("Name"),
    props::Integer<TFont, &TFont::Size, &TFont::SetSize>("Size"),
};

constexpr int kPixelsPerInch = 96;
constexpr int kPointsPerInch = 72;

// Backend fonts in use, by widget set and description. Entries of fonts
// that are gone are swept out whenever the table has doubled.
using FontKey = std::pair<const WidgetSet*, TFontData>;
struct SharedFonts {
  std::map<FontKey, std::weak_ptr<const TFontReference>> fonts;
  std::size_t sweepAt = 64;
  void SweepWhenGrown() {
    if (fonts.size() < sweepAt) return;
    std::erase_if(fonts, [](const auto& entry) { return entry.second.expired(); });
    sweepAt = std::max<std::size_t>(64, 2 * fonts.size());
  }
};
SharedFonts& Shared() {
  static SharedFonts shared;
  return shared;
}

int RoundedRatio(int value, int numerator, int denominator) noexcept {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

}  // namespace

QL_DEFINE_CLASS(TFont, TPersistent, kFontProperties)

void TFont::SetName(const std::string& name) {
  if (name == m_data.name) return;
  m_data.name = name;
  Changed();
}

void TFont::SetCharset(std::uint8_t charset) {
  if (charset == m_data.charset) return;
  m_data.charset = charset;
  Changed();
}

void TFont::SetHeight(int height) {
  if (height == m_data.height) return;
  m_data.height = height;
  Changed();
}

int TFont::Size() const noexcept { return -RoundedRatio(m_data.height, kPointsPerInch, kPixelsPerInch); }

void TFont::SetSize(int points) { SetHeight(-RoundedRatio(points, kPixelsPerInch, kPointsPerInch)); }

std::uint8_t TFont::Style() const noexcept {
  return static_cast<std::uint8_t>((m_data.bold ? fsBold : 0) | (m_data.italic ? fsItalic : 0) |
                                   (m_data.underline ? fsUnderline : 0) | (m_data.strikeOut ? fsStrikeOut : 0));
}

void TFont::SetStyle(std::uint8_t styles) {
  if (styles == Style()) return;
  m_data.bold = (styles & fsBold) != 0;
  m_data.italic = (styles & fsItalic) != 0;
  m_data.underline = (styles & fsUnderline) != 0;
  m_data.strikeOut = (styles & fsStrikeOut) != 0;
  Changed();
}

void TFont::SetColor(std::int64_t color) {
  if (color == m_color) return;
  m_color = color;
  Changed();
}

void TFont::Assign(const TPersistent& source) {
  if (!source.Is<TFont>()) return TPersistent::Assign(source);
  const auto& other = static_cast<const TFont&>(source);
  if (&other == this) return;
  BeginUpdate();
  m_data = other.m_data;
  m_color = other.m_color;
  Changed();
  EndUpdate();
}

void TFont::EndUpdate() {
  if (m_updateCount == 0) return;
  if (--m_updateCount == 0 && m_changePending) {
    m_changePending = false;
    OnChange(*this);
  }
}

std::shared_ptr<const TFontReference> TFont::Reference(WidgetSet& widgetSet) const {
  if (auto reference = m_reference.lock(); reference && &reference->Owner() == &widgetSet) return reference;
  SharedFonts& shared = Shared();
  auto& slot = shared.fonts[FontKey{&widgetSet, m_data}];
  auto reference = slot.lock();
  if (!reference) {
    const FontHandle handle = widgetSet.CreateFontHandle(m_data);
    try {
      reference = std::make_shared<const TFontReference>(widgetSet, handle);
    } catch (...) {
      widgetSet.DestroyFontHandle(handle);
      throw;
    }
    slot = reference;
    shared.SweepWhenGrown();
  }
  m_reference = reference;
  return reference;
}

void TFont::Changed() {
  // Windows that were sent the old font keep it alive until they get this one.
  m_reference.reset();
  if (m_updateCount > 0) {
    m_changePending = true;
    return;
  }
  OnChange(*this);
}

}  // namespace quorlane
