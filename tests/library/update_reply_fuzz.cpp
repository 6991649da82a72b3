// Fuzzes the update look-up's reply reader: the input is cut into chunks at
// each 0xFF byte. The reader must never crash, never hold more than the
// limit, and give exactly the bytes before the first LF (less one CR).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "update_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using quorlane::update::ReplyLineReader;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  ReplyLineReader reader;
  std::string whole;
  auto status = ReplyLineReader::Status::NeedMore;
  std::size_t at = 0;
  while (at <= input.size() && status == ReplyLineReader::Status::NeedMore) {
    std::size_t cut = input.find('\xFF', at);
    if (cut == std::string_view::npos) cut = input.size();
    const std::string_view chunk = input.substr(at, cut - at);
    whole.append(chunk);
    status = reader.Feed(chunk);
    at = cut + 1;
  }
  const std::size_t lineFeed = whole.find('\n');
  const std::size_t before = lineFeed == std::string::npos ? whole.size() : lineFeed;
  if (before > quorlane::update::kMaxReplyBytes) {
    if (status != ReplyLineReader::Status::TooLong) std::abort();
  } else if (lineFeed != std::string::npos) {
    std::string expected = whole.substr(0, lineFeed);
    if (!expected.empty() && expected.back() == '\r') expected.pop_back();
    if (status != ReplyLineReader::Status::Line || reader.Line() != expected) std::abort();
  } else if (status != ReplyLineReader::Status::NeedMore) {
    std::abort();
  }
  return 0;
}
