// The real quorlane-server over loopback: file requests below the roots only
// (attack paths refused and audited, nothing outside touched), delete and
// copy as the library's local forms, a copy that fails half-way, the size
// query, services through the command backend, the VAT list byte for byte
// and across kill -9, the taxation key set from standard input.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "server_process.h"
#include "keyfile/taxation_key.h"

namespace quorlane::server::testing {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class SiteCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = folder.Path() / "root";
    outside = folder.Path() / "outside";
    fs::create_directories(root / "sub");
    fs::create_directories(outside);
  }

  std::vector<std::string> Arguments() const {
    return {"--config", (folder.Path() / "server.ini").string(), "--data", (folder.Path() / "data").string()};
  }
  void StartServer(const std::vector<std::string>& settings = {}) {
    std::ofstream ini(folder.Path() / "server.ini");
    ini << "[server]\nfile_root = " << root.string() << "\npath_map = D:\\Shared => " << root.string() << "\n";
    for (const auto& s : settings) ini << s << "\n";
    ini.close();
    ASSERT_TRUE(server.Start(folder.Path(), Arguments())) << server.Output();
    client = std::make_unique<RawClient>();
    ASSERT_TRUE(server.Connect(*client));
  }
  std::string Reply(const std::string& tag, const std::string& fields) { return Ask(*client, tag, fields); }
  std::string Audit() const { return ReadBytes(folder.Path() / "data" / "audit.log"); }
  // The blocking jobs write their lines before they answer; the file follows
  // within a quarter second.
  bool AuditHas(const std::string& text) {
    for (int i = 0; i < 100; ++i) {
      if (Audit().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(milliseconds(20));
    }
    ADD_FAILURE() << "audit log lacks " << text << "\n" << Audit();
    return false;
  }
  std::vector<std::string> TemporaryFilesUnder(const fs::path& where) const {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(where)) {
      if (entry.path().filename().string().rfind(".~ql", 0) == 0) found.push_back(entry.path().string());
    }
    return found;
  }

  TempFolder folder;
  fs::path root, outside;
  ServerProcess server;
  std::unique_ptr<RawClient> client;
};

