// Heap blocks of the library.
//
// Every table, vector, buffer and control record the library owns is one
// heap block taken here and given back through heap_free. Allocation never
// throws: a failure comes back as null and the caller maps it to its own
// result code. Counts are checked before they reach the allocator, so a
// negative count or one whose byte size passes 2^31 - 1 fails like an
// exhausted heap; a count of 0 still yields a valid (empty) block.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rb {

// Largest block the library ever asks for: nothing in a database file can
// be longer than the file's 2^31 - 1 addressable bytes.
inline constexpr std::int64_t kMaxBlockBytes = INT32_MAX;

void* heap_alloc(std::int64_t count, std::size_t elem_size);
void heap_free(void* block);

template <class T>
T* allocate(std::int64_t count) {
  return static_cast<T*>(heap_alloc(count, sizeof(T)));
}

// Allocates count entries and sets each to value.
template <class T>
T* allocate_filled(std::int64_t count, T value) {
  T* block = allocate<T>(count);
  if (block != nullptr) {
    for (std::int64_t i = 0; i < count; ++i) block[i] = value;
  }
  return block;
}

// The one way a table grows: a new block of capacity entries, each set to
// `value`, takes the first `keep` entries of the old one, which is given
// back. False, with the table untouched, when memory runs out.
template <class T>
bool grow_table(T*& table, std::int64_t keep, std::int64_t capacity, const T& value) {
  T* grown = allocate_filled<T>(capacity, value);
  if (grown == nullptr) return false;
  for (std::int64_t i = 0; i < keep && i < capacity; ++i) grown[i] = table[i];
  heap_free(table);
  table = grown;
  return true;
}

#ifdef RECBASE_TESTING
// Test builds only: make the n-th allocation from now fail (1 = the next
// one); 0 switches the failure off. allocation_count() counts the
// allocations attempted since the last arm call.
namespace testing {
void fail_allocation_at(std::int64_t n);
std::int64_t allocation_count();
}  // namespace testing
#endif

}  // namespace rb
