// A read-only image of a database file: the header, the tables and the
// vectors, read with plain stdio from the offsets the header records.
// Nothing is trusted: every count and offset is checked against the file's
// size before it is used, and what cannot be read is noted, not guessed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "file/format.h"

namespace rbtool {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The state a rollback of a journal leaves: the saved pages written back
// over the file (keyed by offset, at most 4096 bytes each) and the file cut
// to, or extended with zero bytes to, its committed length.
struct Restored {
  std::int64_t length = 0;
  std::map<std::int64_t, std::string> pages;
};

class FileImage {
 public:
  // Opens and reads the file, or with restored the state its rollback
  // would leave (the file itself is never written). False, with a reason,
  // when it cannot be opened or read at all; a short or damaged file still
  // gives an image.
  bool load(const std::string& path, std::string& error, const Restored* restored = nullptr);

  // Copies length bytes at offset; false when the range is not in the file.
  bool read_at(std::int64_t offset, void* buffer, std::int64_t length) const;

  std::int64_t size() const { return size_; }
  bool header_complete() const { return header_complete_; }
  const rb::FileDef& def() const { return def_; }

  // Tables and vectors as stored; empty where they could not be read
  // (see unread()).
  std::vector<rb::DataCtrl> types;
  std::vector<rb::IndexCtrl> index_ctrls;
  std::vector<std::vector<std::int32_t>> vectors;  // one per IndexCtrl
  std::vector<rb::Section> sections;
  std::vector<std::int32_t> ind_data_types;
  std::vector<std::int32_t> ind_sections;

  // One line per table or vector that lies outside the file.
  const std::vector<std::string>& unread() const { return unread_; }

  // The entry of vector v at i, -1 for a vector or entry that is not there.
  std::int32_t vector_entry(std::int32_t v, std::int64_t i) const;

 private:
  template <typename Record>
  void read_table(const char* name, std::int64_t count, std::int64_t offset,
                  std::vector<Record>& out);

  std::unique_ptr<std::FILE, FileCloser> file_;
  std::int64_t size_ = 0;       // of the image
  std::int64_t disk_size_ = 0;  // of the file itself
  const Restored* restored_ = nullptr;
  bool header_complete_ = false;
  rb::FileDef def_{};
  std::vector<std::string> unread_;
};

// A key record of a section, as stored in its bucket.
struct StoredKey {
  std::int32_t bucket = 0;  // DataCtrl index of the bucket
  std::int32_t record = 0;  // record number within the bucket
  rb::KeyRecord image{};
};

// The key records of section index s in bucket and record order; a bucket
// ends at its area's last slot or at the end of the file.
std::vector<StoredKey> stored_keys(const FileImage& image, std::int32_t s);

// Slots the area of a data type holds: lMaxBlockRecs * lBlockRecs.
std::int64_t area_slots(const rb::DataCtrl& dc);

// File offset of slot s of a block-stored data type.
std::int64_t slot_offset(const rb::DataCtrl& dc, std::int64_t slot);

}  // namespace rbtool
