// libFuzzer target: the request path a peer controls, from raw bytes through
// frame assembly, request splitting and the lock fields. The input is fed in
// chunks whose sizes come from its first byte, so split markers are explored.
// The lock fields are also checked against the client's own field split.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "frame_parser.h"
#include "lock_table.h"
#include "request.h"

namespace {

// Key, user and computer as the last two fields of SplitFields and the rest
// joined with ";": what ParseLockFields must give without building the list.
std::optional<quorlane::server::LockFields> FieldsBySplitting(std::string_view text) {
  const auto fields = quorlane::server::SplitFields(text);
  if (fields.size() < 3) return std::nullopt;
  quorlane::server::LockFields result;
  result.user = fields[fields.size() - 2];
  result.computer = fields[fields.size() - 1];
  for (std::size_t i = 0; i + 2 < fields.size(); ++i) result.key.append(i > 0 ? ";" : "").append(fields[i]);
  return result;
}

}  // namespace

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
      const auto fields = ParseLockFields(request->fields);
      const auto expected = FieldsBySplitting(request->fields);
      if (fields.has_value() != expected.has_value() ||
          (fields && (fields->key != expected->key || fields->user != expected->user ||
                      fields->computer != expected->computer))) {
        __builtin_trap();
      }
      if (fields) {
        const auto outcome = table.Execute(LockCommand::Lock, fields->key, fields->user, fields->computer, "t");
        if (outcome.payload.empty()) __builtin_trap();
        (void)ReplyFrame(request->tag, outcome.payload);
      }
    }
  }
  return 0;
}
