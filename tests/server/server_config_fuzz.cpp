// libFuzzer target: the server's configuration file and the address rules
// in it, from an administrator's typo to a foreign file. A refusal names its
// line; an accepted file leaves settings that hold their own rules: the
// listen address survives printing and reading back, every network contains
// its own address, every allowed service name is safe to pass on, and the
// numbers stay within their ranges. Each line is also read alone as an
// address, a network and a listen address.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "client_path.h"
#include "net/network_filter.h"
#include "server_config.h"
#include "service_rules.h"

namespace {

using namespace quorlane::server;
namespace net = quorlane::net;

bool SameAddress(const net::IpAddress& a, const net::IpAddress& b) { return a.v6 == b.v6 && a.bytes == b.bytes; }

void CheckListen(const net::ListenAddress& listen) {
  const auto again = net::ListenAddress::Parse(listen.ToString());
  if (!again || again->host != listen.host || again->port != listen.port) __builtin_trap();
}

void CheckBlock(const net::CidrBlock& block) {
  if (block.prefixLength < 0 || block.prefixLength > (block.network.v6 ? 128 : 32)) __builtin_trap();
  if (!block.Contains(block.network)) __builtin_trap();
  if (!block.network.v6) {
    // The same IPv4 address seen through an IPv6 socket.
    net::IpAddress mapped;
    mapped.v6 = true;
    mapped.bytes[10] = mapped.bytes[11] = 0xFF;
    for (int i = 0; i < 4; ++i) mapped.bytes[12 + i] = block.network.bytes[i];
    if (!block.Contains(mapped)) __builtin_trap();
  }
}

void CheckLine(std::string_view line) {
  if (const auto address = net::IpAddress::Parse(line)) {
    const net::IpAddress plain = address->Unmapped();
    if (!SameAddress(plain.Unmapped(), plain)) __builtin_trap();
    // A single address is a network of its own (a zone index may hold a "/").
    if (line.find('/') == std::string_view::npos) {
      const auto single = net::CidrBlock::Parse(line);
      if (!single || !single->Contains(*address)) __builtin_trap();
    }
  }
  if (const auto block = net::CidrBlock::Parse(line)) CheckBlock(*block);
  std::string error;
  if (const auto filter = net::NetworkFilter::Parse(line, error)) {
    for (const auto& block : filter->Blocks()) {
      CheckBlock(block);
      if (!filter->Allows(block.network)) __builtin_trap();
    }
  } else if (error.empty()) {
    __builtin_trap();
  }
  if (const auto listen = net::ListenAddress::Parse(line)) CheckListen(*listen);
  if (IsSafeServiceName(line) && (line.find_first_of(" /\\\r\n\t") != std::string_view::npos || line[0] == '-')) {
    __builtin_trap();
  }
}

void CheckAccepted(const ServerConfig& config) {
  CheckListen(config.listen);
  std::string error;
  const auto allow = net::NetworkFilter::Parse(config.allowText, error);
  if (!allow || allow->Blocks().size() != config.allow.Blocks().size()) __builtin_trap();
  for (const auto& name : config.allowedServices) {
    if (!IsSafeServiceName(name)) __builtin_trap();
  }
  if (config.maxRequestBytes < 64 || config.maxRequestBytes > 64u * 1024 * 1024 || config.maxConnections < 1 ||
      config.maxConnections > 1000000 || config.frameTimeoutSeconds < 1 || config.frameTimeoutSeconds > 3600 ||
      config.serviceTimeoutSeconds < 1 || config.serviceTimeoutSeconds > 11 || config.dataFolder.empty()) {
    __builtin_trap();
  }
  if (CheckConfig(config, error)) {
    // Every root is reachable as itself, and nothing above it is.
    const auto rules = FileAccessRules::Build(config.fileRoots, config.pathMaps, kServerUsesWindowsPaths, error);
    if (!rules || rules->Roots().size() != config.fileRoots.size()) __builtin_trap();
    for (const auto& mapping : rules->Mappings()) {
      std::string refusal;
      const auto resolved = rules->Resolve(mapping.from.ToString(), refusal);
      if (resolved && resolved->local.components.size() < rules->Roots()[resolved->root].components.size()) {
        __builtin_trap();
      }
    }
  } else if (error.empty()) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  ServerConfig config = DefaultConfig();
  std::string error;
  if (ApplyIni(input, config, error)) {
    CheckAccepted(config);
  } else if (error.rfind("line ", 0) != 0) {
    __builtin_trap();
  }
  for (std::size_t at = 0; at <= input.size();) {
    const std::size_t end = std::min(input.find('\n', at), input.size());
    CheckLine(input.substr(at, end - at));
    at = end + 1;
  }
  return 0;
}
