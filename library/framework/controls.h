// Controls and windowed controls. A control keeps its whole state in the
// object (text, font, visibility, bounds, and in descendants lines and
// selection); a windowed control gets a window only when one is needed and
// keeps it in step with that state:
//
//   - a setter stores the value and, when a window exists, sends it there;
//   - Handle() creates the window on demand, the parent's first; CreateWnd
//     runs CreateParams → the widget set's CreateHandle → InitializeWnd
//     (which sends the font and whatever the descendant shows) → the handles
//     of the visible child controls;
//   - DestroyHandle takes back what the user may have changed (FinalizeWnd)
//     and destroys the window, children first; the destructor destroys the
//     window without taking anything back.
//
// A window destroyed with its parent tells its object (WidgetDestroyed), so
// no object keeps a dead handle. Ownership (who frees a control) and
// parenthood (whose window holds its window) are separate, as in the host's
// framework. One thread at a time: the thread that owns the windows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/components.h"
#include "framework/graphics.h"
#include "framework/widgetset.h"

namespace quorlane {

class TBasicAction;
class TWinControl;

class TControl : public TComponent {
  QL_DECLARE_CLASS()
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  [[nodiscard]] TWinControl* Parent() const noexcept { return m_parent; }
  void SetParent(TWinControl* parent);

  /// The control's text, published as "Caption" or "Text" by the classes
  /// that show one.
  [[nodiscard]] std::string Text() const { return GetText(); }
  void SetText(const std::string& text);
  [[nodiscard]] std::string Caption() const { return GetText(); }
  void SetCaption(const std::string& text) { SetText(text); }

  [[nodiscard]] TFont& Font() const noexcept { return *m_font; }
  /// Copies the given font into the control's own.
  void SetFont(const TFont* font);

  [[nodiscard]] bool Visible() const noexcept { return m_visible; }
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }

  [[nodiscard]] int Left() const noexcept { return m_left; }
  [[nodiscard]] int Top() const noexcept { return m_top; }
  [[nodiscard]] int Width() const noexcept { return m_width; }
  [[nodiscard]] int Height() const noexcept { return m_height; }
  void SetLeft(int value) { SetBounds(value, m_top, m_width, m_height); }
  void SetTop(int value) { SetBounds(m_left, value, m_width, m_height); }
  void SetWidth(int value) { SetBounds(m_left, m_top, value, m_height); }
  void SetHeight(int value) { SetBounds(m_left, m_top, m_width, value); }
  void SetBounds(int left, int top, int width, int height);

  /// The tip shown while the mouse rests on the control.
  [[nodiscard]] const std::string& Hint() const noexcept { return m_hint; }
  void SetHint(const std::string& hint);

  /// The action the control follows: it takes the action's caption and hint
  /// now and whenever they change, and a click executes it. Null: none.
  /// Either side may be freed first; the link goes with it.
  [[nodiscard]] TBasicAction* Action() const noexcept { return m_action; }
  void SetAction(TBasicAction* action);

 protected:
  /// The text as the object holds it; edit controls first take back what
  /// the user typed.
  [[nodiscard]] virtual std::string GetText() const { return m_text; }
  /// Stores a changed text (SetText has compared it already).
  virtual void DoSetText(const std::string& text) { m_text = text; }
  /// The stored text, without taking anything back from a window.
  [[nodiscard]] const std::string& StoredText() const noexcept { return m_text; }
  /// Replaces the stored text without sending it anywhere (the window
  /// already shows it).
  void StoreText(std::string text) const { m_text = std::move(text); }
  virtual void FontChanged() {}
  virtual void VisibleChanged() {}
  virtual void BoundsChanged() {}
  /// The control is about to leave its parent / has joined a new one.
  virtual void ParentChanging() {}
  virtual void ParentChanged() {}
  virtual void HintChanged() {}
  void Notification(TComponent& component, TOperation operation) override;

 private:
  friend class TWinControl;
  friend class TBasicAction;
  void FontChangeHandler(TObject&) { FontChanged(); }
  /// The linked action's caption or hint changed (or the link was made).
  void ActionChanged();

  TWinControl* m_parent = nullptr;
  TBasicAction* m_action = nullptr;
  std::string m_hint;
  mutable std::string m_text;
  std::unique_ptr<TFont> m_font;
  bool m_visible = true;
  int m_left = 0, m_top = 0, m_width = 100, m_height = 25;
};

class TWinControl : public TControl, private WidgetClient {
  QL_DECLARE_CLASS()
 public:
  explicit TWinControl(TComponent* owner) : TControl(owner) {}
  /// Destroys the window (and with it the child windows) before the owned
  /// components go, so child windows die while their objects still exist.
  ~TWinControl() override;

  /// The window, created on demand (the parent's first). 0 only while the
  /// control is being destroyed.
  [[nodiscard]] WidgetHandle Handle();
  [[nodiscard]] bool HandleAllocated() const noexcept { return m_handle != 0; }
  void HandleNeeded();
  /// Takes back what the user changed, then destroys the window, the child
  /// windows first. The objects keep their state; the next Handle() builds
  /// the windows again from it.
  void DestroyHandle();
  /// Without a window there is nothing to paint.
  void Repaint();
  /// Posts a message to the window, creating it first if needed.
  bool PostWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

  [[nodiscard]] int ControlCount() const noexcept { return static_cast<int>(m_controls.size()); }
  [[nodiscard]] TControl& Controls(int index) const;

 protected:
  /// A message of the application's range (WM_USER and up) that reached the
  /// window: hosts' forms override this to handle their own messages.
  virtual void UserMessage(unsigned /*message*/, std::uintptr_t /*wParam*/, std::intptr_t /*lParam*/) {}
  /// Redraw bracket of descendants whose items change in groups (tree
  /// nodes, list items): the window stops redrawing at the first open and
  /// redraws once at the last close; a window made inside starts with its
  /// redraw off. Unbalanced closes are ignored.
  void BeginRedrawLock();
  void EndRedrawLock();

  virtual void CreateParams(TCreateParams& params);
  virtual void CreateWnd();
  /// Sends the window what it shows beyond its creation parameters.
  virtual void InitializeWnd();
  /// Takes back what the user may have changed; not called on destruction.
  virtual void FinalizeWnd() {}
  /// What the window told its object (see WidgetEvent).
  virtual void HandleWidgetEvent(WidgetEvent) {}

  /// The widget set that made the window; only while HandleAllocated().
  [[nodiscard]] WidgetSet& Widgets() const noexcept { return *m_widgetSet; }
  [[nodiscard]] WidgetHandle WindowHandle() const noexcept { return m_handle; }
  /// Sends a font to the report view's header and keeps it while in use.
  void SendHeaderFont(const TFont& font);

  void DoSetText(const std::string& text) override;
  void FontChanged() override;
  void VisibleChanged() override;
  void BoundsChanged() override;
  void ParentChanging() override;
  void ParentChanged() override;
  void HintChanged() override;

 private:
  friend class TControl;
  void WidgetNotify(WidgetEvent event) noexcept override;
  void WidgetDestroyed() noexcept override;
  void WidgetMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) noexcept override;
  void SendFont();
  void DestroyWindowOnly() noexcept;

  std::vector<TControl*> m_controls;
  WidgetHandle m_handle = 0;
  WidgetSet* m_widgetSet = nullptr;
  std::shared_ptr<const TFontReference> m_sentFont;
  std::shared_ptr<const TFontReference> m_sentHeaderFont;
  int m_redrawLocks = 0;
  bool m_inDestructor = false;
};

}  // namespace quorlane
