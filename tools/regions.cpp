#include "regions.h"

#include <algorithm>
#include <cstdio>

namespace rbtool {

const char* kind_name(RegionKind kind) {
  switch (kind) {
    case RegionKind::kHeader:
      return "header";
    case RegionKind::kPlain:
      return "plain";
    case RegionKind::kIndexed:
      return "indexed";
    case RegionKind::kIterator:
      return "iterator";
    case RegionKind::kPlaced:
      return "placed";
    case RegionKind::kBucket:
      return "bucket";
    case RegionKind::kVector:
      return "vector";
    case RegionKind::kTable:
      return "table";
  }
  return "?";
}

RegionKind data_kind(const rb::DataCtrl& dc) {
  if ((dc.nFlags & rb::kTypeBucket) != 0) return RegionKind::kBucket;
  if ((dc.nFlags & rb::kTypePlaced) != 0) return RegionKind::kPlaced;
  if ((dc.nFlags & rb::kTypeIterator) != 0) return RegionKind::kIterator;
  if ((dc.nFlags & rb::kTypeIndex) != 0) return RegionKind::kIndexed;
  return RegionKind::kPlain;
}

std::string flag_words(std::int32_t flags) {
  struct Word {
    std::int32_t bit;
    const char* text;
  };
  constexpr Word kWords[] = {{rb::kTypeIndex, "index"},
                             {rb::kTypePlaced, "placed"},
                             {rb::kTypeIterator, "iterator"},
                             {rb::kTypeBucket, "bucket"}};
  std::string words;
  std::int32_t rest = flags;
  for (const Word& w : kWords) {
    if ((flags & w.bit) == 0) continue;
    words += (words.empty() ? "" : " ") + std::string(w.text);
    rest &= ~w.bit;
  }
  if (rest != 0) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(rest));
    words += (words.empty() ? "" : " ") + std::string(hex);
  }
  return words.empty() ? "-" : words;
}

std::string type_label(const rb::FileLayout& image, std::size_t k) {
  std::string label = "#";
  label += std::to_string(k);
  label += ' ';
  label += type_name(image, k);
  return label;
}

std::string type_name(const rb::FileLayout& image, std::size_t k) {
  const rb::DataCtrl& dc = image.types[k];
  if ((dc.nFlags & rb::kTypeBucket) != 0) {
    const auto index = static_cast<std::int64_t>(k);
    for (const rb::Section& s : image.sections) {
      const std::int64_t b = index - s.nHashFstDataCtrlHandle;
      if (s.nHashFstDataCtrlHandle >= 0 && b >= 0 && b < s.nBuckets) {
        return "section " + std::to_string(s.nSectionType) + " bucket " + std::to_string(b);
      }
    }
    return "bucket";
  }
  if (dc.nSectionIndexNo >= 0 &&
      static_cast<std::size_t>(dc.nSectionIndexNo) < image.sections.size()) {
    const rb::Section& s = image.sections[static_cast<std::size_t>(dc.nSectionIndexNo)];
    return "section " + std::to_string(s.nSectionType) + " place " + std::to_string(dc.nType);
  }
  return "type " + std::to_string(dc.nType);
}

const char* vector_kind(std::int32_t kind) {
  switch (kind) {
    case rb::kVectorIndex:
      return "index";
    case rb::kVectorSection:
      return "section";
    case rb::kVectorIterator:
      return "iterator";
    default:
      return "unknown";
  }
}

std::vector<Region> file_regions(const rb::FileLayout& image) {
  const rb::FileDef& d = image.def;
  std::vector<Region> regions;
  regions.push_back({"header", RegionKind::kHeader, 0, rb::kHeaderBlockSize});
  for (std::size_t k = 0; k < image.types.size(); ++k) {
    const rb::DataCtrl& dc = image.types[k];
    const std::int64_t length = written_area(d, dc);
    const std::int64_t slots = area_slots(dc);
    Region area{type_label(image, k), data_kind(dc), dc.lOffsetData, length};
    if (slots > 0 && dc.lFileRecs >= 0)
      area.fill = std::min(1.0, double(dc.lFileRecs) / double(slots));
    regions.push_back(area);
  }
  for (std::size_t v = 0; v < image.index_ctrls.size(); ++v) {
    const rb::IndexCtrl& c = image.index_ctrls[v];
    regions.push_back({"index vector " + std::to_string(v) + " (" + vector_kind(c.nIndexType) +
                           " of " + std::to_string(c.nOwnerNo) + ")",
                       RegionKind::kVector, c.lOffsetIndex, std::int64_t{c.lIndexLen} * 4});
  }
  regions.push_back({"IndexCtrl table", RegionKind::kTable, d.lOffsetIndexCtrl, d.nLenIndexCtrl});
  regions.push_back({"DataCtrl table", RegionKind::kTable, d.lOffsetDataCtrl, d.nLenDataCtrl});
  if (d.nSections > 0) {
    regions.push_back({"Section table", RegionKind::kTable, d.lOffsetSection, d.nLenSection});
  }
  regions.push_back({"IndDataTypes vector", RegionKind::kTable, d.lOffsetIndDataTypes,
                     std::int64_t{d.nIndDataTypes} * 4});
  if (d.nIndSectionsX > 0) {
    regions.push_back({"IndSections vector", RegionKind::kTable, d.lOffsetIndSections,
                       std::int64_t{d.nIndSections} * 4});
  }
  return regions;
}

std::vector<Region> placed_records(const rb::FileLayout& image) {
  std::vector<Region> records;
  for (std::size_t k = 0; k < image.types.size(); ++k) {
    const rb::DataCtrl& dc = image.types[k];
    if ((dc.nFlags & rb::kTypePlaced) == 0) continue;
    if (dc.nIndexNo < 0 || static_cast<std::size_t>(dc.nIndexNo) >= image.vectors.size()) continue;
    const std::vector<std::int32_t>& index = image.vectors[static_cast<std::size_t>(dc.nIndexNo)];
    for (std::size_t rec = 0; rec < index.size(); ++rec) {
      if (index[rec] == -1) continue;
      records.push_back({type_label(image, k) + " record " + std::to_string(rec),
                         RegionKind::kPlaced, index[rec], dc.nDataSize});
    }
  }
  return records;
}

std::vector<Region> placed_runs(const rb::FileLayout& image) {
  std::vector<Region> records = placed_records(image);
  std::stable_sort(records.begin(), records.end(),
                   [](const Region& a, const Region& b) { return a.offset < b.offset; });
  std::vector<Region> runs;
  std::int64_t in_run = 0;
  for (const Region& r : records) {
    if (!runs.empty() && runs.back().offset + runs.back().length == r.offset) {
      runs.back().length += r.length;
      runs.back().name = "placed records (" + std::to_string(++in_run) + ")";
      continue;
    }
    runs.push_back(r);
    in_run = 1;
  }
  return runs;
}

}  // namespace rbtool
