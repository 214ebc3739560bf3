#include "tools/common/file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/common/joined_text.h"

#ifdef _WIN32
#include <windows.h>
#include "tools/common/text_encoding.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace toolcommon {

namespace {
#ifdef _WIN32
constexpr char kSeparator = '\\';
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsBareDrive(const std::string& folder) {
  return folder.size() == 2 && folder[1] == ':' &&
         ((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z'));
}
// Whether the last failure came from the C runtime (errno) or from a Win32 call.
thread_local bool lastErrorFromRuntime = false;
#else
constexpr char kSeparator = '/';
bool IsSeparator(char c) { return c == '/'; }

using MemoryFiles = std::map<std::string, std::vector<uint8_t>>;
struct MemoryFolder {
  bool on = false;
  std::string folder;
  MemoryFiles files;
  // Removed files, kept whole (map node, name and bytes' storage) for the next new file: a
  // fuzz run makes and removes the same few files thousands of times a second.
  std::vector<MemoryFiles::node_type> spare;
};
MemoryFolder& Memory() {
  static MemoryFolder memory;
  return memory;
}
std::vector<uint8_t>* MemoryFile(const std::string& path) {
  auto found = Memory().files.find(path);
  return found == Memory().files.end() ? nullptr : &found->second;
}
void Recycle(MemoryFiles::iterator file) {
  MemoryFiles::node_type node = Memory().files.extract(file);
  node.mapped().clear();
  Memory().spare.push_back(std::move(node));
}
// Moves `from` to `to`; false (errno set) when `from` is missing or `to` exists and may not
// be replaced.
bool MemoryRename(const std::string& from, const std::string& to, bool replace) {
  std::vector<uint8_t>* source = MemoryFile(from);
  if (!source) {
    errno = ENOENT;
    return false;
  }
  if (!replace && MemoryFile(to)) {
    errno = EEXIST;
    return false;
  }
  if (from == to) return true;
  const auto replaced = Memory().files.find(to);
  if (replaced != Memory().files.end()) Recycle(replaced);
  MemoryFiles::node_type node = Memory().files.extract(from);
  node.key() = to;
  Memory().files.insert(std::move(node));
  return true;
}
#endif
}  // namespace

#ifndef _WIN32
namespace memoryfiles {
void SwitchOn(const std::string& folder) {
  Memory().on = true;
  Memory().folder = folder;
  Memory().files.clear();
}
void SwitchOff() {
  Memory().on = false;
  Memory().files.clear();
  Memory().spare.clear();
}
bool On() { return Memory().on; }
std::map<std::string, std::vector<uint8_t>>& Files() { return Memory().files; }
std::vector<uint8_t>* Add(const std::string& path) {
  MemoryFolder& memory = Memory();
  if (memory.spare.empty()) {
    auto made = memory.files.emplace(path, std::vector<uint8_t>());
    return made.second ? &made.first->second : nullptr;
  }
  if (MemoryFile(path)) return nullptr;
  MemoryFiles::node_type node = std::move(memory.spare.back());
  memory.spare.pop_back();
  node.key() = path;
  return &memory.files.insert(std::move(node)).position->second;
}
void Clear() {
  while (!Memory().files.empty()) Recycle(Memory().files.begin());
}
}  // namespace memoryfiles
#endif

PathKind GetPathKind(const std::string& path) {
#ifdef _WIN32
  DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
  lastErrorFromRuntime = false;
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Directory;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::Other;
  return PathKind::File;
#else
  if (memoryfiles::On()) {
    const std::string& folder = Memory().folder;
    const bool withSeparator = path.size() == folder.size() + 1 && path.back() == kSeparator;
    if (path == folder || (withSeparator && path.compare(0, folder.size(), folder) == 0)) return PathKind::Directory;
    return MemoryFile(path) ? PathKind::File : PathKind::Missing;
  }
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return PathKind::Missing;
  if (S_ISDIR(info.st_mode)) return PathKind::Directory;
  if (S_ISREG(info.st_mode)) return PathKind::File;
  return PathKind::Other;
#endif
}

std::FILE* OpenForReading(const std::string& path) {
#ifdef _WIN32
  lastErrorFromRuntime = true;
  return _wfopen(Utf8ToWide(path).c_str(), L"rb");
#else
  if (memoryfiles::On()) {
    std::vector<uint8_t>* bytes = MemoryFile(path);
    if (!bytes) {
      errno = ENOENT;
      return nullptr;
    }
    // A stream over no bytes at all is what reading an empty file gives.
    if (bytes->empty()) return std::fopen("/dev/null", "rb");
    return fmemopen(bytes->data(), bytes->size(), "rb");
  }
  return std::fopen(path.c_str(), "rb");
#endif
}

InputFile::~InputFile() { Close(); }

void InputFile::Close() {
#ifdef _WIN32
  if (handle_) CloseHandle(handle_);
  handle_ = nullptr;
#else
  if (descriptor_ >= 0) close(descriptor_);
  descriptor_ = -1;
  memory_ = nullptr;
#endif
  size_ = 0;
}

bool InputFile::Open(const std::string& path) {
#ifdef _WIN32
  lastErrorFromRuntime = false;
  // Shared as _wfopen shares: the player has the file open while it is being cut.
  HANDLE handle = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle, &size)) {
    CloseHandle(handle);
    return false;
  }
  handle_ = handle;
  size_ = uint64_t(size.QuadPart);
#else
  if (memoryfiles::On()) {
    memory_ = MemoryFile(path);
    if (!memory_) errno = ENOENT;
    size_ = memory_ ? memory_->size() : 0;
    return memory_ != nullptr;
  }
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  struct stat info;
  if (fstat(descriptor, &info) != 0) {
    const int error = errno;
    close(descriptor);
    errno = error;
    return false;
  }
  descriptor_ = descriptor;
  size_ = uint64_t(info.st_size);
#endif
  return true;
}

