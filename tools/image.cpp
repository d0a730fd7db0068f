#include "image.h"

#include <algorithm>
#include <cstring>

namespace rbtool {

namespace {

bool seek(std::FILE* f, std::int64_t offset) {
  // Database files never pass 2^31 - 1 bytes, so a long always holds it.
  return offset >= 0 && offset <= 0x7fffffff &&
         std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0;
}

std::int64_t file_size(std::FILE* f) {
  if (std::fseek(f, 0, SEEK_END) != 0) return -1;
  return std::ftell(f);
}

std::string describe(const char* name, std::int64_t count, std::int64_t record,
                     std::int64_t offset) {
  return std::string(name) + " (" + std::to_string(count) + " x " + std::to_string(record) +
         " bytes at " + std::to_string(offset) + ") lies outside the file";
}

}  // namespace

bool FileImage::read_at(std::int64_t offset, void* buffer, std::int64_t length) const {
  if (length == 0) return true;
  if (offset < 0 || length < 0 || offset > size_ || length > size_ - offset) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  // Bytes past the end of the file are the zero bytes a rollback extends
  // it with.
  const std::int64_t on_disk = std::clamp<std::int64_t>(disk_size_ - offset, 0, length);
  std::memset(out + on_disk, 0, static_cast<std::size_t>(length - on_disk));
  if (on_disk > 0 && (!seek(file_.get(), offset) ||
                      std::fread(out, 1, static_cast<std::size_t>(on_disk), file_.get()) !=
                          static_cast<std::size_t>(on_disk))) {
    return false;
  }
  if (restored_ == nullptr) return true;
  // Saved pages start at multiples of 4096: the first that can overlap
  // starts at or before offset.
  auto page = restored_->pages.upper_bound(offset);
  if (page != restored_->pages.begin()) --page;
  for (; page != restored_->pages.end() && page->first < offset + length; ++page) {
    const std::int64_t from = std::max(page->first, offset);
    const std::int64_t to =
        std::min(page->first + static_cast<std::int64_t>(page->second.size()), offset + length);
    if (from < to) {
      std::memcpy(out + (from - offset), page->second.data() + (from - page->first),
                  static_cast<std::size_t>(to - from));
    }
  }
  return true;
}

template <typename Record>
void FileImage::read_table(const char* name, std::int64_t count, std::int64_t offset,
                           std::vector<Record>& out) {
  out.clear();
  if (count == 0) return;
  const auto record = static_cast<std::int64_t>(sizeof(Record));
  if (count < 0 || count > size_ / record) {
    unread_.push_back(describe(name, count, record, offset));
    return;
  }
  out.resize(static_cast<std::size_t>(count));
  if (!read_at(offset, out.data(), count * record)) {
    out.clear();
    unread_.push_back(describe(name, count, record, offset));
  }
}

bool FileImage::load(const std::string& path, std::string& error, const Restored* restored) {
  file_.reset(std::fopen(path.c_str(), "rb"));
  if (!file_) {
    error = "cannot open the file";
    return false;
  }
  disk_size_ = file_size(file_.get());
  if (disk_size_ < 0) {
    error = "cannot read the file";
    return false;
  }
  restored_ = restored;
  size_ = restored != nullptr ? restored->length : disk_size_;
  header_complete_ = size_ >= static_cast<std::int64_t>(sizeof(rb::FileDef));
  if (!header_complete_) return true;
  if (!read_at(0, &def_, sizeof def_)) {
    error = "cannot read the header";
    return false;
  }
  if (std::memcmp(def_.cFormat, rb::kFormatId, rb::kFormatIdCheckLen) != 0) return true;

  read_table("DataCtrl table", def_.nDataTypes, def_.lOffsetDataCtrl, types);
  read_table("IndexCtrl table", def_.nIndexCtrls, def_.lOffsetIndexCtrl, index_ctrls);
  vectors.assign(index_ctrls.size(), {});
  for (std::size_t v = 0; v < index_ctrls.size(); ++v) {
    const std::string name = "index vector " + std::to_string(v);
    read_table(name.c_str(), index_ctrls[v].lIndexLen, index_ctrls[v].lOffsetIndex, vectors[v]);
  }
  if (def_.nSections > 0) {
    read_table("Section table", def_.nSections, def_.lOffsetSection, sections);
  }
  read_table("IndDataTypes vector", def_.nIndDataTypes, def_.lOffsetIndDataTypes, ind_data_types);
  if (def_.nIndSectionsX > 0) {
    read_table("IndSections vector", def_.nIndSections, def_.lOffsetIndSections, ind_sections);
  }
  return true;
}

std::int32_t FileImage::vector_entry(std::int32_t v, std::int64_t i) const {
  if (v < 0 || static_cast<std::size_t>(v) >= vectors.size()) return -1;
  const std::vector<std::int32_t>& entries = vectors[static_cast<std::size_t>(v)];
  if (i < 0 || static_cast<std::size_t>(i) >= entries.size()) return -1;
  return entries[static_cast<std::size_t>(i)];
}

std::int64_t area_slots(const rb::DataCtrl& dc) {
  return static_cast<std::int64_t>(dc.lMaxBlockRecs) * dc.lBlockRecs;
}

std::int64_t slot_offset(const rb::DataCtrl& dc, std::int64_t slot) {
  if (dc.lBlockRecs <= 0) return -1;
  return dc.lOffsetData + (slot / dc.lBlockRecs) * static_cast<std::int64_t>(dc.nBlockSize) +
         (slot % dc.lBlockRecs) * static_cast<std::int64_t>(dc.nDataSize);
}

std::vector<StoredKey> stored_keys(const FileImage& image, std::int32_t s) {
  std::vector<StoredKey> keys;
  if (s < 0 || static_cast<std::size_t>(s) >= image.sections.size()) return keys;
  const rb::Section& section = image.sections[static_cast<std::size_t>(s)];
  for (std::int64_t b = 0; b < section.nBuckets; ++b) {
    const std::int64_t d = static_cast<std::int64_t>(section.nHashFstDataCtrlHandle) + b;
    if (section.nHashFstDataCtrlHandle < 0 || d >= static_cast<std::int64_t>(image.types.size())) {
      break;
    }
    const rb::DataCtrl& bucket = image.types[static_cast<std::size_t>(d)];
    if (bucket.nDataSize != static_cast<std::int32_t>(sizeof(rb::KeyRecord))) continue;
    for (std::int32_t n = 0; n < bucket.lFileRecs && n < area_slots(bucket); ++n) {
      StoredKey key;
      key.bucket = static_cast<std::int32_t>(d);
      key.record = n;
      // Records lie in file order, so the first one outside ends the bucket.
      if (!image.read_at(slot_offset(bucket, n), &key.image, sizeof key.image)) break;
      keys.push_back(key);
    }
  }
  return keys;
}

}  // namespace rbtool
