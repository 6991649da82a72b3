// libFuzzer target: the platform-free rules of the language component, fed
// from language paths and texts a host or translator may give. The input is
// cut at its first two zero bytes into a text, a word and its replacement;
// its first byte picks the code page (double-byte or not).
//  - Word replacement equals a plain walk over the text's characters: a word
//    is replaced where a character begins and nowhere else.
//  - ConvertText with the word table equals that walk for each pair (the
//    native platform's character conversion changes nothing).
//  - A language path is stored with one trailing "\" or refused with the
//    library's error, and a refused one leaves the component as it was.
// The keys of the per-form language files: language_file_fuzz.cpp.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/errors.h"
#include "language/UIMultiLanguage.h"
#include "language/language_platform.h"
#include "language/word_table.h"

namespace {

using namespace quorlane;

std::string ReplaceByWalking(std::string_view text, std::string_view from, std::string_view to,
                             const LeadByteTable& leadBytes) {
  if (from.empty()) return std::string(text);
  std::string result;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.substr(i, from.size()) == from) {
      result.append(to);
      i += from.size();
      continue;
    }
    const std::size_t length = (leadBytes[static_cast<unsigned char>(text[i])] && i + 1 < text.size()) ? 2 : 1;
    result.append(text.substr(i, length));
    i += length;
  }
  return result;
}

std::string_view NextPart(std::string_view& input) {
  const std::size_t zero = input.find('\0');
  const std::string_view part = input.substr(0, zero);
  input.remove_prefix(zero == std::string_view::npos ? input.size() : zero + 1);
  return part;
}

TUIMultiLanguage& Component() {
  static TUIMultiLanguage component(nullptr);
  static const bool loaded = [] {
    component.SetWordTablePath("tables");
    return true;
  }();
  (void)loaded;
  return component;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const LeadByteTable& leadBytes = data[0] % 2 ? CurrentLanguagePlatform().AnsiLeadBytes() : SingleByteTable();
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string_view text = NextPart(input);
  const std::string_view from = NextPart(input);
  const std::string_view to = input;

  if (ReplaceAllMultiByte(text, from, to, leadBytes) != ReplaceByWalking(text, from, to, leadBytes)) __builtin_trap();
  if (ReplaceAllMultiByte(text, from, from, leadBytes) != text) __builtin_trap();

  TUIMultiLanguage& component = Component();
  const LeadByteTable& ansi = CurrentLanguagePlatform().AnsiLeadBytes();
  for (const int target : {0, 1}) {
    std::string expected(text);
    for (const TWordPair& pair : component.WordPairs()) {
      const std::string& source = target == 0 ? pair.TraditionalWord : pair.SimplifiedWord;
      const std::string& replacement = target == 0 ? pair.SimplifiedWord : pair.TraditionalWord;
      if (text.find(source) != std::string_view::npos) expected = ReplaceByWalking(expected, source, replacement, ansi);
    }
    if (component.ConvertText(text, target, true) != expected) __builtin_trap();
    if (component.ConvertText(text, target, false) != text) __builtin_trap();
  }
  if (component.ConvertText(text, 2 + (data[0] >> 1), true) != text) __builtin_trap();

  const std::string path(text);
  const std::string before = component.LanguagePath();
  const std::string folderBefore = component.LanguageFolder();
  try {
    (void)component.ResolvePath(path);
  } catch (const Exception&) {
  }
  try {
    component.SetLanguagePath(path);
    const std::string& stored = component.LanguagePath();
    if (!path.empty() && (stored.empty() || stored.back() != '\\' || stored.rfind(path, 0) != 0 ||
                          stored.size() > path.size() + 1)) {
      __builtin_trap();
    }
  } catch (const Exception&) {
    if (component.LanguagePath() != before || component.LanguageFolder() != folderBefore) __builtin_trap();
  }
  return 0;
}
