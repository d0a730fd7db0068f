// An index of the keys in each hash bucket, per open file: key -> the first
// key record holding it, which is the record a scan of the bucket in record
// order stops at. It is built from the key records on first use (from the
// cached block where the bucket's block is in the cache, else from the
// file, without touching the cache), extended by the records appended since,
// and dropped for a bucket whose layout changed. It watches the areas of
// the buckets it indexed through the file's write epoch (file/file_ctrl.h):
// any write into them that is not a write-back of the same bytes or a key
// append, and any change of the tables, raises the epoch, and the index
// starts again.
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"

namespace rb {

// Drops the file's index: a lookup found it out of step with the bytes.
void key_index_forget(FileCtrl& f);

// Looks up keys (first nKeys values) in bucket b of section s: true with
// records set to the bucket's record count and rec set to -1 when the
// bucket holds no such key, else to the first record of the key or of
// another key that shares its 32-bit tag (the caller compares the record
// with keys; see key_index_shared_tag). False when the bucket must be
// scanned (a key record cannot be read, or memory ran short).
bool key_index_find(std::int32_t file_no, FileCtrl& f, std::int32_t s, std::int32_t b,
                    const std::int32_t* keys, std::int32_t& rec, std::int32_t& records);

// True when two different keys of `levels` values share a tag: the index
// then names the first record of either, and only a scan tells them apart.
bool key_index_shared_tag(const std::int32_t* a, const std::int32_t* b, std::int32_t levels);

#ifdef RECBASE_TESTING
namespace testing {
// The tag of a key of `levels` values.
std::uint32_t key_tag(const std::int32_t* keys, std::int32_t levels);
}  // namespace testing
#endif

}  // namespace rb
