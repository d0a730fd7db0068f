#include "frame/heap.h"

#include <cstdlib>

namespace rb {

#ifdef RECBASE_TESTING
namespace {
std::int64_t g_fail_at = 0;
std::int64_t g_attempts = 0;

bool injected_failure() {
  ++g_attempts;
  return g_fail_at != 0 && g_attempts == g_fail_at;
}
}  // namespace

namespace testing {
void fail_allocation_at(std::int64_t n) {
  g_fail_at = n;
  g_attempts = 0;
}
std::int64_t allocation_count() { return g_attempts; }
}  // namespace testing
#else
namespace {
constexpr bool injected_failure() { return false; }
}  // namespace
#endif

void* heap_alloc(std::int64_t count, std::size_t elem_size) {
  if (count < 0 || elem_size == 0) return nullptr;
  if (count > kMaxBlockBytes / static_cast<std::int64_t>(elem_size)) return nullptr;
  if (injected_failure()) return nullptr;
  const auto bytes = static_cast<std::size_t>(count) * elem_size;
  return std::malloc(bytes == 0 ? 1 : bytes);
}

void heap_free(void* block) { std::free(block); }

}  // namespace rb
