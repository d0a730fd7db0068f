// File growth: room opened in the middle of a database file.
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"

namespace rb {

// Opening room in the middle of a file, in two steps around the write-back
// of the file's dirty cache blocks (records/growth.h puts them together):
//
// check_room_request: the arguments and the file's write access (-90,
// -102), reported.
std::int32_t check_room_request(const FileCtrl& f, std::int32_t offset, std::int32_t length);

// open_room: opens length bytes at offset: everything from offset to the
// end of the file moves up, the opened room is cleared to zero bytes, and
// every stored offset at or behind offset is raised by length (table
// offsets, areas, vector places, the places of singly placed records; the
// cached blocks are the cache's to shift). Catalogue entry `growing` (or
// -1) is the data type the room is opened for: its own area keeps its
// start, also when it is empty and begins exactly at offset, while every
// later area, empty or not, moves. The bytes move as dbCopyFromFile and
// dbCopyToFile move them, each under its name. Returns 1 when bytes moved,
// 0 when nothing lay behind offset, or a reported negative code (-12
// beyond 2^31 - 1, -13, -14, -3401, or the journal's). `shifted` tells
// whether the stored offsets were raised (also after a failed move).
std::int32_t open_room(std::int32_t file_no, FileCtrl& f, std::int32_t offset, std::int32_t length,
                       std::int32_t growing, bool& shifted);

// True when length bytes can be opened at offset without any offset of the
// file (its length, the data areas reserved, the places of singly placed
// records) passing 2^31 - 1.
bool room_fits(const FileCtrl& f, std::int32_t offset, std::int32_t length);

// Raises an offset at or behind offset by length, clamped at 2^31 - 1.
void raise_offset(std::int32_t& value, std::int32_t offset, std::int32_t length);

// Raises the stored offsets as open_room does, without moving bytes.
void shift_offsets(FileCtrl& f, std::int32_t offset, std::int32_t length, std::int32_t growing);

}  // namespace rb