TEST_F(SiteCommandsTest, AttackPathsAreRefusedAuditedAndTouchNothingOutside) {
  WriteBytes(outside / "victim.txt", "victim");
  WriteBytes(root / "a.txt", "inside");
  fs::create_directory_symlink(outside, root / "link-out");
  fs::create_symlink(outside / "victim.txt", root / "file-link-out");
  fs::create_directory_symlink("../../outside", root / "sub" / "relative-out");
  struct Case {
    const char* tag;
    std::string fields;
    const char* reason;
  };
  const std::string longName(300, 'n');
  const Case cases[] = {
      {"[DELETEFILE]", "D:\\Shared\\..\\..\\outside\\victim.txt;", "leaves the drive or share root"},
      {"[DELETEFILE]", "D:/Shared\\../..//outside/victim.txt;", "leaves the drive or share root"},
      {"[DELETEFILE]", "d:\\sHaReD\\..\\outside\\victim.txt;", "no path_map entry covers this path"},
      {"[DELETEFILE]", outside.string() + "/victim.txt;", "not an absolute path"},
      {"[DELETEFILE]", "C:\\Windows\\win.ini;", "no path_map entry covers this path"},
      {"[DELETEFILE]", "\\\\evil\\share\\victim.txt;", "no path_map entry covers this path"},
      {"[DELETEFILE]", "\\\\?\\D:\\Shared\\a.txt;", "device or raw path"},
      {"[DELETEFILE]", "D:\\Shared\\link-out\\victim.txt;", "a link leads out of the file root"},
      {"[DELETEFILE]", "D:\\Shared\\sub\\relative-out\\victim.txt;", "a link leads out of the file root"},
      {"[DELETEFILE]", "D:\\Shared\\file-link-out;", "a link leads out of the file root"},
      {"[DELETEFILE]", "D:\\Shared\\NUL;", "device name NUL"},
      {"[DELETEFILE]", "D:\\Shared\\com1.txt;", "device name com1.txt"},
      {"[DELETEFILE]", "D:\\Shared\\a.txt:stream;", "alternate data stream"},
      {"[DELETEFILE]", "D:\\Shared\\a.txt.;", "ends with a dot or a space"},
      {"[DELETEFILE]", "D:\\Shared\\a.txt ;", "ends with a dot or a space"},
      {"[DELETEFILE]", "D:\\Shared\\" + longName + ";", "longer than 259 bytes"},
      {"[DELETEFILE]", ";", "empty path"},
      {"[DELETEFILE]", "D:\\Shared;", "a file root itself is not deleted"},
      {"[COPYFILE]", "D:\\Shared\\a.txt;D:\\Shared\\link-out\\copied.txt;", "a link leads out of the file root"},
      {"[COPYFILE]", "D:\\Shared\\a.txt;D:\\Shared\\file-link-out;", "target: a link leads out"},
      {"[COPYFILE]", "D:\\Shared\\file-link-out;D:\\Shared\\stolen.txt;", "a link leads out of the file root"},
      {"[COPYFILE]", "C:\\secret.txt;D:\\Shared\\stolen.txt;", "source: no path_map entry"},
      {"[FILESIZEINFO]", "D:\\Shared\\link-out;;", "a link leads out of the file root"},
      {"[FILESIZEINFO]", "D:\\Shared\\..\\..;*;", "leaves the drive or share root"},
  };
  StartServer();
  for (const auto& c : cases) {
    const std::string expected = std::string(c.tag) == "[FILESIZEINFO]" ? "N;5;" : "N;5";
    EXPECT_EQ(Reply(c.tag, c.fields), expected) << c.tag << c.fields;
  }
  // One audit line per request, saying why.
  std::vector<std::string> refusals;
  for (int i = 0; i < 100 && refusals.size() < std::size(cases); ++i) {
    std::this_thread::sleep_for(milliseconds(20));
    refusals.clear();
    std::istringstream lines(Audit());
    for (std::string line; std::getline(lines, line);) {
      if (line.find(" refused: ") != std::string::npos) refusals.push_back(line);
    }
  }
  ASSERT_EQ(refusals.size(), std::size(cases)) << Audit();
  for (std::size_t i = 0; i < refusals.size(); ++i) {
    const std::string command = std::string(cases[i].tag).substr(1, std::string(cases[i].tag).size() - 2);
    EXPECT_EQ(refusals[i].find(command + " peer=127.0.0.1:"), 20u) << refusals[i];
    EXPECT_NE(refusals[i].find(cases[i].reason), std::string::npos) << refusals[i];
  }
  EXPECT_EQ(ReadBytes(outside / "victim.txt"), "victim");
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
  EXPECT_FALSE(fs::exists(root / "stolen.txt"));
  EXPECT_TRUE(fs::is_symlink(root / "file-link-out"));
  // Links that stay inside the root are followed.
  fs::create_directory_symlink(root / "sub", root / "inner");
  WriteBytes(root / "sub" / "via-link.txt", "x");
  EXPECT_EQ(Reply("[DELETEFILE]", "D:\\Shared\\inner\\via-link.txt;"), "Y;");
  EXPECT_FALSE(fs::exists(root / "sub" / "via-link.txt"));
}