size_t InputFile::ReadAt(uint64_t offset, uint8_t* buffer, size_t count) {
  if (offset >= size_ || count == 0) return 0;
  count = size_t(std::min<uint64_t>(count, size_ - offset));
  size_t done = 0;
#ifdef _WIN32
  while (handle_ && done < count) {
    OVERLAPPED at{};
    at.Offset = DWORD(offset + done);
    at.OffsetHigh = DWORD((offset + done) >> 32);
    DWORD got = 0;
    if (!ReadFile(handle_, buffer + done, DWORD(std::min<size_t>(count - done, 1u << 30)), &got, &at) || got == 0)
      break;
    done += got;
  }
#else
  if (memory_) {
    std::memcpy(buffer, memory_->data() + offset, count);
    return count;
  }
  while (descriptor_ >= 0 && done < count) {
    const ssize_t got = pread(descriptor_, buffer + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += size_t(got);
  }
#endif
  return done;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (IsSeparator(folder.back())) return Joined({folder, name});
  return Joined({folder, std::string_view(&kSeparator, 1), name});
}

std::string FolderOf(const std::string& path) {
  size_t cut = std::string::npos;
  for (size_t i = path.size(); i-- > 0;) {
    if (IsSeparator(path[i])) {
      cut = i;
      break;
    }
  }
  if (cut == std::string::npos) {
#ifdef _WIN32
    if (path.size() >= 2 && IsBareDrive(path.substr(0, 2))) return path.substr(0, 2);
#endif
    return std::string();
  }
  if (cut == 0) return path.substr(0, 1);  // the root folder itself
#ifdef _WIN32
  if (cut == 2 && path[1] == ':') return path.substr(0, 3);  // "D:\x" lies in "D:\"
#endif
  return path.substr(0, cut);
}

bool RenameReplacing(const std::string& from, const std::string& to) {
#ifdef _WIN32
  lastErrorFromRuntime = false;
  std::wstring source = Utf8ToWide(from);
  std::wstring target = Utf8ToWide(to);
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (MoveFileExW(source.c_str(), target.c_str(), flags)) return true;
  // The caller has decided to replace the target; a read-only flag must not stop that.
  DWORD error = GetLastError();
  DWORD attributes = GetFileAttributesW(target.c_str());
  if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_READONLY)) {
    SetLastError(error);
    return false;
  }
  SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (MoveFileExW(source.c_str(), target.c_str(), flags)) return true;
  error = GetLastError();
  SetFileAttributesW(target.c_str(), attributes);
  SetLastError(error);
  return false;
#else
  if (memoryfiles::On()) return MemoryRename(from, to, true);
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool RenameIfAbsent(const std::string& from, const std::string& to) {
#ifdef _WIN32
  lastErrorFromRuntime = false;
  return MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
#else
  if (memoryfiles::On()) return MemoryRename(from, to, false);
  // A hard link fails when the target exists, which makes the check and the rename one step.
  if (link(from.c_str(), to.c_str()) == 0) return unlink(from.c_str()) == 0;
  if (errno == EEXIST) return false;
  if (GetPathKind(to) != PathKind::Missing) {
    errno = EEXIST;
    return false;
  }
  return std::rename(from.c_str(), to.c_str()) == 0;  // file systems without hard links
#endif
}

