// File growth: the rest of the file moves up in chunks of lBufferLen, the
// highest chunk first, so that overlapping moves arrive intact.
#include "file/growth.h"
#include "recbase.h"

#include <algorithm>
#include <cstring>

#include "file/block_io.h"
#include "file/lookup.h"
#include "file/stream.h"
#include "frame/heap.h"

namespace rb {

void raise_offset(std::int32_t& value, std::int32_t offset, std::int32_t length) {
  if (value < offset) return;
  const std::int64_t raised = static_cast<std::int64_t>(value) + length;
  value = static_cast<std::int32_t>(std::clamp<std::int64_t>(raised, INT32_MIN, INT32_MAX));
}

namespace {

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
      if (vec->entries[i] != -1) raise_offset(vec->entries[i], offset, length);
    }
  }
  raise_offset(f.lPlacedEnd, offset, length);
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
    if (failure == 0 && got != n) failure = got < 0 ? got : report(DB_ERR_READ);
    if (failure == 0 && put != n) failure = put < 0 ? put : report(DB_ERR_WRITE);
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
    if (copy_to_file(f, offset + done, buffer, n) != n) return report(DB_ERR_WRITE);
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

void shift_offsets(FileCtrl& f, std::int32_t offset, std::int32_t length, std::int32_t growing) {
  FileDef& d = f.def;
  raise_offset(d.lOffsetIndexCtrl, offset, length);
  raise_offset(d.lOffsetDataCtrl, offset, length);
  raise_offset(d.lOffsetSection, offset, length);
  raise_offset(d.lOffsetIndDataTypes, offset, length);
  raise_offset(d.lOffsetIndSections, offset, length);
  raise_offset(d.lOffsetVectors, offset, length);
  for (std::int32_t k = 0; k < d.nDataTypes && k < f.nDataCtrlCap; ++k) {
    std::int32_t& start = f.pDataCtrl[k].lOffsetData;
    // An area that begins exactly at the point moves only when it comes
    // after the one being grown; the grown one and empty areas before it
    // keep their start.
    const bool behind = start > offset || (start == offset && (growing < 0 || k > growing));
    if (behind) raise_offset(start, start, length);
  }
  for (std::int32_t v = 0; v < d.nIndexCtrls && v < f.nIndexCtrlCap; ++v) {
    raise_offset(f.pIndexCtrl[v].lOffsetIndex, offset, length);
  }
  shift_placed_records(f, offset, length);
}

std::int32_t check_room_request(const FileCtrl& f, std::int32_t offset, std::int32_t length) {
  if (offset < 0 || length < 1) return report(DB_ERR_BAD_ARGUMENT);
  if (!f.writable) return report(DB_ERR_WRITE_LOCKED);
  return 0;
}

std::int32_t open_room(std::int32_t file_no, FileCtrl& f, std::int32_t offset, std::int32_t length,
                       std::int32_t growing, bool& shifted) {
  shifted = false;
  const std::int32_t end = f.def.lFileLen;
  if (!room_fits(f, offset, length)) return report(DB_ERR_SEEK);

  bool moved = false;
  std::int32_t failure = 0;
  if (offset < end) {
    // Every byte from the point to the new end is rewritten: what of it
    // belongs to the committed image is saved at once, with one sync.
    const std::int64_t span = static_cast<std::int64_t>(end) + length - offset;
    if (const std::int32_t r = protect(*f.pFile, offset, span); r < 0) return r;
    const std::int32_t piece = std::max<std::int32_t>(1, g_lib.sys->lBufferLen);
    auto* buffer = allocate<unsigned char>(piece);
    if (buffer == nullptr) return report(DB_ERR_EXPAND_ALLOC);
    failure = move_up(file_no, f, buffer, piece, offset, end, length, moved);
    const std::int32_t cleared = clear_room(file_no, f, buffer, piece, offset, length);
    if (failure == 0) failure = cleared;
    heap_free(buffer);
    // The file no longer holds what memory says it does.
    if (failure < 0 && f.pFile->broken == 0) f.pFile->broken = failure;
  }
  // Areas reserved behind the point move even when none of their blocks
  // has reached the file yet.
  shift_offsets(f, offset, length, growing);
  shifted = true;
  if (failure < 0) return failure;
  return moved ? 1 : 0;
}

}  // namespace rb