TEST_F(SiteCommandsTest, DeleteAndCopyAnswerLikeTheLibrarysLocalForms) {
  StartServer();
  EXPECT_EQ(Reply("[DELETEFILE]", "D:\\Shared\\missing.txt;"), "Y;") << "a missing file counts as deleted";
  EXPECT_EQ(Reply("[DELETEFILE]", "D:\\Shared\\no\\such\\folder.txt;"), "Y;");
  EXPECT_EQ(Reply("[DELETEFILE]", "D:\\Shared\\sub;"), "Y;") << "a folder is not a file";
  EXPECT_TRUE(fs::is_directory(root / "sub"));
  WriteBytes(root / "ro.txt", "old");
  fs::permissions(root / "ro.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(Reply("[DELETEFILE]", "D:\\Shared\\ro.txt;"), "N;5") << "read-only";
  EXPECT_TRUE(fs::exists(root / "ro.txt"));

  // A copy onto a read-only target replaces it and takes the source's time.
  std::string content(300 * 1024, '\0');
  std::mt19937 random(7);
  for (char& c : content) c = static_cast<char>(random());
  WriteBytes(root / "src.bin", content);
  const auto sourceTime = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(root / "src.bin", sourceTime);
  EXPECT_EQ(Reply("[COPYFILE]", "D:\\Shared\\src.bin;D:\\Shared\\ro.txt;"), "Y;");
  EXPECT_EQ(ReadBytes(root / "ro.txt"), content);
  EXPECT_EQ(fs::last_write_time(root / "ro.txt"), sourceTime);

  // Only the last folder level is created.
  EXPECT_EQ(Reply("[COPYFILE]", "D:\\Shared\\src.bin;D:\\Shared\\New\\File.bin;"), "Y;");
  EXPECT_EQ(ReadBytes(root / "New" / "File.bin"), content);
  EXPECT_EQ(Reply("[COPYFILE]", "D:\\Shared\\src.bin;D:\\Shared\\A\\B\\File.bin;"), "N;3");
  EXPECT_FALSE(fs::exists(root / "A"));
  EXPECT_EQ(Reply("[COPYFILE]", "D:\\Shared\\none.bin;D:\\Shared\\x.bin;"), "N;2");
  EXPECT_EQ(Reply("[COPYFILE]", "D:\\Shared\\src.bin;D:\\Shared\\sub;"), "N;5") << "a folder is not replaced";
  EXPECT_EQ(Reply("[COPYFILE]", "D:\\Shared\\src.bin;D:\\Shared\\src.bin\\x.bin;"), "N;183")
      << "a file where the folder would be created";
  EXPECT_TRUE(TemporaryFilesUnder(root).empty());
  EXPECT_TRUE(AuditHas("COPYFILE peer=127.0.0.1:"));
  EXPECT_TRUE(AuditHas("result=\"N;3\""));
}

// The server may write no file beyond 1 MiB: the copy of a larger source
// fails part-way (EFBIG, Windows code 223). The old target stays whole, no
// temporary file remains, and the server (which ignores SIGXFSZ) goes on.
TEST_F(SiteCommandsTest, ACopyThatFailsHalfWayLeavesTheOldTargetWhole) {
  WriteBytes(root / "big.bin", std::string(3 * 1024 * 1024, 'b'));
  WriteBytes(root / "target.bin", "the old target");
  server.LimitFileSize(1024 * 1024);
  StartServer();
  EXPECT_EQ(Reply("[COPYFILE]", "D:\\Shared\\big.bin;D:\\Shared\\target.bin;"), "N;223");
  EXPECT_EQ(ReadBytes(root / "target.bin"), "the old target");
  EXPECT_TRUE(TemporaryFilesUnder(root).empty());
  EXPECT_EQ(Reply("[FILESIZEINFO]", "D:\\Shared\\target.bin;;"), "Y;14;1;");
}

TEST_F(SiteCommandsTest, SizeInfoCountsTheMatchingFilesOfAFolderOrOneFile) {
  WriteBytes(root / "a.txt", "abc");
  WriteBytes(root / "B.TXT", "abcde");
  WriteBytes(root / "c.dat", "abcdefg");
  fs::create_symlink(root / "c.dat", root / "d.txt");
  StartServer();
  EXPECT_EQ(Reply("[FILESIZEINFO]", "D:\\Shared;;"), "Y;15;3;") << "links and folders are not counted";
  EXPECT_EQ(Reply("[FILESIZEINFO]", "d:\\shared\\;*.txt;"), "Y;8;2;");
  EXPECT_EQ(Reply("[FILESIZEINFO]", "D:\\Shared\\c.dat;;"), "Y;7;1;");
  EXPECT_EQ(Reply("[FILESIZEINFO]", "D:\\Shared\\c.dat;*.txt;"), "Y;0;0;");
  EXPECT_EQ(Reply("[FILESIZEINFO]", "D:\\Shared\\none;;"), "N;2;");
  EXPECT_EQ(Reply("[FILESIZEINFO]", "D:\\Shared\\none\\x;;"), "N;3;");
  EXPECT_EQ(Reply("[FILESIZEINFO]", "D:\\Shared;a/b;"), "N;123;");
}

// A FIFO, a socket or a device node below a root is never opened: opening a
// FIFO waits for a writer (four such copies used to hold every worker, and a
// stop waited for ever), and opening a device can act on it.
TEST_F(SiteCommandsTest, NonRegularSourcesAreRefusedWithoutBeingOpened) {
  ASSERT_EQ(::mkfifo((root / "pipe").c_str(), 0666), 0);
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = (root / "socket").string();
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  // Only root may make a device node; elsewhere that row is left out.
  const bool device = ::mknod((root / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  StartServer();
  struct Case {
    std::string name, kind;
  };
  // As many FIFO copies at once as there are file workers, each on a
  // connection of its own, the other kinds beside them, then a VAT read.
  std::vector<Case> cases(4, {"pipe", "a FIFO"});
  cases.push_back({"socket", "a socket"});
  if (device) cases.push_back({"null", "a character device"});
  std::vector<std::string> copies(cases.size());
  std::vector<std::thread> clients;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    clients.emplace_back([&, i] {
      RawClient copier;
      if (!server.Connect(copier)) return;
      copies[i] = Ask(copier, "[COPYFILE]", "D:\\Shared\\" + cases[i].name + ";D:\\Shared\\copy" + std::to_string(i) + ";",
                      seconds(3));
    });
  }
  for (auto& t : clients) t.join();
  RawClient reader;
  ASSERT_TRUE(server.Connect(reader));
  EXPECT_EQ(Ask(reader, "[GetVATList]", "", seconds(3)), "");
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(copies[i], "N;5") << cases[i].name;
    EXPECT_TRUE(AuditHas("refused: source: " + cases[i].kind + ", not a regular file")) << cases[i].name;
  }
  EXPECT_EQ(Reply("[DELETEFILE]", "D:\\Shared\\pipe;"), "N;5");
  EXPECT_TRUE(fs::is_fifo(root / "pipe"));
  EXPECT_FALSE(fs::exists(root / "copy0"));
  EXPECT_TRUE(server.Terminate().has_value()) << "the server did not stop";
  ::close(listener);
}

// Sets a test-only variable of the server's for the servers started meanwhile.
class ServerSeam {
 public:
  ServerSeam(const char* name, const std::string& value) : name_(name) { ::setenv(name, value.c_str(), 1); }
  ~ServerSeam() { ::unsetenv(name_); }
  ServerSeam(const ServerSeam&) = delete;
  ServerSeam& operator=(const ServerSeam&) = delete;

 private:
  const char* name_;
};

// Five size queries that each take two seconds (a slow share: the seam
// holds every file job) occupy every file worker; the VAT list, the key and a
// service answer before any of them.
TEST_F(SiteCommandsTest, FileJobsNeverDelayTheShortRequests) {
  const fs::path script = folder.Path() / "service.sh";
  std::ofstream(script) << "#!/bin/sh\nexit 0\n";
  fs::permissions(script, fs::perms::owner_all);
  {
    ServerSeam slowFiles("QUORLANE_TEST_FILE_JOB_DELAY_MS", "2000");
    StartServer({"allow_service = demo", "service_backend = command", "service_command = " + script.string()});
  }
  std::mutex mutex;
  std::vector<std::string> order;
  const auto note = [&](const std::string& what) {
    std::lock_guard lock(mutex);
    order.push_back(what);
  };
  std::vector<std::thread> clients;
  for (int i = 0; i < 5; ++i) {
    clients.emplace_back([&] {
      RawClient asker;
      if (!server.Connect(asker)) return;
      note("sizes " + Ask(asker, "[FILESIZEINFO]", "D:\\Shared;;", seconds(15)));
    });
  }
  std::this_thread::sleep_for(milliseconds(300));  // all five handed to the file lane
  RawClient other;
  ASSERT_TRUE(server.Connect(other));
  note("vat " + Ask(other, "[GetVATList]", "", seconds(15)));
  note("key " + Ask(other, "[GETTAXATIONKEY]", "", seconds(15)));
  note("service " + Ask(other, "[THESERVICESTARTED]", "demo;", seconds(15)));
  for (auto& t : clients) t.join();
  ASSERT_EQ(order.size(), 8u);
  EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + 3),
            (std::vector<std::string>{"vat ", "key ", "service Y"}));
  for (std::size_t i = 3; i < order.size(); ++i) EXPECT_EQ(order[i], "sizes Y;0;0;");
}

