// TxKey: the session object through which every site-server operation runs.
// The library creates one (SetInitial) and frees it (the balancing
// FreeInitial); hosts never see it.
#pragma once

namespace quorlane {

class TxKey {
 public:
  TxKey() = default;
  TxKey(const TxKey&) = delete;
  TxKey& operator=(const TxKey&) = delete;
  ~TxKey() = default;
};

}  // namespace quorlane
