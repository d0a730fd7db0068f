// dbInit / dbExit, the tunables and the version text.
#include "frame/state.h"
#include "recbase.h"

#include "frame/heap.h"
#include "frame/log.h"

namespace rb {

void release_slot(CashCtrl& s) {
  vacate_slot(s);
  heap_free(s.pOwn);
  s.pOwn = nullptr;
  s.lOwnLen = 0;
}

// Setters and getters of the tunables; -4 before dbInit.
std::int32_t swap_tunable(std::int32_t SysData::*field, std::int32_t value) {
  if (g_lib.sys == nullptr) return DB_ERR_NO_SYSDATA;
  const std::int32_t old = g_lib.sys->*field;
  g_lib.sys->*field = value;
  return old;
}

std::int32_t get_tunable(std::int32_t SysData::*field) {
  return g_lib.sys == nullptr ? -4 : g_lib.sys->*field;
}

}  // namespace rb
