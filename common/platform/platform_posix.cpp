#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <thread>

#include "platform/platform.h"

namespace quorlane::platform {
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

// Test-only seam: QUORLANE_TEST_FAIL_SYNCS=FIRST[:COUNT] makes the FIRST-th
// sync of this process (counting from 1: fsync, fdatasync and each durable
// journal write) and the COUNT-1 after it fail with EIO, as a failing disk
// would. Read once; unset (always, outside the reliability tests) it costs
// one comparison per sync.
struct SyncFailures {
  std::uint64_t first = 0;  // 0: never
  std::uint64_t count = 0;
  std::atomic<std::uint64_t> seen{0};
  SyncFailures() {
    const char* text = std::getenv("QUORLANE_TEST_FAIL_SYNCS");
    if (!text || !*text) return;
    char* rest = nullptr;
    first = std::strtoull(text, &rest, 10);
    count = (rest && *rest == ':') ? std::strtoull(rest + 1, nullptr, 10) : 1;
  }
  /// Counts one sync; true (errno EIO) when it is to fail.
  bool Fails() {
    if (first == 0) return false;
    const std::uint64_t n = ++seen;
    if (n < first || n - first >= count) return false;
    errno = EIO;
    return true;
  }
};

bool InjectedSyncFailure() {
  static SyncFailures failures;
  return failures.Fails();
}

int Fsync(int fd) { return InjectedSyncFailure() ? -1 : ::fsync(fd); }
int Fdatasync(int fd) { return InjectedSyncFailure() ? -1 : ::fdatasync(fd); }

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool SyncFolder(const std::string& folder, std::string& error) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return error = Errno("cannot open folder", folder), false;
  const bool ok = Fsync(fd) == 0;
  if (!ok) error = Errno("cannot sync folder", folder);
  ::close(fd);
  return ok;
}

}  // namespace

struct JournalFile::Impl {
  int fd = -1;
  std::string path;
  std::uint64_t end = 0;       // behind the last record
  std::uint64_t reserved = 0;  // the file's size: zeros from `end` on
  bool dsyncWrites = true;     // pwritev2(RWF_DSYNC) works on this system

  // Zeros written for real and synced, with the new size, before a record
  // goes there; a mebibyte at a time (one extra sync per about 15,000 lock
  // changes). Space allocated with fallocate() would be marked unwritten,
  // and every later sync would have to record its conversion: a metadata
  // change again.
  bool Reserve(std::uint64_t needed, std::string& error) {
    constexpr std::uint64_t kStep = 1u << 20;
    static const std::string zeros(64 * 1024, '\0');
    const std::uint64_t target = (needed / kStep + 1) * kStep;
    const std::uint64_t before = reserved;
    while (reserved < target) {
      const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), target - reserved));
      const ssize_t n = ::pwrite(fd, zeros.data(), chunk, static_cast<off_t>(reserved));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = Errno("cannot reserve space in", path);
        // A full disk: give back what this attempt took, for the others.
        if (::ftruncate(fd, static_cast<off_t>(before)) == 0) reserved = before;
        return false;
      }
      reserved += static_cast<std::uint64_t>(n);
    }
    if (Fdatasync(fd) != 0) return error = Errno("cannot sync", path), false;
    return true;
  }

  // After a failed write the attempted bytes may sit in the file (a sync
  // that failed, or part of a write): zero them again, so that a restart
  // never replays a group that was refused. Best effort; the store rewrites
  // the journal before it writes again.
  void Unwrite(std::uint64_t from, std::size_t size) {
    static const std::string zeros(64 * 1024, '\0');
    const int saved = errno;
    for (std::uint64_t at = from; at < from + size && at < reserved;) {
      const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>({zeros.size(), from + size - at, reserved - at}));
      const ssize_t n = ::pwrite(fd, zeros.data(), chunk, static_cast<off_t>(at));
      if (n <= 0) break;
      at += static_cast<std::uint64_t>(n);
    }
    errno = saved;
  }
};

