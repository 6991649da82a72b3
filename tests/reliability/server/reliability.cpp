#include "reliability.h"

#include <sys/mount.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

namespace quorlane::server::reliability {

bool LongRun() {
  const char* value = std::getenv("QUORLANE_RELIABILITY_LONG");
  return value && std::string(value) == "1";
}

long Setting(const char* name, long shortValue, long longValue) {
  if (const char* value = std::getenv(name); value && *value) return std::strtol(value, nullptr, 10);
  return LongRun() ? longValue : shortValue;
}

void Figure(const std::string& name, const std::string& value) {
  const std::string line = "figure " + name + ": " + value;
  std::cout << line << std::endl;
  if (const char* path = std::getenv("QUORLANE_RELIABILITY_FIGURES"); path && *path) {
    std::ofstream(path, std::ios::app) << line << "\n";
  }
}

std::uint64_t StatusKiB(pid_t pid, const char* field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  const std::string prefix = std::string(field) + ":";
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) return std::strtoull(line.c_str() + prefix.size(), nullptr, 10);
  }
  return 0;
}

std::uint64_t RaiseOwnFileLimit() {
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
  ::getrlimit(RLIMIT_NOFILE, &limit);
  return limit.rlim_cur;
}

SmallTmpfs::SmallTmpfs(std::filesystem::path at, std::uint64_t bytes) : at_(std::move(at)) {
  std::error_code ec;
  std::filesystem::create_directories(at_, ec);
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (::mount("tmpfs", at_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0) {
    mounted_ = true;
  } else {
    error_ = std::strerror(errno);
  }
}

SmallTmpfs::~SmallTmpfs() {
  if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
}

}  // namespace quorlane::server::reliability
