// Fonts. A TFont is a value (face name, character set, height, style,
// colour) owned by one control, form or grid part. Its backend font object
// is made on first need and shared by every font of the same description:
// the windows that were sent it hold it (sending a font to a window does not
// hand it over), each until it gets the next or is destroyed, and the last
// one to let go frees it. A thousand labels in one face use one font object.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "framework/components.h"
#include "framework/widgetset.h"

namespace quorlane {

/// Character sets the conversion gives fonts.
inline constexpr std::uint8_t kDefaultCharset = 1;
inline constexpr std::uint8_t kGB2312Charset = 134;
inline constexpr std::uint8_t kChineseBig5Charset = 136;

/// Font style bits.
enum TFontStyle : std::uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

/// One backend font object, freed (through the widget set that made it)
/// with the last reference.
class TFontReference {
 public:
  TFontReference(WidgetSet& widgetSet, FontHandle handle) noexcept : m_widgetSet(widgetSet), m_handle(handle) {}
  TFontReference(const TFontReference&) = delete;
  TFontReference& operator=(const TFontReference&) = delete;
  ~TFontReference() { m_widgetSet.DestroyFontHandle(m_handle); }
  [[nodiscard]] FontHandle Handle() const noexcept { return m_handle; }
  [[nodiscard]] const WidgetSet& Owner() const noexcept { return m_widgetSet; }

 private:
  WidgetSet& m_widgetSet;
  FontHandle m_handle;
};

class TFont : public TPersistent {
  QL_DECLARE_CLASS()
 public:
  TFont() = default;

  [[nodiscard]] const std::string& Name() const noexcept { return m_data.name; }
  void SetName(const std::string& name);
  [[nodiscard]] std::uint8_t Charset() const noexcept { return static_cast<std::uint8_t>(m_data.charset); }
  void SetCharset(std::uint8_t charset);
  /// Character height in pixels, negative as Windows takes it.
  [[nodiscard]] int Height() const noexcept { return m_data.height; }
  void SetHeight(int height);
  /// Points at 96 pixels per inch.
  [[nodiscard]] int Size() const noexcept;
  void SetSize(int points);
  [[nodiscard]] std::uint8_t Style() const noexcept;
  void SetStyle(std::uint8_t styles);
  [[nodiscard]] std::int64_t Color() const noexcept { return m_color; }
  void SetColor(std::int64_t color);
  [[nodiscard]] const TFontData& Data() const noexcept { return m_data; }

  void Assign(const TPersistent& source) override;
  /// Changes inside the bracket reach OnChange once, when it closes.
  void BeginUpdate() noexcept { ++m_updateCount; }
  void EndUpdate();

  /// The backend font for this state of the font: the one in use for the
  /// same description, or a new one made through widgetSet.
  [[nodiscard]] std::shared_ptr<const TFontReference> Reference(WidgetSet& widgetSet) const;

  /// After every change (face, character set, size, style or colour).
  TNotifyEvent OnChange;

 private:
  void Changed();

  TFontData m_data{"Tahoma", kDefaultCharset, -11};
  std::int64_t m_color = 0;
  int m_updateCount = 0;
  bool m_changePending = false;
  mutable std::weak_ptr<const TFontReference> m_reference;
};

}  // namespace quorlane
