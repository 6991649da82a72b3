#include "folders_win.h"

#include <windows.h>

namespace testsupport {

void RemoveTree(const std::wstring& folder) {
  if (folder.empty()) return;
  const std::wstring base = folder.back() == L'\\' ? folder.substr(0, folder.size() - 1) : folder;
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW((base + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = base + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
      }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(base.c_str());
}

void RemoveTree(const std::string& folder) {
  if (folder.empty()) return;
  const int n = ::MultiByteToWideChar(CP_ACP, 0, folder.data(), static_cast<int>(folder.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, folder.data(), static_cast<int>(folder.size()), wide.data(), n);
  RemoveTree(wide);
}

}  // namespace testsupport
