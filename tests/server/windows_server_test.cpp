// The Windows build of quorlane-server, run under Wine: it listens on a port
// of its choosing, serves locks, and keeps a granted lock across a hard
// termination (TerminateProcess, the Windows kill -9); a journal with space
// reserved behind its records (as a Linux server leaves it) is continued
// where its records end.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "journal_codec.h"
#include "windows_server_process.h"

namespace {

using servertest::FreshFolder;
using servertest::Narrow;
using servertest::WindowsServer;

TEST(WindowsSiteServer, ServesLocksAndKeepsThemAcrossTermination) {
  const std::wstring folder = FreshFolder(L"kill");
  WindowsServer server(folder);
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(server.Ask("[LOCKDB]db1;ann;PC01;"), "[LOCKDB]Y;;;");
  const std::string refused = server.Ask("[LOCKDB]db1;bob;PC02;");
  EXPECT_EQ(refused.rfind("[LOCKDB]N;ann;PC01;", 0), 0u) << refused;
  EXPECT_EQ(server.Ask("[STARTTHESERVICE]x;"), "[STARTTHESERVICE]N;service not allowed") << "none by default";
  EXPECT_EQ(server.Ask("[DELETEFILE]C:\\windows\\win.ini;"), "[DELETEFILE]N;5") << "no file roots by default";
  server.Kill();
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(server.Ask("[CHECKDBLOCK]db1;x;y;"), "[CHECKDBLOCK]Y" + refused.substr(9));
  server.Kill();
}

TEST(WindowsSiteServer, ContinuesAJournalWithReservedSpaceWhereItsRecordsEnd) {
  const std::wstring folder = FreshFolder(L"reserved");
  ::CreateDirectoryW((folder + L"data").c_str(), nullptr);
  std::string journal;
  quorlane::server::EncodeRecord({quorlane::server::LockChange::Kind::Grant, "db1", {"ann", "PC01", "2024/1/2 10:00"}},
                                 journal);
  std::ofstream(Narrow(folder + L"data\\locks.journal"), std::ios::binary) << journal << std::string(4096, '\0');
  WindowsServer server(folder);
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(server.Ask("[CHECKDBLOCK]db1;x;y;"), "[CHECKDBLOCK]Y;ann;PC01;2024/1/2 10:00;");
  EXPECT_EQ(server.Ask("[LOCKDB]db2;bob;PC02;"), "[LOCKDB]Y;;;");
  server.Kill();
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(server.Ask("[CHECKDBLOCK]db1;x;y;"), "[CHECKDBLOCK]Y;ann;PC01;2024/1/2 10:00;");
  EXPECT_EQ(server.Ask("[CHECKDBLOCK]db2;x;y;").rfind("[CHECKDBLOCK]Y;bob;PC02;", 0), 0u);
  server.Kill();
}

}  // namespace
