// File growth: the rest of the file moves up in chunks of lBufferLen, the
// highest chunk first, so that overlapping moves arrive intact.
#include "file/growth.h"

#include <algorithm>
#include <cstring>

#include "file/block_io.h"
#include "file/lifecycle.h"
#include "file/lookup.h"
#include "file/stream.h"
#include "frame/heap.h"
#include "records/cache_index.h"

namespace rb {

namespace {

void shift(std::int32_t& value, std::int32_t offset, std::int32_t length) {
  if (value < offset) return;
  const std::int64_t raised = static_cast<std::int64_t>(value) + length;
  value = static_cast<std::int32_t>(std::clamp<std::int64_t>(raised, INT32_MIN, INT32_MAX));
}

// Places of singly placed records live in their types' index vectors.
void shift_placed_records(FileCtrl& f, std::int32_t offset, std::int32_t length) {
  for (std::int32_t k = 0; k < f.def.nDataTypes && k < f.nDataCtrlCap; ++k) {
    const DataCtrl& dc = f.pDataCtrl[k];
    if ((dc.nFlags & kTypePlaced) == 0) continue;
    IndexVector* vec = index_vector(f, dc.nIndexNo);
    IndexCtrl* ctrl = index_ctrl(f, dc.nIndexNo);
    if (vec == nullptr || ctrl == nullptr) continue;
    const std::int32_t n = std::min(ctrl->lIndexLen, vec->capacity);
    for (std::int32_t i = 0; i < n; ++i) {
      if (vec->entries[i] != -1) shift(vec->entries[i], offset, length);
    }
  }
  shift(f.lPlacedEnd, offset, length);
}

// Moves [offset, end) up by length, highest chunk first. Returns the first
// failure of a chunk (the move goes on with the next chunk), else 0.
// Each chunk is read and written as when this step called dbCopyFromFile
// and dbCopyToFile: each records its name (the file was found with its
// stream and write access, and stays so while the move runs).
std::int32_t move_up(std::int32_t file_no, FileCtrl& f, unsigned char* buffer, std::int32_t piece,
                     std::int32_t offset, std::int32_t end, std::int32_t length, bool& moved) {
  std::int32_t failure = 0;
  for (std::int32_t high = end; high > offset;) {
    // Pieces end on page boundaries where they can: no page is written twice.
    const std::int32_t cut = high - piece;
    const std::int32_t low = std::max(offset, piece >= 8192 ? cut + (-cut & 4095) : cut);
    const std::int32_t n = high - low;
    enter("dbCopyFromFile", file_no);
    const std::int32_t got = copy_from_file(f, low, buffer, n);
    std::int32_t put = got;
    if (got == n) {
      enter("dbCopyToFile", file_no);
      put = copy_to_file(f, low + length, buffer, n);
    }
    if (failure == 0 && got != n) failure = got < 0 ? got : report(-14);
    if (failure == 0 && put != n) failure = put < 0 ? put : report(-13);
    moved = true;
    high = low;
  }
  return failure;
}

// Clears the opened room, which still holds a copy of the moved bytes.
// Each piece is written as when this step called dbCopyToFile, under its
// name.
std::int32_t clear_room(std::int32_t file_no, FileCtrl& f, unsigned char* buffer,
                        std::int32_t piece, std::int32_t offset, std::int32_t length) {
  std::memset(buffer, 0, static_cast<std::size_t>(piece));
  for (std::int32_t done = 0; done < length;) {
    const std::int32_t n = std::min(piece, length - done);
    enter("dbCopyToFile", file_no);
    if (copy_to_file(f, offset + done, buffer, n) != n) return report(-13);
    done += n;
  }
  return 0;
}

}  // namespace

bool room_fits(const FileCtrl& f, std::int32_t offset, std::int32_t length) {
  const std::int64_t end = std::max({static_cast<std::int64_t>(f.def.lFileLen), data_area_end(f),
                                     static_cast<std::int64_t>(f.lPlacedEnd)});
  return range_fits(offset, length) && range_fits(end, length);
}

void shift_offsets(FileCtrl& f, std::int32_t file_no, std::int32_t offset, std::int32_t length,
                   std::int32_t growing) {
  FileDef& d = f.def;
  shift(d.lOffsetIndexCtrl, offset, length);
  shift(d.lOffsetDataCtrl, offset, length);
  shift(d.lOffsetSection, offset, length);
  shift(d.lOffsetIndDataTypes, offset, length);
  shift(d.lOffsetIndSections, offset, length);
  shift(d.lOffsetVectors, offset, length);
  for (std::int32_t k = 0; k < d.nDataTypes && k < f.nDataCtrlCap; ++k) {
    std::int32_t& start = f.pDataCtrl[k].lOffsetData;
    // An area that begins exactly at the point moves only when it comes
    // after the one being grown; the grown one and empty areas before it
    // keep their start.
    const bool behind = start > offset || (start == offset && (growing < 0 || k > growing));
    if (behind) shift(start, start, length);
  }
  for (std::int32_t v = 0; v < d.nIndexCtrls && v < f.nIndexCtrlCap; ++v) {
    shift(f.pIndexCtrl[v].lOffsetIndex, offset, length);
  }
  shift_placed_records(f, offset, length);
  bool shifted = false;
  for (std::int32_t i = 0; i < g_lib.cash->nCashBuffers; ++i) {
    CashCtrl& slot = *g_lib.buffers[i];
    if (slot.pBuffer != nullptr && slot.nFileNo == file_no && slot.lOffsetData >= offset) {
      shift(slot.lOffsetData, offset, length);
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

std::int32_t expand_file(std::int32_t file_no, FileCtrl& f, std::int32_t offset,
                         std::int32_t length, std::int32_t growing) {
  if (offset < 0 || length < 1) return report(-90);
  if (!f.writable) return report(-102);
  if (const std::int32_t r = flush_blocks(file_no); r < 0) return r;
  const std::int32_t end = f.def.lFileLen;
  if (!room_fits(f, offset, length)) return report(-12);

  bool moved = false;
  std::int32_t failure = 0;
  if (offset < end) {
    // Every byte from the point to the new end is rewritten: what of it
    // belongs to the committed image is saved at once, with one sync.
    const std::int64_t span = static_cast<std::int64_t>(end) + length - offset;
    if (const std::int32_t r = protect(*f.pFile, offset, span); r < 0) return r;
    const std::int32_t piece = std::max<std::int32_t>(1, g_lib.sys->lBufferLen);
    auto* buffer = allocate<unsigned char>(piece);
    if (buffer == nullptr) return report(-3401);
    failure = move_up(file_no, f, buffer, piece, offset, end, length, moved);
    const std::int32_t cleared = clear_room(file_no, f, buffer, piece, offset, length);
    if (failure == 0) failure = cleared;
    heap_free(buffer);
    // The file no longer holds what memory says it does.
    if (failure < 0 && f.pFile->broken == 0) f.pFile->broken = failure;
  }
  // Areas reserved behind the point move even when none of their blocks
  // has reached the file yet.
  shift_offsets(f, file_no, offset, length, growing);
  if (failure < 0) return failure;
  return moved ? 1 : 0;
}

std::int32_t grow_area(std::int32_t file_no, FileCtrl& f, std::int32_t k, std::int64_t blocks) {
  DataCtrl& dc = f.pDataCtrl[k];
  const std::int64_t area_bytes = blocks * dc.nBlockSize;
  const std::int64_t offset = static_cast<std::int64_t>(dc.lOffsetData) +
                              static_cast<std::int64_t>(dc.lMaxBlockRecs) * dc.nBlockSize;
  const std::int64_t length = (blocks - dc.lMaxBlockRecs) * dc.nBlockSize;
  if (length <= 0) return 0;
  if (!range_fits(dc.lOffsetData, area_bytes) || !range_fits(offset, length) ||
      !range_fits(f.def.lFileLen, length)) {
    return report(-12);
  }
  std::int32_t r = 0;
  {
    // The moves carry every byte with its offsets; a key index of a bucket
    // whose area moved sees the new layout.
    const SameBytes same_bytes;
    // Opened as dbExpandFile opens room, under its name, on the file found
    // with its stream as that function finds it.
    enter("dbExpandFile", file_no);
    const Lookup found = find_stream(file_no);
    r = found ? expand_file(file_no, *found.file, static_cast<std::int32_t>(offset),
                            static_cast<std::int32_t>(length), k)
              : found.code;
  }
  if (r < 0) return r;
  DataCtrl& grown = f.pDataCtrl[k];
  grown.lMaxBlockRecs = static_cast<std::int32_t>(blocks);
  grown.lLenData = static_cast<std::int32_t>(area_bytes);
  return 0;
}

std::int32_t shift_file_offsets(std::int32_t file_no, FileCtrl& f, std::int32_t offset,
                                std::int32_t length) {
  // Offsets of -1 (no place yet) lie before every insertion point.
  if (offset < 0 || length < 0) return report(-90);
  if (!room_fits(f, offset, length)) return report(-12);
  note_change(f);
  shift_offsets(f, file_no, offset, length, -1);
  return 0;
}

}  // namespace rb
