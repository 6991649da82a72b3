// libFuzzer target: key files and key lines from anywhere (a foreign file, a
// damaged one). Reading never fails hard; every text survives scrambling.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "keyfile/taxation_key.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace taxkey = quorlane::taxkey;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  (void)taxkey::KeyFromKeyFile(input, "Acme");
  (void)taxkey::ReadKeyFile(input);
  const std::string text = taxkey::Unscramble(input);
  const std::uint8_t salt = size > 0 ? data[0] : 0;
  if (taxkey::Unscramble(taxkey::Scramble(input, salt)) != input) __builtin_trap();
  if (!text.empty() && taxkey::Unscramble(taxkey::Scramble(text, salt)) != text) __builtin_trap();
  return 0;
}
