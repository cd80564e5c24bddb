#pragma once
// The few compiler- and processor-specific operations of the raster loops, each with a plain
// fallback: a product wider than 64 bits, prefetching, and stores that bypass the cache. The
// fallbacks give the same results; only speed differs.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// floor((a * b + c) / d) for a, b, c >= 0 and d > 0 whose result fits 63 bits, although a * b
// may not fit 64 bits. Portable long multiplication and division; MulAddDiv uses it where the
// compiler has no 128-bit integer.
int64_t MulAddDivPortable(uint64_t a, uint64_t b, uint64_t c, uint64_t d);

inline int64_t MulAddDiv(int64_t a, int64_t b, int64_t c, int64_t d) {
#if defined(__SIZEOF_INT128__)
    __extension__ using TWide = unsigned __int128;
    return int64_t((TWide(uint64_t(a)) * uint64_t(b) + uint64_t(c)) / uint64_t(d));
#else
    return MulAddDivPortable(uint64_t(a), uint64_t(b), uint64_t(c), uint64_t(d));
#endif
}

// Asks for the cache line of `address` ahead of a read of it.
inline void PrefetchForRead(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address, 0);
#else
    (void)address;
#endif
}

// Asks for the cache line of `address` ahead of a write to it.
inline void PrefetchForWrite(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address, 1);
#else
    (void)address;
#endif
}

// Rows at least this many pixels long are written past the cache by default: a surface that
// large does not stay in the cache anyway, and skipping the read of each line before the write is
// about a quarter faster.
inline constexpr size_t kStreamingPixels = 2048;

// Stores past the cache go in whole cache lines only: a partly written line would be merged in
// memory, slower than writing it through the cache. Rows whose width is not a multiple of a line
// (a widget one pixel wider than its drawing area) start and end inside lines.
inline constexpr uintptr_t kCacheLine = 64;

// Fills count pixels with value; with bypassCache the whole cache lines among them are written
// past the cache (call StreamFence afterwards).
inline void FillPixels(uint32_t* pixels, size_t count, uint32_t value, bool bypassCache) {
#if defined(__SSE2__)
    if (bypassCache) {
        for (; count > 0 && (reinterpret_cast<uintptr_t>(pixels) & (kCacheLine - 1)) != 0; --count)
            *pixels++ = value;
        const __m128i quad = _mm_set1_epi32(int(value));
        for (; count >= 16; count -= 16, pixels += 16)
            for (int i = 0; i < 4; ++i)
                _mm_stream_si128(reinterpret_cast<__m128i*>(pixels) + i, quad);
    }
#else
    (void)bypassCache;
#endif
    std::fill(pixels, pixels + count, value);
}

// Copies count pixels; with bypassCache the whole cache lines among them are written past the
// cache (call StreamFence afterwards).
inline void CopyPixels(uint32_t* to, const uint32_t* from, size_t count, bool bypassCache) {
#if defined(__SSE2__)
    if (bypassCache) {
        for (; count > 0 && (reinterpret_cast<uintptr_t>(to) & (kCacheLine - 1)) != 0; --count)
            *to++ = *from++;
        for (; count >= 16; count -= 16, to += 16, from += 16)
            for (int i = 0; i < 4; ++i)
                _mm_stream_si128(reinterpret_cast<__m128i*>(to) + i,
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(from) + i));
    }
#else
    (void)bypassCache;
#endif
    std::copy(from, from + count, to);
}

// Orders the stores that bypassed the cache before everything after it.
inline void StreamFence() {
#if defined(__SSE2__)
    _mm_sfence();
#endif
}
