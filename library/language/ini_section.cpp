#include "language/ini_section.h"

#include <cstring>

#include "framework/errors.h"

namespace quorlane {
namespace {

// What the profile functions take for blanks around keys and values: the
// ASCII white space and the old end-of-file mark 0x1A. CR and LF end lines.
bool IsBlank(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A';
}

bool IsLineBreak(char c) noexcept { return c == '\r' || c == '\n'; }

bool IsQuote(char c) noexcept { return c == '"' || c == '\''; }

unsigned char Fold(unsigned char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

std::string_view Trimmed(std::string_view text) noexcept {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EscapedAfterPercent(char c) noexcept { return c == '%' || c == 'n' || c == 'r' || c == '\r' || c == '\n'; }

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

}  // namespace

std::string EncodeIniValue(std::string_view value) {
  std::string stored;
  stored.reserve(value.size() + 2);
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\r') {
      stored += "%r";
    } else if (c == '\n') {
      stored += "%n";
    } else if (c == '%') {
      // A lone "%" (as in "50%" or "%s") stays as it is; only one that a
      // reader would take for an escape is doubled.
      stored += (i + 1 < value.size() && EscapedAfterPercent(value[i + 1])) ? "%%" : "%";
    } else {
      stored += c;
    }
  }
  const bool quote = !stored.empty() && (IsBlank(stored.front()) || IsBlank(stored.back()) ||
                                         (stored.size() >= 2 && IsQuote(stored.front()) && stored.back() == stored.front()));
  if (quote) {
    stored.insert(stored.begin(), '"');
    stored += '"';
  }
  return stored;
}

std::string DecodeIniValue(std::string_view stored) {
  stored = Trimmed(stored);
  if (stored.size() >= 2 && IsQuote(stored.front()) && stored.back() == stored.front()) {
    stored = stored.substr(1, stored.size() - 2);
  }
  std::string value;
  value.reserve(stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const char c = stored[i];
    if (c == '%' && i + 1 < stored.size()) {
      const char next = stored[i + 1];
      if (next == '%' || next == 'n' || next == 'r') {
        value += next == 'n' ? '\n' : next == 'r' ? '\r' : '%';
        ++i;
        continue;
      }
    }
    value += c;
  }
  return value;
}

bool SameIniName(std::string_view a, std::string_view b, const LeadByteTable& leadBytes) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size();) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (leadBytes[x] && i + 1 < a.size()) {
      if (x != y || a[i + 1] != b[i + 1]) return false;
      i += 2;
    } else {
      if (Fold(x) != Fold(y)) return false;
      ++i;
    }
  }
  return true;
}

IniSection::IniSection(std::string section, const LeadByteTable& leadBytes)
    : m_section(std::move(section)), m_leadBytes(leadBytes) {
  Index();
}

void IniSection::Look(std::string_view bytes) {
  if (bytes.size() == m_bytes.size() && (bytes.empty() || std::memcmp(bytes.data(), m_bytes.data(), bytes.size()) == 0)) {
    return;
  }
  m_bytes.assign(bytes.data(), bytes.size());
  Index();
}

std::optional<std::string> IniSection::Find(std::string_view key) const {
  const Entry* entry = Lookup(key);
  if (entry == nullptr) return std::nullopt;
  return DecodeIniValue(Slice(entry->valueBegin, entry->valueEnd));
}

std::optional<IniSection::Change> IniSection::Write(std::string_view key, std::string_view value) {
  const bool storable = !key.empty() && !IsBlank(key.front()) && !IsBlank(key.back()) && key.front() != '[' &&
                        key.front() != ';' && key.find_first_of("=\r\n") == std::string_view::npos;
  if (!storable) throw Exception("A language file cannot hold the key \"" + std::string(key) + "\"");
  const std::string stored = EncodeIniValue(value);
  if (const Entry* found = Lookup(key)) {
    if (DecodeIniValue(Slice(found->valueBegin, found->valueEnd)) == value) return std::nullopt;
    const std::size_t index = static_cast<std::size_t>(found - m_entries.data());
    const Change change = Replace(found->valueBegin, found->valueEnd - found->valueBegin, stored);
    const std::size_t grown = change.inserted, shrunk = change.removed;
    for (Entry& entry : m_entries) {
      if (entry.keyBegin <= change.offset) continue;
      for (std::size_t* at : {&entry.keyBegin, &entry.keyEnd, &entry.valueBegin, &entry.valueEnd}) *at = *at + grown - shrunk;
    }
    m_entries[index].valueEnd = change.offset + change.inserted;
    m_insertAt = m_insertAt + grown - shrunk;
    return change;
  }
  std::string text;
  std::size_t at = m_bytes.size();
  if (m_sectionFound) {
    at = m_insertAt;
    if (m_insertNeedsBreak) text = "\r\n";
  } else {
    if (!m_bytes.empty() && !IsLineBreak(m_bytes.back())) text = "\r\n";
    text += "[" + m_section + "]\r\n";
  }
  const std::size_t keyBegin = at + text.size();
  text.append(key).append("=").append(stored).append("\r\n");
  const Change change = Replace(at, 0, text);
  m_sectionFound = true;
  m_insertAt = at + text.size();
  m_insertNeedsBreak = false;
  const std::size_t valueBegin = keyBegin + key.size() + 1;
  Insert({keyBegin, keyBegin + key.size(), valueBegin, valueBegin + stored.size(), Hash(key)});
  return change;
}

