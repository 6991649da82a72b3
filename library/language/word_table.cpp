#include "language/word_table.h"

namespace quorlane {

std::string ReplaceAllMultiByte(std::string_view text, std::string_view from, std::string_view to,
                                const LeadByteTable& leadBytes) {
  if (from.empty()) return std::string(text);
  std::string result;
  std::size_t copied = 0;    // text before this is in result
  std::size_t boundary = 0;  // a position known to begin a character
  std::size_t searchFrom = 0;
  for (;;) {
    const std::size_t hit = text.find(from, searchFrom);
    if (hit == std::string_view::npos) break;
    while (boundary < hit) {
      const bool lead = leadBytes[static_cast<unsigned char>(text[boundary])];
      boundary += (lead && boundary + 1 < text.size()) ? 2 : 1;
    }
    if (boundary != hit) {  // the match begins on a trail byte
      searchFrom = hit + 1;
      continue;
    }
    result.append(text.substr(copied, hit - copied));
    result.append(to);
    copied = searchFrom = boundary = hit + from.size();
  }
  if (copied == 0) return std::string(text);
  result.append(text.substr(copied));
  return result;
}

const LeadByteTable& SingleByteTable() noexcept {
  static const LeadByteTable none{};
  return none;
}

}  // namespace quorlane
