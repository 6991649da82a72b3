#include "framework/strings.h"

namespace quorlane {
namespace {
[[noreturn]] void ThrowListIndex() { throw Exception("list index out of bounds"); }
}  // namespace

QL_DEFINE_CLASS(TStrings, TPersistent, {})
QL_DEFINE_CLASS(TStringList, TStrings, {})

void TStrings::BeginUpdate() {
  if (m_updateCount++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (m_updateCount == 0) return;
  if (--m_updateCount == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

void TStrings::Assign(const TPersistent& source) {
  if (!source.Is<TStrings>()) return TPersistent::Assign(source);
  const auto& lines = static_cast<const TStrings&>(source);
  if (&lines == this) return;
  UpdateGuard<TStrings> bracket(*this);
  Clear();
  for (int i = 0; i < lines.Count(); ++i) Add(lines.Get(i));
}

std::string TStrings::Text() const {
  std::string text;
  for (int i = 0; i < Count(); ++i) text.append(Get(i)).append("\r\n");
  return text;
}

void TStrings::SetText(std::string_view text) {
  UpdateGuard<TStrings> bracket(*this);
  Clear();
  for (const std::string& line : SplitLines(text)) Add(line);
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string TStringList::Get(int index) const {
  if (index < 0 || index >= Count()) ThrowListIndex();
  return m_lines[static_cast<std::size_t>(index)];
}

void TStringList::Put(int index, const std::string& line) {
  if (index < 0 || index >= Count()) ThrowListIndex();
  m_lines[static_cast<std::size_t>(index)] = line;
  Changed();
}

void TStringList::Insert(int index, const std::string& line) {
  if (index < 0 || index > Count()) ThrowListIndex();
  m_lines.insert(m_lines.begin() + index, line);
  Changed();
}

void TStringList::Delete(int index) {
  if (index < 0 || index >= Count()) ThrowListIndex();
  m_lines.erase(m_lines.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (m_lines.empty()) return;
  m_lines.clear();
  Changed();
}

void TStringList::SetUpdateState(bool updating) {
  if (!updating) Changed();
}

void TStringList::Changed() {
  if (UpdateCount() == 0) OnChange(*this);
}

}  // namespace quorlane
