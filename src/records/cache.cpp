#include "records/cache.h"

#include <cstring>

#include "file/block_io.h"
#include "file/growth.h"
#include "file/lookup.h"
#include "file/stream.h"
#include "frame/checks.h"
#include "frame/heap.h"
#include "recbase.h"
#include "records/cache_index.h"

namespace rb {

namespace {

bool dirty(const CashCtrl& slot) { return (slot.nFlags & kCashDirty) != 0; }

// Writes a dirty slot back to its own file, padding that file with zero
// bytes up to the block first. Returns false after a reported failure; the
// slot then keeps its block and stays dirty.
bool write_back(CashCtrl& slot) {
  RB_CHECK(dirty(slot) && !slot_is_view(slot));  // a view is never changed
  FileCtrl* owner = file_at(slot.nFileNo);
  if (owner == nullptr) return true;  // the file is gone; nothing to keep
  const SameBytes same_bytes;
  // The block goes out as when this step called dbFillUpTo and
  // dbCopyToFile: under their names and the slot's file number, to the
  // slot's file found with write access as they find it.
  if (owner->def.lFileLen < slot.lOffsetData) {
    enter("dbFillUpTo", slot.nFileNo);
    const Lookup writable = find_writable(slot.nFileNo);
    if (!writable || fill_up_to(*writable.file, slot.lOffsetData) < 0) return false;
  }
  enter("dbCopyToFile", slot.nFileNo);
  const Lookup writable = find_writable(slot.nFileNo);
  const std::int32_t written =
      writable ? copy_to_file(*writable.file, slot.lOffsetData, slot.pBuffer, slot.lLenData)
               : writable.code;
  if (written != slot.lLenData) {
    report(DB_ERR_WRITE);
    return false;
  }
  slot.nFlags &= ~kCashDirty;
  return true;
}

void free_slot(std::int32_t i) {
  cash_index_erase(i);
  vacate_slot(*g_lib.buffers[i]);
}

// Empties a slot for another block, writing a dirty block back first.
bool evict(std::int32_t i, std::int32_t& flags) {
  CashCtrl& slot = *g_lib.buffers[i];
  if (slot.pBuffer == nullptr) return true;
  if (dirty(slot)) {
    if (!write_back(slot)) return false;
    flags |= CASH_WRITTEN;
  }
  free_slot(i);
  flags |= CASH_FREED;
  return true;
}

// The slot's own buffer of `length` bytes: the one it kept when that has
// the length, else a new one. Null when the heap is exhausted.
unsigned char* own_buffer(CashCtrl& slot, std::int32_t length) {
  if (slot.pOwn != nullptr && slot.lOwnLen == length) return slot.pOwn;
  heap_free(slot.pOwn);
  slot.pOwn = allocate<unsigned char>(length);
  slot.lOwnLen = slot.pOwn != nullptr ? length : 0;
  return slot.pOwn;
}

// Gives a slot that views its block a copy of its own, which may then be
// changed. Null when the heap is exhausted; the slot then keeps its view.
unsigned char* hold_copy(CashCtrl& slot) {
  if (!slot_is_view(slot)) return slot.pBuffer;
  const unsigned char* view = slot.pBuffer;
  unsigned char* own = own_buffer(slot, slot.lLenData);
  if (own == nullptr) return nullptr;
  std::memcpy(own, view, static_cast<std::size_t>(slot.lLenData));
  slot.pBuffer = own;
  return own;
}

// The file's bytes of a clean block read in place, or null when they
// must be copied: the block is written, reaches beyond the file's data, or
// the file is not mapped. Counts as the read it replaces, also for the log.
unsigned char* block_view(std::int32_t file_no, FileCtrl& f, std::int32_t offset,
                          std::int32_t length, CashUse use) {
  if (use != CashUse::read || static_cast<std::int64_t>(offset) + length > f.def.lFileLen)
    return nullptr;
  const unsigned char* view = stream_view(*f.pFile, offset, length);
  if (view != nullptr) enter("dbCopyFromFile", file_no);
  // Views are only read: writes go to a copy of the slot's own first.
  return const_cast<unsigned char*>(view);
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
std::int32_t take_slot(std::int32_t& flags) {
  for (std::int32_t tries = 0; tries < g_lib.cash->nCashBuffers; ++tries) {
    const std::int32_t i = next_slot();
    if (evict(i, flags)) return i;
  }
  return -1;
}

}  // namespace

unsigned char* cash_block(std::int32_t file_no, FileCtrl& f, std::int32_t offset,
                          std::int32_t length, CashUse use, std::int32_t* flags) {
  enter("dbGetCachPtr", file_no);
  const bool write = use == CashUse::write;
  std::int32_t result_flags = 0;
  if (flags != nullptr) *flags = 0;
  if (write && !f.writable) {
    report(DB_ERR_WRITE_LOCKED);
    return nullptr;
  }
  if (write) note_write(f, offset, length);
  if (const std::int32_t h = cash_index_find(file_no, offset); h >= 0) {
    CashCtrl* hit = g_lib.buffers[h];
    if (hit->lLenData >= length) {
      unsigned char* bytes = use == CashUse::read ? hit->pBuffer : hold_copy(*hit);
      if (bytes == nullptr) return nullptr;
      if (write) hit->nFlags |= kCashDirty;
      if (flags != nullptr) *flags = CASH_HIT;
      return bytes;
    }
    // The same offset cached with a shorter length cannot serve this
    // request: retire it so that one block never has two slots.
    if (dirty(*hit) && !write_back(*hit)) return nullptr;
    free_slot(h);
  }

  const std::int32_t i = take_slot(result_flags);
  if (flags != nullptr) *flags = result_flags;
  if (i < 0) return nullptr;
  CashCtrl& slot = *g_lib.buffers[i];
  unsigned char* buffer = block_view(file_no, f, offset, length, use);
  const bool viewed = buffer != nullptr;
  if (!viewed) buffer = own_buffer(slot, length);
  if (buffer == nullptr) return nullptr;
  RB_CHECK(!(viewed && write) && length >= 1);
  slot.nFileNo = file_no;
  slot.nFlags = write ? kCashDirty : 0;
  slot.lOffsetData = offset;
  slot.lLenData = length;
  slot.pBuffer = buffer;
  cash_index_insert(i);
  result_flags |= CASH_NEW;
  if (viewed) {
    result_flags |= CASH_READ;
  } else if (offset < f.def.lFileLen) {
    // Read as when this step called dbCopyFromFile: under its name, from
    // the file found with its stream as that function finds it.
    enter("dbCopyFromFile", file_no);
    const Lookup readable = find_stream(file_no);
    const std::int32_t got =
        readable ? copy_from_file(*readable.file, offset, buffer, length) : readable.code;
    if (got != length) {
      report(DB_ERR_READ);
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

void* cash_ptr(std::int32_t file_no, FileCtrl& f, std::int32_t offset, std::int32_t length,
               bool write, std::int32_t* flags) {
  if (length < 1 || !range_fits(offset, length)) {
    report(DB_ERR_BAD_ARGUMENT);
    return nullptr;
  }
  // The caller may change the bytes in place: it gets a copy, never a view.
  const CashUse use = write ? CashUse::write : CashUse::copy;
  return cash_block(file_no, f, offset, length, use, flags);
}

namespace {

bool dirty_block_of(const CashCtrl& slot, std::int32_t file_no) {
  return slot.pBuffer != nullptr && slot.nFileNo == file_no && (slot.nFlags & kCashDirty) != 0;
}

}  // namespace

std::int32_t flush_blocks(std::int32_t file_no) {
  enter("dbFlush", file_no);
  const Lookup found = find_stream(file_no);
  if (!found) return found.code;
  return write_dirty_blocks(file_no, *found.file);
}

std::int32_t write_dirty_blocks(std::int32_t file_no, FileCtrl& f) {
  // The committed bytes that the blocks overwrite are saved first, all of
  // them with one sync of the journal.
  Stream& stream = *f.pFile;
  for (std::int32_t i = 0; i < g_lib.cash->nCashBuffers; ++i) {
    const CashCtrl& slot = *g_lib.buffers[i];
    if (!dirty_block_of(slot, file_no)) continue;
    if (const std::int32_t r = save_committed(stream, slot.lOffsetData, slot.lLenData); r < 0) {
      return r;
    }
  }
  if (const std::int32_t r = sync_journal(stream); r < 0) return r;
  const SameBytes same_bytes;
  for (std::int32_t i = 0; i < g_lib.cash->nCashBuffers; ++i) {
    CashCtrl& slot = *g_lib.buffers[i];
    if (!dirty_block_of(slot, file_no)) continue;
    // Each block goes out as when this step called dbFillUpTo and
    // dbCopyToFile: under their names, to a file found with write access.
    if (f.def.lFileLen < slot.lOffsetData) {
      enter("dbFillUpTo", file_no);
      const Lookup writable = find_writable(file_no);
      if (!writable) return writable.code;
      if (const std::int32_t r = fill_up_to(f, slot.lOffsetData); r < 0) return r;
    }
    enter("dbCopyToFile", file_no);
    const Lookup writable = find_writable(file_no);
    const std::int32_t written =
        writable ? copy_to_file(f, slot.lOffsetData, slot.pBuffer, slot.lLenData) : writable.code;
    if (written != slot.lLenData) return report(DB_ERR_WRITE);
    slot.nFlags &= ~kCashDirty;
  }
  return 0;
}

std::int32_t drop_blocks(std::int32_t file_no) {
  // Dropped blocks take back what was written into them.
  for (std::int32_t n = 0; n < g_lib.cash->nFiles; ++n) {
    FileCtrl* f = g_lib.files[n];
    if (f != nullptr && (file_no == -1 || file_no == n)) note_change(*f);
  }
  std::int32_t released = 0;
  for (std::int32_t i = 0; i < g_lib.cash->nCashBuffers; ++i) {
    CashCtrl& slot = *g_lib.buffers[i];
    if (slot.pBuffer == nullptr || (file_no != -1 && slot.nFileNo != file_no)) continue;
    cash_index_erase(i);
    release_slot(slot);
    ++released;
  }
  return released;
}

void shift_blocks(std::int32_t file_no, FileCtrl& f, std::int32_t offset, std::int32_t length) {
  bool shifted = false;
  for (std::int32_t i = 0; i < g_lib.cash->nCashBuffers; ++i) {
    CashCtrl& slot = *g_lib.buffers[i];
    if (slot.pBuffer != nullptr && slot.nFileNo == file_no && slot.lOffsetData >= offset) {
      raise_offset(slot.lOffsetData, offset, length);
      // A view follows its block to where the move put it.
      if (slot_is_view(slot)) {
        slot.pBuffer =
            const_cast<unsigned char*>(stream_view(*f.pFile, slot.lOffsetData, slot.lLenData));
        if (slot.pBuffer == nullptr) vacate_slot(slot);
      }
      shifted = true;
    }
  }
  if (shifted) cash_index_rebuild();
}

std::int32_t create_slots(std::int32_t count) {
  g_lib.buffers = allocate_filled<CashCtrl*>(count, nullptr);
  if (g_lib.buffers == nullptr) return DB_ERR_INIT_ALLOC_BUFFER_TABLE;
  g_lib.cash->nCashBuffers = count;
  for (std::int32_t i = 0; i < count; ++i) {
    g_lib.buffers[i] = allocate<CashCtrl>(1);
    if (g_lib.buffers[i] == nullptr) return DB_ERR_INIT_ALLOC_CASHCTRL;
    *g_lib.buffers[i] = CashCtrl{-1, -1, 0, 0, 0, nullptr};
  }
  return 0;
}

void create_slot_index() { cash_index_create(g_lib.cash->nCashBuffers); }

void release_slots() {
  cash_index_release();
  if (g_lib.buffers == nullptr) return;
  for (std::int32_t i = 0; i < g_lib.cash->nCashBuffers; ++i) {
    CashCtrl* slot = g_lib.buffers[i];
    if (slot == nullptr) continue;
    release_slot(*slot);
    heap_free(slot);
  }
  heap_free(g_lib.buffers);
  g_lib.buffers = nullptr;
}

const unsigned char* peek_block(std::int32_t file_no, std::int32_t offset, std::int32_t length,
                                bool& cached) {
  const std::int32_t i = cash_index_find(file_no, offset);
  cached = i >= 0;
  if (!cached) return nullptr;
  const CashCtrl& slot = *g_lib.buffers[i];
  return slot.lLenData < length ? nullptr : slot.pBuffer;
}

}  // namespace rb
