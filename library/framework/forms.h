// Forms, frames and the screen's list of forms. A form is a top-level window
// that owns the components placed on it; it is created hidden and shown by
// Show(), which calls OnShow first. A frame is a container placed on a form
// (owned by it) that owns the components placed on the frame; hosts derive
// their forms and frames with classes of their own (QL_DECLARE_CLASS), whose
// names the translation's language files are named by. The screen lists
// every existing form in creation order; showing or activating a form never
// reorders it.
#pragma once

#include <vector>

#include "framework/controls.h"

namespace quorlane {

class TCustomForm : public TWinControl {
  QL_DECLARE_CLASS()
 public:
  explicit TCustomForm(TComponent* owner);
  ~TCustomForm() override;

  [[nodiscard]] const TNotifyEvent& OnShow() const noexcept { return m_onShow; }
  /// The handler's object, when it is a component, is watched: the form
  /// drops the handler when that component is freed.
  void SetOnShow(TNotifyEvent handler);
  /// Hides the form (closing never frees it).
  void Close() { Hide(); }

 protected:
  void CreateParams(TCreateParams& params) override;
  void VisibleChanged() override;
  void HandleWidgetEvent(WidgetEvent event) override;
  void Notification(TComponent& component, TOperation operation) override;

 private:
  TNotifyEvent m_onShow;
};

class TForm : public TCustomForm {
  QL_DECLARE_CLASS()
 public:
  using TCustomForm::TCustomForm;
};

class TCustomFrame : public TWinControl {
  QL_DECLARE_CLASS()
 public:
  explicit TCustomFrame(TComponent* owner);

 protected:
  void CreateParams(TCreateParams& params) override;
};

class TFrame : public TCustomFrame {
  QL_DECLARE_CLASS()
 public:
  using TCustomFrame::TCustomFrame;
};

class TScreen {
 public:
  [[nodiscard]] int FormCount() const noexcept { return static_cast<int>(m_forms.size()); }
  [[nodiscard]] TCustomForm& Forms(int index) const;

 private:
  friend class TCustomForm;
  std::vector<TCustomForm*> m_forms;
};

/// The process's one screen.
[[nodiscard]] TScreen& Screen() noexcept;

}  // namespace quorlane
