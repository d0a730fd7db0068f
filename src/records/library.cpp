#include "records/library.h"
#include "recbase.h"

#include "file/file_ctrl.h"
#include "frame/heap.h"
#include "frame/log.h"
#include "frame/state.h"
#include "records/cache.h"
#include "records/closing.h"

namespace rb {

namespace {

// Releases the cache slot table, the file table and the Cashsystem,
// whatever of them exists. Used by dbExit and to undo a dbInit that ran out
// of memory half-way, so that no half-built state is ever left behind.
void release_cashsystem() {
  release_slots();
  if (g_lib.files != nullptr) {
    for (std::int32_t i = 0; i < g_lib.cash->nFiles; ++i) {
      FileCtrl* f = g_lib.files[i];
      if (f == nullptr) continue;
      close_stream(f->pFile);
      f->pFile = nullptr;
      release_file_ctrl(f);
    }
    heap_free(g_lib.files);
    g_lib.files = nullptr;
  }
  heap_free(g_lib.cash);
  g_lib.cash = nullptr;
}

// Undoes a half-built initialisation and reports code.
std::int32_t fail_init(std::int32_t code) {
  release_cashsystem();
  return report(code);
}

}  // namespace

std::int32_t init_library(std::int32_t nCashBuffers, std::int32_t nFiles) {
  if (g_lib.sys == nullptr) {
    g_lib.sys = allocate<SysData>(1);
    if (g_lib.sys == nullptr) return DB_ERR_NO_SYSDATA;
  }
  *g_lib.sys = kSysDataDefaults;
  if (initialised()) return report(DB_ERR_INIT_TWICE);
  if (nCashBuffers < 1 || nFiles < 1) return report(DB_ERR_BAD_ARGUMENT);

  g_lib.cash = allocate<Cashsystem>(1);
  if (g_lib.cash == nullptr) return report(DB_ERR_INIT_ALLOC_CASHSYSTEM);
  // Counts start at 0 so that an undo releases only what exists.
  *g_lib.cash = Cashsystem{0, -1, 0};

  if (const std::int32_t r = create_slots(nCashBuffers); r != 0) return fail_init(r);
  g_lib.files = allocate_filled<FileCtrl*>(nFiles, nullptr);
  if (g_lib.files == nullptr) return fail_init(DB_ERR_INIT_ALLOC_FILE_TABLE);
  g_lib.cash->nFiles = nFiles;
  create_slot_index();
  return 0;
}

std::int32_t exit_library() {
  // Closes the files and drops the cache slots as dbCloseAll and dbReset
  // did when dbExit called them: each step records its name.
  enter("dbCloseAll", -1);
  close_all_files();
  enter_name("dbReset");
  drop_blocks(-1);
  release_cashsystem();
  heap_free(g_lib.sys);
  g_lib.sys = nullptr;
  return 0;
}

}  // namespace rb
