#include "tools/common/temp_output.h"

#include <csignal>
#include <signal.h>
#include <cstdlib>
#include <cstring>
#include <cerrno>

#include "tools/common/file_system.h"

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include "tools/common/text_encoding.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace toolcommon {

namespace {

constexpr size_t kWriteBufferSize = 1 << 18;
constexpr size_t kMaxPathBytes = 4096;

// The temporary file to delete if the process is stopped from outside. A fixed buffer,
// because the signal handler may only touch memory that is always valid.
#ifdef _WIN32
wchar_t pendingTempPath[kMaxPathBytes];

// The file is shared for deletion, so it can be deleted while still open: it goes when the
// process ends.
BOOL WINAPI RemovePendingOnConsoleEvent(DWORD) {
  if (pendingTempPath[0]) DeleteFileW(pendingTempPath);
  return FALSE;  // let the default handler end the process
}

void SetPending(const std::string& path) {
  std::wstring wide = Utf8ToWide(path);
  if (wide.size() >= kMaxPathBytes) return;
  std::memcpy(pendingTempPath, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  static bool installed = false;
  if (!installed) installed = SetConsoleCtrlHandler(RemovePendingOnConsoleEvent, TRUE) != 0;
}
void ClearPending() { pendingTempPath[0] = 0; }
#else
char pendingTempPath[kMaxPathBytes];

extern "C" void RemovePendingOnSignal(int signalNumber) {
  if (pendingTempPath[0]) unlink(pendingTempPath);
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

void SetPending(const std::string& path) {
  if (path.size() >= kMaxPathBytes) return;
  std::memcpy(pendingTempPath, path.c_str(), path.size() + 1);
  static bool installed = false;
  if (!installed) {
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) std::signal(signalNumber, RemovePendingOnSignal);
    installed = true;
  }
}
void ClearPending() { pendingTempPath[0] = 0; }
#endif

int Seek(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<int64_t>(offset), SEEK_SET);
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
#endif
}

// Partial files of runs that were killed (no handler runs then): the process id in their
// name is no longer alive. Files of other live runs are left alone.
void RemoveStalePartialFiles(const std::string& folder, const std::string& namePrefix) {
  for (const std::string& name : FolderEntries(folder)) {
    if (name.compare(0, namePrefix.size(), namePrefix) != 0) continue;
    const std::string rest = name.substr(namePrefix.size());
    const size_t digits = rest.find_first_not_of("0123456789");
    if (digits == 0 || digits == std::string::npos || rest[digits] != '-') continue;
    const unsigned long writer = std::strtoul(rest.substr(0, digits).c_str(), nullptr, 10);
    if (writer != CurrentProcessId() && !ProcessIsAlive(writer)) RemoveFile(JoinPath(folder, name));
  }
}

}  // namespace

#ifdef _WIN32
TerminationSignalsHeld::TerminationSignalsHeld() {}
TerminationSignalsHeld::~TerminationSignalsHeld() {}
#else
TerminationSignalsHeld::TerminationSignalsHeld() {
  sigset_t held;
  sigemptyset(&held);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signalNumber);
  sigprocmask(SIG_BLOCK, &held, &previous_);
}

TerminationSignalsHeld::~TerminationSignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
#endif

TempOutput::~TempOutput() { Discard(); }

bool TempOutput::Fail(const std::string& what) {
  error_ = what;
  return false;
}

void TempOutput::Discard() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  memory_ = nullptr;
  if (owned_) {
    RemoveFile(path_);
    ClearPending();
  }
  owned_ = false;
}

