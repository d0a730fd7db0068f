// The process-wide block cache: nCashBuffers slots shared by all open
// files, replaced in round-robin order.
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"

namespace rb {

// What the caller does with a block's bytes.
enum class CashUse {
  read,   // only reads them: the file's bytes in place may serve
  write,  // changes them: the slot holds its own copy and becomes dirty
  copy,   // may change them without telling: the slot holds its own copy
};

// The buffer holding length bytes of file file_no at offset, read from the
// file when the block lies below lFileLen and zero-filled when it is new.
// flags receives the CASH_* result bits. Returns null after a failure
// (reported, except an exhausted heap). Records "dbGetCachPtr" (the name
// dbGetCashPtr logs under) for every block request; a block read or
// written back is logged as dbCopyFromFile / dbFillUpTo / dbCopyToFile
// were when this step called them.
unsigned char* cash_block(std::int32_t file_no, FileCtrl& f, std::int32_t offset,
                          std::int32_t length, CashUse use, std::int32_t* flags);

// dbGetCashPtr on the file found with its stream (-1 for an empty slot),
// under the name the caller recorded: checks the range (-90) and hands out
// a block the caller may change (write: marked dirty). Null after a
// failure.
void* cash_ptr(std::int32_t file_no, FileCtrl& f, std::int32_t offset, std::int32_t length,
               bool write, std::int32_t* flags);

// Writes the file's dirty cache blocks back (logged as dbFlush): not a
// commit point. Records "dbFlush" and file_no, finds the file with its
// stream. Returns 0 or the reported code.
std::int32_t flush_blocks(std::int32_t file_no);

// As flush_blocks, on the file the caller found with its stream, under the
// name the caller recorded.
std::int32_t write_dirty_blocks(std::int32_t file_no, FileCtrl& f);

// dbReset after its entry (the library is initialised): drops the cache
// slots of file_no (every file for -1) unwritten; the write epochs of the
// files concerned are raised. Returns the number of slots dropped.
std::int32_t drop_blocks(std::int32_t file_no);

// Raises the offsets of the file's cached blocks at or behind offset by
// length, after a growth moved their bytes (or offsets were shifted); a
// block read in place follows its bytes.
void shift_blocks(std::int32_t file_no, FileCtrl& f, std::int32_t offset, std::int32_t length);

// The slots of a new Cashsystem (its count set here), each free: 0, or
// -1003 / -1004 when memory runs out (what exists is released by
// release_slots). create_slot_index then builds the slots' look-up index.
std::int32_t create_slots(std::int32_t count);
void create_slot_index();

// Releases every slot, its buffer and the look-up index.
void release_slots();

// The bytes of the block at offset as the cache holds them, without
// touching the cache: `cached` tells whether a slot holds the block; the
// result is null when none does, or when it holds fewer than length bytes.
const unsigned char* peek_block(std::int32_t file_no, std::int32_t offset, std::int32_t length,
                                bool& cached);

}  // namespace rb
