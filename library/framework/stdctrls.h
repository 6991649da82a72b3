// The standard controls: label, button, panel, edit, memo, list box and
// combo box, each shown by the standard Windows control of its kind.
#pragma once

#include <string>
#include <vector>

#include "framework/controls.h"
#include "framework/strings.h"

namespace quorlane {

class TCustomListControl;

/// The lines of a list box or combo box. They live here; each insert,
/// delete, replacement and clear is passed on, with its index, to the
/// control, which mirrors it into its window when it has one. Reads never
/// touch the window.
class TControlStrings final : public TStrings {
  QL_DECLARE_CLASS()
 public:
  explicit TControlStrings(TCustomListControl& control) noexcept : m_control(control) {}
  [[nodiscard]] int Count() const noexcept override { return static_cast<int>(m_lines.size()); }
  [[nodiscard]] std::string Get(int index) const override;
  void Put(int index, const std::string& line) override;
  void Insert(int index, const std::string& line) override;
  void Delete(int index) override;
  void Clear() override;

 protected:
  void SetUpdateState(bool updating) override;

 private:
  TCustomListControl& m_control;
  std::vector<std::string> m_lines;
};

class TCustomLabel : public TWinControl {
  QL_DECLARE_CLASS()
 public:
  explicit TCustomLabel(TComponent* owner);

 protected:
  void CreateParams(TCreateParams& params) override;
};

class TLabel : public TCustomLabel {
  QL_DECLARE_CLASS()
 public:
  using TCustomLabel::TCustomLabel;
};

class TButton : public TWinControl {
  QL_DECLARE_CLASS()
 public:
  explicit TButton(TComponent* owner);
  TNotifyEvent OnClick;

 protected:
  void CreateParams(TCreateParams& params) override;
  void HandleWidgetEvent(WidgetEvent event) override;
};

class TCustomPanel : public TWinControl {
  QL_DECLARE_CLASS()
 public:
  explicit TCustomPanel(TComponent* owner);

 protected:
  void CreateParams(TCreateParams& params) override;
};

class TPanel : public TCustomPanel {
  QL_DECLARE_CLASS()
 public:
  using TCustomPanel::TCustomPanel;
};

/// An edit field: what the user types reaches the object when the text is
/// next read (or the window is destroyed by DestroyHandle).
class TCustomEdit : public TWinControl {
  QL_DECLARE_CLASS()
 public:
  explicit TCustomEdit(TComponent* owner);

 protected:
  void CreateParams(TCreateParams& params) override;
  void FinalizeWnd() override;
  void HandleWidgetEvent(WidgetEvent event) override;
  [[nodiscard]] std::string GetText() const override;
  /// Takes the window's text back when the user changed it.
  void TakeBackEdits() const;
  /// Stores what the window holds after the user changed it.
  virtual void StoreEditedText(std::string text) const { StoreText(std::move(text)); }

 private:
  mutable bool m_edited = false;
};

class TEdit : public TCustomEdit {
  QL_DECLARE_CLASS()
 public:
  using TCustomEdit::TCustomEdit;
};

class TMemo;

/// The lines of a memo; the window shows them joined by CR LF.
class TMemoStrings final : public TStrings {
  QL_DECLARE_CLASS()
 public:
  explicit TMemoStrings(TMemo& memo) noexcept : m_memo(memo) {}
  [[nodiscard]] int Count() const override;
  [[nodiscard]] std::string Get(int index) const override;
  void Put(int index, const std::string& line) override;
  void Insert(int index, const std::string& line) override;
  void Delete(int index) override;
  void Clear() override;

 protected:
  void SetUpdateState(bool updating) override;

 private:
  friend class TMemo;
  TMemo& m_memo;
  mutable std::vector<std::string> m_lines;
};

class TMemo : public TCustomEdit {
  QL_DECLARE_CLASS()
 public:
  explicit TMemo(TComponent* owner);
  ~TMemo() override;
  [[nodiscard]] TStrings& Lines() const noexcept { return *m_lines; }
  void SetLines(const TStrings* lines);

 protected:
  void CreateParams(TCreateParams& params) override;
  [[nodiscard]] std::string GetText() const override;
  void DoSetText(const std::string& text) override;
  void StoreEditedText(std::string text) const override;

 private:
  friend class TMemoStrings;
  void LinesChanged();
  [[nodiscard]] std::string JoinedLines() const;
  std::unique_ptr<TMemoStrings> m_lines;
};

/// What list boxes and combo boxes share: lines and the selected line.
/// ItemIndex is the object's: the window's selection follows it, and a line
/// the user picks comes back through the window's notification.
class TCustomListControl : public TWinControl {
  QL_DECLARE_CLASS()
 public:
  ~TCustomListControl() override;
  [[nodiscard]] TStrings& Items() const noexcept { return *m_items; }
  void SetItems(const TStrings* items);
  /// -1: no line selected.
  [[nodiscard]] int ItemIndex() const noexcept { return m_itemIndex; }
  /// Raises for an index outside -1 .. Count-1.
  virtual void SetItemIndex(int index);

 protected:
  /// putKeepsSelection: whether replacing the selected line keeps it
  /// selected (list boxes) or drops the selection (combo boxes), as the
  /// host's framework does.
  TCustomListControl(TComponent* owner, bool putKeepsSelection);
  void InitializeWnd() override;
  void FinalizeWnd() override;
  void HandleWidgetEvent(WidgetEvent event) override;
  /// The user picked a line (ItemIndex holds it already).
  virtual void UserSelected() {}
  /// The window's selection was just set to ItemIndex.
  virtual void SelectionSent() {}
  /// Sends ItemIndex to the window.
  void SendSelection();
  /// Stores an index without sending it.
  void StoreItemIndex(int index) noexcept { m_itemIndex = index; }

 private:
  friend class TControlStrings;
  void LineInserted(int index, const std::string& line);
  void LineDeleted(int index);
  void LineReplaced(int index, const std::string& line);
  void LinesCleared();
  void LinesUpdating(bool updating);

  std::unique_ptr<TControlStrings> m_items;
  int m_itemIndex = -1;
  bool m_putKeepsSelection;
};

class TCustomListBox : public TCustomListControl {
  QL_DECLARE_CLASS()
 public:
  explicit TCustomListBox(TComponent* owner);

 protected:
  void CreateParams(TCreateParams& params) override;
};

class TListBox : public TCustomListBox {
  QL_DECLARE_CLASS()
 public:
  using TCustomListBox::TCustomListBox;
};

/// A drop-down combo box: an edit field (Text) over a list of lines.
/// Selecting a line puts it into the text; replacing the selected line
/// drops the selection and keeps the text.
class TCustomComboBox : public TCustomListControl {
  QL_DECLARE_CLASS()
 public:
  explicit TCustomComboBox(TComponent* owner);
  /// A line also becomes the text; -1 empties the text.
  void SetItemIndex(int index) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void FinalizeWnd() override;
  void HandleWidgetEvent(WidgetEvent event) override;
  void UserSelected() override;
  void SelectionSent() override;
  [[nodiscard]] std::string GetText() const override;

 private:
  mutable bool m_edited = false;
};

class TComboBox : public TCustomComboBox {
  QL_DECLARE_CLASS()
 public:
  using TCustomComboBox::TCustomComboBox;
};

}  // namespace quorlane
