// The file commands ("[DELETEFILE]", "[COPYFILE]", "[FILESIZEINFO]") on the
// server's own disks, below the configured file roots only. Every path is
// resolved and checked before anything is touched (client_path.h for the
// lexical rules); this layer follows links only while they stay inside the
// root and acts through handles it has checked, so a link swapped in during
// a request cannot lead out either.
//
// Delete and copy answer like the library's local forms: "Y;" or "N;" + a
// Windows error code (on Linux translated by windows_error.h). A refused
// request answers "N;5" and says why in `refusal`.
#pragma once

#include <string>
#include <string_view>

#include "client_path.h"

namespace quorlane::server {

struct FileAnswer {
  std::string payload;
  std::string refusal;  ///< why the request was refused (then the payload is "N;5"); empty otherwise
};

class FileService {
 public:
  explicit FileService(FileAccessRules rules) : rules_(std::move(rules)) {}

  /// A missing file (or a folder, which is not a file) counts as deleted.
  /// Linux has no read-only attribute: a file without its owner's write
  /// permission counts as read-only and is not deleted ("N;5").
  [[nodiscard]] FileAnswer Delete(std::string_view clientPath) const;
  /// Only the target's last folder level is created; the copy is written
  /// beside the target, gets the source's modification time, is synced and
  /// then replaces the target in one step (a read-only target too).
  [[nodiscard]] FileAnswer Copy(std::string_view source, std::string_view target) const;
  /// A folder: the files directly in it whose names match `pattern` ("" for
  /// all); a file: itself when its name matches. "Y;" + bytes + ";" + files
  /// + ";", or "N;" + a Windows error code + ";".
  [[nodiscard]] FileAnswer SizeInfo(std::string_view clientPath, std::string_view pattern) const;

  [[nodiscard]] const FileAccessRules& Rules() const noexcept { return rules_; }

 private:
  FileAccessRules rules_;
};

}  // namespace quorlane::server
