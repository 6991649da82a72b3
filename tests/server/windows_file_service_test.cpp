// The Windows server's file commands, the real quorlane-server.exe under Wine
// over loopback: every folder on a request's path stays what was checked
// until the request is done (a test swaps them in the pause between check and
// action), links and junctions that lead out of the file root are refused
// (Wine: links made on the Linux side), and a delete answers "N;" with the
// code of the failed delete whenever the file may still be there.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "file_race_win.h"
#include "windows_server_process.h"

namespace {

using servertest::FreshFolder;
using servertest::Narrow;
using servertest::WindowsServer;
using testsupport::Link;
using testsupport::PauseAfterCheck;

void Write(const std::wstring& path, const std::string& bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  std::ofstream(Narrow(path), std::ios::binary | std::ios::trunc) << bytes;
  ::SetFileAttributesW(path.c_str(), attributes);
}

std::optional<std::string> Read(const std::wstring& path) {
  std::ifstream in(Narrow(path), std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

class WindowsServerFiles : public ::testing::Test {
 protected:
  void Start(const std::wstring& name) {
    folder_ = FreshFolder(L"files-" + name);
    root_ = folder_ + L"root\\";
    outside_ = folder_ + L"outside\\";
    ::CreateDirectoryW(root_.c_str(), nullptr);
    ::CreateDirectoryW(outside_.c_str(), nullptr);
    PauseAfterCheck::Enable();
    server_.emplace(folder_);
    ASSERT_TRUE(server_->Start({"file_root = " + Narrow(folder_ + L"root")}));
  }
  // The reply's payload (after the command tag).
  std::string Reply(const std::string& tag, const std::string& fields) {
    const std::string reply = server_->Ask(tag + fields);
    return reply.rfind(tag, 0) == 0 ? reply.substr(tag.size()) : reply;
  }
  std::string Audit() { return Read(folder_ + L"data\\audit.log").value_or(""); }
  std::string Client(const std::wstring& path) const { return Narrow(path); }

  std::wstring folder_, root_, outside_;
  std::optional<WindowsServer> server_;
};

// A request pauses after its check; meanwhile a folder on its way is renamed
// (and, where that works, replaced by a link to a folder outside the root
// that holds files of the same names). The rename must fail while the
// request holds the folder, and the request must act on what it checked.
TEST_F(WindowsServerFiles, FoldersOnTheWayCannotBeSwappedWhileARequestRuns) {
  Start(L"held");
  struct Case {
    const char* what;
    std::string tag;
    std::wstring fields;  // with {in} for the case's folder below the root
    std::wstring swapped;  // the folder renamed during the pause, below {in}; empty: the root itself
    std::string reply;
    std::function<void(const std::wstring& in, const std::wstring& out)> after;
  };
  const std::vector<Case> cases = {
      {"copy onto a read-only target two levels down", "[COPYFILE]", L"{in}src.bin;{in}dir\\sub\\ro.txt;", L"dir", "Y;",
       [](const std::wstring& in, const std::wstring& out) {
         EXPECT_EQ(Read(in + L"dir\\sub\\ro.txt"), "new bytes");
         EXPECT_EQ(Read(out + L"sub\\ro.txt"), "secret");
         EXPECT_EQ(Attributes(out + L"sub\\ro.txt") & FILE_ATTRIBUTE_READONLY, DWORD{FILE_ATTRIBUTE_READONLY})
             << "the outside file keeps its read-only attribute";
       }},
      {"copy into a folder level it creates", "[COPYFILE]", L"{in}src.bin;{in}dir\\New\\f.bin;", L"dir", "Y;",
       [](const std::wstring& in, const std::wstring& out) {
         EXPECT_EQ(Read(in + L"dir\\New\\f.bin"), "new bytes");
         EXPECT_EQ(Attributes(out + L"New"), INVALID_FILE_ATTRIBUTES) << "no folder made outside the root";
       }},
      {"size of a folder's files", "[FILESIZEINFO]", L"{in}dir\\sub;*.txt;", L"dir", "Y;9;2;",
       [](const std::wstring&, const std::wstring&) {}},
      {"delete", "[DELETEFILE]", L"{in}dir\\sub\\victim.txt;", L"dir\\sub", "Y;",
       [](const std::wstring& in, const std::wstring& out) {
         EXPECT_EQ(Attributes(in + L"dir\\sub\\victim.txt"), INVALID_FILE_ATTRIBUTES);
         EXPECT_EQ(Read(out + L"sub\\victim.txt"), "victim");
       }},
      {"delete through a link inside the root (held where it leads)", "[DELETEFILE]", L"{in}inner\\victim.txt;",
       L"dir\\sub", "Y;",
       [](const std::wstring& in, const std::wstring& out) {
         EXPECT_EQ(Attributes(in + L"dir\\sub\\victim.txt"), INVALID_FILE_ATTRIBUTES);
         EXPECT_EQ(Read(out + L"sub\\victim.txt"), "victim");
       }},
      {"size, with the file root itself renamed", "[FILESIZEINFO]", L"{in}dir\\sub;*.txt;", L"", "Y;9;2;",
       [](const std::wstring&, const std::wstring&) {}},
  };
  int number = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // {in}: root\caseN\ with dir\sub\{ro.txt, victim.txt} and inner -> dir\sub;
    // out: outside\caseN\ with sub\ holding bigger files of the same names.
    const std::wstring in = root_ + L"case" + std::to_wstring(++number) + L"\\";
    const std::wstring out = outside_ + L"case" + std::to_wstring(number) + L"\\";
    for (const auto& f : {in, in + L"dir", in + L"dir\\sub", out, out + L"sub"}) ::CreateDirectoryW(f.c_str(), nullptr);
    Write(in + L"src.bin", "new bytes");
    Write(in + L"dir\\sub\\ro.txt", "old", FILE_ATTRIBUTE_READONLY);
    Write(in + L"dir\\sub\\victim.txt", "victim");
    Write(out + L"sub\\ro.txt", "secret", FILE_ATTRIBUTE_READONLY);
    Write(out + L"sub\\victim.txt", "victim");
    Write(out + L"sub\\big.txt", std::string(5000, 'x'));
    const Link inner(in + L"inner", in + L"dir\\sub");
    if (c.fields.find(L"inner") != std::wstring::npos && !inner) continue;

    const std::wstring swapped = c.swapped.empty() ? folder_ + L"root" : in + c.swapped;
    const std::wstring swappedTo = c.swapped.empty() ? out : out + (c.swapped == L"dir" ? L"" : L"sub");
    DWORD renameError = ERROR_SUCCESS;
    std::optional<std::string> reply;
    std::optional<Link> swappedIn;
    {
      PauseAfterCheck pause([&] {
        renameError = ::MoveFileW(swapped.c_str(), (swapped + L"-moved").c_str()) ? ERROR_SUCCESS : ::GetLastError();
        if (renameError == ERROR_SUCCESS) swappedIn.emplace(swapped, swappedTo);
      });
      std::wstring fields = c.fields;
      for (std::size_t at; (at = fields.find(L"{in}")) != std::wstring::npos;) fields.replace(at, 4, in);
      reply = Reply(c.tag, Narrow(fields));
      EXPECT_TRUE(pause.Reached());
    }
    EXPECT_EQ(renameError, DWORD{ERROR_SHARING_VIOLATION}) << "the held folder " << Narrow(swapped) << " was renamed";
    EXPECT_EQ(reply, c.reply);
    c.after(in, out);
  }
}

TEST_F(WindowsServerFiles, LinksThatLeadOutOfTheRootAreRefusedAndLinksInsideAreFollowed) {
  Start(L"links");
  const std::wstring in = root_, out = outside_;
  ::CreateDirectoryW((in + L"dir").c_str(), nullptr);
  Write(in + L"src.bin", "new bytes");
  Write(in + L"dir\\victim.txt", "victim");
  Write(in + L"dir\\a.txt", "12345");
  Write(out + L"victim.txt", "victim");
  Write(out + L"secret.txt", "secret", FILE_ATTRIBUTE_READONLY);
  const Link linkOut(in + L"link-out", outside_), fileLinkOut(in + L"file-link-out", out + L"secret.txt"),
      inner(in + L"inner", in + L"dir");
  if (!linkOut || !fileLinkOut || !inner) GTEST_SKIP() << "this system can make no links";
  const auto path = [](const std::wstring& p) { return Narrow(p); };
  struct Case {
    std::string tag, fields, reply;
  };
  const Case cases[] = {
      {"[DELETEFILE]", path(in + L"link-out\\victim.txt;"), "N;5"},
      {"[DELETEFILE]", path(in + L"file-link-out;"), "N;5"},
      {"[COPYFILE]", path(in + L"src.bin;" + in + L"link-out\\copied.txt;"), "N;5"},
      {"[COPYFILE]", path(in + L"src.bin;" + in + L"link-out\\New\\f.bin;"), "N;5"},
      {"[COPYFILE]", path(in + L"src.bin;" + in + L"file-link-out;"), "N;5"},
      {"[COPYFILE]", path(in + L"file-link-out;" + in + L"stolen.txt;"), "N;5"},
      {"[FILESIZEINFO]", path(in + L"link-out;*;"), "N;5;"},
      {"[FILESIZEINFO]", path(in + L"file-link-out;*;"), "N;5;"},
      {"[FILESIZEINFO]", path(in + L"inner;*.txt;"), "Y;11;2;"},
      {"[COPYFILE]", path(in + L"src.bin;" + in + L"inner\\copy.bin;"), "Y;"},
      {"[COPYFILE]", path(in + L"inner\\a.txt;" + in + L"inner\\New\\a.txt;"), "Y;"},
      {"[DELETEFILE]", path(in + L"inner\\victim.txt;"), "Y;"},
  };
  for (const auto& c : cases) EXPECT_EQ(Reply(c.tag, c.fields), c.reply) << c.tag << c.fields;
  EXPECT_EQ(Read(out + L"victim.txt"), "victim");
  EXPECT_EQ(Read(out + L"secret.txt"), "secret");
  EXPECT_EQ(Attributes(out + L"secret.txt") & FILE_ATTRIBUTE_READONLY, DWORD{FILE_ATTRIBUTE_READONLY})
      << "a copy onto a link that leads out left the outside file's attributes alone";
  for (const auto& name : {L"copied.txt", L"New", L"stolen.txt"}) {
    EXPECT_EQ(Attributes(out + name), INVALID_FILE_ATTRIBUTES) << Narrow(name);
  }
  EXPECT_EQ(Attributes(in + L"stolen.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Read(in + L"dir\\copy.bin"), "new bytes");
  EXPECT_EQ(Read(in + L"dir\\New\\a.txt"), "12345");
  EXPECT_EQ(Attributes(in + L"dir\\victim.txt"), INVALID_FILE_ATTRIBUTES);
  const std::string audit = Audit();
  EXPECT_NE(audit.find("a link or junction leads out of the file root (to "), std::string::npos) << audit;
  EXPECT_NE(audit.find("target: a link or junction leads out"), std::string::npos) << audit;
  EXPECT_NE(audit.find("source: a link or junction leads out"), std::string::npos) << audit;
}

// "Y;" only when the file is not there (or is a folder) or was deleted.
// Wine has no file access lists and the tests run as root, so "access
// denied" comes from the read-only attribute only.
TEST_F(WindowsServerFiles, ADeleteAnswersTheCodeOfTheFailedDeleteWheneverTheFileMayBeThere) {
  Start(L"delete");
  const std::wstring in = root_;
  ::CreateDirectoryW((in + L"folder").c_str(), nullptr);
  Write(in + L"ro.txt", "keep", FILE_ATTRIBUTE_READONLY);
  Write(in + L"in-use.txt", "keep");
  Write(in + L"plain.txt", "x");
  const Link loop(in + L"loop", in + L"loop"), loopFolder(in + L"loopdir", in + L"loopdir");
  const bool links = loop && loopFolder;
  win32::UniqueFile user(::CreateFileW((in + L"in-use.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(user);
  struct Case {
    std::wstring name;
    std::string reply;
    bool needsLinks = false;
  };
  const Case cases[] = {
      {L"missing.txt", "Y;"},
      {L"no\\such\\folder.txt", "Y;"},
      {L"plain.txt\\x.txt", "Y;"},  // a file where a folder would be: no such path
      {L"folder", "Y;"},            // a folder is not a file
      {L"plain.txt", "Y;"},
      {L"ro.txt", "N;5"},
      {L"in-use.txt", "N;32"},  // open elsewhere without delete sharing
      // A link that cannot be resolved is still there: its attributes cannot
      // be read, and neither can it be deleted.
      {L"loop", "N;1921", true},
      {L"loopdir\\x.txt", "N;1921", true},
  };
  for (const auto& c : cases) {
    if (c.needsLinks && !links) continue;
    EXPECT_EQ(Reply("[DELETEFILE]", Narrow(in + c.name) + ";"), c.reply) << Narrow(c.name);
  }
  EXPECT_EQ(Read(in + L"ro.txt"), "keep");
  EXPECT_EQ(Read(in + L"in-use.txt"), "keep");
  EXPECT_EQ(Attributes(in + L"plain.txt"), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
