// Fuzzes reply assembly: the input is cut into chunks at each 0xFF byte. The
// assembler must never crash, never hold more than its cap, never keep an
// "[END]", and never hand out the payload of an incomplete reply.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reply_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  quorlane::ReplyAssembler reply;
  reply.ResetForSend();
  std::size_t at = 0;
  while (at <= input.size()) {
    std::size_t cut = input.find('\xFF', at);
    if (cut == std::string_view::npos) cut = input.size();
    const std::string_view chunk = input.substr(at, cut - at);
    static_cast<void>(reply.ClientSocketRead(chunk));
    if (reply.ReceivedData().size() > quorlane::ReplyAssembler::kMaxReplyBytes) std::abort();
    // A frame is always cut at its first "[END]".
    if (reply.ReceivedData().find("[END]") != std::string::npos) std::abort();
    if (chunk.size() == 1 && chunk[0] == 'C') reply.ConnectionClosed();
    at = cut + 1;
  }
  const std::string payload = reply.TakePayload("[LOCKDB]");
  if (reply.Receiving() && !payload.empty()) std::abort();

  // Splitting loses nothing but the separators.
  const auto fields = quorlane::SplitFields(input, ";");
  std::string joined;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) joined.push_back(';');
    joined += fields[i];
  }
  if (!input.empty() && input.back() == ';') joined.push_back(';');
  if (joined != input) std::abort();
  return 0;
}
