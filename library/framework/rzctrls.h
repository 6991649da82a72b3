// The TRz controls the conversion knows by class: TRzLabel, TRzDBLabel (a
// data-aware label whose text comes from a dataset field), TRzPanel and
// TRzComboBox.
#pragma once

#include <string>

#include "framework/db.h"
#include "framework/stdctrls.h"

namespace quorlane {

class TRzLabel : public TCustomLabel {
  QL_DECLARE_CLASS()
 public:
  using TCustomLabel::TCustomLabel;
};

/// Shows the value of DataField in the current record of its data source.
class TRzDBLabel : public TRzLabel {
  QL_DECLARE_CLASS()
 public:
  explicit TRzDBLabel(TComponent* owner);
  ~TRzDBLabel() override;
  [[nodiscard]] TDataSource* DataSource() const noexcept { return m_link.DataSource(); }
  void SetDataSource(TDataSource* source);
  [[nodiscard]] const std::string& DataField() const noexcept { return m_dataField; }
  void SetDataField(const std::string& field);

 protected:
  void Notification(TComponent& component, TOperation operation) override;

 private:
  class TLabelLink final : public TDataLink {
   public:
    explicit TLabelLink(TRzDBLabel& label) noexcept : m_label(label) {}

   protected:
    void DataEvent(TDataEvent event) override;

   private:
    TRzDBLabel& m_label;
  };
  void ShowFieldValue();
  std::string m_dataField;
  TLabelLink m_link{*this};
};

class TRzPanel : public TCustomPanel {
  QL_DECLARE_CLASS()
 public:
  using TCustomPanel::TCustomPanel;
};

class TRzComboBox : public TCustomComboBox {
  QL_DECLARE_CLASS()
 public:
  using TCustomComboBox::TCustomComboBox;
};

}  // namespace quorlane