IniSection::Change IniSection::Replace(std::size_t offset, std::size_t removed, const std::string& text) {
  m_bytes.replace(offset, removed, text);
  return {offset, removed, text.size()};
}

// One pass over the lines; only the first section of our name is indexed.
void IniSection::Index() {
  m_entries.clear();
  m_slots.assign(64, 0);
  m_sectionFound = false;
  m_insertAt = 0;
  m_insertNeedsBreak = false;
  enum class Where { Before, Inside, After } where = Where::Before;
  const std::string_view bytes = m_bytes;
  const std::size_t size = bytes.size();
  std::size_t position = bytes.substr(0, 3) == kUtf8Mark ? 3 : 0;
  while (position < size) {
    const std::size_t lineStart = position;
    std::size_t lineEnd = lineStart;
    while (lineEnd < size && !IsLineBreak(bytes[lineEnd])) ++lineEnd;
    std::size_t next = lineEnd;
    if (next < size) next += (bytes[next] == '\r' && next + 1 < size && bytes[next + 1] == '\n') ? 2 : 1;
    position = next;

    std::size_t begin = lineStart, end = lineEnd;
    while (begin < end && IsBlank(bytes[begin])) ++begin;
    while (end > begin && IsBlank(bytes[end - 1])) --end;
    if (begin == end) continue;

    if (bytes[begin] == '[') {
      // The name runs to the last "]" that is a character of its own.
      std::size_t close = std::string_view::npos;
      for (std::size_t i = begin + 1; i < end;) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == ']') close = i;
        i += (m_leadBytes[c] && i + 1 < end) ? 2 : 1;
      }
      if (close != std::string_view::npos) {
        if (where == Where::Inside) {
          where = Where::After;
        } else if (where == Where::Before && SameIniName(Slice(begin + 1, close), m_section, m_leadBytes)) {
          where = Where::Inside;
          m_sectionFound = true;
          m_insertAt = next;
          m_insertNeedsBreak = next == lineEnd;
        }
        continue;
      }
    }
    if (where != Where::Inside) continue;
    m_insertAt = next;
    m_insertNeedsBreak = next == lineEnd;
    if (bytes[begin] == ';') continue;
    // "=" (0x3D) is never the trail byte of a double-byte character.
    const std::size_t equals = bytes.find('=', begin);
    if (equals >= end) continue;
    std::size_t keyEnd = equals;
    while (keyEnd > begin && IsBlank(bytes[keyEnd - 1])) --keyEnd;
    if (keyEnd == begin) continue;
    std::size_t valueBegin = equals + 1;
    while (valueBegin < end && IsBlank(bytes[valueBegin])) ++valueBegin;
    const std::string_view key = Slice(begin, keyEnd);
    if (Lookup(key) == nullptr) Insert({begin, keyEnd, valueBegin, end, Hash(key)});
  }
}

std::uint32_t IniSection::Hash(std::string_view name) const noexcept {
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < name.size(); ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    if (m_leadBytes[c] && i + 1 < name.size()) {
      hash = (hash ^ c) * 16777619u;
      c = static_cast<unsigned char>(name[++i]);
    } else {
      c = Fold(c);
    }
    hash = (hash ^ c) * 16777619u;
  }
  return hash;
}

const IniSection::Entry* IniSection::Lookup(std::string_view key) const noexcept {
  const std::uint32_t hash = Hash(key);
  const std::size_t mask = m_slots.size() - 1;
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const std::uint32_t held = m_slots[slot];
    if (held == 0) return nullptr;
    const Entry& entry = m_entries[held - 1];
    if (entry.hash == hash && SameIniName(Slice(entry.keyBegin, entry.keyEnd), key, m_leadBytes)) return &entry;
  }
}

void IniSection::Insert(const Entry& entry) {
  if ((m_entries.size() + 1) * 2 > m_slots.size()) Grow();
  m_entries.push_back(entry);
  const std::size_t mask = m_slots.size() - 1;
  std::size_t slot = entry.hash & mask;
  while (m_slots[slot] != 0) slot = (slot + 1) & mask;
  m_slots[slot] = static_cast<std::uint32_t>(m_entries.size());
}

void IniSection::Grow() {
  m_slots.assign(m_slots.size() * 2, 0);
  const std::size_t mask = m_slots.size() - 1;
  for (std::size_t i = 0; i < m_entries.size(); ++i) {
    std::size_t slot = m_entries[i].hash & mask;
    while (m_slots[slot] != 0) slot = (slot + 1) & mask;
    m_slots[slot] = static_cast<std::uint32_t>(i + 1);
  }
}

}  // namespace quorlane
