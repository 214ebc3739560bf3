// Path and file operations the tools need, taking UTF-8 paths on every system (the
// Windows build converts them to UTF-16 and calls the wide API, so any name works).
#pragma once
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "mp3/byte_source.h"

namespace toolcommon {

enum class PathKind { Missing, File, Directory, Other };

PathKind GetPathKind(const std::string& path);

// Opens an existing file for binary reading; null on failure (see SystemErrorText).
std::FILE* OpenForReading(const std::string& path);

// Closes a stdio stream when it goes out of scope (or earlier, by Close()).
class FileCloser {
 public:
  explicit FileCloser(std::FILE* file) : file_(file) {}
  ~FileCloser() { Close(); }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;
  void Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
  }

 private:
  std::FILE* file_;
};

// An input file read at any offset by one system call (pread, or ReadFile at an offset): the
// scanner and the frame copier read far apart, and a stdio stream would seek, drop its buffer
// and read a block of its own around every read. While memoryfiles is on it reads the memory
// file. The size is taken once, at Open.
class InputFile : public mp3::ByteSource {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  // False when the file cannot be opened or its size not be told (see SystemErrorText).
  bool Open(const std::string& path);
  // Closes it before the end of its scope (Windows renames only closed files); reads then fail.
  void Close();
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override;

 private:
#ifdef _WIN32
  void* handle_ = nullptr;  // the file's HANDLE while open
#else
  int descriptor_ = -1;
  const std::vector<uint8_t>* memory_ = nullptr;
#endif
  uint64_t size_ = 0;
};

// folder + separator + name. A bare drive ("D:") means that drive's root folder, and a
// folder that already ends in a separator gets none added. An empty folder means the
// current one.
std::string JoinPath(const std::string& folder, const std::string& name);

// The folder part of a path, without a trailing separator ("" for the current folder,
// "D:" for the root-relative "D:x").
std::string FolderOf(const std::string& path);

// Renames, replacing an existing target (MoveFileExW with MOVEFILE_REPLACE_EXISTING).
bool RenameReplacing(const std::string& from, const std::string& to);
// Renames only if the target does not exist yet.
bool RenameIfAbsent(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
// Gives `path` a second name `backup` (a hard link, or a copy where links are not
// possible), never replacing an existing `backup`. The original stays where it is, so
// there is no moment without a file under its name.
bool KeepBackupOf(const std::string& path, const std::string& backup);

// Names of the entries of a folder ("." and ".." left out); empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);

unsigned long CurrentProcessId();
// False only when no process of that id exists (a process of another user counts as alive).
bool ProcessIsAlive(unsigned long processId);
#ifndef _WIN32
// The process's file-creation mask.
unsigned CurrentUmask();
#endif

// Whether two paths name the same existing file (hard links and different spellings
// included).
bool SameFile(const std::string& a, const std::string& b);

// Text of the last failed system call (errno, or GetLastError on Windows), in UTF-8.
std::string SystemErrorText();
// The C runtime's text for errno.
std::string RuntimeErrorText();
#ifdef _WIN32
// The system's text for GetLastError().
std::string Win32ErrorText();
#endif

#ifndef _WIN32
// One folder of files held in memory instead of on the disk: while it is switched on, every
// path the functions above and TempOutput are given names an entry of it, and the folder is
// the only one that exists. The fuzz targets run the tools' cores this way, through all of
// their own code, thousands of times a second; the tools themselves never switch it on.
namespace memoryfiles {
void SwitchOn(const std::string& folder);  // empty at first
void SwitchOff();
bool On();
// By full path (JoinPath(folder, name)).
std::map<std::string, std::vector<uint8_t>>& Files();
// A new empty file, made in the storage of one removed earlier where there is one; null when
// the name is taken.
std::vector<uint8_t>* Add(const std::string& path);
// Removes every file, keeping their storage for Add.
void Clear();
}  // namespace memoryfiles
#endif

}  // namespace toolcommon