JournalFile::JournalFile() : impl_(std::make_unique<Impl>()) {}
JournalFile::~JournalFile() { Close(); }

bool JournalFile::Open(const std::string& path, std::uint64_t validBytes, std::string& error) {
  Close();
  impl_->fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (impl_->fd < 0) return error = Errno("cannot open", path), false;
  impl_->path = path;
  struct stat st {};
  if (::fstat(impl_->fd, &st) != 0) return error = Errno("cannot examine", path), false;
  impl_->end = validBytes;
  impl_->reserved = std::max<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), validBytes);
  // A newly created file exists only once its folder entry is durable too.
  return SyncFolder(FolderOf(path), error);
}

bool JournalFile::WriteDurably(std::string_view data, std::string& error) {
  Impl& file = *impl_;
  if (file.end + data.size() > file.reserved && !file.Reserve(file.end + data.size(), error)) return false;
  std::size_t done = 0;
  while (done < data.size()) {
    const auto at = static_cast<off_t>(file.end + done);
    ssize_t n = -1;
#ifdef RWF_DSYNC
    if (file.dsyncWrites) {
      iovec part{const_cast<char*>(data.data() + done), data.size() - done};
      n = ::pwritev2(file.fd, &part, 1, at, RWF_DSYNC);
      if (n < 0 && (errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS)) {
        file.dsyncWrites = false;  // an older kernel: write, then sync
        continue;
      }
      if (n > 0 && InjectedSyncFailure()) n = -1;
    } else
#endif
    {
      file.dsyncWrites = false;
      n = ::pwrite(file.fd, data.data() + done, data.size() - done, at);
    }
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = Errno("cannot write", file.path);
      file.Unwrite(file.end, data.size());
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (!file.dsyncWrites && Fdatasync(file.fd) != 0) {
    error = Errno("cannot sync", file.path);
    file.Unwrite(file.end, data.size());
    return false;
  }
  file.end += data.size();
  return true;
}

void JournalFile::Close(bool trimReserve) noexcept {
  if (!impl_ || impl_->fd < 0) return;
  if (trimReserve && impl_->reserved > impl_->end && ::ftruncate(impl_->fd, static_cast<off_t>(impl_->end)) == 0) {
    ::fdatasync(impl_->fd);
  }
  ::close(impl_->fd);
  impl_->fd = -1;
}

bool JournalFile::IsOpen() const noexcept { return impl_->fd >= 0; }

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
  if (ok && Fsync(fd) != 0) ok = false, error = Errno("cannot sync", path);
  ::close(fd);
  return ok;
}

namespace {

std::string RandomHex() {
  static std::atomic<std::uint64_t> serial{0};
  std::uint64_t value = 0;
  if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value)) {
    value = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
  value ^= serial++ * 0x9E3779B97F4A7C15ull;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

std::string NameIn(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

struct TemporaryFile::Impl {
  int fd = -1;
};

TemporaryFile::TemporaryFile() : impl_(std::make_unique<Impl>()) {}

TemporaryFile::~TemporaryFile() {
  if (impl_->fd < 0) return;
  if (!renamed_) ::unlink(path_.c_str());  // still locked: nobody else took it meanwhile
  ::close(impl_->fd);
}

bool TemporaryFile::Create(const std::string& target, FileAccess access, std::string& error) {
  target_ = target;
  const mode_t mode = access == FileAccess::Shared ? 0644 : 0600;
  for (int attempt = 0; attempt < 16; ++attempt) {
    path_ = target + ".tmp-" + std::to_string(::getpid()) + "-" + RandomHex();
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return error = Errno("cannot create", path_), false;
    }
    // Until the lock is held, a clean-up may have taken the new file: then
    // its name leads elsewhere (or nowhere) and another name is tried.
    struct stat opened {}, named {};
    if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &opened) != 0 ||
        ::lstat(path_.c_str(), &named) != 0 || opened.st_ino != named.st_ino || opened.st_dev != named.st_dev) {
      ::close(fd);
      continue;
    }
    // The umask may only take permissions away; make sure none were left.
    if (access != FileAccess::Shared && ::fchmod(fd, 0600) != 0) {
      error = Errno("cannot protect", path_);
      ::unlink(path_.c_str());
      ::close(fd);
      return false;
    }
    impl_->fd = fd;
    return true;
  }
  return error = "cannot create a temporary file beside " + target + ": every name tried was taken", false;
}

