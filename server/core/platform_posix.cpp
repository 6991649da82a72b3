#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform.h"

namespace quorlane::server {
namespace {

std::string Errno(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool SyncFolder(const std::string& folder, std::string& error) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return error = Errno("cannot open folder", folder), false;
  const bool ok = ::fsync(fd) == 0;
  if (!ok) error = Errno("cannot sync folder", folder);
  ::close(fd);
  return ok;
}

}  // namespace

struct AppendFile::Impl {
  int fd = -1;
  std::string path;
};

AppendFile::AppendFile() : impl_(std::make_unique<Impl>()) {}
AppendFile::~AppendFile() { Close(); }

bool AppendFile::Open(const std::string& path, std::string& error) {
  Close();
  impl_->fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (impl_->fd < 0) return error = Errno("cannot open", path), false;
  impl_->path = path;
  // A newly created file exists only once its folder entry is durable too.
  return SyncFolder(FolderOf(path), error);
}

bool AppendFile::Append(std::string_view data, std::string& error) {
  if (!WriteAll(impl_->fd, data)) return error = Errno("cannot write", impl_->path), false;
  return true;
}

bool AppendFile::Sync(std::string& error) {
  if (::fdatasync(impl_->fd) != 0) return error = Errno("cannot sync", impl_->path), false;
  return true;
}

void AppendFile::Close() noexcept {
  if (impl_ && impl_->fd >= 0) {
    ::close(impl_->fd);
    impl_->fd = -1;
  }
}

bool AppendFile::IsOpen() const noexcept { return impl_->fd >= 0; }

struct FolderLock::Impl {
  int fd = -1;
};

FolderLock::FolderLock() : impl_(std::make_unique<Impl>()) {}
FolderLock::~FolderLock() {
  if (impl_->fd >= 0) ::close(impl_->fd);
}

bool FolderLock::Acquire(const std::string& path, std::string& error) {
  impl_->fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (impl_->fd < 0) return error = Errno("cannot open", path), false;
  if (::flock(impl_->fd, LOCK_EX | LOCK_NB) != 0) {
    error = "another server is using this data folder (" + path + " is locked)";
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& out, std::string& error, bool missingIsEmpty) {
  out.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT && missingIsEmpty) return true;
    return error = Errno("cannot open", path), false;
  }
  char buffer[65536];
  while (true) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = Errno("cannot read", path);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

bool WriteFileDurably(const std::string& path, std::string_view data, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return error = Errno("cannot create", path), false;
  bool ok = WriteAll(fd, data);
  if (!ok) error = Errno("cannot write", path);
  if (ok && ::fsync(fd) != 0) ok = false, error = Errno("cannot sync", path);
  ::close(fd);
  return ok;
}

bool ReplaceFileDurably(const std::string& source, const std::string& target, std::string& error) {
  if (::rename(source.c_str(), target.c_str()) != 0) return error = Errno("cannot rename onto", target), false;
  return SyncFolder(FolderOf(target), error);
}

bool MakeFolder(const std::string& path, std::string& error) {
  if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
  }
  return error = Errno("cannot create folder", path), false;
}

std::tm LocalTime(std::time_t when) {
  std::tm result{};
  ::localtime_r(&when, &result);
  return result;
}

void RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

void OnConsoleClose(std::function<void()>) {}

std::string ComputerName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "none";
  return name;
}

}  // namespace quorlane::server
