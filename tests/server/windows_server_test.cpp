// The Windows build of quorlane-server, run under Wine: it listens on a port
// of its choosing, serves locks, and keeps a granted lock across a hard
// termination (TerminateProcess, the Windows kill -9); a journal with space
// reserved behind its records (as a Linux server leaves it) is continued
// where its records end.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "journal_codec.h"
#include "web_client.h"
#include "windows_server_process.h"

namespace {

using servertest::FreshFolder;
using servertest::Narrow;
using servertest::WindowsServer;

// The account this test (and the server it starts) runs as, as SDDL names it.
std::string OwnAccountSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  win32::UniqueHandle owned(token);
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::string buffer(size, '\0');
  wchar_t* sid = nullptr;
  if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size) ||
      !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
    return {};
  }
  const std::string text = Narrow(sid);
  ::LocalFree(sid);
  return text;
}

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

// The web console of the Windows build answers the same lock page as the
// Linux build, with the same characters for the same Big5 bytes, and
// releases a lock for good.
TEST(WindowsSiteServer, WebConsoleShowsTheLockPageAndReleasesALock) {
  const std::wstring folder = FreshFolder(L"web");
  WindowsServer server(folder);
  ASSERT_TRUE(server.Start());
  ASSERT_EQ(server.Ask("[LOCKDB]SALES;\xB3\xAF\xA4\x40;PC01;"), "[LOCKDB]Y;;;");
  ASSERT_NE(server.WebPort(), 0);
  webtest::WebClient web("127.0.0.1", server.WebPort());
  EXPECT_EQ(web.Get("/locks").status, 303) << "no page without a login";
  ASSERT_EQ(web.Post("/login", "token=" + server.WebToken()).status, 303);
  const std::string page = web.Get("/locks").body;
  EXPECT_NE(page.find("<td class=\"key\">SALES</td><td class=\"user\">陳一</td><td class=\"computer\">PC01</td>"),
            std::string::npos) << page;
  const std::string question = web.Get("/locks/release?key=53414c4553").body;
  const auto since = question.find("name=\"since\" value=\"");
  ASSERT_NE(since, std::string::npos) << question;
  const std::string form = "key=53414c4553&user=b3afa440&computer=50433032&since=" +
                           question.substr(since + 20, question.find('"', since + 20) - since - 20) + "&csrf=" +
                           webtest::WebClient::Csrf(question);
  EXPECT_NE(web.Post("/locks/release", form).body.find("is now held by"), std::string::npos)
      << "a holder that does not match is not released";
  const std::string released = web.Post("/locks/release", "key=53414c4553&user=b3afa440&computer=50433031" +
                                                              form.substr(form.find("&since="))).body;
  EXPECT_NE(released.find("Released <strong>SALES</strong>"), std::string::npos) << released;
  EXPECT_EQ(server.Ask("[LOCKDB]SALES;bob;PC02;"), "[LOCKDB]Y;;;");
  server.Kill();

  // The login token: nobody but the server's account, SYSTEM and the
  // Administrators. (Wine keeps a file's access list only as Unix mode bits
  // and shows them as SYSTEM and the owner, and Everyone where others may
  // read; Windows shows the list the server wrote.)
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL acl = nullptr;
  ASSERT_EQ(::GetNamedSecurityInfoW((folder + L"data\\web-login.token").c_str(), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  wchar_t* text = nullptr;
  ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &text, nullptr));
  const std::string sddl = Narrow(text);
  ::LocalFree(text);
  ::LocalFree(descriptor);
  const std::string self = OwnAccountSid();
  ASSERT_FALSE(self.empty());
  std::size_t entries = 0;
  for (auto open = sddl.find('('); open != std::string::npos; open = sddl.find('(', open + 1), ++entries) {
    const auto close = sddl.find(')', open);
    const std::string trustee = sddl.substr(sddl.rfind(';', close) + 1, close - sddl.rfind(';', close) - 1);
    EXPECT_TRUE(trustee == "SY" || trustee == "BA" || trustee == self) << trustee << " may use it: " << sddl;
  }
  EXPECT_GE(entries, 1u) << sddl;
}

// Another writer's temporary file (an admin command replacing the list this
// very moment holds it open without sharing) is neither removed at start-up
// nor written by the server's save; a crash's leftover is removed.
TEST(WindowsSiteServer, AnotherWritersTemporaryFileIsLeftAlone) {
  const std::wstring folder = FreshFolder(L"tmp");
  const std::wstring data = folder + L"data\\";
  ::CreateDirectoryW(data.c_str(), nullptr);
  win32::UniqueFile inUse(::CreateFileW((data + L"vatlist.txt.tmp-1").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(inUse);
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(inUse.get(), "half written", 12, &written, nullptr));
  std::ofstream(Narrow(data + L"vatlist.txt.tmp-4242-0123456789abcdef")) << "left by a crash";
  WindowsServer server(folder);
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(server.Ask("[SaveVATList]the server's list;"), "[SaveVATList]Y;");
  EXPECT_EQ(server.Ask("[GetVATList]"), "[GetVATList]the server's list");
  EXPECT_EQ(::GetFileAttributesW((data + L"vatlist.txt.tmp-4242-0123456789abcdef").c_str()), INVALID_FILE_ATTRIBUTES);
  inUse.reset();
  std::ifstream kept(Narrow(data + L"vatlist.txt.tmp-1"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "half written");
  server.Kill();
}

}  // namespace