bool TemporaryFile::WriteDurably(std::string_view data, std::string& error) {
  if (!WriteAll(impl_->fd, data)) return error = Errno("cannot write", path_), false;
  if (Fsync(impl_->fd) != 0) return error = Errno("cannot sync", path_), false;
  return true;
}

Replacement TemporaryFile::ReplaceTarget(std::string& error) {
  if (::rename(path_.c_str(), target_.c_str()) != 0) return error = Errno("cannot rename onto", target_), Replacement::Failed;
  renamed_ = true;
  return SyncFolder(FolderOf(target_), error) ? Replacement::Done : Replacement::NotDurable;
}

int RemoveAbandonedTemporaries(const std::string& target) {
  const std::string folder = FolderOf(target);
  const std::string prefix = NameIn(target) + ".tmp-";
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.rfind(prefix, 0) != 0) continue;
    const std::string path = folder + "/" + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    // A writer holds its lock from creation to rename.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::unlink(path.c_str()) == 0) {
      ++removed;
    }
    ::close(fd);
  }
  ::closedir(dir);
  return removed;
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

bool SecureRandom(unsigned char* buffer, std::size_t size) noexcept {
  std::size_t filled = 0;
  while (filled < size) {
    const ssize_t got = ::getrandom(buffer + filled, size - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    filled += static_cast<std::size_t>(got);
  }
  return true;
}

bool IsPrivateFile(const std::string& path, std::string& problem) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return problem = Errno("cannot examine", path), false;
  if (!S_ISREG(st.st_mode)) return problem = path + " is not a regular file", false;
  if (st.st_uid != ::geteuid()) return problem = path + " belongs to another account", false;
  if ((st.st_mode & 077) != 0) return problem = path + " may be read by other accounts (chmod 600 it)", false;
  return true;
}

void IgnoreFileSizeSignal() { ::signal(SIGXFSZ, SIG_IGN); }

int RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit, std::string& error) {
  if (argv.empty()) return error = "no program", -1;
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  // A fixed, small environment: nothing of the server's own reaches the program.
  char path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
  char lang[] = "LANG=C";
  char* environment[] = {path, lang, nullptr};
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // Nothing else of the server's reaches the program: not its client
  // connections, nor its listening socket (which a program that leaves a
  // daemon behind would otherwise keep open), nor its files.
  ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environment);
  ::posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return error = "cannot start " + argv[0] + ": " + std::strerror(spawned), -1;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return error = argv[0] + " ended by signal " + std::to_string(WTERMSIG(status)), 128 + WTERMSIG(status);
    }
    if (done < 0 && errno != EINTR) return error = "cannot wait for " + argv[0] + ": " + std::strerror(errno), -1;
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      error = argv[0] + " did not finish within " + std::to_string(limit.count()) + " ms";
      return -2;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string ReadStandardInput(const std::string& prompt, bool secret) {
  if (!::isatty(0)) return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  std::fputs(prompt.c_str(), stderr);
  termios saved {};
  const bool quiet = secret && ::tcgetattr(0, &saved) == 0;
  if (quiet) {
    termios silent = saved;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(0, TCSANOW, &silent);
  }
  std::string line;
  std::getline(std::cin, line);
  if (quiet) {
    ::tcsetattr(0, TCSANOW, &saved);
    std::fputc('\n', stderr);
  }
  return line;
}

}  // namespace quorlane::platform
