#include "site_data.h"

#include <filesystem>
#include <random>

#include "local_text.h"
#include "platform.h"
#include "taxation_key.h"

namespace quorlane::server {
namespace {

constexpr char kVatListName[] = "vatlist.txt";
constexpr char kKeyName[] = "taxation.key";

// Paths are UTF-8 throughout the server.
std::filesystem::path PathOf(const std::string& utf8) { return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string Within(const std::string& folder, const char* name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  return (last == '/' || last == '\\') ? folder + name : folder + "/" + name;
}

}  // namespace

std::string SiteData::VatListPath(const std::string& folder) { return Within(folder, kVatListName); }
std::string SiteData::KeyPath(const std::string& folder) { return Within(folder, kKeyName); }

int SiteData::RemoveLeftovers() {
  int removed = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(PathOf(folder_), ec)) {
    const std::string name = Utf8Of(entry.path().filename());
    for (const char* base : {kVatListName, kKeyName}) {
      if (name.rfind(std::string(base) + ".tmp-", 0) == 0) {
        std::error_code ignored;
        removed += std::filesystem::remove(entry.path(), ignored) ? 1 : 0;
      }
    }
  }
  return removed;
}

bool SiteData::ReadVatList(std::string& list, std::string& error) const {
  return ReadWholeFile(VatListPath(folder_), list, error, true);
}

bool SiteData::SaveVatList(std::string_view list, std::string& error) {
  std::lock_guard lock(saveMutex_);
  const std::string target = VatListPath(folder_);
  const std::string temporary = target + ".tmp-" + std::to_string(++saves_);
  // The list as it was, to put back should the rename not become durable.
  std::string previous, ignoredError;
  const bool hadPrevious = ReadWholeFile(target, previous, ignoredError, false);
  std::error_code ignored;
  if (!WriteFileDurably(temporary, list, error)) {
    std::filesystem::remove(PathOf(temporary), ignored);
    return false;
  }
  if (!ReplaceFileDurably(temporary, target, error)) {
    if (std::filesystem::exists(PathOf(temporary), ignored)) {
      std::filesystem::remove(PathOf(temporary), ignored);  // the rename itself failed
    } else if (hadPrevious) {
      // Renamed, but the folder did not sync: a refused save must not be
      // what the next reader gets.
      const std::string back = target + ".tmp-" + std::to_string(++saves_);
      if (!WriteFileDurably(back, previous, ignoredError) || !ReplaceFileDurably(back, target, ignoredError)) {
        std::filesystem::remove(PathOf(back), ignored);
      }
    } else {
      std::filesystem::remove(PathOf(target), ignored);
    }
    return false;
  }
  return true;
}

SiteData::KeyState SiteData::ReadTaxationKey(std::string& key, std::string& error) const {
  key.clear();
  const std::string path = KeyPath(folder_);
  std::string text;
  if (!ReadWholeFile(path, text, error, true)) return KeyState::Unusable;
  if (text.empty()) {
    std::error_code ec;
    return std::filesystem::exists(PathOf(path), ec) ? KeyState::Unusable : KeyState::NotSet;
  }
  if (!IsPrivateFile(path, error)) return KeyState::Unusable;
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
  return WritePrivateFileDurably(KeyPath(folder), text, error);
}

}  // namespace quorlane::server