bool RemoveFile(const std::string& path) {
#ifdef _WIN32
  lastErrorFromRuntime = false;
  return DeleteFileW(Utf8ToWide(path).c_str()) != 0;
#else
  if (memoryfiles::On()) {
    const auto found = Memory().files.find(path);
    if (found == Memory().files.end()) {
      errno = ENOENT;
      return false;
    }
    Recycle(found);
    return true;
  }
  return unlink(path.c_str()) == 0;
#endif
}

bool KeepBackupOf(const std::string& path, const std::string& backup) {
#ifdef _WIN32
  lastErrorFromRuntime = false;
  std::wstring from = Utf8ToWide(path);
  std::wstring to = Utf8ToWide(backup);
  if (CreateHardLinkW(to.c_str(), from.c_str(), nullptr)) return true;
  if (GetLastError() == ERROR_ALREADY_EXISTS) return false;
  return CopyFileW(from.c_str(), to.c_str(), TRUE) != 0;
#else
  if (memoryfiles::On()) {
    std::vector<uint8_t>* original = MemoryFile(path);
    if (!original || MemoryFile(backup)) {
      errno = original ? EEXIST : ENOENT;
      return false;
    }
    // A new entry leaves the others where they are: `original` still points at its bytes.
    memoryfiles::Add(backup)->assign(original->begin(), original->end());
    return true;
  }
  if (link(path.c_str(), backup.c_str()) == 0) return true;
  if (errno == EEXIST) return false;
  // Without hard links: a copy, made under a temporary name so that a torn copy never
  // poses as the backup.
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return false;
  std::string partial = backup + ".partial";
  std::FILE* out = std::fopen(partial.c_str(), "wbx");
  bool ok = out != nullptr;
  char buffer[1 << 16];
  for (size_t got; ok && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
    ok = std::fwrite(buffer, 1, got, out) == got;
  ok = ok && !std::ferror(in);
  std::fclose(in);
  if (out) ok = (std::fflush(out) == 0 && fsync(fileno(out)) == 0 && std::fclose(out) == 0) && ok;
  ok = ok && RenameIfAbsent(partial, backup);
  if (!ok && out) unlink(partial.c_str());
  return ok;
#endif
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
#ifdef _WIN32
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(Utf8ToWide(JoinPath(folder.empty() ? "." : folder, "*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = WideToUtf8(found.cFileName);
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
#else
  if (memoryfiles::On()) {
    // An entry of the folder is its path, a separator and a name holding none.
    const std::string prefix = JoinPath(folder, "");
    for (const auto& entry : Memory().files) {
      const std::string& path = entry.first;
      if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
          std::find_if(path.begin() + std::ptrdiff_t(prefix.size()), path.end(), IsSeparator) == path.end())
        names.push_back(path.substr(prefix.size()));
    }
    return names;
  }
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
#endif
  return names;
}

unsigned long CurrentProcessId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

bool ProcessIsAlive(unsigned long processId) {
#ifdef _WIN32
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId));
  if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;
  bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
#else
  return kill(static_cast<pid_t>(processId), 0) == 0 || errno != ESRCH;
#endif
}

#ifndef _WIN32
unsigned CurrentUmask() {
  // Reading the mask means setting it; the tools are single-threaded.
  mode_t mask = umask(0);
  umask(mask);
  return static_cast<unsigned>(mask);
}
#endif

bool SameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
  auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE handle = CreateFileW(Utf8ToWide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    bool ok = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    return ok;
  };
  BY_HANDLE_FILE_INFORMATION first{}, second{};
  if (!identify(a, first) || !identify(b, second)) return false;
  return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber && first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
#else
  if (memoryfiles::On()) return a == b && MemoryFile(a) != nullptr;
  struct stat first, second;
  if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
#endif
}

std::string RuntimeErrorText() { return std::strerror(errno); }

#ifdef _WIN32
std::string Win32ErrorText() {
  DWORD code = GetLastError();
  wchar_t* buffer = nullptr;
  DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length ? std::wstring(buffer, length) : L"error " + std::to_wstring(code);
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) text.pop_back();
  return WideToUtf8(text);
}
#endif

std::string SystemErrorText() {
#ifdef _WIN32
  if (!lastErrorFromRuntime) return Win32ErrorText();
#endif
  return RuntimeErrorText();
}

}  // namespace toolcommon
