// The site's VAT list and taxation key, kept in the data folder.
//
//   vatlist.txt    the list exactly as a client saved it (bytes between the
//                  tag and the frame's final ";"); replaced by writing a
//                  temporary file, syncing it, renaming it and syncing the
//                  folder, so a crash leaves the old list or the new one
//   taxation.key   line 1 a comment, line 2 the key scrambled as in the
//                  library's key file (taxation_key.h); readable by the
//                  server's account alone, set by the admin command
//                  "set-taxation-key" from standard input
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace quorlane::server {

class SiteData {
 public:
  explicit SiteData(std::string folder) : folder_(std::move(folder)) {}

  /// Removes temporary files a crash left behind (sparing those an admin
  /// command is writing now); returns how many.
  int RemoveLeftovers();

  /// The stored list; the empty text when none was saved.
  [[nodiscard]] bool ReadVatList(std::string& list, std::string& error) const;
  /// Durable before it returns true. Saves are serialised.
  [[nodiscard]] bool SaveVatList(std::string_view list, std::string& error);

  enum class KeyState { Set, NotSet, Unusable };
  /// Unusable (with `error`) when the file is damaged or other accounts may read it.
  [[nodiscard]] KeyState ReadTaxationKey(std::string& key, std::string& error) const;
  [[nodiscard]] static bool SetTaxationKey(const std::string& folder, std::string_view key, std::string& error);

  [[nodiscard]] static std::string VatListPath(const std::string& folder);
  [[nodiscard]] static std::string KeyPath(const std::string& folder);

 private:
  std::string folder_;
  std::mutex saveMutex_;
};

}  // namespace quorlane::server
