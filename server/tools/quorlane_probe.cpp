// quorlane-probe: sends raw request bodies to a site server and prints each
// reply body on its own line. A stand-in "second workstation" for tests and
// a diagnostic for administrators:
//   quorlane-probe --connect 127.0.0.1:4000 '[LOCKDB]db1;ann;PC01;' '[CHECKDBLOCK]db1;x;y;'
#include <cstdio>
#include <string>

#include "net/listen_address.h"
#include "raw_client.h"

int main(int argc, char** argv) {
  std::string connect = "127.0.0.1:4000";
  int first = 1;
  if (argc >= 3 && std::string(argv[1]) == "--connect") {
    connect = argv[2];
    first = 3;
  }
  if (first >= argc || std::string(argv[1]) == "--help") {
    std::fputs("usage: quorlane-probe [--connect ADDR:PORT] BODY...\n"
               "  Sends \"[BEGIN]\" BODY \"[END]\" for each BODY over one connection and prints each\n"
               "  reply body (the text between [BEGIN] and [END]) on a line. Exit status 1 when a\n"
               "  reply does not arrive within 15 s or the connection fails.\n",
               stderr);
    return 2;
  }
  std::string host, error;
  std::uint16_t port = 0;
  if (!quorlane::net::SplitHostPort(connect, host, port)) {
    std::fprintf(stderr, "quorlane-probe: bad address %s\n", connect.c_str());
    return 2;
  }
  quorlane::server::RawClient client;
  if (!client.Connect(host, port, std::chrono::seconds(5), error)) {
    std::fprintf(stderr, "quorlane-probe: %s\n", error.c_str());
    return 1;
  }
  for (int i = first; i < argc; ++i) {
    const auto reply = client.Request(argv[i], std::chrono::seconds(15), error);
    if (!reply) {
      std::fprintf(stderr, "quorlane-probe: %s\n", error.c_str());
      return 1;
    }
    std::printf("%s\n", reply->c_str());
    std::fflush(stdout);
  }
  return 0;
}
