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

// How many of the bytes that shape the parser's tables the data holds: line
// feeds, carriage returns, the CR LF pairs among them, "[" and "=". One pass at
// about the speed of a line scan gives each table its exact room (at most: a
// "[" or "=" inside a value counts too), so none is copied as it grows.
struct ByteCounts {
  std::size_t lf = 0, cr = 0, crlf = 0, open = 0, equals = 0;
};

inline ByteCounts countShapingBytes(const char* data, std::size_t size) {
  ByteCounts c;
  std::uint64_t ignored = 0;
  std::uint64_t crBefore = 0;  // the last byte of the block before was a CR
  for (std::size_t block = 0; block < size; block += 64) {
    const std::uint64_t lf = matchMask(data, size, block, '\n', '\n', ignored);
    const std::uint64_t cr = matchMask(data, size, block, '\r', '\r', ignored);
    c.lf += static_cast<std::size_t>(std::popcount(lf));
    c.cr += static_cast<std::size_t>(std::popcount(cr));
    c.crlf += static_cast<std::size_t>(std::popcount(((cr << 1) | crBefore) & lf));
    crBefore = cr >> 63;
    c.open += static_cast<std::size_t>(std::popcount(matchMask(data, size, block, '[', '[', ignored)));
    c.equals += static_cast<std::size_t>(std::popcount(matchMask(data, size, block, '=', '=', ignored)));
  }
  return c;
}
