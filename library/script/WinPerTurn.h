// TWinPerTurn: the converter between Traditional (Big5) and Simplified (GBK)
// Chinese. The library keeps one, created by SetInitial without an owner.
#pragma once

namespace quorlane {

class TWinPerTurn {
 public:
  TWinPerTurn() = default;
  TWinPerTurn(const TWinPerTurn&) = delete;
  TWinPerTurn& operator=(const TWinPerTurn&) = delete;
  ~TWinPerTurn() = default;
};

}  // namespace quorlane
