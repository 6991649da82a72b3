// The Tcx editors, whose settings live in a sub-object published as
// "Properties": TcxCheckBox, whose caption is Properties.Caption, and
// TcxComboBox, whose lines are Properties.Items (its ItemIndex and Text stay
// on the control).
#pragma once

#include <memory>
#include <string>

#include "framework/stdctrls.h"

namespace quorlane {

class TcxCheckBox;
class TcxComboBox;

class TcxCheckBoxProperties : public TPersistent {
  QL_DECLARE_CLASS()
 public:
  explicit TcxCheckBoxProperties(TcxCheckBox& box) noexcept : m_box(box) {}
  [[nodiscard]] std::string Caption() const;
  void SetCaption(const std::string& caption);

 private:
  TcxCheckBox& m_box;
};

class TcxCheckBox : public TWinControl {
  QL_DECLARE_CLASS()
 public:
  explicit TcxCheckBox(TComponent* owner);
  ~TcxCheckBox() override;
  [[nodiscard]] TcxCheckBoxProperties& Properties() const noexcept { return *m_properties; }

 protected:
  void CreateParams(TCreateParams& params) override;

 private:
  std::unique_ptr<TcxCheckBoxProperties> m_properties;
};

class TcxComboBoxProperties : public TPersistent {
  QL_DECLARE_CLASS()
 public:
  explicit TcxComboBoxProperties(TcxComboBox& box) noexcept : m_box(box) {}
  [[nodiscard]] TStrings& Items() const noexcept;

 private:
  TcxComboBox& m_box;
};

class TcxComboBox : public TCustomComboBox {
  QL_DECLARE_CLASS()
 public:
  explicit TcxComboBox(TComponent* owner);
  ~TcxComboBox() override;
  [[nodiscard]] TcxComboBoxProperties& Properties() const noexcept { return *m_properties; }

 private:
  std::unique_ptr<TcxComboBoxProperties> m_properties;
};

}  // namespace quorlane
