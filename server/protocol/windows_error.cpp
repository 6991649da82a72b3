#include "windows_error.h"

#include <cerrno>

namespace quorlane::server {

int WindowsErrorForErrno(int error, bool onTheWay) {
  struct Entry {
    int error;
    int code;
  };
  // ENOENT is decided below; the rest compare one to one. Codes that some C
  // libraries lack are guarded.
  static constexpr Entry kTable[] = {
      {ENOTDIR, 3},        {EACCES, 5},   {EPERM, 5},    {EISDIR, 5},      {EROFS, 19},
      {EBUSY, 32},         {EEXIST, 80},  {ENOSPC, 112}, {ENAMETOOLONG, 206}, {EFBIG, 223},
      {EMFILE, 4},         {ENFILE, 4},   {ENOMEM, 8},   {EINVAL, 87},     {EXDEV, 17},
      {ENOTEMPTY, 145},    {EIO, 1117},   {EAGAIN, 33},  {ENXIO, 21},      {ENODEV, 21},
#ifdef ETXTBSY
      {ETXTBSY, 32},
#endif
#ifdef EDQUOT
      {EDQUOT, 112},
#endif
#ifdef ELOOP
      {ELOOP, 1921},
#endif
#ifdef ETIMEDOUT
      {ETIMEDOUT, 1460},
#endif
  };
  if (error == ENOENT) return onTheWay ? 3 : 2;
  for (const auto& entry : kTable) {
    if (entry.error == error) return entry.code;
  }
  return 31;
}

}  // namespace quorlane::server
