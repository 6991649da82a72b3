#include "language/language_platform.h"

#include "framework/errors.h"

namespace quorlane {
namespace {
[[noreturn]] void NoLanguageFiles() { throw Exception("this platform keeps no language files"); }
}  // namespace

bool LanguagePlatform::FileExists(const std::string&) const { NoLanguageFiles(); }

void LanguagePlatform::ForceDirectories(const std::string&) const { NoLanguageFiles(); }

std::unique_ptr<LanguageFile> LanguagePlatform::OpenLanguageFile(const std::string&, const std::string&,
                                                                  const LeadByteTable&, LanguageFileAccess) const {
  NoLanguageFiles();
}

}  // namespace quorlane
