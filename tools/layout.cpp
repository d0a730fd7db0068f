#include "layout.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace rbtool {

namespace {

// The bytes of a file, with the pages a rollback restores over them.
struct Bytes {
  std::FILE* file;
  std::int64_t disk_size;
  const Restored* restored;
};

bool seek(std::FILE* f, std::int64_t offset) {
  // Database files never pass 2^31 - 1 bytes, so a long always holds it.
  return offset >= 0 && offset <= 0x7fffffff &&
         std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0;
}

void restore_pages(const Restored& restored, std::int64_t offset, unsigned char* out,
                   std::int64_t length) {
  // Saved pages start at multiples of 4096: the first that can overlap
  // starts at or before offset.
  auto page = restored.pages.upper_bound(offset);
  if (page != restored.pages.begin()) --page;
  for (; page != restored.pages.end() && page->first < offset + length; ++page) {
    const std::int64_t from = std::max(page->first, offset);
    const std::int64_t to =
        std::min(page->first + static_cast<std::int64_t>(page->second.size()), offset + length);
    if (from < to) {
      std::memcpy(out + (from - offset), page->second.data() + (from - page->first),
                  static_cast<std::size_t>(to - from));
    }
  }
}

bool read_at(void* context, std::int64_t offset, void* buffer, std::int64_t length) {
  const Bytes& b = *static_cast<const Bytes*>(context);
  const std::int64_t size = b.restored != nullptr ? b.restored->length : b.disk_size;
  if (offset < 0 || length < 0 || offset > size || length > size - offset) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  // Bytes past the end of the file are the zero bytes a rollback extends
  // it with.
  const std::int64_t on_disk = std::clamp<std::int64_t>(b.disk_size - offset, 0, length);
  std::memset(out + on_disk, 0, static_cast<std::size_t>(length - on_disk));
  if (on_disk > 0 &&
      (!seek(b.file, offset) || std::fread(out, 1, static_cast<std::size_t>(on_disk), b.file) !=
                                    static_cast<std::size_t>(on_disk))) {
    return false;
  }
  if (b.restored != nullptr) restore_pages(*b.restored, offset, out, length);
  return true;
}

void collect(void* context, const rb::Finding& finding) {
  static_cast<std::vector<rb::Finding>*>(context)->push_back(finding);
}

}  // namespace

bool load_file(const std::string& path, const Restored* restored, rb::FileLayout& layout,
               std::vector<rb::Finding>& findings, std::string& error) {
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = "cannot open the file";
    return false;
  }
  if (std::fseek(file.get(), 0, SEEK_END) != 0) {
    error = "cannot read the file";
    return false;
  }
  Bytes bytes{file.get(), std::ftell(file.get()), restored};
  if (bytes.disk_size < 0) {
    error = "cannot read the file";
    return false;
  }
  rb::Verdict verdict(collect, &findings);
  layout = rb::load_layout(read_at, &bytes,
                           restored != nullptr ? restored->length : bytes.disk_size, verdict);
  return true;
}

std::int32_t vector_entry(const rb::FileLayout& layout, std::int32_t v, std::int64_t i) {
  if (v < 0 || static_cast<std::size_t>(v) >= layout.vectors.size()) return -1;
  const std::vector<std::int32_t>& entries = layout.vectors[static_cast<std::size_t>(v)];
  if (i < 0 || static_cast<std::size_t>(i) >= entries.size()) return -1;
  return entries[static_cast<std::size_t>(i)];
}

std::int64_t stored_records(const rb::FileLayout& layout, const rb::DataCtrl& dc,
                            std::int64_t rec) {
  if ((dc.nFlags & rb::kTypeIndex) == 0) return rec >= 0 && rec < dc.lFileRecs ? 1 : 0;
  if (vector_entry(layout, dc.nIndexNo, rec) == -1) return 0;
  if ((dc.nFlags & rb::kTypeIterator) == 0) return 1;
  return std::max(vector_entry(layout, dc.nIteratorNo, rec), 0);
}

std::int64_t data_end(const rb::FileDef& def) {
  return def.lOffsetVectors >= rb::kHeaderBlockSize ? def.lOffsetVectors : def.lFileLen;
}

std::int64_t written_area(const rb::FileDef& def, const rb::DataCtrl& dc) {
  return std::clamp<std::int64_t>(data_end(def) - dc.lOffsetData, 0,
                                  std::max<std::int64_t>(dc.lLenData, 0));
}

std::int64_t area_slots(const rb::DataCtrl& dc) {
  return static_cast<std::int64_t>(dc.lMaxBlockRecs) * dc.lBlockRecs;
}

}  // namespace rbtool
