#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Byte searches for the parser, which looks at many short lines: a library
// call per line would cost more than the search itself.

// Bit i is set where byte block + i of data is a or b, for the 64 bytes from
// block (fewer at the end of the data). The bits of bytes of 0x80 or more are
// added to high.
inline std::uint64_t matchMask(const char* data, std::size_t size, std::size_t block, char a, char b,
                               std::uint64_t& high) {
  const std::size_t n = size - block < 64 ? size - block : 64;
  const char* p = data + block;
  alignas(16) char tail[64];
  if (n < 64) {
    // The last, partial block: zeros match neither byte and are not high.
    std::memset(tail, 0, sizeof tail);
    std::memcpy(tail, p, n);
    p = tail;
  }
  std::uint64_t mask = 0;
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  for (int i = 0; i < 4; ++i) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb));
    mask |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(hit))) << (16 * i);
    high |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(v))) << (16 * i);
  }
#else
  for (std::size_t i = 0; i < 64; ++i) {
    if (p[i] == a || p[i] == b) mask |= std::uint64_t{1} << i;
    if (static_cast<unsigned char>(p[i]) >= 0x80) high |= std::uint64_t{1} << i;
  }
#endif
  return mask;
}

// The first c in [b, e), or e.
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
