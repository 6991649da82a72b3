#include "keyfile/taxation_key.h"

#include <array>
#include <vector>

#include "keyfile/local_text.h"

namespace quorlane::taxkey {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr std::size_t kCheckBytes = 4;

std::uint32_t Crc32(std::uint32_t crc, std::string_view bytes) {
  crc = ~crc;
  for (const char ch : bytes) {
    crc ^= static_cast<unsigned char>(ch);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// A keystream that depends on the salt only: the same salt masks and unmasks.
class Keystream {
 public:
  explicit Keystream(std::uint8_t salt) : m_state(0x6D2B79F5u ^ (static_cast<std::uint32_t>(salt) * 0x9E3779B1u)) {
    if (m_state == 0) m_state = 1;
  }
  char Mask(char c) {
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return static_cast<char>(static_cast<unsigned char>(c) ^ static_cast<unsigned char>(m_state >> 24));
  }

 private:
  std::uint32_t m_state;
};

std::uint32_t CheckOf(std::uint8_t salt, std::string_view text) {
  const char saltByte = static_cast<char>(salt);
  return Crc32(Crc32(Crc32(0, kSchemePrefix), std::string_view(&saltByte, 1)), text);
}

std::string Base64UrlEncode(std::string_view bytes) {
  std::string out;
  std::uint32_t buffer = 0;
  int bits = 0;
  for (const char ch : bytes) {
    buffer = (buffer << 8) | static_cast<unsigned char>(ch);
    bits += 8;
    while (bits >= 6) {
      bits -= 6;
      out.push_back(kAlphabet[(buffer >> bits) & 63]);
    }
  }
  if (bits > 0) out.push_back(kAlphabet[(buffer << (6 - bits)) & 63]);
  return out;
}

// Strict: only the alphabet, no length that no byte count gives, and the
// unused low bits of the last character zero (one encoding per text).
std::optional<std::string> Base64UrlDecode(std::string_view text) {
  static const std::array<int, 256> values = [] {
    std::array<int, 256> table{};
    table.fill(-1);
    for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
  }();
  if (text.size() % 4 == 1) return std::nullopt;
  std::string out;
  std::uint32_t buffer = 0;
  int bits = 0;
  for (const char ch : text) {
    const int value = values[static_cast<unsigned char>(ch)];
    if (value < 0) return std::nullopt;
    buffer = (buffer << 6) | static_cast<std::uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
    }
  }
  if ((buffer & ((1u << bits) - 1u)) != 0) return std::nullopt;
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string Scramble(std::string_view text, std::uint8_t salt) {
  std::string bytes(1, static_cast<char>(salt));
  Keystream stream(salt);
  for (const char ch : text) bytes.push_back(stream.Mask(ch));
  const std::uint32_t check = CheckOf(salt, text);
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>((check >> shift) & 0xFF));
  return std::string(kSchemePrefix) + Base64UrlEncode(bytes);
}

std::string Unscramble(std::string_view line) {
  line = TrimBlanks(line);
  if (line.substr(0, kSchemePrefix.size()) != kSchemePrefix) return {};
  const auto bytes = Base64UrlDecode(line.substr(kSchemePrefix.size()));
  if (!bytes || bytes->size() < 1 + kCheckBytes) return {};
  const auto salt = static_cast<std::uint8_t>((*bytes)[0]);
  Keystream stream(salt);
  std::string text;
  for (std::size_t i = 1; i + kCheckBytes < bytes->size(); ++i) text.push_back(stream.Mask((*bytes)[i]));
  std::uint32_t stored = 0;
  for (std::size_t i = bytes->size() - kCheckBytes; i < bytes->size(); ++i) {
    stored = (stored << 8) | static_cast<unsigned char>((*bytes)[i]);
  }
  if (stored != CheckOf(salt, text)) return {};
  return text;
}

std::string LowerAsciiLetters(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::optional<KeyFileContent> ReadKeyFile(std::string_view fileText) {
  const auto lines = SplitTextLines(fileText);
  if (lines.size() < 3) return std::nullopt;
  const std::string second = Unscramble(std::string_view(lines[1]).substr(0, kMaxLineChars));
  const std::string third = Unscramble(std::string_view(lines[2]).substr(0, kMaxLineChars));
  const std::size_t separator = second.find("==");
  if (separator == std::string::npos) return std::nullopt;
  return KeyFileContent{second.substr(0, separator), second.substr(separator + 2) + third};
}

std::string KeyFromKeyFile(std::string_view fileText, std::string_view owner) {
  if (owner.empty()) return {};
  const auto content = ReadKeyFile(fileText);
  if (!content || LowerAsciiLetters(content->owner) != LowerAsciiLetters(owner)) return {};
  return content->key;
}

std::optional<std::string> ComposeKeyFile(std::string_view owner, std::string_view key, std::uint8_t salt2,
                                          std::uint8_t salt3, std::string& error) {
  if (owner.empty()) return error = "the owner identifier is empty", std::nullopt;
  if (owner.find("==") != std::string_view::npos || owner.back() == '=') {
    return error = "the owner identifier must not contain \"==\" or end with \"=\"", std::nullopt;
  }
  if (TrimBlanks(owner).size() != owner.size() || owner.find_first_of("\r\n") != std::string_view::npos) {
    return error = "the owner identifier must not begin or end with a blank or hold a line break", std::nullopt;
  }
  if (key.empty()) return error = "the key is empty", std::nullopt;
  if (owner.size() + 2 > kMaxPlainBytesPerLine) {
    return error = "the owner identifier is longer than " + std::to_string(kMaxPlainBytesPerLine - 2) + " bytes",
           std::nullopt;
  }
  const std::size_t firstPart = kMaxPlainBytesPerLine - owner.size() - 2;
  const std::size_t capacity = firstPart + kMaxPlainBytesPerLine;
  if (key.size() > capacity) {
    return error = "the key is " + std::to_string(key.size()) + " bytes; with this owner identifier the file's two " +
                   std::to_string(kMaxLineChars) + "-character lines hold at most " + std::to_string(capacity),
           std::nullopt;
  }
  const std::string_view first = key.substr(0, firstPart);
  const std::string_view second = key.size() > firstPart ? key.substr(firstPart) : std::string_view();
  std::vector<std::string> lines;
  lines.emplace_back("Quorlane taxation key, written by quorlane-taxkey; lines 2 and 3 are scrambled, do not edit");
  lines.push_back(Scramble(std::string(owner) + "==" + std::string(first), salt2));
  lines.push_back(Scramble(second, salt3));
  return JoinCrLfLines(lines);
}

}  // namespace quorlane::taxkey
