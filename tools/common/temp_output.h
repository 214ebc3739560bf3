// A result file that is written under a temporary name in its target folder and takes its
// final name only when complete, so an interrupted or failed run never leaves a partial
// file where the user expects the result. The temporary file is removed on destruction
// unless it was committed, and also when the process is stopped by Ctrl+C or SIGTERM.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#endif

namespace toolcommon {

// Holds back Ctrl+C, SIGTERM and SIGHUP for its lifetime (POSIX; nothing on Windows), so
// that steps which must not be torn apart (creating the temporary file and noting it for
// removal, renaming the original away and the result into place) finish first.
class TerminationSignalsHeld {
 public:
  TerminationSignalsHeld();
  ~TerminationSignalsHeld();
  TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
  TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;

 private:
#ifndef _WIN32
  sigset_t previous_;
#endif
};

class TempOutput {
 public:
  TempOutput() = default;
  TempOutput(const TempOutput&) = delete;
  TempOutput& operator=(const TempOutput&) = delete;
  ~TempOutput();

  // Creates an empty temporary file in `folder`, named after `finalName`.
  bool Create(const std::string& folder, const std::string& finalName);
  bool Write(const void* data, size_t size);
  // Replaces bytes already written (a header whose content is known only at the end).
  bool Overwrite(uint64_t offset, const void* data, size_t size);
  // Copies bytes already written, [offset, offset + size), into `data` (before Finish).
  bool ReadBack(uint64_t offset, void* data, size_t size);
  uint64_t Size() const { return size_; }
  // Gives the temporary file the permission bits of an existing file (POSIX only).
  void CopyPermissionsFrom(const std::string& path);
  // Flushes to the disk and closes; the file keeps its temporary name (and can be read back
  // before CommitAs).
  bool Finish();
  // Finish, then rename to `finalPath`, replacing a file of that name.
  bool CommitAs(const std::string& finalPath);
  // After Finish: the caller moved the file away itself, so it is no longer ours to delete.
  void Release();

  const std::string& Path() const { return path_; }
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const std::string& what);
  bool IsOpen() const;
  bool WriteAt(uint64_t offset, const uint8_t* data, size_t size);  // to the file itself
  bool FlushBuffer();
  void CloseFile();
  void Discard();

#ifdef _WIN32
  void* handle_ = nullptr;  // the file's HANDLE while open
#else
  int descriptor_ = -1;
#endif
  std::vector<uint8_t>* memory_ = nullptr;  // instead of the file while memoryfiles is on
  // Bytes not yet handed to the system, which follow the first `flushed_` bytes of the file.
  std::unique_ptr<uint8_t[]> buffer_;
  size_t buffered_ = 0;
  uint64_t flushed_ = 0;
  uint64_t writebackStarted_ = 0;  // bytes whose writing to the disk is under way
  std::string path_;
  std::string error_;
  uint64_t size_ = 0;
  bool owned_ = false;
  bool finished_ = false;
};

}  // namespace toolcommon
