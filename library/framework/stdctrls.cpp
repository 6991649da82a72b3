#include "framework/stdctrls.h"

#include "framework/actnlist.h"

namespace quorlane {
namespace {

[[noreturn]] void ThrowListIndex() { throw Exception("list index out of bounds"); }

constexpr TPropertyInfo kLabelProperties[] = {
    props::Text<TLabel, &TControl::Caption, &TControl::SetCaption>("Caption"),
    props::Owned<TLabel, TFont, &TControl::Font>("Font"),
    props::Text<TLabel, &TControl::Hint, &TControl::SetHint>("Hint"),
};
constexpr TPropertyInfo kButtonProperties[] = {
    props::Text<TButton, &TControl::Caption, &TControl::SetCaption>("Caption"),
    props::Owned<TButton, TFont, &TControl::Font>("Font"),
    props::Text<TButton, &TControl::Hint, &TControl::SetHint>("Hint"),
    props::Object<TButton, TBasicAction, &TControl::Action, &TControl::SetAction>("Action"),
    props::Event("OnClick"),
};
constexpr TPropertyInfo kPanelProperties[] = {
    props::Text<TPanel, &TControl::Caption, &TControl::SetCaption>("Caption"),
    props::Owned<TPanel, TFont, &TControl::Font>("Font"),
    props::Text<TPanel, &TControl::Hint, &TControl::SetHint>("Hint"),
};
constexpr TPropertyInfo kEditProperties[] = {
    props::Text<TEdit, &TControl::Text, &TControl::SetText>("Text"),
    props::Owned<TEdit, TFont, &TControl::Font>("Font"),
    props::Text<TEdit, &TControl::Hint, &TControl::SetHint>("Hint"),
};
constexpr TPropertyInfo kMemoProperties[] = {
    props::Owned<TMemo, TStrings, &TMemo::Lines>("Lines"),
    props::Owned<TMemo, TFont, &TControl::Font>("Font"),
    props::Text<TMemo, &TControl::Hint, &TControl::SetHint>("Hint"),
};
constexpr TPropertyInfo kListBoxProperties[] = {
    props::Owned<TListBox, TStrings, &TCustomListControl::Items>("Items"),
    props::Integer<TListBox, &TCustomListControl::ItemIndex, &TCustomListControl::SetItemIndex>("ItemIndex"),
    props::Owned<TListBox, TFont, &TControl::Font>("Font"),
    props::Text<TListBox, &TControl::Hint, &TControl::SetHint>("Hint"),
};
constexpr TPropertyInfo kComboBoxProperties[] = {
    props::Text<TComboBox, &TControl::Text, &TControl::SetText>("Text"),
    props::Owned<TComboBox, TStrings, &TCustomListControl::Items>("Items"),
    props::Integer<TComboBox, &TCustomListControl::ItemIndex, &TCustomListControl::SetItemIndex>("ItemIndex"),
    props::Owned<TComboBox, TFont, &TControl::Font>("Font"),
    props::Text<TComboBox, &TControl::Hint, &TControl::SetHint>("Hint"),
};

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text.append("\r\n");
    text.append(lines[i]);
  }
  return text;
}

}  // namespace

QL_DEFINE_CLASS(TControlStrings, TStrings, {})
QL_DEFINE_CLASS(TCustomLabel, TWinControl, {})
QL_DEFINE_CLASS(TLabel, TCustomLabel, kLabelProperties)
QL_DEFINE_CLASS(TButton, TWinControl, kButtonProperties)
QL_DEFINE_CLASS(TCustomPanel, TWinControl, {})
QL_DEFINE_CLASS(TPanel, TCustomPanel, kPanelProperties)
QL_DEFINE_CLASS(TCustomEdit, TWinControl, {})
QL_DEFINE_CLASS(TEdit, TCustomEdit, kEditProperties)
QL_DEFINE_CLASS(TMemoStrings, TStrings, {})
QL_DEFINE_CLASS(TMemo, TCustomEdit, kMemoProperties)
QL_DEFINE_CLASS(TCustomListControl, TWinControl, {})
QL_DEFINE_CLASS(TCustomListBox, TCustomListControl, {})
QL_DEFINE_CLASS(TListBox, TCustomListBox, kListBoxProperties)
QL_DEFINE_CLASS(TCustomComboBox, TCustomListControl, {})
QL_DEFINE_CLASS(TComboBox, TCustomComboBox, kComboBoxProperties)

// ---- TControlStrings ------------------------------------------------------

std::string TControlStrings::Get(int index) const {
  if (index < 0 || index >= Count()) ThrowListIndex();
  return m_lines[static_cast<std::size_t>(index)];
}

void TControlStrings::Put(int index, const std::string& line) {
  if (index < 0 || index >= Count()) ThrowListIndex();
  m_lines[static_cast<std::size_t>(index)] = line;
  m_control.LineReplaced(index, line);
}

