// Positioned block IO: byte ranges at absolute offsets, moved in chunks of
// lBufferLen, keeping the logical file length lFileLen up to date.
#include <algorithm>
#include <cstring>

#include "file/block_io.h"
#include "file/lookup.h"
#include "file/stream.h"
#include "frame/heap.h"
#include "recbase.h"

namespace rb {
namespace {

std::int32_t piece_size() { return std::max<std::int32_t>(1, g_lib.sys->lBufferLen); }

void raise_file_len(FileDef& def, std::int64_t end) {
  if (end > def.lFileLen) def.lFileLen = static_cast<std::int32_t>(end);
}

}  // namespace

std::int32_t fill_up_to(FileCtrl& f, std::int32_t length) {
  FileDef& def = f.def;
  const std::int64_t gap = static_cast<std::int64_t>(length) - def.lFileLen;
  if (gap < 1) return 0;
  if (!range_fits(def.lFileLen, gap)) return report(DB_ERR_SEEK);
  note_write(f, def.lFileLen, gap);

  const std::int32_t piece = piece_size();
  auto* zeros = allocate<unsigned char>(piece);
  if (zeros == nullptr) return report(DB_ERR_FILL_ALLOC);
  std::memset(zeros, 0, static_cast<std::size_t>(piece));
  Stream& s = *f.pFile;
  if (const std::int32_t r = protect(s, def.lFileLen, gap); r < 0) {
    heap_free(zeros);
    return r;
  }
  std::int64_t total = 0;
  while (total < gap) {
    const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(gap - total, piece));
    const std::int32_t put = write_pieces(s, def.lFileLen + total, zeros, want, piece);
    if (put > 0) total += put;
    if (put != want) break;
  }
  heap_free(zeros);
  // The logical length covers only the zeros that reached the stream.
  raise_file_len(def, static_cast<std::int64_t>(def.lFileLen) + total);
  if (total < gap) return report(DB_ERR_WRITE);
  return static_cast<std::int32_t>(total);
}

std::int32_t copy_to_file(FileCtrl& f, std::int32_t offset, const void* buffer,
                          std::int32_t length) {
  if (length < 1) return 0;
  if (buffer == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  if (!range_fits(offset, length)) return report(DB_ERR_SEEK);
  note_write(f, offset, length);
  const std::int32_t total = write_pieces(*f.pFile, offset, buffer, length, piece_size());
  if (total < 0) return total;
  raise_file_len(f.def, static_cast<std::int64_t>(offset) + total);
  return total;
}

std::int32_t copy_from_file(FileCtrl& f, std::int32_t offset, void* buffer, std::int32_t length) {
  if (static_cast<std::int64_t>(offset) + length > f.def.lFileLen) return report(DB_ERR_BEYOND_EOF);
  if (length < 1) return 0;
  if (buffer == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  if (offset < 0) return report(DB_ERR_SEEK);
  return read_pieces(*f.pFile, offset, buffer, length, piece_size());
}

}  // namespace rb
