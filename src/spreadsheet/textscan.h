#pragma once

#include <QtGlobal>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Finding, copying and comparing UTF-16 text a block of characters at a time. A write-back
// scans and copies its row lines and statements cell by cell, some twenty million characters
// for a day's workbook, and most cells are a few characters long: a library call per cell, or
// a loop per character, costs more than the work. Short copies and comparisons go in blocks of
// four or eight characters, the last one overlapping the one before, so that nothing past the
// end is touched.
namespace textscan {

// Four characters as one 64-bit word, to compare or hash them at once.
inline uint64_t load4(const char16_t* at) {
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// The first `wanted` in [from, end), or end. Callers search long texts (a line, a statement)
// for the next quote, which is usually within the first block.
inline const char16_t* find(const char16_t* from, const char16_t* end, char16_t wanted) {
#if defined(__SSE2__)
    const __m128i pattern = _mm_set1_epi16(static_cast<short>(wanted));
    for (; end - from >= 8; from += 8) {
        const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        if (const int hits = _mm_movemask_epi8(_mm_cmpeq_epi16(chars, pattern))) {
            return from + __builtin_ctz(static_cast<unsigned>(hits)) / 2;
        }
    }
#endif
    while (from != end && *from != wanted) {
        ++from;
    }
    return from;
}

// Copies `count` characters to `to` and returns the end of the copy.
inline char16_t* copy(const char16_t* from, qsizetype count, char16_t* to) {
    constexpr size_t kUnit = sizeof(char16_t);
    if (count >= 16) {
        std::memcpy(to, from, size_t(count) * kUnit);
    } else if (count >= 8) {
        std::memcpy(to, from, 8 * kUnit);
        std::memcpy(to + count - 8, from + count - 8, 8 * kUnit);
    } else if (count >= 4) {
        std::memcpy(to, from, 4 * kUnit);
        std::memcpy(to + count - 4, from + count - 4, 4 * kUnit);
    } else {
        for (qsizetype i = 0; i < count; ++i) {
            to[i] = from[i];
        }
    }
    return to + count;
}

// Whether the `count` characters at `a` and at `b` are the same.
inline bool equal(const char16_t* a, const char16_t* b, qsizetype count) {
    if (count < 4) {
        for (qsizetype i = 0; i < count; ++i) {
            if (a[i] != b[i]) {
                return false;
            }
        }
        return true;
    }
    for (qsizetype at = 0;; at += 4) {
        if (count - at < 4) {
            at = count - 4;
        }
        if (load4(a + at) != load4(b + at)) {
            return false;
        }
        if (at + 4 == count) {
            return true;
        }
    }
}

} // namespace textscan