void TControlStrings::Insert(int index, const std::string& line) {
  if (index < 0 || index > Count()) ThrowListIndex();
  m_lines.insert(m_lines.begin() + index, line);
  m_control.LineInserted(index, line);
}

void TControlStrings::Delete(int index) {
  if (index < 0 || index >= Count()) ThrowListIndex();
  m_lines.erase(m_lines.begin() + index);
  m_control.LineDeleted(index);
}

void TControlStrings::Clear() {
  m_lines.clear();
  m_control.LinesCleared();
}

void TControlStrings::SetUpdateState(bool updating) { m_control.LinesUpdating(updating); }

// ---- labels, buttons, panels ----------------------------------------------

TCustomLabel::TCustomLabel(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 65, 17); }

void TCustomLabel::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.kind = WidgetKind::Label;
}

TButton::TButton(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 75, 25); }

void TButton::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.kind = WidgetKind::Button;
}

// A click runs the button's own handler, else its action's.
void TButton::HandleWidgetEvent(WidgetEvent event) {
  if (event != WidgetEvent::Clicked) return;
  if (OnClick) {
    OnClick(*this);
  } else if (Action() != nullptr) {
    Action()->Execute();
  }
}

TCustomPanel::TCustomPanel(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 185, 41); }

void TCustomPanel::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.kind = WidgetKind::Panel;
}

// ---- edit fields ----------------------------------------------------------

TCustomEdit::TCustomEdit(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 121, 21); }

void TCustomEdit::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.kind = WidgetKind::Edit;
}

void TCustomEdit::HandleWidgetEvent(WidgetEvent event) {
  if (event == WidgetEvent::TextEdited) m_edited = true;
}

void TCustomEdit::TakeBackEdits() const {
  if (!m_edited || WindowHandle() == 0) return;
  m_edited = false;
  StoreEditedText(Widgets().GetText(WindowHandle()));
}

void TCustomEdit::FinalizeWnd() { TakeBackEdits(); }

std::string TCustomEdit::GetText() const {
  TakeBackEdits();
  return StoredText();
}

int TMemoStrings::Count() const {
  m_memo.TakeBackEdits();
  return static_cast<int>(m_lines.size());
}

std::string TMemoStrings::Get(int index) const {
  if (index < 0 || index >= Count()) ThrowListIndex();
  return m_lines[static_cast<std::size_t>(index)];
}

void TMemoStrings::Put(int index, const std::string& line) {
  if (index < 0 || index >= Count()) ThrowListIndex();
  m_lines[static_cast<std::size_t>(index)] = line;
  m_memo.LinesChanged();
}

void TMemoStrings::Insert(int index, const std::string& line) {
  if (index < 0 || index > Count()) ThrowListIndex();
  m_lines.insert(m_lines.begin() + index, line);
  m_memo.LinesChanged();
}

void TMemoStrings::Delete(int index) {
  if (index < 0 || index >= Count()) ThrowListIndex();
  m_lines.erase(m_lines.begin() + index);
  m_memo.LinesChanged();
}

void TMemoStrings::Clear() {
  m_memo.TakeBackEdits();
  m_lines.clear();
  m_memo.LinesChanged();
}

void TMemoStrings::SetUpdateState(bool updating) {
  if (!updating) m_memo.LinesChanged();
}

TMemo::TMemo(TComponent* owner) : TCustomEdit(owner), m_lines(std::make_unique<TMemoStrings>(*this)) {
  SetBounds(0, 0, 185, 89);
}

TMemo::~TMemo() = default;

void TMemo::SetLines(const TStrings* lines) {
  if (lines == nullptr) {
    m_lines->Clear();
  } else {
    m_lines->Assign(*lines);
  }
}

void TMemo::CreateParams(TCreateParams& params) {
  TCustomEdit::CreateParams(params);
  params.kind = WidgetKind::Memo;
  params.text = JoinedLines();
}

std::string TMemo::JoinedLines() const { return JoinLines(m_lines->m_lines); }

std::string TMemo::GetText() const {
  TakeBackEdits();
  return JoinedLines();
}

void TMemo::DoSetText(const std::string& text) { m_lines->SetText(text); }

void TMemo::StoreEditedText(std::string text) const { m_lines->m_lines = SplitLines(text); }

// One line changed the whole window text: a memo is small, and its window
// holds one text, not lines.
void TMemo::LinesChanged() {
  if (m_lines->UpdateCount() == 0 && WindowHandle() != 0) Widgets().SetText(WindowHandle(), JoinedLines());
}

// ---- list boxes and combo boxes -------------------------------------------

TCustomListControl::TCustomListControl(TComponent* owner, bool putKeepsSelection)
    : TWinControl(owner), m_items(std::make_unique<TControlStrings>(*this)), m_putKeepsSelection(putKeepsSelection) {}

TCustomListControl::~TCustomListControl() = default;

void TCustomListControl::SetItems(const TStrings* items) {
  if (items == nullptr) {
    m_items->Clear();
  } else {
    m_items->Assign(*items);
  }
}

