// What every command needs around the library: a private working
// directory for the files the library writes there (tovek.log, tovek.tst),
// the library state with one file opened for reading, and a progress line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "layout.h"

namespace rbtool {

// Exit codes of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFindings = 1;  // check: the file is not sound
inline constexpr int kExitUnreadable = 2;
inline constexpr int kExitUsage = 3;

// The absolute form of a path named on the command line.
std::string absolute_path(const std::string& path);

// Makes a fresh temporary directory the current one; restores the previous
// current directory and removes the temporary one with everything in it.
class Workspace {
 public:
  Workspace();
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  bool ready() const { return !dir_.empty(); }

 private:
  std::filesystem::path previous_;
  std::filesystem::path dir_;
};

// The library, initialised for files open at once (dbInit), and a file
// opened read only; dbExit at the end.
class Library {
 public:
  explicit Library(std::int32_t files = 1);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // The file number, or the failure of dbInit or dbOpen. A pending journal
  // beside the file is rolled back by dbOpen; a note on standard error
  // names the file as name.
  std::int32_t open(const std::string& path, const std::string& name);
  std::int32_t file() const { return file_; }
  // 0, or the failure of dbInit.
  std::int32_t init_result() const { return init_result_; }

 private:
  std::int32_t init_result_;
  std::int32_t file_ = -1;
};

// Opens path through library (Library::open) and reads its layout as the
// library sees it, after a rollback; the file number, or -1 after one line
// on standard error saying why it cannot be read.
std::int32_t open_database(Library& library, const std::string& path, const std::string& name,
                           rb::FileLayout& image);

// A "label NN%" line on standard error, shown only for files above 64 MiB
// and only when standard error is a terminal.
class Progress {
 public:
  Progress(const char* label, std::int64_t file_size, std::int64_t total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void update(std::int64_t done);

 private:
  const char* label_;
  std::int64_t total_;
  int shown_ = -1;
  bool active_;
};

}  // namespace rbtool
