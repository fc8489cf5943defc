#pragma once
#include <cstddef>
#include <new>
#include <vector>

// Memory for the engine's big tables and file buffers. A file of a million
// sections needs some 60 MB of fresh tables, and on a virtual machine the
// first touch of each 4 KB page costs more than the parse itself: where the
// system offers it, such memory is asked for in 2 MB pages (512 times fewer
// faults). Smaller blocks are left to the allocator as they are.
namespace TableMemory {
// Blocks of at least this size are worth large pages.
constexpr std::size_t kLargeBlock = std::size_t{4} << 20;
constexpr std::size_t kLargePage = std::size_t{2} << 20;
// Asks the system to back [p, p + bytes) with large pages where it can; memory
// not yet touched benefits, memory already touched keeps its pages. Does
// nothing for small blocks or where the system has no such request.
void preferLargePages(void* p, std::size_t bytes) noexcept;
}  // namespace TableMemory

// std::allocator, with large pages asked for on big blocks.
template <typename T>
struct TableAllocator {
  using value_type = T;
  TableAllocator() noexcept = default;
  template <typename U>
  TableAllocator(const TableAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) {
    const std::size_t bytes = n * sizeof(T);
    if (bytes < TableMemory::kLargeBlock) return static_cast<T*>(::operator new(bytes));
    // On a boundary of a large page, so that every whole one inside can be one.
    void* p = ::operator new (bytes, std::align_val_t{TableMemory::kLargePage});
    TableMemory::preferLargePages(p, bytes);
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (n * sizeof(T) < TableMemory::kLargeBlock)
      ::operator delete(p);
    else
      ::operator delete (p, std::align_val_t{TableMemory::kLargePage});
  }
  template <typename U>
  bool operator==(const TableAllocator<U>&) const noexcept {
    return true;
  }
};

template <typename T>
using Table = std::vector<T, TableAllocator<T>>;
