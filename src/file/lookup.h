// Finding the open file behind a file number, with the failure reported.
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"
#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"

namespace rb {

// Result of a look-up: the file, or the code that was reported.
struct Lookup {
  FileCtrl* file;
  std::int32_t code;
  explicit operator bool() const { return file != nullptr; }
};

// The open file under file_no. Before dbInit -5 is reported (which the log
// answers with -4 while no SysData exists); an empty slot or a number outside
// the file table is reported as missing_code.
inline Lookup find_file(std::int32_t file_no, std::int32_t missing_code = -6) {
  if (!initialised()) return {nullptr, report(DB_ERR_NO_CASH)};
  FileCtrl* f = file_at(file_no);
  if (f == nullptr) return {nullptr, report(missing_code)};
  return {f, 0};
}

// As find_file, and the file must have a stream (-1 otherwise) that is
// still in step with memory: after a growth whose move failed part-way,
// every record, key and table operation answers that failure rather than
// bytes from the wrong place.
inline Lookup find_stream(std::int32_t file_no, std::int32_t missing_code = -6) {
  Lookup found = find_file(file_no, missing_code);
  if (found && found.file->pFile == nullptr) return {nullptr, report(DB_ERR_FILE_POINTER)};
  if (found && found.file->pFile->broken != 0) return {nullptr, report(found.file->pFile->broken)};
  return found;
}

// As find_stream, and the file must have been opened with write access
// (-102 otherwise): nothing is ever written to a file opened for reading.
inline Lookup find_writable(std::int32_t file_no) {
  Lookup found = find_stream(file_no);
  if (found && !found.file->writable) return {nullptr, report(DB_ERR_WRITE_LOCKED)};
  return found;
}

// The entry convention of an operation on one open file: records its
// name and the file number for the log, finds the file (with its stream
// for on_stream) and runs body on it; a file that is not found answers the
// code find_file or find_stream reported.
template <class Body>
std::int32_t on_file(const char* name, std::int32_t file_no, Body body) {
  enter(name, file_no);
  const Lookup found = find_file(file_no);
  return found ? body(*found.file) : found.code;
}
template <class Body>
std::int32_t on_stream(const char* name, std::int32_t file_no, Body body) {
  enter(name, file_no);
  const Lookup found = find_stream(file_no);
  return found ? body(*found.file) : found.code;
}

}  // namespace rb
