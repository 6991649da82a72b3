// The report view that grids are shown by: a list view in report mode whose
// header shows one title per column, over rows of cells. What it shows lives
// in the descendant's objects (columns, bands, a dataset); the window's
// columns and rows exist only while the window does, and InitializeWnd
// builds them again from those objects.
#pragma once

#include <string>

#include "framework/controls.h"

namespace quorlane {

class TCustomListView : public TWinControl {
  QL_DECLARE_CLASS()
 public:
  explicit TCustomListView(TComponent* owner);

 protected:
  // What the header and the rows show, asked when the window is built and
  // when the descendant says a part changed.
  [[nodiscard]] virtual int HeaderCount() const = 0;
  [[nodiscard]] virtual std::string HeaderTitle(int index) const = 0;
  [[nodiscard]] virtual int HeaderWidth(int) const { return 64; }
  /// The header's font; null: the control's own.
  [[nodiscard]] virtual const TFont* TitleFont() const { return nullptr; }
  [[nodiscard]] virtual int RowCount() const { return 0; }
  [[nodiscard]] virtual std::string CellText(int, int) const { return {}; }

  // What the descendant says changed; each sends only that part, and only
  // when a window exists.
  void HeaderChanged();
  void HeaderTitleChanged(int index);
  void HeaderFontChanged();
  void RowsChanged();
  void RowChanged(int row);

  void CreateParams(TCreateParams& params) override;
  void InitializeWnd() override;
  void FontChanged() override;

 private:
  void SendHeader();
  void SendRows();
  void Rebuild(bool header);
  int m_shownColumns = 0;
  int m_shownRows = 0;
};

}  // namespace quorlane