// A job that hangs (the seam holds it for a minute) does not keep a stopping
// server: it ends within its bound and says what it left behind.
TEST_F(SiteCommandsTest, AStopEndsWithinItsBoundWhileAJobHangs) {
  {
    ServerSeam hungShare("QUORLANE_TEST_FILE_JOB_DELAY_MS", "60000");
    StartServer();
  }
  std::string error;
  ASSERT_TRUE(client->Send("[BEGIN][FILESIZEINFO]D:\\Shared;;[END]", seconds(2), error));
  std::this_thread::sleep_for(milliseconds(300));
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(server.Terminate(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, seconds(9));
  EXPECT_NE(server.Output().find("1 job(s) still running 5000 ms after the stop"), std::string::npos)
      << server.Output();
}

// A client waits 12 s for a service (here, with the limits scaled to a tenth,
// 1.1 s) and then takes the first frame that arrives as the answer to its
// next request: an answer ready after that must never be sent, and a request
// that waited past its limit is neither carried out nor answered.
TEST_F(SiteCommandsTest, AnAnswerTheClientNoLongerWaitsForIsNeverSent) {
  const fs::path script = folder.Path() / "service.sh";
  const fs::path log = folder.Path() / "service.log";
  std::ofstream(script) << "#!/bin/sh\necho \"$1 $2\" >> '" << log.string() << "'\n[ \"$2\" = slow ] && sleep 2\nexit 0\n";
  fs::permissions(script, fs::perms::owner_all);
  {
    ServerSeam shortLimits("QUORLANE_TEST_CLIENT_LIMIT_PERCENT", "10");
    StartServer({"allow_service = slow", "service_backend = command", "service_command = " + script.string()});
  }
  std::string error;
  // 1. A slow service and, behind it on the same connection, a lock.
  ASSERT_TRUE(client->Send("[BEGIN][STARTTHESERVICE]slow;[END][BEGIN][LOCKDB]k1;ann;PC1;[END]", seconds(2), error));
  const auto late = client->ReadFrame(milliseconds(3000), error);
  EXPECT_FALSE(late.has_value()) << "sent after the client gave up: " << *late;
  EXPECT_EQ(Reply("[GetVATList]", ""), "") << "the next request gets its own answer";
  RawClient other;
  ASSERT_TRUE(server.Connect(other));
  EXPECT_EQ(Ask(other, "[CHECKDBLOCK]", "k1;bob;PC2;").substr(0, 1), "N") << "the late lock was not taken";

  // 2. Four slow services fill their lane; a VAT read queued behind them is
  // never started.
  std::vector<std::unique_ptr<RawClient>> busy;
  for (int i = 0; i < 4; ++i) {
    busy.push_back(std::make_unique<RawClient>());
    ASSERT_TRUE(server.Connect(*busy.back()));
    ASSERT_TRUE(busy.back()->Send("[BEGIN][STARTTHESERVICE]slow;[END]", seconds(2), error));
  }
  std::this_thread::sleep_for(milliseconds(200));
  ASSERT_TRUE(other.Send("[BEGIN][GetVATList][END]", seconds(2), error));
  const auto queued = other.ReadFrame(milliseconds(3500), error);
  EXPECT_FALSE(queued.has_value()) << "answered after the client gave up: " << *queued;
  EXPECT_EQ(Ask(other, "[GETTAXATIONKEY]", ""), "");
  EXPECT_TRUE(AuditHas("STARTTHESERVICE peer=127.0.0.1:"));
  EXPECT_TRUE(AuditHas(" finished after the client's 12 s limit: not answered"));
  EXPECT_TRUE(AuditHas("LOCKDB peer=127.0.0.1:"));
  EXPECT_TRUE(AuditHas(" not started: waited behind earlier requests until after the client's 12 s limit: not answered"));
  EXPECT_TRUE(AuditHas("GetVATList peer=127.0.0.1:"));
  EXPECT_TRUE(AuditHas(" not started: queued until after the client's 12 s limit: not answered"));
  EXPECT_EQ(ReadBytes(log), "start slow\nstart slow\nstart slow\nstart slow\nstart slow\n");
}

// Another writer's temporary file (an admin command replacing the list this
// very moment: it holds its lock) is neither removed by the server's start-up
// clean-up nor written by the server's save; a crash's leftover is removed.
TEST_F(SiteCommandsTest, AnotherWritersTemporaryFileIsLeftAlone) {
  const fs::path data = folder.Path() / "data";
  fs::create_directories(data);
  WriteBytes(data / "vatlist.txt.tmp-1", "an admin command's list, half written");
  WriteBytes(data / "vatlist.txt.tmp-4242-0123456789abcdef", "left by a crash");
  const int inUse = ::open((data / "vatlist.txt.tmp-1").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(inUse, LOCK_EX | LOCK_NB), 0);
  StartServer();
  EXPECT_EQ(Reply("[SaveVATList]", "the server's list;"), "Y;");
  EXPECT_EQ(Reply("[GetVATList]", ""), "the server's list");
  EXPECT_EQ(ReadBytes(data / "vatlist.txt.tmp-1"), "an admin command's list, half written");
  EXPECT_FALSE(fs::exists(data / "vatlist.txt.tmp-4242-0123456789abcdef"));
  ::close(inUse);
}

TEST_F(SiteCommandsTest, ServicesOnlyByAllowedNameThroughTheCommandStartedDirectly) {
  const fs::path script = folder.Path() / "service.sh";
  const fs::path log = folder.Path() / "service.log";
  const fs::path running = folder.Path() / "running";
  std::ofstream(script) << "#!/bin/sh\n"
                        << "echo \"[$#] $1 $2\" >> '" << log.string() << "'\n"
                        << "ls /proc/$$/fd >> '" << log.string() << ".fds'\n"
                        << "[ \"$2\" = slow ] && sleep 5\n"
                        << "case $1 in start) touch '" << running.string() << "';; stop) rm -f '"
                        << running.string() << "';; status) [ -e '" << running.string() << "' ];; esac\n";
  fs::permissions(script, fs::perms::owner_all);
  StartServer({"allow_service = demo, slow", "service_backend = command", "service_command = " + script.string(),
               "service_timeout_seconds = 1"});
  EXPECT_EQ(Reply("[THESERVICESTARTED]", "demo;"), "N;not running");
  EXPECT_EQ(Reply("[STARTTHESERVICE]", "demo;"), "Y");
  EXPECT_EQ(Reply("[THESERVICESTARTED]", "demo;"), "Y");
  EXPECT_EQ(Reply("[STOPTHESERVICE]", "demo;"), "Y");
  EXPECT_EQ(Reply("[STARTTHESERVICE]", "other;"), "N;service not allowed");
  for (const char* injected : {"--help;", "demo --now;", "demo;x;", "-demo;", "demo`id`;", "../demo;"}) {
    EXPECT_EQ(Reply("[STARTTHESERVICE]", injected).substr(0, 2), "N;") << injected;
  }
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(Reply("[STARTTHESERVICE]", "slow;"), "N;timed out");
  EXPECT_LT(std::chrono::steady_clock::now() - before, seconds(4));
  EXPECT_EQ(ReadBytes(log), "[2] status demo\n[2] start demo\n[2] status demo\n[2] stop demo\n[2] start slow\n")
      << "nothing else reached the command";
  // Descriptors 0-2 and the shell's own (10 and up): none of the server's.
  std::istringstream fds(ReadBytes(folder.Path() / "service.log.fds"));
  for (std::string fd; fds >> fd;) EXPECT_TRUE(std::stoi(fd) <= 2 || std::stoi(fd) >= 10) << "inherited: " << fd;
  EXPECT_TRUE(AuditHas("STARTTHESERVICE peer=127.0.0.1:"));
  EXPECT_TRUE(AuditHas("service=\"other\" refused result=\"N;service not allowed\""));
  EXPECT_TRUE(AuditHas("service=\"--help\" refused result=\"N;not a plain service name\""));
}

TEST_F(SiteCommandsTest, TheVatListIsKeptByteForByteAndSetByTheAdminCommand) {
  StartServer();
  EXPECT_EQ(Reply("[GetVATList]", ""), "");
  const std::string list = "A;5%;\r\nB;\xB0\xAA;13%\nC";
  EXPECT_EQ(Reply("[SaveVATList]", list + ";"), "Y;");
  EXPECT_EQ(Reply("[GetVATList]", ""), list);
  EXPECT_EQ(Reply("[SaveVATList]", "no final separator"), "N;no final \";\"");
  EXPECT_EQ(Reply("[GetVATList]", ""), list);
  const std::string program = (BinFolder() / "quorlane-server").string();
  const auto shown = RunProgram({program, "vat-list", "show", "--data", (folder.Path() / "data").string()});
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.output, list);
  const auto set = RunProgram({program, "vat-list", "set", "--data", (folder.Path() / "data").string()}, "X;1\r\nY;2");
  EXPECT_EQ(set.status, 0) << set.output;
  EXPECT_EQ(Reply("[GetVATList]", ""), "X;1\r\nY;2");
  EXPECT_EQ(Reply("[SaveVATList]", ";"), "Y;");
  EXPECT_EQ(Reply("[GetVATList]", ""), "");
  EXPECT_TRUE(AuditHas("SaveVATList bytes=8 (admin command"));
}

