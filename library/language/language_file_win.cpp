// Language files on Windows: read through a read-only mapping of the file,
// written through a handle that denies other writers while it is held.
//
// Reading. A mapped view shows the file's current bytes (on Windows and
// under Wine alike), so a look-up reads the file as it is at that moment
// without a system call: it compares the view with the bytes the section
// was last indexed from and indexes again when one byte differs. The view
// covers the file's length at the open; a mapped file cannot be made
// shorter, and what another program appends meanwhile is seen from the next
// open (the next pass).
//
// Writing. While the handle is held nobody else can change the file, so the
// bytes read at the open, changed along with every write, stay the file's
// bytes. Each value is one write of the bytes that change: in place when its
// length stays, else from the changed line to the end (padded with blanks
// when the file gets shorter, then cut), or appended. A process that dies in
// the middle leaves the old or the new file: each change is one WriteFile,
// and blanks at the end of a file read as nothing. Nothing is flushed to the
// disk per value: after a power cut the file is what the system had written.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

#include "framework/errors.h"
#include "framework/os_error_win.h"
#include "language/ini_section.h"
#include "language/language_file_win.h"
#include "win32/unique_resource.h"

namespace quorlane {
namespace {

[[noreturn]] void RaiseFileError(DWORD error, const char* what, const std::string& path) {
  RaiseOSError(error, std::string(what) + path);
}

bool IsMissing(DWORD error) noexcept { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

class MappedLanguageFile final : public LanguageFile {
 public:
  MappedLanguageFile(const std::string& path, std::string section, const LeadByteTable& leadBytes)
      : m_section(std::move(section), leadBytes) {
    m_file.reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file) {
      const DWORD error = GetLastError();
      if (IsMissing(error)) return;  // a file deleted since its presence test has no keys
      RaiseFileError(error, "Unable to open ", path);
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(m_file.get(), &size)) RaiseFileError(GetLastError(), "Unable to read ", path);
    if (size.QuadPart == 0) return;  // an empty file cannot be mapped, and has no keys
    if (static_cast<unsigned long long>(size.QuadPart) > kLargest) {
      RaiseOSError(ERROR_FILE_TOO_LARGE, "Unable to read " + path);
    }
    m_mapping.reset(CreateFileMappingA(m_file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!m_mapping) RaiseFileError(GetLastError(), "Unable to read ", path);
    m_view.reset(MapViewOfFile(m_mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!m_view) RaiseFileError(GetLastError(), "Unable to read ", path);
    m_size = static_cast<std::size_t>(size.QuadPart);
  }

  std::optional<std::string> Find(const std::string& key) override {
    m_section.Look(std::string_view(static_cast<const char*>(m_view.get()), m_size));
    return m_section.Find(key);
  }

  void Write(const std::string&, const std::string&) override {
    throw Exception("A language file opened for reading is not written");
  }

 private:
  // A language file holds a form's texts: kilobytes. One far larger is not
  // one, and a 32-bit process could not map it.
  static constexpr unsigned long long kLargest = 256ull << 20;

  IniSection m_section;
  win32::UniqueFile m_file;
  win32::UniqueHandle m_mapping;
  win32::UniqueMapView m_view;
  std::size_t m_size = 0;
};

class WrittenLanguageFile final : public LanguageFile {
 public:
  WrittenLanguageFile(std::string path, std::string section, const LeadByteTable& leadBytes)
      : m_path(std::move(path)), m_section(std::move(section), leadBytes) {
    // A file that does not exist yet is made by the first write, as the
    // profile functions do: a form with nothing to write leaves no file.
    Open(OPEN_EXISTING);
  }

  std::optional<std::string> Find(const std::string& key) override { return m_section.Find(key); }

  void Write(const std::string& key, const std::string& value) override {
    if (!m_file) Open(OPEN_ALWAYS);
    const auto change = m_section.Write(key, value);
    if (!change) return;
    const std::string& bytes = m_section.Bytes();
    if (change->removed == change->inserted) {
      WriteAt(change->offset, std::string_view(bytes).substr(change->offset, change->inserted));
      return;
    }
    std::string tail = bytes.substr(change->offset);
    const std::size_t oldSize = bytes.size() - change->inserted + change->removed;
    if (bytes.size() < oldSize) tail.append(oldSize - bytes.size(), ' ');
    WriteAt(change->offset, tail);
    if (bytes.size() < oldSize) {
      LARGE_INTEGER end{};
      end.QuadPart = static_cast<LONGLONG>(bytes.size());
      if (!SetFilePointerEx(m_file.get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(m_file.get())) {
        RaiseFileError(GetLastError(), "Unable to write to ", m_path);
      }
    }
  }

 private:
  void Open(DWORD disposition) {
    m_file.reset(CreateFileA(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file) {
      const DWORD error = GetLastError();
      if (disposition == OPEN_EXISTING && IsMissing(error)) return;
      RaiseFileError(error, "Unable to write to ", m_path);
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(m_file.get(), &size)) RaiseFileError(GetLastError(), "Unable to read ", m_path);
    if (static_cast<unsigned long long>(size.QuadPart) > (256ull << 20)) {
      RaiseOSError(ERROR_FILE_TOO_LARGE, "Unable to read " + m_path);
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD read = 0;
      const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
      if (!ReadFile(m_file.get(), bytes.data() + done, wanted, &read, nullptr)) {
        RaiseFileError(GetLastError(), "Unable to read ", m_path);
      }
      if (read == 0) break;
      done += read;
    }
    bytes.resize(done);
    m_section.Look(bytes);
  }

  void WriteAt(std::size_t offset, std::string_view bytes) {
    while (!bytes.empty()) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(static_cast<unsigned long long>(offset) >> 32);
      DWORD written = 0;
      const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      if (!WriteFile(m_file.get(), bytes.data(), wanted, &written, &at) || written == 0) {
        RaiseFileError(GetLastError(), "Unable to write to ", m_path);
      }
      bytes.remove_prefix(written);
      offset += written;
    }
  }

  std::string m_path;
  IniSection m_section;
  win32::UniqueFile m_file;
};

}  // namespace

std::unique_ptr<LanguageFile> OpenWindowsLanguageFile(const std::string& path, const std::string& section,
                                                      const LeadByteTable& leadBytes, LanguageFileAccess access) {
  if (access == LanguageFileAccess::Read) return std::make_unique<MappedLanguageFile>(path, section, leadBytes);
  return std::make_unique<WrittenLanguageFile>(path, section, leadBytes);
}

}  // namespace quorlane
