#include "records/cache.h"

#include <cstring>

#include "file/lookup.h"
#include "file/stream.h"
#include "frame/heap.h"
#include "recbase.h"
#include "records/cache_index.h"
#include "sections/key_index.h"

namespace rb {

namespace {

bool dirty(const CashCtrl& slot) { return (slot.nFlags & kCashDirty) != 0; }

// Writes a dirty slot back to its own file, padding that file with zero
// bytes up to the block first. Returns false after a reported failure; the
// slot then keeps its block and stays dirty.
bool write_back(CashCtrl& slot) {
  FileCtrl* owner = file_at(slot.nFileNo);
  if (owner == nullptr) return true;  // the file is gone; nothing to keep
  const KeyIndexQuiet same_bytes;
  if (owner->def.lFileLen < slot.lOffsetData && dbFillUpTo(slot.nFileNo, slot.lOffsetData) < 0) {
    return false;
  }
  const std::int32_t written =
      dbCopyToFile(slot.nFileNo, slot.lOffsetData, slot.pBuffer, slot.lLenData);
  if (written != slot.lLenData) {
    report(-13);
    return false;
  }
  slot.nFlags &= ~kCashDirty;
  return true;
}

void free_slot(std::int32_t i) {
  CashCtrl& slot = *g_lib.buffers[i];
  cash_index_erase(i);
  heap_free(slot.pBuffer);
  slot = CashCtrl{-1, -1, 0, -1, -1, nullptr};
}

// Empties a slot for another block; its buffer is handed back when it can
// serve a block of `length` bytes.
bool evict(std::int32_t i, std::int32_t length, std::int32_t& flags, unsigned char*& reuse) {
  CashCtrl& slot = *g_lib.buffers[i];
  if (slot.pBuffer == nullptr) return true;
  if (dirty(slot)) {
    if (!write_back(slot)) return false;
    flags |= CASH_WRITTEN;
  }
  cash_index_erase(i);
  if (slot.lLenData == length) {
    reuse = slot.pBuffer;
    slot.pBuffer = nullptr;
  } else {
    heap_free(slot.pBuffer);
    slot.pBuffer = nullptr;
  }
  flags |= CASH_FREED;
  return true;
}

std::int32_t next_slot() {
  Cashsystem& cash = *g_lib.cash;
  cash.nLastCashBuffer += 1;
  if (cash.nLastCashBuffer >= cash.nCashBuffers || cash.nLastCashBuffer < 0) {
    cash.nLastCashBuffer = 0;
  }
  return cash.nLastCashBuffer;
}

// The slot for a new block: the next in turn whose block can be given up.
// A dirty block that cannot be written back keeps its slot, so that one
// failing file does not stop every other file from using the cache.
// Returns the slot number, -1 when no slot could be given up.
std::int32_t take_slot(std::int32_t length, std::int32_t& flags, unsigned char*& reuse) {
  for (std::int32_t tries = 0; tries < g_lib.cash->nCashBuffers; ++tries) {
    const std::int32_t i = next_slot();
    if (evict(i, length, flags, reuse)) return i;
  }
  return -1;
}

}  // namespace

unsigned char* cash_block(std::int32_t file_no, FileCtrl& f, std::int32_t offset,
                          std::int32_t length, bool write, std::int32_t* flags) {
  enter("dbGetCachPtr", file_no);
  std::int32_t result_flags = 0;
  if (flags != nullptr) *flags = 0;
  if (write && !f.writable) {
    report(-102);
    return nullptr;
  }
  if (write && !appending_key()) key_index_touch(f, offset, length);
  if (const std::int32_t h = cash_index_find(file_no, offset); h >= 0) {
    CashCtrl* hit = g_lib.buffers[h];
    if (hit->lLenData >= length) {
      if (write) hit->nFlags |= kCashDirty;
      if (flags != nullptr) *flags = CASH_HIT;
      return hit->pBuffer;
    }
    // The same offset cached with a shorter length cannot serve this
    // request: retire it so that one block never has two slots.
    if (dirty(*hit) && !write_back(*hit)) return nullptr;
    free_slot(h);
  }

  unsigned char* buffer = nullptr;
  const std::int32_t i = take_slot(length, result_flags, buffer);
  if (i < 0) {
    if (flags != nullptr) *flags = result_flags;
    return nullptr;
  }
  CashCtrl& slot = *g_lib.buffers[i];
  if (buffer == nullptr) buffer = allocate<unsigned char>(length);
  if (buffer == nullptr) {
    slot = CashCtrl{-1, -1, 0, -1, -1, nullptr};
    if (flags != nullptr) *flags = result_flags;
    return nullptr;
  }
  slot = CashCtrl{file_no, -1, write ? kCashDirty : 0, offset, length, buffer};
  cash_index_insert(i);
  result_flags |= CASH_NEW;
  if (offset < f.def.lFileLen) {
    const std::int32_t got = dbCopyFromFile(file_no, offset, buffer, length);
    if (got != length) {
      report(-14);
      free_slot(i);  // never served nor written back as this block
      if (flags != nullptr) *flags = result_flags;
      return nullptr;
    }
    result_flags |= CASH_READ;
  } else {
    std::memset(buffer, 0, static_cast<std::size_t>(length));
  }
  if (flags != nullptr) *flags = result_flags;
  return buffer;
}

}  // namespace rb

extern "C" {

RECBASE_API void* RECBASE_CALL dbGetCashPtr(std::int32_t nFileNo, std::int32_t lOffset,
                                            std::int32_t lLen, std::int32_t* pFlags) {
  rb::enter("dbGetCachPtr", nFileNo);
  const bool write = pFlags != nullptr && (*pFlags & CASH_WRITE) != 0;
  if (pFlags != nullptr) *pFlags = 0;
  const rb::Lookup found = rb::find_stream(nFileNo, -1);
  if (!found) return nullptr;
  if (lLen < 1 || !rb::range_fits(lOffset, lLen)) {
    rb::report(-90);
    return nullptr;
  }
  return rb::cash_block(nFileNo, *found.file, lOffset, lLen, write, pFlags);
}

}  // extern "C"