TEST_F(SiteCommandsTest, TheTaxationKeyComesFromAPrivateFileAndNeverReachesALog) {
  StartServer();
  EXPECT_EQ(Reply("[GETTAXATIONKEY]", ""), "") << "none set yet";
  const std::string key = "tk-9f8e7d6c5b4a";
  const std::string program = (BinFolder() / "quorlane-server").string();
  const auto set = RunProgram({program, "set-taxation-key", "--data", (folder.Path() / "data").string()}, key + "\n");
  ASSERT_EQ(set.status, 0) << set.output;
  EXPECT_EQ(Reply("[GETTAXATIONKEY]", ""), key);
  const fs::path keyFile = folder.Path() / "data" / "taxation.key";
  EXPECT_EQ(fs::status(keyFile).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(ReadBytes(keyFile).find(key), std::string::npos) << "kept scrambled";
  EXPECT_TRUE(AuditHas("GETTAXATIONKEY peer=127.0.0.1:"));
  EXPECT_TRUE(AuditHas("taxation key set (15 bytes)"));
  fs::permissions(keyFile, fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
  EXPECT_EQ(Reply("[GETTAXATIONKEY]", "").rfind("(no tag: [QLERROR]", 0), 0u);
  EXPECT_TRUE(AuditHas("may be read by other accounts"));
  EXPECT_EQ(set.output.find(key), std::string::npos);
  EXPECT_EQ(Audit().find(key), std::string::npos);
  EXPECT_EQ(server.Output().find(key), std::string::npos);
  EXPECT_EQ(RunProgram({program, "set-taxation-key", "--data", (folder.Path() / "data").string()}, "").status, 2);
}

// Clients save VAT lists in a loop while the server is killed at a random
// moment; after a restart the list is one that was sent whole, never torn.
TEST_F(SiteCommandsTest, KillMinusNineWhileSavingLeavesAWholeList) {
  constexpr int kRounds = 30;
  constexpr int kClients = 2;
  const auto deadline = std::chrono::steady_clock::now() + seconds(60);
  std::mt19937 random(2024);
  std::set<std::string> sent;
  int rounds = 0, changed = 0;
  std::string previous;
  StartServer();
  for (; rounds < kRounds && std::chrono::steady_clock::now() < deadline; ++rounds) {
    std::mutex mutex;
    std::atomic<bool> stop{false};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
      clients.emplace_back([&, c, seed = random()] {
        RawClient saver;
        if (!server.Connect(saver)) return;
        std::mt19937 sizes(seed);
        for (int i = 0; !stop; ++i) {
          // A list whose every line names it, up to 256 KiB.
          const std::string line = "round " + std::to_string(rounds) + " client " + std::to_string(c) + " list " +
                                   std::to_string(i) + "\r\n";
          std::string list;
          for (std::size_t n = sizes() % (256 * 1024 / line.size()) + 1; n > 0; --n) list += line;
          {
            std::lock_guard lock(mutex);
            sent.insert(list);
          }
          std::string error;
          if (!saver.Request("[SaveVATList]" + list + ";", seconds(5), error)) return;
        }
      });
    }
    std::this_thread::sleep_for(milliseconds(30 + random() % 120));
    server.Kill();
    stop = true;
    for (auto& t : clients) t.join();
    StartServer();
    const std::string list = Reply("[GetVATList]", "");
    ASSERT_TRUE(sent.count(list) == 1 || (list.empty() && previous.empty()))
        << "round " << rounds << ": " << (list.empty() ? "a saved list was lost" : "a list nobody sent") << ", "
        << list.size() << " bytes";
    changed += list != previous;
    previous = list;
  }
  EXPECT_GE(rounds, 10);
  EXPECT_GE(changed, rounds / 2) << "the saves reached the disk between kills";
  for (const auto& entry : fs::directory_iterator(folder.Path() / "data")) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
  }
}

}  // namespace
}  // namespace quorlane::server::testing

