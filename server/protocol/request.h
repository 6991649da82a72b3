// The request inside a frame: its command tag and its ";"-ended fields, and
// the reply frame that answers it. No escaping exists in this protocol, so a
// field can never contain ";".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlane::server {

/// The tag a reply carries when the request's own tag is not one this server
/// answers (the client then finds no payload for its tag).
inline constexpr std::string_view kErrorTag = "[QLERROR]";

struct Request {
  std::string_view tag;     ///< "[" ... "]" at the front of the body, brackets included
  std::string_view fields;  ///< everything behind the tag
};

/// Splits a frame body into tag and field text; nothing when the body does
/// not begin with a bracketed tag.
[[nodiscard]] std::optional<Request> SplitRequest(std::string_view body);

/// Fields as the client splits them: each ends at ";", a non-empty remainder
/// without ";" forms a last field, the empty text gives no fields.
[[nodiscard]] std::vector<std::string_view> SplitFields(std::string_view text);

/// Key, user and computer of a lock command. The last two fields are user
/// and computer; everything in front of them, joined again with ";", is the
/// key (a key that contains ";" arrives as several fields).
struct LockFields {
  std::string key;
  std::string user;
  std::string computer;
};
[[nodiscard]] std::optional<LockFields> ParseLockFields(std::string_view fields);

/// The fields as one text: everything up to the final ";" (a Windows path
/// may itself hold ";", which the protocol cannot escape).
[[nodiscard]] std::string JoinedFields(std::string_view fields);

/// The two paths of a "[COPYFILE]" request. Windows names may hold ";", which
/// the protocol cannot escape: the fields are split where both halves are
/// absolute paths (a drive or "\\"), and nothing comes back when that split
/// is not the only one.
[[nodiscard]] std::optional<std::pair<std::string, std::string>> SplitCopyFields(std::string_view fields);

/// "[BEGIN]" + tag + payload + "[END]".
[[nodiscard]] std::string ReplyFrame(std::string_view tag, std::string_view payload);

}  // namespace quorlane::server
