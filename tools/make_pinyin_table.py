#!/usr/bin/env python3
"""Writes the pinyin table of the search (Python 3 standard library only).

    python3 tools/make_pinyin_table.py            writes core/pinyin_table.cpp
    python3 tools/make_pinyin_table.py --check    exits 1 when the file differs
                                                  from what this script writes
    --unihan PATH    another copy of Unihan_Readings.txt(.bz2)

The only source is the Unihan readings of Debian's unicode-data package.

Which readings count, per code point:
  - every reading of kMandarin (the common reading; a second value is the
    Taiwan one) and of kXHC1983 (the modern standard dictionary, which lists
    each reading in present use: 行 xing and hang, 重 zhong and chong,
    长 zhang and chang);
  - kHanyuPinyin only for a character that has neither, and then only its
    first reading. The big historical dictionary lists every reading it ever
    had (大 also tai, 重 also tong, 行 also heng); counted, they would make
    almost every name answer to initials nobody types.
Readings are written without tones; u with diaeresis becomes v, as it is typed
on a keyboard (绿 lv), and ê becomes e. The kMandarin readings come first, so
each character's first reading is its common one.

The table: the syllables (sorted), the distinct reading sets (each its count,
then its syllable numbers; the most frequent sets first), and per code point
the position of its set plus one (0: no reading), stored for runs of code
points with readings that lie at most MAX_GAP apart.
"""

import bz2
import sys
import unicodedata
from collections import Counter
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
OUTPUT = ROOT / "core" / "pinyin_table.cpp"
UNIHAN = Path("/usr/share/unicode/Unihan_Readings.txt.bz2")
FIELDS = ("kMandarin", "kXHC1983", "kHanyuPinyin")
# Code points without a reading inside a run cost two bytes each; a new run
# costs twelve and a step of the binary search.
MAX_GAP = 32
PER_LINE = 20


def read_fields(path):
    """{code point: {field: value}} for the fields used, and the Unicode version."""
    opener = bz2.open if path.suffix == ".bz2" else open
    fields, version = {}, "unknown"
    with opener(path, "rt", encoding="utf-8") as lines:
        for line in lines:
            if line.startswith("# Unicode version:"):
                version = line.split(":", 1)[1].strip()
            if not line.startswith("U+"):
                continue
            code, field, value = line.rstrip("\n").split("\t", 2)
            if field in FIELDS:
                fields.setdefault(int(code[2:], 16), {})[field] = value
    return fields, version


def toneless(reading):
    spelled = unicodedata.normalize("NFD", reading.lower()).replace("u\u0308", "v")
    plain = "".join(c for c in spelled if not unicodedata.combining(c))
    if not plain.isascii() or not plain.isalpha():
        raise ValueError("unexpected reading %r" % reading)
    return plain


def readings_of(entry):
    """The toneless readings of one character, common first, each once."""
    chosen = entry.get("kMandarin", "").split()
    # kXHC1983: "0442.080:háng 0443.050:hàng" (page.position:reading).
    chosen += [item.split(":", 1)[1] for item in entry.get("kXHC1983", "").split()]
    if not chosen and "kHanyuPinyin" in entry:
        # kHanyuPinyin: "10019.020:tiàn" or "20811.060:háng,xìng,xíng".
        chosen = [entry["kHanyuPinyin"].split()[0].split(":", 1)[1].split(",")[0]]
    result = []
    for reading in chosen:
        plain = toneless(reading)
        if plain not in result:
            result.append(plain)
    return tuple(result)


def runs(code_points):
    """[first, last] pairs covering code_points, gaps of at most MAX_GAP inside."""
    found = []
    for code in sorted(code_points):
        if found and code - found[-1][1] <= MAX_GAP:
            found[-1][1] = code
        else:
            found.append([code, code])
    return found


def numbers(values):
    rows = []
    for start in range(0, len(values), PER_LINE):
        rows.append("    " + ", ".join(str(v) for v in values[start:start + PER_LINE]) + ",")
    return "\n".join(rows)


def table_source(fields, version):
    readings = {code: readings_of(entry) for code, entry in fields.items()}
    readings = {code: r for code, r in readings.items() if r}
    syllables = sorted({s for r in readings.values() for s in r})
    number = {s: i for i, s in enumerate(syllables)}
    frequency = Counter(readings.values())
    sets = sorted(frequency, key=lambda r: (-frequency[r], r))
    flat, position = [], {}
    for reading_set in sets:
        position[reading_set] = len(flat)
        flat += [len(reading_set)] + [number[s] for s in reading_set]
    assert len(flat) < 0xFFFF, "set positions no longer fit 16 bits"
    ranges, per_code_point = [], []
    for first, last in runs(readings):
        ranges.append("    {0x%X, 0x%X, %d}," % (first, last, len(per_code_point)))
        per_code_point += [position[readings[c]] + 1 if c in readings else 0 for c in range(first, last + 1)]
    longest = max(len(s) for s in syllables)
    assert longest < 8, "a syllable no longer fits kSyllables"
    syllable_rows = []
    for start in range(0, len(syllables), 12):
        syllable_rows.append("    " + " ".join('"%s",' % s for s in syllables[start:start + 12]))
    return "\n".join([
        "// Generated by tools/make_pinyin_table.py from the Unihan readings of",
        "// Unicode %s (%d characters, %d with several readings). Do not edit: change" % (
            version, len(readings), sum(1 for r in readings.values() if len(r) > 1)),
        "// the script and run it again.",
        "",
        '#include "core/pinyin_table.h"',
        "",
        "namespace pinyin_table {",
        "",
        "const size_t kSyllableCount = %d;" % len(syllables),
        "const char kSyllables[][8] = {",
        "\n".join(syllable_rows),
        "};",
        "",
        "const uint16_t kSets[] = {",
        numbers(flat),
        "};",
        "",
        "const size_t kRangeCount = %d;" % len(ranges),
        "const CodePointRange kRanges[] = {",
        "\n".join(ranges),
        "};",
        "",
        "const uint16_t kSetOfCodePoint[] = {",
        numbers(per_code_point),
        "};",
        "",
        "}  // namespace pinyin_table",
        "",
    ])


def main(argv):
    args = argv[1:]
    check = "--check" in args
    source = UNIHAN
    if "--unihan" in args:
        source = Path(args[args.index("--unihan") + 1])
    if not source.exists():
        print("missing %s (Debian package unicode-data; tools/install_deps.sh installs it)" % source)
        return 1
    text = table_source(*read_fields(source))
    if not check:
        OUTPUT.write_text(text, encoding="utf-8")
        print("wrote %s" % OUTPUT)
        return 0
    if not OUTPUT.exists() or OUTPUT.read_text(encoding="utf-8") != text:
        print("out of date: %s (run python3 tools/make_pinyin_table.py)" % OUTPUT.relative_to(ROOT))
        return 1
    print("%s matches its source" % OUTPUT.relative_to(ROOT))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
