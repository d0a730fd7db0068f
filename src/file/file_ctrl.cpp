#include "file/file_ctrl.h"

#include <algorithm>
#include <cstring>

#include "frame/checks.h"
#include "frame/heap.h"

namespace rb {

FileCtrl* new_file_ctrl() {
  auto* f = allocate<FileCtrl>(1);
  if (f == nullptr) return nullptr;
  std::memset(static_cast<void*>(f), 0, sizeof(FileCtrl));
  f->pFile = nullptr;
  f->pDataCtrl = nullptr;
  f->pIndexCtrl = nullptr;
  f->pIndexVectors = nullptr;
  f->pSection = nullptr;
  f->pIndDataTypes = nullptr;
  f->pIndSections = nullptr;
  f->pKeyIndex = nullptr;
  f->lWatchLow = INT64_MAX;
  return f;
}

namespace {
int g_same_bytes = 0;
}  // namespace

SameBytes::SameBytes() { ++g_same_bytes; }
SameBytes::~SameBytes() { --g_same_bytes; }

void note_write(FileCtrl& f, std::int64_t offset, std::int64_t length) {
  if (g_same_bytes > 0) return;
  if (offset < f.lWatchHigh && offset + length > f.lWatchLow) note_change(f);
}

void release_file_ctrl(FileCtrl* f) {
  if (f == nullptr) return;
  RB_CHECK(f->pFile == nullptr);  // the stream is closed first
  delete f->pKeyIndex;
  if (f->pIndexVectors != nullptr) {
    for (std::int32_t i = 0; i < f->nIndexVectorCap; ++i) heap_free(f->pIndexVectors[i].entries);
  }
  heap_free(f->pIndexVectors);
  heap_free(f->pIndexCtrl);
  heap_free(f->pDataCtrl);
  heap_free(f->pSection);
  heap_free(f->pIndDataTypes);
  heap_free(f->pIndSections);
  heap_free(f);
}

DataCtrl* data_ctrl(FileCtrl& f, std::int32_t k) {
  if (k < 0 || k >= f.def.nDataTypes || k >= f.nDataCtrlCap) return nullptr;
  return &f.pDataCtrl[k];
}

IndexCtrl* index_ctrl(FileCtrl& f, std::int32_t v) {
  if (v < 0 || v >= f.def.nIndexCtrls || v >= f.nIndexCtrlCap) return nullptr;
  return &f.pIndexCtrl[v];
}

IndexVector* index_vector(FileCtrl& f, std::int32_t v) {
  if (v < 0 || v >= f.def.nIndexVectors || v >= f.nIndexVectorCap) return nullptr;
  IndexVector* vec = &f.pIndexVectors[v];
  return vec->entries != nullptr ? vec : nullptr;
}

Section* section_at(FileCtrl& f, std::int32_t s) {
  if (s < 0 || s >= f.def.nSections || s >= f.nSectionCap) return nullptr;
  return &f.pSection[s];
}

std::int32_t type_to_ctrl(const FileCtrl& f, std::int32_t type) {
  if (type < 0 || type >= f.def.nIndDataTypesX || type >= f.nIndDataTypesCap) return -1;
  return f.pIndDataTypes[type];
}

std::int32_t ind_sections_len(const FileCtrl& f) {
  const std::int32_t claimed = f.def.nIndSectionsX < 0 ? f.def.nIndSections : f.def.nIndSectionsX;
  return std::clamp(claimed, 0, f.nIndSectionsCap);
}

std::int64_t next_area_start(FileCtrl& f, std::int32_t k) {
  const DataCtrl* prev = data_ctrl(f, k - 1);
  return prev == nullptr ? kHeaderBlockSize : area_end(*prev);
}

}  // namespace rb

namespace rb {

std::int64_t data_area_end(const FileCtrl& f) {
  std::int64_t end = kHeaderBlockSize;
  const std::int32_t n = std::min(f.def.nDataTypes, f.nDataCtrlCap);
  for (std::int32_t k = 0; k < n; ++k) end = std::max(end, area_end(f.pDataCtrl[k]));
  return end;
}

}  // namespace rb
