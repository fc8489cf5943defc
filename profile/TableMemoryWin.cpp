#include "profile/TableMemory.h"

namespace TableMemory {
// Windows gives large pages only to accounts with the "Lock pages in memory"
// right and only through VirtualAlloc of memory that is never paged out: not
// for an editor's tables. Its page faults are cheap enough without.
void preferLargePages(void*, std::size_t) noexcept {}
}  // namespace TableMemory