void TCustomListControl::SetItemIndex(int index) {
  if (index < -1 || index >= m_items->Count()) ThrowListIndex();
  m_itemIndex = index;
  if (WindowHandle() != 0) SendSelection();
}

void TCustomListControl::SendSelection() {
  Widgets().ListSetSelection(WindowHandle(), m_itemIndex);
  SelectionSent();
}

void TCustomListControl::InitializeWnd() {
  TWinControl::InitializeWnd();
  // A window made inside an update bracket starts with its redraw off.
  if (m_items->UpdateCount() > 0) Widgets().SetRedraw(WindowHandle(), false);
  for (int i = 0; i < m_items->Count(); ++i) Widgets().ListInsert(WindowHandle(), i, m_items->Get(i));
  SendSelection();
}

void TCustomListControl::FinalizeWnd() { m_itemIndex = Widgets().ListGetSelection(WindowHandle()); }

void TCustomListControl::HandleWidgetEvent(WidgetEvent event) {
  if (event != WidgetEvent::SelectionChanged) return;
  m_itemIndex = Widgets().ListGetSelection(WindowHandle());
  UserSelected();
}

void TCustomListControl::LineInserted(int index, const std::string& line) {
  const bool moves = m_itemIndex >= index;
  if (moves) ++m_itemIndex;
  if (WindowHandle() == 0) return;
  Widgets().ListInsert(WindowHandle(), index, line);
  if (moves) SendSelection();
}

void TCustomListControl::LineDeleted(int index) {
  const bool moves = m_itemIndex >= index;
  if (m_itemIndex == index) {
    m_itemIndex = -1;
  } else if (m_itemIndex > index) {
    --m_itemIndex;
  }
  if (WindowHandle() == 0) return;
  Widgets().ListDelete(WindowHandle(), index);
  if (moves) SendSelection();
}

// A window replaces a line by deleting and inserting it, which drops its
// selection; list boxes select the line again, combo boxes keep it dropped.
// Outside an update bracket the window redraws once for the pair, not twice.
void TCustomListControl::LineReplaced(int index, const std::string& line) {
  const bool selected = m_itemIndex == index;
  if (selected && !m_putKeepsSelection) m_itemIndex = -1;
  if (WindowHandle() == 0) return;
  const bool ownBracket = m_items->UpdateCount() == 0;
  if (ownBracket) LinesUpdating(true);
  try {
    Widgets().ListDelete(WindowHandle(), index);
    Widgets().ListInsert(WindowHandle(), index, line);
    if (selected) SendSelection();
  } catch (...) {
    if (ownBracket) {
      try {
        LinesUpdating(false);
      } catch (...) {
      }
    }
    throw;
  }
  if (ownBracket) LinesUpdating(false);
}

void TCustomListControl::LinesCleared() {
  m_itemIndex = -1;
  if (WindowHandle() == 0) return;
  Widgets().ListClear(WindowHandle());
  SendSelection();
}

void TCustomListControl::LinesUpdating(bool updating) {
  if (WindowHandle() != 0) Widgets().SetRedraw(WindowHandle(), !updating);
}

TCustomListBox::TCustomListBox(TComponent* owner) : TCustomListControl(owner, true) { SetBounds(0, 0, 121, 97); }

void TCustomListBox::CreateParams(TCreateParams& params) {
  TCustomListControl::CreateParams(params);
  params.kind = WidgetKind::ListBox;
}

TCustomComboBox::TCustomComboBox(TComponent* owner) : TCustomListControl(owner, false) {
  SetBounds(0, 0, 145, 21);
}

void TCustomComboBox::CreateParams(TCreateParams& params) {
  TCustomListControl::CreateParams(params);
  params.kind = WidgetKind::ComboBox;
}

void TCustomComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= Items().Count()) ThrowListIndex();
  StoreText(index >= 0 ? Items().Get(index) : std::string());
  m_edited = false;
  TCustomListControl::SetItemIndex(index);
}

std::string TCustomComboBox::GetText() const {
  if (m_edited && WindowHandle() != 0) {
    m_edited = false;
    StoreText(Widgets().GetText(WindowHandle()));
  }
  return StoredText();
}

void TCustomComboBox::FinalizeWnd() {
  (void)GetText();
  TCustomListControl::FinalizeWnd();
}

void TCustomComboBox::HandleWidgetEvent(WidgetEvent event) {
  if (event == WidgetEvent::TextEdited) {
    m_edited = true;
    return;
  }
  TCustomListControl::HandleWidgetEvent(event);
}

void TCustomComboBox::UserSelected() {
  if (ItemIndex() >= 0) StoreText(Items().Get(ItemIndex()));
  m_edited = false;
}

// Taking the selection away empties a combo box's edit field; the object
// still holds its text, so the window gets it back.
void TCustomComboBox::SelectionSent() {
  if (ItemIndex() < 0) Widgets().SetText(WindowHandle(), StoredText());
}

}  // namespace quorlane
