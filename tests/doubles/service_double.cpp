// A service for the site server's command backend under Wine:
//   service_double.exe start|stop|status NAME
// keeps "NAME is running" as a file beside itself and appends every call to
// service_double.log there. Exit status 0: done, or running.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  char self[MAX_PATH];
  const DWORD n = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string folder(self, n);
  folder.resize(folder.find_last_of('\\') + 1);
  if (FILE* log = std::fopen((folder + "service_double.log").c_str(), "ab")) {
    std::fprintf(log, "[%d]", argc - 1);
    for (int i = 1; i < argc; ++i) std::fprintf(log, " %s", argv[i]);
    std::fputc('\n', log);
    std::fclose(log);
  }
  if (argc != 3) return 2;
  const std::string action = argv[1];
  const std::string running = folder + "service_double." + argv[2] + ".running";
  if (action == "start") {
    if (FILE* marker = std::fopen(running.c_str(), "wb")) std::fclose(marker);
    return 0;
  }
  if (action == "stop") {
    ::DeleteFileA(running.c_str());
    return 0;
  }
  if (action == "status") return ::GetFileAttributesA(running.c_str()) == INVALID_FILE_ATTRIBUTES ? 1 : 0;
  return 2;
}
