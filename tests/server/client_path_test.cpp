// Where file requests may act (lexical rules, both kinds of server), the
// wildcard, the errno table, service names and the copy request's fields.
#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "client_path.h"
#include "request.h"
#include "service_rules.h"
#include "windows_error.h"

namespace quorlane::server {
namespace {

FileAccessRules LinuxRules() {
  std::string error;
  auto rules = FileAccessRules::Build({"/srv/shared", "/srv/other/data"},
                                      {"D:\\Shared => /srv/shared", "\\\\fs01\\Data => /srv/other/data",
                                       "E:\\ => /srv"},
                                      false, error);
  EXPECT_TRUE(rules) << error;
  return *rules;
}

FileAccessRules WindowsRules() {
  std::string error;
  auto rules = FileAccessRules::Build({"D:\\Shared", "\\\\fs01\\data"}, {"X:\\ => D:\\Shared\\X"}, true, error);
  EXPECT_TRUE(rules) << error;
  return *rules;
}

struct Refusal {
  const char* path;
  const char* reason;  // a part of the audit text
};

// Every one of these is refused before anything is touched, on either kind of server.
TEST(ClientPaths, AttackPathsAreRefusedWithAReason) {
  const Refusal refusals[] = {
      {"", "empty path"},
      {"D:\\Shared\\..\\..\\etc\\passwd", "leaves the drive"},
      {"D:/Shared/../../etc/passwd", "leaves the drive"},
      {"D:\\Shared\\a\\..\\..\\..\\x", "leaves the drive"},
      {"D:\\Other\\x.txt", "no path_map|outside every file root"},
      {"D:\\Shared\\..\\Other\\x.txt", "no path_map|outside every file root"},
      {"D:\\SharedX\\x.txt", "no path_map|outside every file root"},
      {"C:\\Windows\\win.ini", "no path_map|outside every file root"},
      {"/etc/passwd", "not an absolute path"},
      {"Shared\\x.txt", "not an absolute path"},
      {"\\Shared\\x.txt", "not an absolute path"},
      {"D:Shared\\x.txt", "drive-relative"},
      {"\\\\?\\D:\\Shared\\x.txt", "device or raw path"},
      {"\\\\.\\PhysicalDrive0", "device or raw path"},
      {"//?/D:/Shared/x.txt", "device or raw path"},
      {"\\\\fs01", "UNC path without server and share"},
      {"\\\\fs01\\", "UNC path without server and share"},
      {"\\\\..\\data\\x", "UNC server or share"},
      {"D:\\Shared\\NUL", "device name"},
      {"D:\\Shared\\con.txt", "device name"},
      {"D:\\Shared\\Com1", "device name"},
      {"D:\\Shared\\LPT9.log", "device name"},
      {"D:\\Shared\\aux .txt", "device name"},
      {"D:\\Shared\\CONOUT$", "device name"},
      {"D:\\Shared\\COM\xB9", "device name"},
      {"D:\\Shared\\x.txt:hidden", "alternate data stream"},
      {"D:\\Shared\\x.txt::$DATA", "alternate data stream"},
      {"D:\\Shared\\x.txt.", "ends with a dot or a space"},
      {"D:\\Shared\\x.txt ", "ends with a dot or a space"},
      {"D:\\Shared\\dir.\\x.txt", "ends with a dot or a space"},
      {"D:\\Shared\\...\\x.txt", "ends with a dot or a space"},
      {"D:\\Shared\\x*.txt", "character 0x2A"},
      {"D:\\Shared\\x?.txt", "character 0x3F"},
      {"D:\\Shared\\a\tb", "character 0x09"},
      {"D:\\Shared\\a\"b", "character 0x22"},
      {"D:\\Shared\\a|b", "character 0x7C"},
  };
  const std::string longName = "D:\\Shared\\" + std::string(256, 'n');
  const std::string longPath = "D:\\Shared\\" + std::string(120, 'a') + "\\" + std::string(130, 'b');
  for (const auto& rules : {LinuxRules(), WindowsRules()}) {
    for (const auto& c : refusals) {
      std::string refusal;
      EXPECT_FALSE(rules.Resolve(c.path, refusal)) << c.path;
      bool matched = false;
      for (std::string_view rest = c.reason; !rest.empty() && !matched;) {
        const auto bar = rest.find('|');
        matched = refusal.find(rest.substr(0, bar)) != std::string::npos;
        rest.remove_prefix(bar == std::string_view::npos ? rest.size() : bar + 1);
      }
      EXPECT_TRUE(matched) << c.path << " refused as: " << refusal;
    }
    std::string refusal;
    EXPECT_FALSE(rules.Resolve(longName, refusal));
    EXPECT_NE(refusal.find("longer than"), std::string::npos) << refusal;
    EXPECT_FALSE(rules.Resolve(longPath, refusal));
    EXPECT_NE(refusal.find("longer than 259"), std::string::npos) << refusal;
  }
}

TEST(ClientPaths, MappingsIgnoreLetterCaseAndTheLongestPrefixWins) {
  struct Case {
    const char* path;
    const char* local;
    std::size_t root;
    std::vector<std::string> below;
  };
  const Case linux[] = {
      {"D:\\Shared\\a.txt", "/srv/shared/a.txt", 0, {"a.txt"}},
      {"d:\\SHARED\\Sub\\a.txt", "/srv/shared/Sub/a.txt", 0, {"Sub", "a.txt"}},
      {"D:/Shared//sub/./x/../a.txt", "/srv/shared/sub/a.txt", 0, {"sub", "a.txt"}},
      {"D:\\Shared", "/srv/shared", 0, {}},
      {"\\\\FS01\\data\\r.txt", "/srv/other/data/r.txt", 1, {"r.txt"}},
      {"e:\\shared\\a.txt", "/srv/shared/a.txt", 0, {"a.txt"}},
      {"E:\\Shared\\a.txt", "/srv/Shared/a.txt", 99, {}},  // names below a mapping keep their case: no root
  };
  const auto rules = LinuxRules();
  for (const auto& c : linux) {
    std::string refusal;
    const auto resolved = rules.Resolve(c.path, refusal);
    if (c.root == 99) {
      EXPECT_FALSE(resolved) << c.path;
      continue;
    }
    ASSERT_TRUE(resolved) << c.path << ": " << refusal;
    EXPECT_EQ(resolved->local.ToString(), c.local);
    EXPECT_EQ(resolved->root, c.root);
    EXPECT_EQ(resolved->below, c.below);
  }
  const auto windows = WindowsRules();
  std::string refusal;
  auto resolved = windows.Resolve("d:\\shared\\A.txt", refusal);
  ASSERT_TRUE(resolved) << refusal;
  EXPECT_EQ(resolved->local.ToString(), "D:\\shared\\A.txt") << "used as sent";
  resolved = windows.Resolve("x:\\in\\a.txt", refusal);
  ASSERT_TRUE(resolved) << refusal;
  EXPECT_EQ(resolved->local.ToString(), "D:\\Shared\\X\\in\\a.txt");
  EXPECT_FALSE(windows.Resolve("C:\\a.txt", refusal));
}

TEST(ClientPaths, ConfigurationErrorsAndNoRoots) {
  std::string error;
  EXPECT_FALSE(FileAccessRules::Build({"relative/dir"}, {}, false, error));
  EXPECT_FALSE(FileAccessRules::Build({"/srv/../etc"}, {}, false, error));
  EXPECT_FALSE(FileAccessRules::Build({"/"}, {}, false, error));
  EXPECT_FALSE(FileAccessRules::Build({}, {"D:\\Shared /srv"}, false, error));
  EXPECT_FALSE(FileAccessRules::Build({}, {"Shared => /srv"}, false, error));
  EXPECT_FALSE(FileAccessRules::Build({"/srv/x"}, {}, true, error)) << "a Windows server takes Windows roots";
  const auto none = FileAccessRules::Build({}, {}, false, error);
  ASSERT_TRUE(none);
  std::string refusal;
  EXPECT_FALSE(none->Resolve("D:\\Shared\\a.txt", refusal));
  EXPECT_EQ(refusal, "no file roots are configured");
}

TEST(Wildcards, AsAFolderListingMatchesThem) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"", "anything", true},     {"*", "a.txt", true},        {"*.*", "noext", true},
      {"*.TXT", "a.txt", true},   {"*.txt", "a.txt.bak", false}, {"a?c", "abc", true},
      {"a?c", "ac", false},       {"*a*b*", "xxaxxbxx", true},  {"*a*b", "xxaxxbxx", false},
      {"DATA??.dbf", "data01.DBF", true},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST(WindowsErrors, TheErrnoTable) {
  struct Case {
    int error;
    bool onTheWay;
    int code;
  };
  const Case cases[] = {{ENOENT, false, 2}, {ENOENT, true, 3},   {ENOTDIR, true, 3},       {EACCES, false, 5},
                        {EPERM, false, 5},  {EISDIR, false, 5},  {EROFS, false, 19},       {EBUSY, false, 32},
                        {EEXIST, false, 80}, {ENOSPC, false, 112}, {ENAMETOOLONG, false, 206}, {EFBIG, false, 223},
                        {EMFILE, false, 4}, {EIO, false, 1117},  {ENOTEMPTY, false, 145},  {EXDEV, false, 17},
                        {ELOOP, false, 1921}, {EDOM, false, 31}};
  for (const auto& c : cases) EXPECT_EQ(WindowsErrorForErrno(c.error, c.onTheWay), c.code) << c.error;
}

TEST(ServiceNames, OnlyPlainNamesReachABackend) {
  for (const char* ok : {"postgresql", "nginx.service", "getty@tty1", "Spooler", "a-b_c:d"}) {
    EXPECT_TRUE(IsSafeServiceName(ok)) << ok;
  }
  for (const char* bad : {"", "--help", "-H", ".hidden", "a b", "a;b", "../x", "a/b", "a\\b", "$(id)", "`id`", "a\nb"}) {
    EXPECT_FALSE(IsSafeServiceName(bad)) << bad;
  }
  EXPECT_FALSE(IsSafeServiceName(std::string(256, 'a')));
}

TEST(CopyRequest, TwoPathsAreFoundEvenWhenANameHoldsASemicolon) {
  using Pair = std::pair<std::string, std::string>;
  EXPECT_EQ(SplitCopyFields("C:\\a.txt;D:\\b.txt;"), Pair("C:\\a.txt", "D:\\b.txt"));
  EXPECT_EQ(SplitCopyFields("C:\\a;1.txt;\\\\srv\\s\\b;2.txt;"), Pair("C:\\a;1.txt", "\\\\srv\\s\\b;2.txt"));
  EXPECT_EQ(SplitCopyFields("a.txt;b.txt;"), Pair("a.txt", "b.txt")) << "not paths: the path rules refuse them";
  EXPECT_EQ(SplitCopyFields("C:\\x;C:\\y;C:\\z;"), std::nullopt) << "two ways to split";
}

}  // namespace
}  // namespace quorlane::server
