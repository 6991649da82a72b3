#include "code_page_text.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <unordered_map>

namespace quorlane::server::web {
namespace {

#include "code_page_tables.inc"

constexpr unsigned kFirstLead = 0x81, kLastLead = 0xFE, kFirstTrail = 0x40, kLastTrail = 0xFE;
constexpr unsigned kTrails = kLastTrail - kFirstTrail + 1;

const std::uint16_t* DoubleTable(CodePage codePage) {
  switch (codePage) {
    case CodePage::Big5: return kCp950Double;
    case CodePage::Gbk: return kCp936Double;
    case CodePage::Western: return nullptr;
  }
  return nullptr;
}

char32_t HighByte(CodePage codePage, unsigned char byte) {
  switch (codePage) {
    case CodePage::Big5: return 0;
    case CodePage::Gbk: return kCp936High[byte - 0x80];
    case CodePage::Western: return kCp1252High[byte - 0x80];
  }
  return 0;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void AppendEscape(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.append("\\x");
  out.push_back(kHex[byte >> 4]);
  out.push_back(kHex[byte & 0xF]);
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

int HexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// "\x" and two hex digits at `at`: what ParseShownText reads as one byte.
bool EscapeAt(std::string_view text, std::size_t at) {
  return at + 3 < text.size() && text[at] == '\\' && text[at + 1] == 'x' && IsHex(text[at + 2]) &&
         IsHex(text[at + 3]);
}

// Characters to the bytes that write them, built once per code page.
class Encoder {
 public:
  explicit Encoder(CodePage codePage) {
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
      if (const char32_t c = HighByte(codePage, static_cast<unsigned char>(byte))) {
        codes_.emplace(c, static_cast<std::uint16_t>(byte));
      }
    }
    const std::uint16_t* table = DoubleTable(codePage);
    if (!table) return;
    const std::uint16_t* skip = codePage == CodePage::Big5 ? kCp950NonCanonical : kCp936NonCanonical;
    const std::size_t skipCount = codePage == CodePage::Big5 ? std::size(kCp950NonCanonical) : std::size(kCp936NonCanonical);
    for (unsigned lead = kFirstLead; lead <= kLastLead; ++lead) {
      for (unsigned trail = kFirstTrail; trail <= kLastTrail; ++trail) {
        const char32_t c = table[(lead - kFirstLead) * kTrails + (trail - kFirstTrail)];
        const auto code = static_cast<std::uint16_t>((lead << 8) | trail);
        if (c == 0 || std::find(skip, skip + skipCount, code) != skip + skipCount) continue;
        codes_.emplace(c, code);
      }
    }
  }
  [[nodiscard]] std::optional<std::uint16_t> Find(char32_t c) const {
    const auto it = codes_.find(c);
    if (it == codes_.end()) return std::nullopt;
    return it->second;
  }

 private:
  std::unordered_map<char32_t, std::uint16_t> codes_;
};

const Encoder& EncoderOf(CodePage codePage) {
  static const Encoder big5(CodePage::Big5), gbk(CodePage::Gbk), western(CodePage::Western);
  switch (codePage) {
    case CodePage::Big5: return big5;
    case CodePage::Gbk: return gbk;
    case CodePage::Western: return western;
  }
  return western;
}

// One UTF-8 character at `at`; nothing for a malformed or overlong sequence.
std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& at) {
  const auto first = static_cast<unsigned char>(text[at]);
  int length = first < 0x80 ? 1 : (first >> 5) == 0x6 ? 2 : (first >> 4) == 0xE ? 3 : (first >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || at + static_cast<std::size_t>(length) > text.size()) return std::nullopt;
  char32_t c = length == 1 ? first : first & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + static_cast<std::size_t>(i)]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (next & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  at += static_cast<std::size_t>(length);
  return c;
}

}  // namespace

std::optional<CodePage> CodePageFromNumber(unsigned number) {
  switch (number) {
    case 950: return CodePage::Big5;
    case 936: return CodePage::Gbk;
    case 1252: return CodePage::Western;
    default: return std::nullopt;
  }
}

char32_t DecodeDoubleByte(CodePage codePage, unsigned char lead, unsigned char trail) {
  const std::uint16_t* table = DoubleTable(codePage);
  if (!table || lead < kFirstLead || lead > kLastLead || trail < kFirstTrail || trail > kLastTrail) return 0;
  return table[(lead - kFirstLead) * kTrails + (trail - kFirstTrail)];
}

std::string ShowBytes(std::string_view bytes, CodePage codePage, ShownAs how) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (std::size_t i = 0; i < bytes.size();) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x80) {
      const bool control = byte < 0x20 || byte == 0x7F;
      const bool keptInText = how == ShownAs::Text && (byte == '\t' || byte == '\n' || byte == '\r');
      if ((control && !keptInText) || (byte == '\\' && EscapeAt(bytes, i))) {
        AppendEscape(out, byte);
      } else {
        out.push_back(static_cast<char>(byte));
      }
      ++i;
      continue;
    }
    if (i + 1 < bytes.size()) {
      if (const char32_t c = DecodeDoubleByte(codePage, byte, static_cast<unsigned char>(bytes[i + 1]))) {
        AppendUtf8(out, c);
        i += 2;
        continue;
      }
    }
    if (const char32_t c = HighByte(codePage, byte); c != 0 && !(c >= 0x80 && c <= 0x9F)) {
      AppendUtf8(out, c);
    } else {
      AppendEscape(out, byte);
    }
    ++i;
  }
  return out;
}

std::optional<std::string> ParseShownText(std::string_view text, CodePage codePage, std::string& error) {
  std::string out;
  out.reserve(text.size());
  const Encoder& encoder = EncoderOf(codePage);
  for (std::size_t i = 0; i < text.size();) {
    if (EscapeAt(text, i)) {
      out.push_back(static_cast<char>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3])));
      i += 4;
      continue;
    }
    const std::size_t start = i;
    const auto c = NextUtf8(text, i);
    if (!c) return error = "the text is not UTF-8", std::nullopt;
    if (*c < 0x80) {
      out.push_back(static_cast<char>(*c));
      continue;
    }
    const auto code = encoder.Find(*c);
    if (!code) {
      return error = "\"" + std::string(text.substr(start, i - start)) + "\" cannot be written in code page " +
                     std::to_string(static_cast<unsigned>(codePage)),
             std::nullopt;
    }
    if (*code > 0xFF) out.push_back(static_cast<char>(*code >> 8));
    out.push_back(static_cast<char>(*code & 0xFF));
  }
  return out;
}

}  // namespace quorlane::server::web
