#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "profile/TableMemory.h"

namespace TableMemory {
void preferLargePages(void* p, std::size_t bytes) noexcept {
#ifdef MADV_HUGEPAGE
  if (bytes < kLargeBlock) return;
  // Whole pages inside the block only: the advice applies to pages, and the
  // first and last may be shared with other allocations.
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = (reinterpret_cast<std::uintptr_t>(p) + page - 1) & ~(page - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(page - 1);
  // Advice only: where the system refuses it (no large pages built in, or
  // switched off), the block works as it is.
  if (end > begin) (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}
}  // namespace TableMemory
