#include "records/closing.h"
#include "recbase.h"

#include <algorithm>

#include "file/lifecycle.h"
#include "frame/heap.h"
#include "frame/log.h"
#include "frame/state.h"
#include "records/cache.h"

namespace rb {

// dbFlush as the host calls it: the blocks written back and, for a file
// with write access, a commit point. Memory keeps the state it had: the
// host sees every count, offset and place as before; only the device
// holds the committed image.
std::int32_t flush_file(std::int32_t file_no, FileCtrl& f) {
  if (const std::int32_t r = write_dirty_blocks(file_no, f); r < 0) return r;
  if (!commits(f)) return 0;
  const char* const function = g_lib.cFunction;
  const std::int32_t current = g_lib.nCurrentFileNo;
  const FileDef kept = f.def;
  const std::int32_t n = std::min(f.def.nIndexCtrls, f.nIndexCtrlCap);
  auto* places = allocate<std::int32_t>(std::max(n, 0));
  if (places == nullptr) {
    enter("dbFlush", file_no);
    return report(kFlushAllocFailed);
  }
  for (std::int32_t v = 0; v < n; ++v) places[v] = f.pIndexCtrl[v].lOffsetIndex;
  const std::int32_t r = commit(file_no, f, "dbFlush");
  f.def = kept;
  for (std::int32_t v = 0; v < n; ++v) f.pIndexCtrl[v].lOffsetIndex = places[v];
  heap_free(places);
  if (r < 0) return r;
  g_lib.cFunction = function;
  g_lib.nCurrentFileNo = current;
  return 0;
}

std::int32_t close_file(std::int32_t file_no, FileCtrl* f) {
  // Its blocks are written back as dbFlush writes them, under that name.
  std::int32_t result = flush_blocks(file_no);
  // Blocks that did not reach the file are never committed: the journal
  // keeps the last committed image for the next open.
  if (result >= 0 && commits(*f)) result = commit(file_no, *f, "dbClose");
  close_stream(f->pFile);
  f->pFile = nullptr;
  release_file_ctrl(f);
  g_lib.files[file_no] = nullptr;
  // Logged as dbReset, as when this step called the exported function.
  enter_name("dbReset");
  drop_blocks(file_no);
  return result;
}

void close_all_files() {
  for (std::int32_t i = 0; i < g_lib.cash->nFiles; ++i) {
    // Each file is closed as dbClose closes it, under its name and number
    // (the number always names a slot of the table).
    enter("dbClose", i);
    FileCtrl* f = g_lib.files[i];
    if (f == nullptr) continue;
    if (f->pFile == nullptr) {
      report(DB_ERR_FILE_POINTER);
      continue;
    }
    close_file(i, f);
  }
}

}  // namespace rb
