// libFuzzer target: the language files' reader and writer (ini_section.h).
// The input is a file's bytes, then after a NUL byte a list of writes, each
// "key\x01value\x02". Checked for every input:
//  - Encoding any value gives one line that decodes to the value.
//  - After each write the section, and a section that reads the new bytes
//    from scratch, give the written value for its key, and the same value
//    as before for every other key seen (in the file or written), so a
//    write never changes or creates another key.
//  - The reported change names exactly the bytes that differ.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/errors.h"
#include "language/ini_section.h"

namespace {

using quorlane::IniSection;

const quorlane::LeadByteTable& ChineseLeadBytes() {
  static const quorlane::LeadByteTable table = [] {
    quorlane::LeadByteTable t{};
    for (int b = 0x81; b <= 0xFE; ++b) t[static_cast<std::size_t>(b)] = true;
    return t;
  }();
  return table;
}

void Require(bool condition) {
  if (!condition) std::abort();
}

/// Keys the file may hold: the text before "=" on each line, trimmed.
std::vector<std::string> KeysIn(std::string_view bytes) {
  std::vector<std::string> keys;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = bytes.substr(start, end - start);
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos) {
      std::string_view key = line.substr(0, equals);
      while (!key.empty() && static_cast<unsigned char>(key.front()) <= ' ') key.remove_prefix(1);
      while (!key.empty() && static_cast<unsigned char>(key.back()) <= ' ') key.remove_suffix(1);
      if (!key.empty()) keys.emplace_back(key);
    }
    start = end + 1;
  }
  return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string_view file = input.substr(0, split);
  std::string_view writes = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

  IniSection section("TOrderForm", ChineseLeadBytes());
  section.Look(file);
  std::vector<std::string> keys = KeysIn(file);
  while (!writes.empty()) {
    const std::size_t keyEnd = writes.find('\x01');
    if (keyEnd == std::string_view::npos) break;
    std::size_t valueEnd = writes.find('\x02', keyEnd + 1);
    if (valueEnd == std::string_view::npos) valueEnd = writes.size();
    const std::string key(writes.substr(0, keyEnd));
    const std::string value(writes.substr(keyEnd + 1, valueEnd - keyEnd - 1));
    writes.remove_prefix(std::min(writes.size(), valueEnd + 1));

    const std::string stored = quorlane::EncodeIniValue(value);
    Require(stored.find_first_of("\r\n") == std::string::npos);
    Require(quorlane::DecodeIniValue(stored) == value);

    std::vector<std::optional<std::string>> before;
    for (const std::string& other : keys) before.push_back(section.Find(other));
    const std::string old = section.Bytes();
    std::optional<IniSection::Change> change;
    try {
      change = section.Write(key, value);
    } catch (const quorlane::Exception&) {
      Require(section.Bytes() == old);  // a key no line can hold: nothing written
      continue;
    }
    const std::string& now = section.Bytes();
    if (change) {
      Require(change->offset + change->removed <= old.size());
      Require(old.compare(0, change->offset, now, 0, change->offset) == 0);
      Require(old.substr(change->offset + change->removed) == now.substr(change->offset + change->inserted));
    } else {
      Require(now == old);
    }
    IniSection fresh("TOrderForm", ChineseLeadBytes());
    fresh.Look(now);
    Require(section.Find(key) == value);
    Require(fresh.Find(key) == value);
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (quorlane::SameIniName(keys[i], key, ChineseLeadBytes())) continue;
      Require(section.Find(keys[i]) == before[i]);
      Require(fresh.Find(keys[i]) == before[i]);
    }
    keys.push_back(key);
  }
  return 0;
}
