#include "core/pinyin.h"

#include <algorithm>
#include <cstring>

#include "core/ascii.h"
#include "core/pinyin_table.h"

PinyinReadings pinyinReadings(char32_t codePoint)
{
    using pinyin_table::CodePointRange;
    const CodePointRange* end = pinyin_table::kRanges + pinyin_table::kRangeCount;
    const CodePointRange* after = std::upper_bound(
        pinyin_table::kRanges, end, codePoint,
        [](char32_t code, const CodePointRange& range) { return code < range.first; });
    if (after == pinyin_table::kRanges) return {};
    const CodePointRange& range = after[-1];
    if (codePoint > range.last) return {};
    const uint16_t set = pinyin_table::kSetOfCodePoint[range.start + (codePoint - range.first)];
    if (set == 0) return {};
    const uint16_t* entry = pinyin_table::kSets + (set - 1);
    return {entry + 1, entry[0]};
}

const char* pinyinSyllable(uint16_t syllable)
{
    return syllable < pinyin_table::kSyllableCount ? pinyin_table::kSyllables[syllable] : "";
}

namespace {

bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The code point at text[i], advancing i past it. A wchar_t of 32 bits holds
// whole code points; one of 16 bits holds UTF-16 with surrogate pairs.
char32_t nextCodePoint(std::wstring_view text, size_t& i)
{
    const char32_t first = static_cast<char32_t>(text[i++]);
    if (isHighSurrogate(first) && i < text.size() && isLowSurrogate(static_cast<char32_t>(text[i]))) {
        const char32_t second = static_cast<char32_t>(text[i++]);
        return 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
    }
    return first;
}

bool isAsciiLetterOrDigit(char32_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool startsWith(const std::wstring& text, std::wstring_view prefix)
{
    return text.size() >= prefix.size() && std::wstring_view(text).substr(0, prefix.size()) == prefix;
}

// One way to spell a kept character: a letter, a syllable or its initial.
struct Piece {
    const char* text;
    size_t size;
};

// Matches piece[from..] against word[done..]. True when the word ends within
// the piece; when instead the whole rest of the piece matches, the bit for the
// new length matched is set in next.
bool extend(Piece piece, size_t from, std::wstring_view word, size_t done, uint64_t& next)
{
    const size_t rest = piece.size - from;
    const size_t compared = std::min(rest, word.size() - done);
    for (size_t i = 0; i < compared; ++i) {
        if (word[done + i] != static_cast<wchar_t>(static_cast<unsigned char>(piece.text[from + i]))) return false;
    }
    if (done + rest >= word.size()) return true;
    next |= uint64_t{1} << (done + rest);
    return false;
}

}  // namespace

PinyinSpelling::PinyinSpelling(std::wstring_view name)
{
    std::vector<Unit> units;
    bool ambiguous = false;
    for (size_t i = 0; i < name.size();) {
        const char32_t code = nextCodePoint(name, i);
        Unit unit;
        if (isAsciiLetterOrDigit(code)) {
            unit.letter = static_cast<char>(asciiLower(code));
            full_ += static_cast<wchar_t>(unit.letter);
            initials_ += static_cast<wchar_t>(unit.letter);
        } else {
            const PinyinReadings readings = pinyinReadings(code);
            if (readings.count == 0) continue;
            unit.readings = readings.syllables;
            unit.readingCount = static_cast<uint8_t>(readings.count);
            const char* common = pinyinSyllable(readings.syllables[0]);
            full_.append(common, common + std::strlen(common));
            initials_ += static_cast<wchar_t>(common[0]);
            ambiguous = ambiguous || readings.count > 1;
        }
        units.push_back(unit);
    }
    if (ambiguous) units_ = std::move(units);
}

bool PinyinSpelling::fullHas(std::wstring_view word, bool atStart) const
{
    return has(word, atStart, false, full_);
}

bool PinyinSpelling::initialsHave(std::wstring_view word, bool atStart) const
{
    return has(word, atStart, true, initials_);
}

bool PinyinSpelling::has(std::wstring_view word, bool atStart, bool initials, const std::wstring& common) const
{
    if (word.empty()) return false;
    if (atStart ? startsWith(common, word) : common.find(word) != std::wstring::npos) return true;
    if (units_.empty() || word.size() > kMaxAmbiguousWord) return false;
    return anyChoiceHas(word, atStart, initials);
}

// Walks the characters once, keeping the set of word lengths matched so far
// that end at the current character boundary (one bit each): every choice of
// readings is covered without spelling the choices out.
bool PinyinSpelling::anyChoiceHas(std::wstring_view word, bool atStart, bool initials) const
{
    uint64_t inProgress = 0;
    for (size_t u = 0; u < units_.size(); ++u) {
        const Unit& unit = units_[u];
        const bool mayStart = !atStart || u == 0;
        uint64_t next = 0;
        const size_t choices = unit.readingCount == 0 ? 1 : unit.readingCount;
        for (size_t c = 0; c < choices; ++c) {
            Piece piece{&unit.letter, 1};
            if (unit.readingCount != 0) {
                const char* syllable = pinyinSyllable(unit.readings[c]);
                piece = Piece{syllable, initials ? 1 : std::strlen(syllable)};
                if (syllable[0] == 0) continue;
            }
            for (uint64_t bits = inProgress; bits != 0; bits &= bits - 1) {
                if (extend(piece, 0, word, static_cast<size_t>(__builtin_ctzll(bits)), next)) return true;
            }
            if (!mayStart) continue;
            const size_t lastFrom = atStart ? 0 : piece.size - 1;
            for (size_t from = 0; from <= lastFrom; ++from) {
                if (extend(piece, from, word, 0, next)) return true;
            }
        }
        inProgress = next;
        if (atStart && inProgress == 0) return false;
    }
    return false;
}
