// quorlane-taxkey: writes a standalone installation's "Taxation.txt" from an
// owner identifier and a key, and reads one back the way Quorlane.dll does.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "keyfile/taxation_key.h"

namespace {

constexpr const char* kHelp = R"(quorlane-taxkey: the taxation key file of a standalone Quorlane installation

Usage:
  quorlane-taxkey write --owner OWNER [--file FILE]
      Reads the key from standard input (one line; the line break that ends
      it is not part of the key) and writes FILE (default Taxation.txt) for
      the installation whose Quorlane.ini names Owner=OWNER. Refuses a key
      that the file's two 255-character lines cannot hold. The key is never
      taken from the command line, where other users of the computer see it.
  quorlane-taxkey read [--owner OWNER] [--file FILE]
      Without --owner, prints the owner identifier and the key that FILE
      holds. With --owner, prints the key exactly as Quorlane.dll returns it
      to an installation with that owner identifier (the letters A to Z
      compare without regard to case); nothing and status 1 when it would
      return the empty text.
  quorlane-taxkey --help

Texts are bytes in the ANSI code page of the installation; nothing is
converted. The file's scrambling keeps the key out of plain sight; it is not
encryption.

Exit status: 0 done, 1 failure, 2 bad usage.
)";

int Usage(const std::string& message) {
  std::fprintf(stderr, "quorlane-taxkey: %s (see --help)\n", message.c_str());
  return 2;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "quorlane-taxkey: %s\n", message.c_str());
  return 1;
}

void BinaryStandardStreams() {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}

int Write(const std::string& owner, const std::string& file) {
  std::string key((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  if (!key.empty() && key.back() == '\n') key.pop_back();
  if (!key.empty() && key.back() == '\r') key.pop_back();
  if (key.find_first_of("\r\n") != std::string::npos) return Fail("the key must be one line");
  std::random_device random;
  std::string error;
  const auto text = quorlane::taxkey::ComposeKeyFile(owner, key, static_cast<std::uint8_t>(random()),
                                                     static_cast<std::uint8_t>(random()), error);
  if (!text) return Fail(error);
  // Checked before anything is written: the library must read back exactly this key.
  if (quorlane::taxkey::KeyFromKeyFile(*text, owner) != key) return Fail("the key does not read back unchanged");
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << *text;
  out.close();
  if (!out) return Fail("cannot write " + file);
  std::fprintf(stderr, "quorlane-taxkey: wrote %s for owner %s (key of %zu bytes)\n", file.c_str(), owner.c_str(),
               key.size());
  return 0;
}

int Read(const std::string& owner, bool ownerGiven, const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return Fail("cannot read " + file);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (ownerGiven) {
    const std::string key = quorlane::taxkey::KeyFromKeyFile(text, owner);
    if (key.empty()) return Fail("the library would read no key from " + file + " for owner " + owner);
    std::fwrite(key.data(), 1, key.size(), stdout);
    std::fputc('\n', stdout);
    return 0;
  }
  const auto content = quorlane::taxkey::ReadKeyFile(text);
  if (!content) return Fail(file + " is not a key file: fewer than three lines, or a second line that is damaged, "
                                   "foreign or without \"==\"");
  std::printf("owner: %s\nkey: ", content->owner.c_str());
  std::fwrite(content->key.data(), 1, content->key.size(), stdout);
  std::fputc('\n', stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    BinaryStandardStreams();
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("a command is needed");
    if (args[0] == "--help" || args[0] == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    const std::string& command = args[0];
    if (command != "write" && command != "read") return Usage("unknown command \"" + command + "\"");
    std::string owner, file = "Taxation.txt";
    bool ownerGiven = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
      if ((args[i] == "--owner" || args[i] == "--file") && i + 1 < args.size()) {
        (args[i] == "--owner" ? owner : file) = args[i + 1];
        ownerGiven |= args[i] == "--owner";
        ++i;
      } else {
        return Usage("unknown or incomplete argument \"" + args[i] + "\"");
      }
    }
    if (command == "write") {
      if (!ownerGiven) return Usage("write needs --owner");
      return Write(owner, file);
    }
    return Read(owner, ownerGiven, file);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
}
