#include "tools/common/temp_output.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <signal.h>

#include "tools/common/file_system.h"
#include "tools/common/joined_text.h"

#ifdef _WIN32
#include <windows.h>
#include "tools/common/text_encoding.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace toolcommon {

namespace {

// Frames arrive a few hundred bytes at a time; the system gets them in pieces of this size.
constexpr size_t kWriteBufferSize = 1 << 18;
// The disk starts writing each piece handed to the system while the rest is being made, so
// that the flush before the rename waits for the last piece only.
constexpr uint64_t kWritebackStep = kWriteBufferSize;
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

bool TempOutput::IsOpen() const {
#ifdef _WIN32
  return handle_ != nullptr;
#else
  return descriptor_ >= 0;
#endif
}

void TempOutput::CloseFile() {
#ifdef _WIN32
  if (handle_) CloseHandle(handle_);
  handle_ = nullptr;
#else
  if (descriptor_ >= 0) close(descriptor_);
  descriptor_ = -1;
#endif
  buffered_ = 0;
}

void TempOutput::Discard() {
  CloseFile();
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
  const std::string namePrefix = Joined({".", finalName, ".partial-"});
  RemoveStalePartialFiles(folder, namePrefix);
  // The process id in the name tells a later run whether the writer is still alive.
  std::string prefix = JoinPath(folder, Joined({namePrefix, std::to_string(CurrentProcessId()), "-"}));
#ifdef _WIN32
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
    path_ = prefix + std::to_string(attempt);
    handle = CreateFileW(Utf8ToWide(path_).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (handle == INVALID_HANDLE_VALUE) return Fail(Win32ErrorText());
  handle_ = handle;
#else
  if (memoryfiles::On()) {
    for (unsigned attempt = 0; !memory_; ++attempt) {
      path_ = Joined({prefix, std::to_string(attempt)});
      memory_ = memoryfiles::Add(path_);
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
  descriptor_ = descriptor;
#endif
  owned_ = true;
  SetPending(path_);
  flushed_ = 0;
  writebackStarted_ = 0;
  // Not cleared: only bytes written into it are ever handed on.
  if (!buffer_) buffer_.reset(new uint8_t[kWriteBufferSize]);
  return true;
}

// Every write names its offset, so that rewriting a header leaves no file position to restore.
bool TempOutput::WriteAt(uint64_t offset, const uint8_t* data, size_t size) {
  while (size > 0) {
#ifdef _WIN32
    const DWORD piece = DWORD(std::min<size_t>(size, 1u << 30));
    OVERLAPPED at{};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD done = 0;
    if (!WriteFile(handle_, data, piece, &done, &at)) return Fail(Win32ErrorText());
#else
    const ssize_t done = pwrite(descriptor_, data, size, static_cast<off_t>(offset));
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return Fail(RuntimeErrorText());
#endif
    if (done == 0) return Fail("nothing could be written");
    data += done;
    size -= size_t(done);
    offset += uint64_t(done);
  }
  return true;
}

bool TempOutput::FlushBuffer() {
  if (buffered_ == 0) return true;
  if (!WriteAt(flushed_, buffer_.get(), buffered_)) return false;
  flushed_ += buffered_;
  buffered_ = 0;
#ifdef __linux__
  // Only a head start: the flush in Finish still waits for all of it and reports any failure.
  if (flushed_ - writebackStarted_ >= kWritebackStep) {
    sync_file_range(descriptor_, static_cast<off_t>(writebackStarted_), static_cast<off_t>(flushed_ - writebackStarted_),
                    SYNC_FILE_RANGE_WRITE);
    writebackStarted_ = flushed_;
  }
#endif
  return true;
}

bool TempOutput::Write(const void* data, size_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  if (memory_) {
    memory_->insert(memory_->end(), bytes, bytes + size);
    size_ += size;
    return true;
  }
  if (!IsOpen()) return Fail("the output file is not open");
  if (buffered_ + size > kWriteBufferSize && !FlushBuffer()) return false;
  if (size >= kWriteBufferSize) {
    if (!WriteAt(flushed_, bytes, size)) return false;
    flushed_ += size;
  } else if (size > 0) {
    std::memcpy(buffer_.get() + buffered_, bytes, size);
    buffered_ += size;
  }
  size_ += size;
  return true;
}

bool TempOutput::Overwrite(uint64_t offset, const void* data, size_t size) {
  if (!IsOpen() && !memory_) return Fail("the output file is not open");
  if (offset + size > size_) return Fail("overwrite beyond the end of the output");
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  if (memory_) {
    if (size) std::memcpy(memory_->data() + offset, bytes, size);
    return true;
  }
  // The part already handed to the system is written again there; the rest is still buffered.
  const size_t written = offset < flushed_ ? size_t(std::min<uint64_t>(size, flushed_ - offset)) : 0;
  if (written > 0 && !WriteAt(offset, bytes, written)) return false;
  if (size > written) std::memcpy(buffer_.get() + (offset + written - flushed_), bytes + written, size - written);
  return true;
}

bool TempOutput::ReadBack(uint64_t offset, void* data, size_t size) {
  if (!IsOpen() && !memory_) return Fail("the output file is not open");
  if (offset + size > size_) return Fail("reading beyond the end of the output");
  uint8_t* bytes = static_cast<uint8_t*>(data);
  if (memory_) {
    if (size) std::memcpy(bytes, memory_->data() + offset, size);
    return true;
  }
  // The part handed to the system is read from the file; the rest is still buffered.
  size_t fromFile = offset < flushed_ ? size_t(std::min<uint64_t>(size, flushed_ - offset)) : 0;
  for (size_t done = 0; done < fromFile;) {
    const uint64_t at = offset + done;
#ifdef _WIN32
    OVERLAPPED where{};
    where.Offset = DWORD(at);
    where.OffsetHigh = DWORD(at >> 32);
    DWORD got = 0;
    if (!ReadFile(handle_, bytes + done, DWORD(std::min<size_t>(fromFile - done, 1u << 30)), &got, &where))
      return Fail(Win32ErrorText());
#else
    const ssize_t got = pread(descriptor_, bytes + done, fromFile - done, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Fail(RuntimeErrorText());
#endif
    if (got == 0) return Fail("the output file is shorter than what was written");
    done += size_t(got);
  }
  if (size > fromFile) std::memcpy(bytes + fromFile, buffer_.get() + (offset + fromFile - flushed_), size - fromFile);
  return true;
}

void TempOutput::CopyPermissionsFrom(const std::string& path) {
#ifndef _WIN32
  struct stat info;
  if (descriptor_ >= 0 && stat(path.c_str(), &info) == 0) fchmod(descriptor_, info.st_mode & 07777);
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
  if (!IsOpen()) return Fail("the output file is not open");
  bool ok = FlushBuffer();
#ifdef _WIN32
  if (ok && !FlushFileBuffers(handle_)) ok = Fail(Win32ErrorText());
  if (!CloseHandle(handle_) && ok) ok = Fail(Win32ErrorText());
  handle_ = nullptr;
#else
  if (ok && fsync(descriptor_) != 0) ok = Fail(RuntimeErrorText());
  if (close(descriptor_) != 0 && ok) ok = Fail(RuntimeErrorText());
  descriptor_ = -1;
#endif
  if (!ok) return false;
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
