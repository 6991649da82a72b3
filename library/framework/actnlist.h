// Actions: a command with its own caption and hint that controls follow
// (TControl::SetAction). A control linked to an action shows the action's
// caption and hint, and a button's click executes it; changing the action
// changes every control linked to it. Actions are components, owned by the
// form like the controls they serve.
#pragma once

#include <string>
#include <vector>

#include "framework/components.h"

namespace quorlane {

class TControl;

class TBasicAction : public TComponent {
  QL_DECLARE_CLASS()
 public:
  explicit TBasicAction(TComponent* owner) : TComponent(owner) {}
  /// Unlinks every control still linked (they keep what they show).
  ~TBasicAction() override;

  /// Calls OnExecute; false when there is none.
  virtual bool Execute();
  TNotifyEvent OnExecute;

 protected:
  /// Every linked control takes the action's caption and hint again.
  void ClientsChanged();
  void Notification(TComponent& component, TOperation operation) override;

 private:
  friend class TControl;
  void LinkClient(TControl& control);
  void UnlinkClient(TControl& control) noexcept;
  std::vector<TControl*> m_clients;
};

class TAction : public TBasicAction {
  QL_DECLARE_CLASS()
 public:
  using TBasicAction::TBasicAction;
  [[nodiscard]] const std::string& Caption() const noexcept { return m_caption; }
  void SetCaption(const std::string& caption);
  [[nodiscard]] const std::string& Hint() const noexcept { return m_hint; }
  void SetHint(const std::string& hint);

 private:
  std::string m_caption;
  std::string m_hint;
};

}  // namespace quorlane
