// File growth: room opened in the middle of a database file.
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"

namespace rb {

// Opens length bytes at offset: everything from offset to the end of the
// file moves up, the opened room is cleared to zero bytes, and every stored
// offset at or behind offset is raised by length (table offsets, areas,
// vector places, the places of singly placed records, cached blocks).
// Catalogue entry `growing` (or -1) is the data type the room is opened
// for: its own area keeps its start, also when it is empty and begins
// exactly at offset, while every later area, empty or not, moves.
// The body of dbExpandFile on the file found with its stream, under the
// name the caller recorded; the dirty blocks are first written back as
// dbFlush writes them, and the bytes moved as dbCopyFromFile and
// dbCopyToFile move them, each under its name.
// Returns 1 when bytes moved, 0 when nothing lay behind offset, or a
// reported negative code (-90, -102, -12 beyond 2^31 - 1, -13, -3401).
std::int32_t expand_file(std::int32_t file_no, FileCtrl& f, std::int32_t offset,
                         std::int32_t length, std::int32_t growing);

// True when length bytes can be opened at offset without any offset of the
// file (its length, the data areas reserved, the places of singly placed
// records) passing 2^31 - 1.
bool room_fits(const FileCtrl& f, std::int32_t offset, std::int32_t length);

// Raises the stored offsets as expand_file does, without moving bytes.
void shift_offsets(FileCtrl& f, std::int32_t file_no, std::int32_t offset, std::int32_t length,
                   std::int32_t growing);

// dbShiftOffsets on the file found: checks the range (-90, -12), forgets
// the key index and shifts as shift_offsets does. Returns 0 or the code.
std::int32_t shift_file_offsets(std::int32_t file_no, FileCtrl& f, std::int32_t offset,
                                std::int32_t length);

// Grows the area of catalogue entry k to `blocks` blocks, opening the room
// at the end of its area as dbExpandFile does (recorded under that name,
// the file found with its stream as that function finds it). Returns 0 or
// a reported negative code.
std::int32_t grow_area(std::int32_t file_no, FileCtrl& f, std::int32_t k, std::int64_t blocks);

}  // namespace rb
