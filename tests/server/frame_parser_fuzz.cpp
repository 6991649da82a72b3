// libFuzzer target: the request path a peer controls, from raw bytes through
// frame assembly, request splitting and the lock fields. The input is fed in
// chunks whose sizes come from its first byte, so split markers are explored.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "frame_parser.h"
#include "lock_table.h"
#include "request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorlane::server;
  if (size == 0) return 0;
  const std::size_t step = 1 + data[0] % 17;
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  FrameParser parser(512);
  LockTable table;
  while (!input.empty()) {
    std::string_view chunk = input.substr(0, step);
    input.remove_prefix(chunk.size());
    while (!chunk.empty()) {
      const auto result = parser.Feed(chunk);
      if (result.consumed > chunk.size() || parser.Buffered() > 512) __builtin_trap();
      chunk.remove_prefix(result.consumed);
      if (result.status == FrameParser::Status::Error) return 0;
      if (result.status == FrameParser::Status::NeedMore && !chunk.empty()) __builtin_trap();
      if (result.status != FrameParser::Status::Frame) continue;
      const std::string_view body = parser.Body();
      if (body.find(kFrameEnd) != std::string_view::npos) __builtin_trap();
      const auto request = SplitRequest(body);
      if (!request) continue;
      if (const auto fields = ParseLockFields(request->fields)) {
        const auto outcome = table.Execute(LockCommand::Lock, fields->key, fields->user, fields->computer, "t");
        if (outcome.payload.empty()) __builtin_trap();
        (void)ReplyFrame(request->tag, outcome.payload);
      }
    }
  }
  return 0;
}
