// An edit field with a label of its own (TLabeledEdit): the label is a
// sub-object published as "EditLabel", owned by the edit, placed on the
// edit's parent just above it, and shown and hidden with it.
#pragma once

#include "framework/stdctrls.h"

namespace quorlane {

class TBoundLabel : public TCustomLabel {
  QL_DECLARE_CLASS()
 public:
  using TCustomLabel::TCustomLabel;
};

class TCustomLabeledEdit : public TCustomEdit {
  QL_DECLARE_CLASS()
 public:
  explicit TCustomLabeledEdit(TComponent* owner);
  [[nodiscard]] TBoundLabel& EditLabel() const noexcept { return *m_label; }
  /// Pixels between the label's bottom and the edit's top.
  static constexpr int kLabelSpacing = 3;

 protected:
  void BoundsChanged() override;
  void VisibleChanged() override;
  void ParentChanged() override;

 private:
  void PlaceLabel();
  TBoundLabel* m_label;  // owned as a component of this edit
};

class TLabeledEdit : public TCustomLabeledEdit {
  QL_DECLARE_CLASS()
 public:
  using TCustomLabeledEdit::TCustomLabeledEdit;
};

}  // namespace quorlane
