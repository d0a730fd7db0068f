#include "records/cache_index.h"

#include <cstdlib>

#include "frame/checks.h"
#include "frame/state.h"

namespace rb {

namespace {

// Open addressing with linear probing; an entry is a slot number, -1 empty.
// Two slots in use with the same file number and offset (possible only
// after offsets were clamped at 2^31 - 1) switch the index off until the
// next rebuild finds none: the scan then answers.
struct Index {
  std::int32_t* table = nullptr;
  std::uint32_t mask = 0;
  bool exact = false;
};
Index g_index;

std::uint32_t home(std::int32_t file_no, std::int32_t offset) {
  const std::uint64_t key =
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(file_no)) << 32) |
      static_cast<std::uint32_t>(offset);
  return static_cast<std::uint32_t>((key * 0x9E3779B97F4A7C15ULL) >> 32) & g_index.mask;
}

const CashCtrl& slot_at(std::int32_t i) { return *g_lib.buffers[i]; }

bool holds(std::int32_t i, std::int32_t file_no, std::int32_t offset) {
  const CashCtrl& s = slot_at(i);
  return s.pBuffer != nullptr && s.nFileNo == file_no && s.lOffsetData == offset;
}

std::int32_t scan(std::int32_t file_no, std::int32_t offset) {
  for (std::int32_t i = 0; i < g_lib.cash->nCashBuffers; ++i) {
    if (holds(i, file_no, offset)) return i;
  }
  return -1;
}

// The table position of slot i, or of the empty entry ending its probe.
std::uint32_t position_of(std::int32_t i) {
  const CashCtrl& s = slot_at(i);
  std::uint32_t p = home(s.nFileNo, s.lOffsetData);
  while (g_index.table[p] != -1 && g_index.table[p] != i) p = (p + 1) & g_index.mask;
  return p;
}

void clear_table() {
  for (std::uint32_t p = 0; p <= g_index.mask; ++p) g_index.table[p] = -1;
}

}  // namespace

void cash_index_create(std::int32_t slots) {
  cash_index_release();
  std::uint32_t size = 16;
  while (size < 2U * static_cast<std::uint32_t>(slots) && size < (1U << 30)) size <<= 1;
  // The index only saves time: it is left out when memory is short, and its
  // allocation is none of the library's counted heap blocks.
  g_index.table = static_cast<std::int32_t*>(std::malloc(size * sizeof(std::int32_t)));
  if (g_index.table == nullptr) return;
  g_index.mask = size - 1;
  clear_table();
  g_index.exact = true;
}

void cash_index_release() {
  std::free(g_index.table);
  g_index = Index{};
}

std::int32_t cash_index_find(std::int32_t file_no, std::int32_t offset) {
  if (!g_index.exact) return scan(file_no, offset);
  for (std::uint32_t p = home(file_no, offset);; p = (p + 1) & g_index.mask) {
    const std::int32_t i = g_index.table[p];
    if (i == -1) return -1;
    if (holds(i, file_no, offset)) return i;
  }
}

void cash_index_insert(std::int32_t slot) {
  RB_CHECK(slot_at(slot).pBuffer != nullptr);
  if (!g_index.exact) return;
  const CashCtrl& s = slot_at(slot);
  std::uint32_t p = home(s.nFileNo, s.lOffsetData);
  for (; g_index.table[p] != -1; p = (p + 1) & g_index.mask) {
    const std::int32_t other = g_index.table[p];
    if (other == slot) return;
    if (holds(other, s.nFileNo, s.lOffsetData)) {
      g_index.exact = false;  // two slots for one block: scan from now on
      return;
    }
  }
  g_index.table[p] = slot;
}

void cash_index_erase(std::int32_t slot) {
  if (!g_index.exact || slot_at(slot).pBuffer == nullptr) return;
  std::uint32_t hole = position_of(slot);
  if (g_index.table[hole] != slot) return;
  g_index.table[hole] = -1;
  // Backward shift: pull up every later entry of the run that may no
  // longer be reached across the hole.
  for (std::uint32_t p = (hole + 1) & g_index.mask; g_index.table[p] != -1;
       p = (p + 1) & g_index.mask) {
    const CashCtrl& s = slot_at(g_index.table[p]);
    const std::uint32_t want = home(s.nFileNo, s.lOffsetData);
    // Entry p stays when its home lies cyclically in (hole, p].
    const bool stays = hole <= p ? (hole < want && want <= p) : (hole < want || want <= p);
    if (stays) continue;
    g_index.table[hole] = g_index.table[p];
    g_index.table[p] = -1;
    hole = p;
  }
}

void cash_index_rebuild() {
  if (g_index.table == nullptr) return;
  clear_table();
  g_index.exact = true;
  for (std::int32_t i = 0; i < g_lib.cash->nCashBuffers && g_index.exact; ++i) {
    if (slot_at(i).pBuffer != nullptr) cash_index_insert(i);
  }
  if (!g_index.exact) clear_table();
}

#ifdef RECBASE_TESTING
namespace testing {
bool cash_index_consistent() {
  if (g_index.table == nullptr || !g_index.exact) return true;
  std::int32_t entries = 0;
  for (std::uint32_t p = 0; p <= g_index.mask; ++p) {
    const std::int32_t i = g_index.table[p];
    if (i == -1) continue;
    ++entries;
    if (i < 0 || i >= g_lib.cash->nCashBuffers || slot_at(i).pBuffer == nullptr) return false;
  }
  std::int32_t in_use = 0;
  for (std::int32_t i = 0; i < g_lib.cash->nCashBuffers; ++i) {
    const CashCtrl& s = slot_at(i);
    if (s.pBuffer == nullptr) continue;
    ++in_use;
    // Answering without a scan presumes one slot per block.
    if (scan(s.nFileNo, s.lOffsetData) != i) return false;
    if (cash_index_find(s.nFileNo, s.lOffsetData) != i) return false;
  }
  return entries == in_use;
}
}  // namespace testing
#endif

}  // namespace rb
