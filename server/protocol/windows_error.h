// The Windows error codes a Linux server answers file requests with: clients
// expect "N;" + the code that Windows would have reported. One table, from
// errno; codes for conditions that have no errno are named here too.
#pragma once

namespace quorlane::server {

namespace winerror {
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;
inline constexpr int kAccessDenied = 5;
inline constexpr int kHandleEof = 38;  // the source ended before its size
inline constexpr int kInvalidName = 123;
inline constexpr int kAlreadyExists = 183;
}  // namespace winerror

/// The Windows code for `error` (an errno value). ENOENT is 3 (path not
/// found) when `onTheWay` (a folder on the way is missing), else 2.
/// Table (errno → code):
///   ENOENT 2/3, ENOTDIR 3, EACCES 5, EPERM 5, EISDIR 5, EROFS 19, EBUSY 32,
///   ETXTBSY 32, EEXIST 80, ENOSPC 112, EDQUOT 112, ENAMETOOLONG 206,
///   EFBIG 223, EMFILE 4, ENFILE 4, ENOMEM 8, EINVAL 87, EXDEV 17,
///   ENOTEMPTY 145, ELOOP 1921, EIO 1117, ETIMEDOUT 1460, EAGAIN 33,
///   ENXIO 21, ENODEV 21, anything else 31 (a device attached to the
///   system is not functioning, Windows' general failure).
[[nodiscard]] int WindowsErrorForErrno(int error, bool onTheWay = false);

}  // namespace quorlane::server
