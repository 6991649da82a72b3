// A server program's command line, one argument at a time: the option loop
// takes an option, then its value, without counting indexes itself.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quorlane::service {

class ArgumentReader {
 public:
  explicit ArgumentReader(const std::vector<std::string>& args) noexcept : m_args(args) {}

  /// Moves to the next argument; false after the last.
  [[nodiscard]] bool Next() noexcept {
    if (m_next >= m_args.size()) return false;
    m_current = m_next++;
    return true;
  }
  /// The argument Next() moved to.
  [[nodiscard]] const std::string& Current() const noexcept { return m_args[m_current]; }
  /// Takes the argument after the current one as its value; false, leaving
  /// `target` alone, when the command line ends first.
  [[nodiscard]] bool Value(std::string& target) {
    if (m_next >= m_args.size()) return false;
    target = m_args[m_next++];
    return true;
  }

 private:
  const std::vector<std::string>& m_args;
  std::size_t m_next = 0;
  std::size_t m_current = 0;
};

}  // namespace quorlane::service
