#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Finds the next of two byte values in a buffer, 64 bytes at a time: each block
// is compared once and its matches kept as a bit mask, so the many short lines
// of a configuration file cost a few instructions each instead of a library
// call per line. Searches must move forward (a search from an earlier block
// recomputes that block, which is correct but slow).
//
// It also notes whether any block it looked at held a byte of 0x80 or more.
class ByteScan {
 public:
  ByteScan(const char* data, std::size_t size, char a, char b) : m_data(data), m_size(size), m_a(a), m_b(b) {}

  // The position of the first a or b in [from, limit), or limit when there is none.
  std::size_t next(std::size_t from, std::size_t limit) {
    if (limit > m_size) limit = m_size;
    while (from < limit) {
      const std::size_t block = from & ~std::size_t{63};
      if (block != m_base) load(block);
      const std::uint64_t m = m_mask & (~std::uint64_t{0} << (from & 63));
      if (m != 0) {
        const std::size_t at = block + static_cast<std::size_t>(std::countr_zero(m));
        return at < limit ? at : limit;
      }
      from = block + 64;
    }
    return limit;
  }

  bool sawHighBytes() const { return m_high != 0; }
  // Every block up to here was compared (for a reliable sawHighBytes()).
  std::size_t scannedUpTo() const { return m_scanned; }

 private:
  void load(std::size_t block) {
    m_base = block;
    const std::size_t n = m_size - block < 64 ? m_size - block : 64;
    const char* p = m_data + block;
    alignas(16) char tail[64];
    if (n < 64) {
      // The last, partial block: zeros match neither byte and are not high.
      std::memset(tail, 0, sizeof tail);
      std::memcpy(tail, p, n);
      p = tail;
    }
    std::uint64_t mask = 0;
    std::uint64_t high = 0;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(m_a);
    const __m128i vb = _mm_set1_epi8(m_b);
    for (int i = 0; i < 4; ++i) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb));
      mask |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(hit))) << (16 * i);
      high |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(v))) << (16 * i);
    }
#else
    for (std::size_t i = 0; i < 64; ++i) {
      if (p[i] == m_a || p[i] == m_b) mask |= std::uint64_t{1} << i;
      if (static_cast<unsigned char>(p[i]) >= 0x80) high |= std::uint64_t{1} << i;
    }
#endif
    m_mask = mask;
    m_high |= high;
    if (block == m_scanned) m_scanned = block + n;
  }

  const char* m_data;
  std::size_t m_size;
  char m_a;
  char m_b;
  std::size_t m_base = ~std::size_t{0};
  std::uint64_t m_mask = 0;
  std::uint64_t m_high = 0;
  std::size_t m_scanned = 0;
};

// The first c in [b, e), or e: for the short spans inside one line, where a
// library call costs more than the search.
inline const char* findByte(const char* b, const char* e, char c) {
#if defined(__SSE2__)
  const __m128i vc = _mm_set1_epi8(c);
  for (; e - b >= 16; b += 16) {
    const int m = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), vc));
    if (m != 0) return b + std::countr_zero(static_cast<unsigned>(m));
  }
#endif
  for (; b < e; ++b)
    if (*b == c) return b;
  return e;
}
