// Growth as the records see it: the file's dirty blocks written back, the
// room opened in the file, the cached blocks behind it shifted with their
// bytes.
#include "records/growth.h"
#include "recbase.h"

#include "file/growth.h"
#include "file/lookup.h"
#include "frame/log.h"
#include "records/cache.h"

namespace rb {

std::int32_t expand_file(std::int32_t file_no, FileCtrl& f, std::int32_t offset,
                         std::int32_t length, std::int32_t growing) {
  if (const std::int32_t r = check_room_request(f, offset, length); r < 0) return r;
  if (const std::int32_t r = flush_blocks(file_no); r < 0) return r;
  bool shifted = false;
  const std::int32_t moved = open_room(file_no, f, offset, length, growing, shifted);
  if (shifted) shift_blocks(file_no, f, offset, length);
  return moved;
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
    return report(DB_ERR_SEEK);
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
  if (offset < 0 || length < 0) return report(DB_ERR_BAD_ARGUMENT);
  if (!room_fits(f, offset, length)) return report(DB_ERR_SEEK);
  note_change(f);
  shift_offsets(f, offset, length, -1);
  shift_blocks(file_no, f, offset, length);
  return 0;
}

}  // namespace rb
