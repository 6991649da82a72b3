#include "framework/comctrls.h"

namespace quorlane {

QL_DEFINE_CLASS(TCustomListView, TWinControl, {})

TCustomListView::TCustomListView(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 320, 120); }

void TCustomListView::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.kind = WidgetKind::ReportView;
  params.text.clear();
}

void TCustomListView::InitializeWnd() {
  TWinControl::InitializeWnd();
  m_shownColumns = 0;
  m_shownRows = 0;
  SendHeader();
  HeaderFontChanged();
  SendRows();
}

void TCustomListView::FontChanged() {
  TWinControl::FontChanged();
  // The header follows the control's font unless it has its own.
  if (TitleFont() == nullptr) HeaderFontChanged();
}

void TCustomListView::SendHeader() {
  WidgetSet& widgets = Widgets();
  while (m_shownColumns > 0) widgets.ColumnDelete(WindowHandle(), --m_shownColumns);
  for (int i = 0; i < HeaderCount(); ++i) {
    widgets.ColumnInsert(WindowHandle(), i, HeaderTitle(i), HeaderWidth(i));
    m_shownColumns = i + 1;
  }
}

void TCustomListView::SendRows() {
  WidgetSet& widgets = Widgets();
  widgets.RowsClear(WindowHandle());
  m_shownRows = 0;
  const int rows = RowCount();
  const int columns = HeaderCount();
  for (int row = 0; row < rows; ++row) {
    widgets.RowInsert(WindowHandle(), row, CellText(row, 0));
    m_shownRows = row + 1;
    for (int column = 1; column < columns; ++column) {
      widgets.CellSetText(WindowHandle(), row, column, CellText(row, column));
    }
  }
}

void TCustomListView::HeaderChanged() {
  // Rows hold one cell per column: they follow the header.
  if (WindowHandle() != 0) Rebuild(true);
}

void TCustomListView::HeaderTitleChanged(int index) {
  if (WindowHandle() == 0) return;
  if (index < 0 || index >= m_shownColumns) return HeaderChanged();
  Widgets().ColumnSetTitle(WindowHandle(), index, HeaderTitle(index));
}

void TCustomListView::HeaderFontChanged() {
  if (WindowHandle() == 0) return;
  const TFont* font = TitleFont();
  SendHeaderFont(font != nullptr ? *font : Font());
}

void TCustomListView::RowsChanged() {
  if (WindowHandle() != 0) Rebuild(false);
}

// The window redraws once, after the whole rebuild.
void TCustomListView::Rebuild(bool header) {
  Widgets().SetRedraw(WindowHandle(), false);
  try {
    if (header) SendHeader();
    SendRows();
    if (header) HeaderFontChanged();
  } catch (...) {
    try {
      if (WindowHandle() != 0) Widgets().SetRedraw(WindowHandle(), true);
    } catch (...) {
    }
    throw;
  }
  Widgets().SetRedraw(WindowHandle(), true);
}

void TCustomListView::RowChanged(int row) {
  if (WindowHandle() == 0) return;
  if (row < 0 || row >= m_shownRows || RowCount() != m_shownRows) return RowsChanged();
  for (int column = 0; column < HeaderCount(); ++column) {
    Widgets().CellSetText(WindowHandle(), row, column, CellText(row, column));
  }
}

}  // namespace quorlane
