// String lists. TStrings is the abstract list that published "Items" and
// "Lines" properties declare; TStringList keeps its lines in memory. The
// update bracket counts: SetUpdateState hears only the moves between 0 and 1,
// which is where a list shown by a control turns its window's redraw off and
// on again.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "framework/components.h"

namespace quorlane {

class TStrings : public TPersistent {
  QL_DECLARE_CLASS()
 public:
  [[nodiscard]] virtual int Count() const = 0;
  [[nodiscard]] virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& line) = 0;
  virtual void Insert(int index, const std::string& line) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  void Add(const std::string& line) { Insert(Count(), line); }

  void BeginUpdate();
  /// Unbalanced calls are ignored.
  void EndUpdate();
  [[nodiscard]] int UpdateCount() const noexcept { return m_updateCount; }
  void Assign(const TPersistent& source) override;

  /// The lines, each followed by CR LF.
  [[nodiscard]] std::string Text() const;
  /// Replaces the lines by those of text, split at CR LF, CR or LF.
  void SetText(std::string_view text);

 protected:
  /// The bracket opened (true) or closed (false).
  virtual void SetUpdateState(bool updating);

 private:
  int m_updateCount = 0;
};

class TStringList : public TStrings {
  QL_DECLARE_CLASS()
 public:
  [[nodiscard]] int Count() const noexcept override { return static_cast<int>(m_lines.size()); }
  [[nodiscard]] std::string Get(int index) const override;
  void Put(int index, const std::string& line) override;
  void Insert(int index, const std::string& line) override;
  void Delete(int index) override;
  void Clear() override;

  /// After every change made outside an update bracket, and once when the
  /// outermost bracket closes.
  TNotifyEvent OnChange;

 protected:
  void SetUpdateState(bool updating) override;

 private:
  void Changed();
  std::vector<std::string> m_lines;
};

/// Splits text into lines at CR LF, CR or LF; a final line break ends the
/// last line rather than starting an empty one.
[[nodiscard]] std::vector<std::string> SplitLines(std::string_view text);

}  // namespace quorlane
