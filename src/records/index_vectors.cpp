// Index vectors: growable arrays of 32-bit entries, one per record number,
// each described by an IndexCtrl. The IndexCtrl table and the table of
// vectors grow together and always have the same capacity.
#include "records/index_vectors.h"
#include "recbase.h"

#include <algorithm>
#include <cstring>

#include "file/lookup.h"
#include "frame/heap.h"

namespace rb {
namespace {

constexpr IndexCtrl kUnusedIndexCtrl = {-1, -1, -1, -1, -1};

}  // namespace

std::int32_t expand_index_vectors(FileCtrl& f) {
  const std::int32_t step = std::max<std::int32_t>(1, g_lib.sys->nIndexCountExpand);
  std::int64_t grown = static_cast<std::int64_t>(std::max(f.def.nIndexVectorsX, 0)) + step;
  grown = std::max<std::int64_t>(grown, static_cast<std::int64_t>(f.def.nIndexVectors) + 1);
  if (grown > INT32_MAX) return report(DB_ERR_VECTOR_TABLE_ALLOC);
  const auto capacity = static_cast<std::int32_t>(grown);

  // Both tables grow, or neither: the vectors' table is put back when the
  // controls' cannot follow.
  IndexVector* vectors = f.pIndexVectors;
  f.pIndexVectors = allocate_filled<IndexVector>(capacity, IndexVector{nullptr, 0});
  if (f.pIndexVectors == nullptr) {
    f.pIndexVectors = vectors;
    return report(DB_ERR_VECTOR_TABLE_ALLOC);
  }
  if (!grow_table(f.pIndexCtrl, f.nIndexCtrlCap, capacity, kUnusedIndexCtrl)) {
    heap_free(f.pIndexVectors);
    f.pIndexVectors = vectors;
    return report(DB_ERR_INDEXCTRL_TABLE_ALLOC);
  }
  for (std::int32_t i = 0; i < std::min(f.nIndexVectorCap, capacity); ++i) {
    f.pIndexVectors[i] = vectors[i];
  }
  heap_free(vectors);
  f.nIndexVectorCap = f.nIndexCtrlCap = capacity;
  f.def.nIndexVectorsX = f.def.nIndexCtrlsX = capacity;
  return capacity;
}

std::int32_t add_index_vector(std::int32_t file_no, FileCtrl& f, std::int32_t length,
                              std::int32_t kind, std::int32_t owner) {
  if (length < 0) return report(DB_ERR_BAD_ARGUMENT);
  if (f.def.nIndexVectors >= f.def.nIndexVectorsX || f.def.nIndexVectors >= f.nIndexVectorCap ||
      f.def.nIndexVectors >= f.nIndexCtrlCap) {
    // Logged as dbExpandIndexVectors from here on (also the failures
    // below), as when this step called the exported function.
    enter("dbExpandIndexVectors", file_no);
    const std::int32_t r = expand_index_vectors(f);
    if (r < 0) return r;
  }
  const std::int32_t v = f.def.nIndexVectors;
  if (f.pIndexVectors[v].entries != nullptr) return report(DB_ERR_VECTOR_SLOT_TAKEN);
  std::int32_t* entries = allocate_filled<std::int32_t>(length, -1);
  if (entries == nullptr) return report(DB_ERR_INDEX_ALLOC);
  f.pIndexVectors[v] = IndexVector{entries, length};
  f.pIndexCtrl[v] = IndexCtrl{kind, owner, length, length, -1};
  f.def.nIndexCtrls += 1;
  f.def.nIndexVectors += 1;
  return v;
}

std::int32_t expand_index(FileCtrl& f, std::int32_t vector_no, std::int32_t rec_no) {
  IndexCtrl* ctrl = index_ctrl(f, vector_no);
  IndexVector* vec = index_vector(f, vector_no);
  if (ctrl == nullptr || vec == nullptr || ctrl->lIndexLen < 0) return report(DB_ERR_BAD_ARGUMENT);

  const std::int64_t step = std::max<std::int32_t>(1, g_lib.sys->lIndexLenExpand);
  const std::int64_t old_len = ctrl->lIndexLen;
  std::int64_t new_len = old_len + step;
  if (new_len <= rec_no && rec_no != -1) new_len = static_cast<std::int64_t>(rec_no) + step;
  if (new_len > INT32_MAX) return report(DB_ERR_INDEX_ALLOC_GROW);

  // The vector in memory grows by half its size at least, so that records
  // written in random order cost a few copies, not one per new highest
  // record number; the stored length grows by the tunable step as always.
  if (new_len <= vec->capacity && old_len <= vec->capacity) {
    std::fill(vec->entries + old_len, vec->entries + new_len, -1);
    ctrl->lIndexLen = static_cast<std::int32_t>(new_len);
    return vector_no;
  }
  const std::int64_t capacity = std::min<std::int64_t>(
      INT32_MAX, std::max<std::int64_t>(new_len, vec->capacity + vec->capacity / 2));
  if (!grow_table(vec->entries, std::min<std::int64_t>(old_len, vec->capacity), capacity, -1)) {
    return report(DB_ERR_INDEX_ALLOC_GROW);
  }
  vec->capacity = static_cast<std::int32_t>(capacity);
  ctrl->lIndexLen = static_cast<std::int32_t>(new_len);
  return vector_no;
}

}  // namespace rb
