#pragma once
// Pinyin of Han characters and the pinyin spelling of a name, for the search.
// Platform-free.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The toneless readings of one code point (see tools/make_pinyin_table.py for
// which readings count), the common one first; none for anything but a Han
// character with a known reading.
struct PinyinReadings {
    const uint16_t* syllables = nullptr;
    size_t count = 0;
};
PinyinReadings pinyinReadings(char32_t codePoint);
// The text of a syllable number from PinyinReadings: lower-case ASCII letters,
// "v" for u with diaeresis ("lv").
const char* pinyinSyllable(uint16_t syllable);

// A name spelled out for matching: ASCII letters (lower-cased) and digits stay
// as they are, a Han character becomes its readings, everything else (spaces,
// punctuation, other scripts) is left out. "QQ音乐" is spelled "qqyinle" (or
// "qqyinyue") in full and "qqyl" (or "qqyy") by initials.
class PinyinSpelling {
public:
    PinyinSpelling() = default;
    explicit PinyinSpelling(std::wstring_view name);

    // Whether word (lower-case, not empty) is a substring of the full
    // spelling, or with atStart its beginning, for some choice of readings.
    // A word of more than kMaxAmbiguousWord units is compared with the common
    // readings only.
    bool fullHas(std::wstring_view word, bool atStart) const;
    // The same for the initials: one letter per syllable ("zh" counts as "z").
    bool initialsHave(std::wstring_view word, bool atStart) const;

    // With the common reading of every character.
    const std::wstring& full() const { return full_; }
    const std::wstring& initials() const { return initials_; }

    static constexpr size_t kMaxAmbiguousWord = 63;

private:
    // One kept character: a letter or digit, or the readings of a Han character.
    struct Unit {
        char letter = 0;
        uint8_t readingCount = 0;
        const uint16_t* readings = nullptr;
    };

    bool has(std::wstring_view word, bool atStart, bool initials, const std::wstring& common) const;
    bool anyChoiceHas(std::wstring_view word, bool atStart, bool initials) const;

    std::wstring full_;
    std::wstring initials_;
    // Kept only when some character has several readings: the common
    // spellings above then do not tell every match.
    std::vector<Unit> units_;
};