bool TempOutput::Create(const std::string& folder, const std::string& finalName) {
  Discard();
  finished_ = false;
  TerminationSignalsHeld held;  // a stop between creating and noting the file would leave it
  size_ = 0;
  const std::string namePrefix = "." + finalName + ".partial-";
  RemoveStalePartialFiles(folder, namePrefix);
  // The process id in the name tells a later run whether the writer is still alive.
  std::string prefix = JoinPath(folder, namePrefix + std::to_string(CurrentProcessId()) + "-");
#ifdef _WIN32
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
    path_ = prefix + std::to_string(attempt);
    handle = CreateFileW(Utf8ToWide(path_).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (handle == INVALID_HANDLE_VALUE) return Fail(Win32ErrorText());
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_RDWR);
  if (descriptor < 0) {
    CloseHandle(handle);
    DeleteFileW(Utf8ToWide(path_).c_str());
    return Fail(RuntimeErrorText());
  }
  file_ = _fdopen(descriptor, "w+b");
  if (!file_) {
    _close(descriptor);
    DeleteFileW(Utf8ToWide(path_).c_str());
    return Fail(RuntimeErrorText());
  }
#else
  if (memoryfiles::On()) {
    for (unsigned attempt = 0; !memory_; ++attempt) {
      path_ = prefix + std::to_string(attempt);
      auto made = memoryfiles::Files().emplace(path_, std::vector<uint8_t>());
      if (made.second) memory_ = &made.first->second;
    }
    owned_ = true;
    return true;
  }
  std::string pattern = prefix + "XXXXXX";
  int descriptor = mkstemp(pattern.data());
  if (descriptor < 0) return Fail(RuntimeErrorText());
  path_ = pattern;
  // mkstemp makes the file private (0600); a result file gets what the user's umask gives
  // any new file. A repair then takes the original's bits instead.
  fchmod(descriptor, static_cast<mode_t>(0666 & ~CurrentUmask()));
  file_ = fdopen(descriptor, "w+b");
  if (!file_) {
    std::string text = RuntimeErrorText();
    close(descriptor);
    unlink(path_.c_str());
    return Fail(text);
  }
#endif
  owned_ = true;
  SetPending(path_);
  // A buffer of our own: given none, the C library keeps its small default size.
  if (!buffer_) buffer_.reset(new char[kWriteBufferSize]);
  std::setvbuf(file_, buffer_.get(), _IOFBF, kWriteBufferSize);
  return true;
}

bool TempOutput::Write(const void* data, size_t size) {
  if (memory_) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    memory_->insert(memory_->end(), bytes, bytes + size);
    size_ += size;
    return true;
  }
  if (!file_) return Fail("the output file is not open");
  if (size && std::fwrite(data, 1, size, file_) != size) return Fail(RuntimeErrorText());
  size_ += size;
  return true;
}

bool TempOutput::Overwrite(uint64_t offset, const void* data, size_t size) {
  if (!file_ && !memory_) return Fail("the output file is not open");
  if (offset + size > size_) return Fail("overwrite beyond the end of the output");
  if (memory_) {
    if (size) std::memcpy(memory_->data() + offset, data, size);
    return true;
  }
  if (Seek(file_, offset) != 0 || std::fwrite(data, 1, size, file_) != size || Seek(file_, size_) != 0)
    return Fail(RuntimeErrorText());
  return true;
}

void TempOutput::CopyPermissionsFrom(const std::string& path) {
#ifndef _WIN32
  struct stat info;
  if (file_ && stat(path.c_str(), &info) == 0) fchmod(fileno(file_), info.st_mode & 07777);
#else
  (void)path;
#endif
}

bool TempOutput::Finish() {
  if (finished_) return true;
  if (memory_) {
    memory_ = nullptr;
    finished_ = true;
    return true;
  }
  if (!file_) return Fail("the output file is not open");
  bool ok = std::fflush(file_) == 0;
#ifdef _WIN32
  ok = ok && FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_)))) != 0;
#else
  ok = ok && fsync(fileno(file_)) == 0;
#endif
  std::string text = ok ? std::string() : RuntimeErrorText();
  ok = (std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (!ok) return Fail(text.empty() ? RuntimeErrorText() : text);
  finished_ = true;
  return true;
}

bool TempOutput::CommitAs(const std::string& finalPath) {
  if (!Finish()) return false;
  TerminationSignalsHeld held;
  if (!RenameReplacing(path_, finalPath)) return Fail(SystemErrorText());
  Release();
  return true;
}

void TempOutput::Release() {
  owned_ = false;
  ClearPending();
}

}  // namespace toolcommon
