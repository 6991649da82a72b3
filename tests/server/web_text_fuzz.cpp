// What the web console makes of arbitrary bytes: the shown text is UTF-8 that
// turns back into the very bytes (in all three code pages, both ways of
// showing), and escaped HTML holds no markup character; arbitrary form and
// cookie text parses without harm.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "code_page_text.h"
#include "http_message.h"

using namespace quorlane::server::web;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const CodePage codePage : {CodePage::Big5, CodePage::Gbk, CodePage::Western}) {
    for (const ShownAs how : {ShownAs::Field, ShownAs::Text}) {
      const std::string shown = ShowBytes(bytes, codePage, how);
      std::string error;
      const auto back = ParseShownText(shown, codePage, error);
      // Big5's duplicate codes (A2CC, A2CE, F9E9-F9FD) come back as the
      // standard code of their character: compare what they show.
      if (!back || ShowBytes(*back, codePage, how) != shown) std::abort();
      const std::string html = HtmlEscape(shown);
      if (html.find_first_of("<>\"'") != std::string::npos) std::abort();
    }
  }
  (void)ParseForm(bytes);
  (void)CookieValue(bytes, "qlsession");
  if (const auto decoded = HexDecode(bytes); decoded && HexEncode(*decoded).size() != bytes.size()) std::abort();
  return 0;
}
