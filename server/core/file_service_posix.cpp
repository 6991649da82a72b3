// File commands on Linux and other POSIX systems. Every folder on the way is
// opened with O_NOFOLLOW relative to the one before it, starting at the
// root's real path, and the final step acts relative to the folder that
// holds the name (unlinkat, openat, renameat): a link is followed only after
// its target was found to stay inside the root, and a link swapped in later
// makes the request fail instead of leading out.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "file_service.h"
#include "windows_error.h"

namespace quorlane::server {
namespace {

constexpr int kMaxLinkHops = 40;

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  [[nodiscard]] int Get() const { return fd_; }
  [[nodiscard]] explicit operator bool() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  /// close() and its result (a write error may show only here).
  bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

 private:
  int fd_ = -1;
};

struct Failure {
  int error = 0;
  bool onTheWay = false;
  std::string refusal;
};

FileAnswer FromFailure(const Failure& failure, bool sizeInfo) {
  const std::string end = sizeInfo ? ";" : "";
  if (!failure.refusal.empty()) return {"N;5" + end, failure.refusal};
  return {"N;" + std::to_string(WindowsErrorForErrno(failure.error, failure.onTheWay)) + end, {}};
}

FileAnswer FromErrno(int error, bool onTheWay = false, bool sizeInfo = false) {
  return FromFailure(Failure{error, onTheWay, {}}, sizeInfo);
}

FileAnswer Refused(std::string reason, bool sizeInfo = false) { return {sizeInfo ? "N;5;" : "N;5", std::move(reason)}; }

const FileAnswer kDone{"Y;", {}};

std::vector<std::string> SplitLinkTarget(std::string_view text) {
  std::vector<std::string> parts;
  while (!text.empty()) {
    const auto slash = text.find('/');
    const std::string_view part = text.substr(0, slash);
    if (!part.empty() && part != ".") parts.emplace_back(part);
    text.remove_prefix(slash == std::string_view::npos ? text.size() : slash + 1);
  }
  return parts;
}

// One root and the walk below it.
class RootWalk {
 public:
  bool Open(const LocalPath& root, Failure& failure) {
    char real[PATH_MAX];
    if (!::realpath(root.ToString().c_str(), real)) return failure = {errno, true, {}}, false;
    rootReal_ = real;
    root_ = Fd(::open(real, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root_) return failure = {errno, true, {}}, false;
    return true;
  }

  [[nodiscard]] Fd Root() const { return Fd(::dup(root_.Get())); }

  /// The open folder that holds what `below` names, and its name there
  /// (empty when `below` names the root itself). The name need not exist.
  /// With `followFinal` a link in the last place is followed as well.
  bool Locate(const std::vector<std::string>& below, bool followFinal, Fd& folder, std::string& name,
              Failure& failure) const {
    std::deque<std::string> pending(below.begin(), below.end());
    std::vector<std::string> done;
    Fd dir = Root();
    int hops = 0;
    while (!pending.empty()) {
      std::string next = std::move(pending.front());
      pending.pop_front();
      if (next.empty() || next == ".") continue;
      if (next == "..") {
        // Only link targets bring ".." here (client paths never do).
        if (done.empty()) return failure.refusal = "a link leads out of the file root", false;
        done.pop_back();
        if (!Reopen(done, dir, failure)) return false;
        continue;
      }
      const bool last = pending.empty();
      struct stat st {};
      if (::fstatat(dir.Get(), next.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (last && errno == ENOENT) {
          pending.push_front(std::move(next));
          break;
        }
        return failure = {errno, true, {}}, false;
      }
      if (S_ISLNK(st.st_mode) && (!last || followFinal)) {
        if (++hops > kMaxLinkHops) return failure.refusal = "too many links in the path", false;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlinkat(dir.Get(), next.c_str(), target.data(), target.size());
        if (n < 0) return failure = {errno, true, {}}, false;
        target.resize(static_cast<std::size_t>(n));
        if (!target.empty() && target.front() == '/') {
          if (target != rootReal_ && target.rfind(rootReal_ + "/", 0) != 0) {
            return failure.refusal = "a link leads out of the file root (to " + target + ")", false;
          }
          target.erase(0, rootReal_.size());
          done.clear();
          dir = Root();
        }
        const auto parts = SplitLinkTarget(target);
        pending.insert(pending.begin(), parts.begin(), parts.end());
        continue;
      }
      if (last) {
        pending.push_front(std::move(next));
        break;
      }
      if (!S_ISDIR(st.st_mode)) return failure = {ENOTDIR, true, {}}, false;
      Fd opened(::openat(dir.Get(), next.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!opened) return failure = {errno, true, {}}, false;
      dir = std::move(opened);
      done.push_back(std::move(next));
    }
    name = pending.empty() ? std::string() : pending.front();
    folder = std::move(dir);
    return true;
  }

 private:
  bool Reopen(const std::vector<std::string>& done, Fd& dir, Failure& failure) const {
    dir = Root();
    for (const auto& step : done) {
      Fd opened(::openat(dir.Get(), step.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!opened) return failure = {errno, true, {}}, false;
      dir = std::move(opened);
    }
    return true;
  }

  std::string rootReal_;
  Fd root_;
};

std::string TemporaryName() {
  static std::atomic<std::uint32_t> serial{std::random_device{}()};
  static constexpr char kHex[] = "0123456789abcdef";
  std::uint32_t value = serial.fetch_add(0x9E3779B9u);
  std::string name = ".~ql";
  for (int i = 0; i < 8; ++i, value >>= 4) name.push_back(kHex[value & 15u]);
  return name + ".tmp";
}

const char* FileKind(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISREG(mode)) return "another file";
  return "an unknown kind of file";
}

// Opens `name` in `folder` for reading only when it is a regular file. The
// type is checked before the open, since merely opening a FIFO waits for a
// writer and opening a device node can act on the device; the open does not
// wait (O_NONBLOCK) and must give the very file that was checked, in case
// another was swapped in between. A refusal is "N;5" with its reason.
std::optional<FileAnswer> OpenRegularFile(const Fd& folder, const std::string& name, Fd& file, struct stat& st) {
  if (::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return FromErrno(errno);
  if (S_ISDIR(st.st_mode)) return FileAnswer{"N;" + std::to_string(winerror::kAccessDenied), {}};
  if (!S_ISREG(st.st_mode)) return Refused(std::string("source: ") + FileKind(st.st_mode) + ", not a regular file");
  const struct stat checked = st;
  file = Fd(::openat(folder.Get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file) return FromErrno(errno);
  if (::fstat(file.Get(), &st) != 0) return FromErrno(errno);
  if (!S_ISREG(st.st_mode) || st.st_dev != checked.st_dev || st.st_ino != checked.st_ino) {
    return Refused(std::string("source: replaced while it was opened (now ") + FileKind(st.st_mode) + ")");
  }
  const int flags = ::fcntl(file.Get(), F_GETFL);
  if (flags < 0 || ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return FromErrno(errno);
  return std::nullopt;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

FileAnswer FileService::Delete(std::string_view clientPath) const {
  std::string refusal;
  const auto resolved = rules_.Resolve(clientPath, refusal);
  if (!resolved) return Refused(refusal);
  if (resolved->below.empty()) return Refused("a file root itself is not deleted");
  RootWalk walk;
  Failure failure;
  Fd folder;
  std::string name;
  if (!walk.Open(rules_.Roots()[resolved->root], failure) ||
      !walk.Locate(resolved->below, false, folder, name, failure)) {
    // A file whose folder is missing is missing: it counts as deleted.
    if (failure.refusal.empty() && (failure.error == ENOENT || failure.error == ENOTDIR)) return kDone;
    return FromFailure(failure, false);
  }
  if (name.empty()) return Refused("a file root itself is not deleted");
  struct stat st {};
  if (::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? kDone : FromErrno(errno);
  }
  if (S_ISDIR(st.st_mode)) return kDone;  // a folder is not a file, as for the library
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return Refused(std::string(FileKind(st.st_mode)) + ", not a regular file");
  if (S_ISLNK(st.st_mode)) {
    // The link itself is what goes, but only one that stays inside the root.
    Fd linkFolder;
    std::string linkName;
    Failure linkFailure;
    if (!walk.Locate(resolved->below, true, linkFolder, linkName, linkFailure) && !linkFailure.refusal.empty()) {
      return Refused(linkFailure.refusal);
    }
  }
  if (S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) return {"N;" + std::to_string(winerror::kAccessDenied), {}};
  if (::unlinkat(folder.Get(), name.c_str(), 0) != 0) return errno == ENOENT ? kDone : FromErrno(errno);
  return kDone;
}

FileAnswer FileService::Copy(std::string_view sourcePath, std::string_view targetPath) const {
  std::string refusal;
  const auto source = rules_.Resolve(sourcePath, refusal);
  if (!source) return Refused("source: " + refusal);
  const auto target = rules_.Resolve(targetPath, refusal);
  if (!target) return Refused("target: " + refusal);
  if (target->below.empty()) return Refused("target: a file root itself is not replaced");
  Failure failure;

  // 1. The target's folder; only its last level is created.
  RootWalk targetWalk;
  if (!targetWalk.Open(rules_.Roots()[target->root], failure)) return FromFailure(failure, false);
  const std::vector<std::string> folderBelow(target->below.begin(), target->below.end() - 1);
  const std::string& targetName = target->below.back();
  Fd targetFolder;
  {
    Fd parent;
    std::string folderName;
    if (!targetWalk.Locate(folderBelow, true, parent, folderName, failure)) return FromFailure(failure, false);
    if (folderName.empty()) {
      targetFolder = std::move(parent);
    } else {
      struct stat st {};
      if (::fstatat(parent.Get(), folderName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) return FromErrno(errno, true);
        if (::mkdirat(parent.Get(), folderName.c_str(), 0777) != 0 && errno != EEXIST) return FromErrno(errno, true);
      } else if (!S_ISDIR(st.st_mode)) {
        return {"N;" + std::to_string(winerror::kAlreadyExists), {}};
      }
      targetFolder = Fd(::openat(parent.Get(), folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!targetFolder) return FromErrno(errno, true);
    }
  }

  // 2. The source, as it is when opened.
  RootWalk sourceWalk;
  Fd sourceFolder;
  std::string sourceName;
  if (!sourceWalk.Open(rules_.Roots()[source->root], failure) ||
      !sourceWalk.Locate(source->below, true, sourceFolder, sourceName, failure)) {
    return FromFailure(failure, false);
  }
  if (sourceName.empty()) return {"N;" + std::to_string(winerror::kAccessDenied), {}};
  Fd in;
  struct stat sourceStat {};
  if (auto refused = OpenRegularFile(sourceFolder, sourceName, in, sourceStat)) return *refused;

  // 3. A folder in the target's place is not replaced, nor a link that leads out.
  struct stat targetStat {};
  if (::fstatat(targetFolder.Get(), targetName.c_str(), &targetStat, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(targetStat.st_mode)) return {"N;" + std::to_string(winerror::kAccessDenied), {}};
    if (S_ISLNK(targetStat.st_mode)) {
      Fd linkFolder;
      std::string linkName;
      if (!targetWalk.Locate(target->below, true, linkFolder, linkName, failure) && !failure.refusal.empty()) {
        return Refused("target: " + failure.refusal);
      }
    }
  }

  // 4. The copy, beside the target; it replaces the target only when whole.
  std::string temporary;
  Fd out;
  for (int attempt = 0; attempt < 16 && !out; ++attempt) {
    temporary = TemporaryName();
    out = Fd(::openat(targetFolder.Get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0666));
    if (!out && errno != EEXIST) return FromErrno(errno);
  }
  if (!out) return FromErrno(EEXIST);
  bool replaced = false;
  struct RemoveTemporary {
    const Fd& folder;
    const std::string& name;
    const bool& replaced;
    ~RemoveTemporary() {
      if (!replaced) ::unlinkat(folder.Get(), name.c_str(), 0);
    }
  } removeTemporary{targetFolder, temporary, replaced};

  std::vector<char> buffer(256 * 1024);
  for (off_t remaining = sourceStat.st_size; remaining > 0;) {
    const std::size_t want = remaining < static_cast<off_t>(buffer.size()) ? static_cast<std::size_t>(remaining)
                                                                            : buffer.size();
    const ssize_t got = ::read(in.Get(), buffer.data(), want);
    if (got < 0) {
      if (errno == EINTR) continue;
      return FromErrno(errno);
    }
    if (got == 0) return {"N;" + std::to_string(winerror::kHandleEof), {}};
    if (!WriteAll(out.Get(), buffer.data(), static_cast<std::size_t>(got))) return FromErrno(errno);
    remaining -= got;
  }
  const timespec times[2] = {{0, UTIME_OMIT}, sourceStat.st_mtim};
  if (::futimens(out.Get(), times) != 0 || ::fsync(out.Get()) != 0) return FromErrno(errno);
  if (!out.Close()) return FromErrno(errno);
  if (::renameat(targetFolder.Get(), temporary.c_str(), targetFolder.Get(), targetName.c_str()) != 0) {
    return FromErrno(errno);
  }
  replaced = true;
  ::fsync(targetFolder.Get());
  return kDone;
}

FileAnswer FileService::SizeInfo(std::string_view clientPath, std::string_view pattern) const {
  if (pattern.find_first_of("/\\") != std::string_view::npos) {
    return {"N;" + std::to_string(winerror::kInvalidName) + ";", {}};
  }
  std::string refusal;
  const auto resolved = rules_.Resolve(clientPath, refusal);
  if (!resolved) return Refused(refusal, true);
  RootWalk walk;
  Failure failure;
  Fd folder;
  std::string name;
  if (!walk.Open(rules_.Roots()[resolved->root], failure) || !walk.Locate(resolved->below, true, folder, name, failure)) {
    return FromFailure(failure, true);
  }
  Fd listed;
  if (name.empty()) {
    listed = std::move(folder);
  } else {
    struct stat st {};
    if (::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return FromErrno(errno, false, true);
    if (S_ISREG(st.st_mode)) {
      const bool match = MatchesWildcard(pattern, name);
      return {"Y;" + std::to_string(match ? st.st_size : 0) + ";" + (match ? "1" : "0") + ";", {}};
    }
    if (!S_ISDIR(st.st_mode)) return {"N;" + std::to_string(winerror::kAccessDenied) + ";", {}};
    listed = Fd(::openat(folder.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!listed) return FromErrno(errno, false, true);
  }
  const int listFd = ::dup(listed.Get());
  DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
  if (!dir) {
    const int error = errno;
    if (listFd >= 0) ::close(listFd);
    return FromErrno(error, false, true);
  }
  unsigned long long bytes = 0, files = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view entryName = entry->d_name;
    if (entryName == "." || entryName == ".." || !MatchesWildcard(pattern, entryName)) continue;
    struct stat st {};
    if (::fstatat(listed.Get(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    bytes += static_cast<unsigned long long>(st.st_size);
    ++files;
  }
  ::closedir(dir);
  return {"Y;" + std::to_string(bytes) + ";" + std::to_string(files) + ";", {}};
}

}  // namespace quorlane::server
