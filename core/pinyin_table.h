#pragma once
// The data of core/pinyin_table.cpp, written by tools/make_pinyin_table.py;
// read it through core/pinyin.h. Platform-free.

#include <cstddef>
#include <cstdint>

namespace pinyin_table {

// Code points first..last have their entries in kSetOfCodePoint from start on.
struct CodePointRange {
    uint32_t first;
    uint32_t last;
    uint32_t start;
};

// Toneless syllables, sorted, each zero-terminated.
extern const size_t kSyllableCount;
extern const char kSyllables[][8];
// Reading sets one after another: the count, then that many syllable numbers,
// the common reading first.
extern const uint16_t kSets[];
// Sorted by code point, not overlapping.
extern const size_t kRangeCount;
extern const CodePointRange kRanges[];
// Per code point of the ranges: 0 for none, else the position of its set in
// kSets plus one.
extern const uint16_t kSetOfCodePoint[];

}  // namespace pinyin_table
