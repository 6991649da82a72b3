// libFuzzer target: what a peer or an administrator controls. The first
// byte chooses: even, a request stream fed in chunks whose size comes from
// it; odd, a mapping file. Neither may crash, hold more than its limit, or
// accept an entry that a reply line cannot carry.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "request_line.h"
#include "update_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorlane::updater;
  if (size == 0) return 0;
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] % 2 == 0) {
    const std::size_t step = 1 + data[0] % 23;
    RequestLineReader reader(64);
    auto status = RequestLineReader::Status::NeedMore;
    while (!input.empty()) {
      status = reader.Feed(input.substr(0, step));
      input.remove_prefix(std::min(step, input.size()));
      if (reader.Buffered() > 64) __builtin_trap();
    }
    if (status == RequestLineReader::Status::Line) {
      const std::string_view line = reader.Line();
      if (line.find('\n') != std::string_view::npos) __builtin_trap();
      const Request request = ClassifyLine(line);
      if (request.kind == Request::Kind::Lookup && request.identifier.size() + 4 != line.size()) __builtin_trap();
    }
    return 0;
  }
  std::string error;
  const auto map = UpdateMap::Parse(input, error);
  if (!map && error.rfind("line ", 0) != 0) __builtin_trap();
  if (map) {
    // Every identifier the text names must look up to a carryable address.
    for (std::size_t at = 0; at < input.size();) {
      const std::size_t end = std::min(input.find('\n', at), input.size());
      const std::string_view line = input.substr(at, end - at);
      const std::size_t equals = line.find('=');
      if (equals != std::string_view::npos) {
        if (const std::string* address = map->Find(line.substr(0, equals))) {
          if (address->size() > kMaxAddressBytes || address->find_first_of(std::string_view("\r\n\0", 3)) !=
                                                          std::string::npos) {
            __builtin_trap();
          }
        }
      }
      at = end + 1;
    }
  }
  return 0;
}
