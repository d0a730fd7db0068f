// An index over the cache slots: (file number, block offset) -> slot, so
// that a look-up costs the same for 8 slots as for 8000. It answers exactly
// what a scan of the slots in table order answers: the first slot in use
// with that file number and offset. The slots stay the one truth; the index
// only follows them and is told of every change of a slot's file number,
// offset or use:
//   cash_index_erase   before a slot in use is freed or reassigned,
//   cash_index_insert  after a slot has been given its block,
//   cash_index_rebuild after offsets were shifted or slots reset in bulk.
// Without its table (memory was short at dbInit) every look-up scans.
#pragma once

#include <cstdint>

namespace rb {

// Makes the (empty) index for nCashBuffers slots; frees it.
void cash_index_create(std::int32_t slots);
void cash_index_release();

// The first slot in table order that holds the block, -1 when none does.
std::int32_t cash_index_find(std::int32_t file_no, std::int32_t offset);

void cash_index_insert(std::int32_t slot);
void cash_index_erase(std::int32_t slot);
void cash_index_rebuild();

#ifdef RECBASE_TESTING
namespace testing {
// True when the index answers every slot in use as a scan would and holds
// nothing else, and, unless it has gone back to scanning, no block is held
// by two slots.
bool cash_index_consistent();
}  // namespace testing
#endif

}  // namespace rb