namespace quorlane::server::testing {
namespace {

// The Linux build of quorlane-taxkey: what it writes, the library's reading
// (the same code the DLL runs) gives back; it refuses what would not fit.
TEST(TaxkeyTool, WritesAFileTheLibraryReadsAndReadsItBack) {
  TempFolder folder;
  const std::string tool = (BinFolder() / "quorlane-taxkey").string();
  const std::string file = (folder.Path() / "Taxation.txt").string();
  const std::string key = "k-\xA4\xA4-" + std::string(250, '7');
  const auto written = RunProgram({tool, "write", "--owner", "ACME Ltd", "--file", file}, key + "\n");
  ASSERT_EQ(written.status, 0) << written.output;
  EXPECT_EQ(written.output.find(key), std::string::npos) << "the key is not echoed";
  const std::string text = ReadBytes(file);
  EXPECT_EQ(quorlane::taxkey::KeyFromKeyFile(text, "acme LTD"), key);
  EXPECT_EQ(RunProgram({tool, "read", "--file", file}).output, "owner: ACME Ltd\nkey: " + key + "\n");
  EXPECT_EQ(RunProgram({tool, "read", "--owner", "acme ltd", "--file", file}).output, key + "\n");
  EXPECT_EQ(RunProgram({tool, "read", "--owner", "Other", "--file", file}).status, 1);
  EXPECT_EQ(RunProgram({tool, "write", "--owner", "ACME Ltd", "--file", file}, std::string(400, 'x')).status, 1);
  EXPECT_EQ(ReadBytes(file), text) << "a refused key leaves the file as it was";
  EXPECT_EQ(RunProgram({tool, "write", "--file", file}, "k").status, 2);
  EXPECT_EQ(RunProgram({tool, "write", "--owner", "a==b", "--file", file}, "k").status, 1);
}

}  // namespace
}  // namespace quorlane::server::testing
