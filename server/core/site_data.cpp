#include "site_data.h"

#include <filesystem>
#include <random>

#include "keyfile/local_text.h"
#include "platform/platform.h"
#include "keyfile/taxation_key.h"

namespace quorlane::server {
namespace {

constexpr char kVatListName[] = "vatlist.txt";
constexpr char kKeyName[] = "taxation.key";

// Paths are UTF-8 throughout the server.
std::filesystem::path PathOf(const std::string& utf8) { return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Within(const std::string& folder, const char* name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  return (last == '/' || last == '\\') ? folder + name : folder + "/" + name;
}

}  // namespace

std::string SiteData::VatListPath(const std::string& folder) { return Within(folder, kVatListName); }
std::string SiteData::KeyPath(const std::string& folder) { return Within(folder, kKeyName); }

int SiteData::RemoveLeftovers() {
  return platform::RemoveAbandonedTemporaries(VatListPath(folder_)) + platform::RemoveAbandonedTemporaries(KeyPath(folder_));
}

bool SiteData::ReadVatList(std::string& list, std::string& error) const {
  return platform::ReadWholeFile(VatListPath(folder_), list, error, true);
}

bool SiteData::SaveVatList(std::string_view list, std::string& error) {
  std::lock_guard lock(saveMutex_);
  const std::string target = VatListPath(folder_);
  // The list as it was, to put back should the rename not become durable.
  std::string previous, ignoredError;
  const bool hadPrevious = platform::ReadWholeFile(target, previous, ignoredError, false);
  switch (platform::ReplaceFileContents(target, list, platform::FileAccess::Shared, error)) {
    case platform::Replacement::Done:
      return true;
    case platform::Replacement::Failed:
      return false;
    case platform::Replacement::NotDurable:
      break;
  }
  // Renamed, but the folder did not sync: a refused save must not be what
  // the next reader gets.
  if (hadPrevious) {
    static_cast<void>(platform::ReplaceFileContents(target, previous, platform::FileAccess::Shared, ignoredError));
  } else {
    std::error_code ignored;
    std::filesystem::remove(PathOf(target), ignored);
  }
  return false;
}

SiteData::KeyState SiteData::ReadTaxationKey(std::string& key, std::string& error) const {
  key.clear();
  const std::string path = KeyPath(folder_);
  std::string text;
  if (!platform::ReadWholeFile(path, text, error, true)) return KeyState::Unusable;
  if (text.empty()) {
    std::error_code ec;
    return std::filesystem::exists(PathOf(path), ec) ? KeyState::Unusable : KeyState::NotSet;
  }
  if (!platform::IsPrivateFile(path, error)) return KeyState::Unusable;
  const auto lines = quorlane::SplitTextLines(text);
  if (lines.size() < 2) return error = path + " is damaged (no key line)", KeyState::Unusable;
  key = quorlane::taxkey::Unscramble(lines[1]);
  if (key.empty()) return error = path + " is damaged (its key line does not check)", KeyState::Unusable;
  return KeyState::Set;
}

bool SiteData::SetTaxationKey(const std::string& folder, std::string_view key, std::string& error) {
  if (key.empty()) return error = "the key is empty", false;
  std::random_device random;
  const std::string text = "Quorlane site server taxation key; line 2 is scrambled, do not edit\r\n" +
                           quorlane::taxkey::Scramble(key, static_cast<std::uint8_t>(random())) + "\r\n";
  return platform::ReplaceFileContents(KeyPath(folder), text, platform::FileAccess::Private, error) == platform::Replacement::Done;
}

}  // namespace quorlane::server
