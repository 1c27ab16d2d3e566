// ICO reduction: which entry wins, which bodies pass through unchanged, and the
// exact bytes of the reduced file. Platform-free.

#include "net/ico.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

void le16(std::string& s, uint32_t v)
{
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void le32(std::string& s, uint32_t v)
{
    le16(s, v & 0xFFFF);
    le16(s, v >> 16);
}

void be32(std::string& s, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<char>((v >> shift) & 0xFF));
}

// The first bytes of a PNG: signature and IHDR with the given size.
std::string pngData(uint32_t width, uint32_t height, size_t extra = 8)
{
    std::string d = "\x89PNG\r\n\x1a\n";
    be32(d, 13);
    d += "IHDR";
    be32(d, width);
    be32(d, height);
    d.append(extra, '\x05');
    return d;
}

// A BITMAPINFOHEADER (colour image and mask height) followed by some pixels.
std::string dibData(int32_t width, int32_t height, uint32_t headerSize = 40, size_t extra = 16)
{
    std::string d;
    le32(d, headerSize);
    le32(d, static_cast<uint32_t>(width));
    le32(d, static_cast<uint32_t>(height));
    d.resize(40, '\0');
    d.append(extra, '\x07');
    return d;
}

struct Entry {
    uint8_t width;
    uint8_t height;
    uint16_t bitCount;
    std::string data;
    // Overrides of the directory's size and offset; 0xFFFFFFFF means "the real one".
    uint32_t size = 0xFFFFFFFF;
    uint32_t offset = 0xFFFFFFFF;
};

// An ICO with the entries' data laid out after the directory, in order.
std::string makeIco(const std::vector<Entry>& entries, uint32_t declaredCount = 0xFFFFFFFF,
                    uint32_t reserved = 0, uint32_t type = 1)
{
    std::string s;
    le16(s, reserved);
    le16(s, type);
    le16(s, declaredCount == 0xFFFFFFFF ? static_cast<uint32_t>(entries.size()) : declaredCount);
    uint32_t at = 6 + 16 * static_cast<uint32_t>(entries.size());
    std::string images;
    for (const Entry& e : entries) {
        s.push_back(static_cast<char>(e.width));
        s.push_back(static_cast<char>(e.height));
        s.push_back('\x00');  // colours
        s.push_back('\x00');  // reserved
        le16(s, 1);           // planes
        le16(s, e.bitCount);
        le32(s, e.size == 0xFFFFFFFF ? static_cast<uint32_t>(e.data.size()) : e.size);
        le32(s, e.offset == 0xFFFFFFFF ? at : e.offset);
        at += static_cast<uint32_t>(e.data.size());
        images += e.data;
    }
    return s + images;
}

// The one-image ICO that reduction must produce for this entry.
std::string reduced(const Entry& e, uint8_t widthByte, uint8_t heightByte)
{
    std::string s;
    le16(s, 0);
    le16(s, 1);
    le16(s, 1);
    s.push_back(static_cast<char>(widthByte));
    s.push_back(static_cast<char>(heightByte));
    s.push_back('\x00');
    s.push_back('\x00');
    le16(s, 1);
    le16(s, e.bitCount);
    le32(s, static_cast<uint32_t>(e.data.size()));
    le32(s, 22);
    return s + e.data;
}

struct IcoCase {
    const char* name;
    std::string input;
    std::string expected;
};

std::vector<IcoCase> icoCases()
{
    const Entry small16{16, 16, 32, dibData(16, 32)};
    const Entry small32{32, 32, 32, dibData(32, 64)};
    const Entry png256{0, 0, 32, pngData(256, 256)};
    const Entry png2048{0, 0, 32, pngData(2048, 2048)};
    const Entry first32{32, 32, 32, dibData(32, 64, 40, 20)};
    const Entry second32{32, 32, 32, dibData(32, 64, 40, 30)};
    Entry runsPast = small32;
    runsPast.size = static_cast<uint32_t>(small32.data.size()) + 1000;
    Entry offsetOutside = small32;
    offsetOutside.offset = 100000;
    Entry offsetWraps = small32;
    offsetWraps.offset = 0xFFFFFFF0;
    offsetWraps.size = 0x20;
    const Entry dib48{48, 48, 8, dibData(48, 96)};
    const Entry dibNoWidth{40, 20, 8, dibData(0, 96)};
    const Entry dibWide{0, 0, 32, dibData(2000, 4000)};
    const Entry dibOddHeight{24, 24, 4, dibData(24, 49)};
    const Entry oldDibHeader{20, 10, 4, dibData(64, 128, 12)};
    const Entry pngShort{30, 30, 32, pngData(500, 500).substr(0, 23)};
    const Entry png1024{0, 0, 32, pngData(1024, 1024)};
    const Entry png1025{0, 0, 32, pngData(1024, 1025)};
    const Entry png1025Wide{0, 0, 32, pngData(1025, 1024)};
    const Entry pngZeroHeight{0, 0, 32, pngData(64, 0)};
    const Entry png300x200{0, 0, 32, pngData(300, 200)};
    const Entry png255{0, 0, 32, pngData(255, 255)};
    const Entry wide16DeepBits{16, 16, 8192, dibData(16, 32)};
    const Entry wide17NoBits{17, 17, 0, dibData(17, 34)};
    const Entry raw256{0, 0, 8, std::string(40, '\0')};
    const Entry raw255{255, 255, 32, std::string(30, '\0')};
    Entry emptyImage{64, 64, 32, std::string()};
    emptyImage.offset = 6;

    std::vector<IcoCase> cases = {
        {"PngSixteenAndThirtyTwoReduceToThePng", makeIco({small16, small32, png256}), reduced(png256, 0, 0)},
        {"EqualWidthAndBitsKeepTheFirst", makeIco({first32, second32}), reduced(first32, 32, 32)},
        {"OnlyImageIsPng2048PassesUnchanged", makeIco({png2048}), makeIco({png2048})},
        {"BestImageIsPng2048PassesUnchanged", makeIco({small16, png2048}), makeIco({small16, png2048})},
        {"EntryRunningPastTheEndIsIgnored", makeIco({small16, runsPast}), reduced(small16, 16, 16)},
        {"OffsetBeyondTheBodyIsIgnored", makeIco({small16, offsetOutside}), reduced(small16, 16, 16)},
        {"OffsetPlusSizeWrappingIsIgnored", makeIco({small16, offsetWraps}), reduced(small16, 16, 16)},
        {"NoUsableEntryPassesUnchanged", makeIco({runsPast}), makeIco({runsPast})},
        {"DibHeightCountsTheMask", makeIco({dib48}), reduced(dib48, 48, 48)},
        {"DibOddHeightRoundsDown", makeIco({dibOddHeight}), reduced(dibOddHeight, 24, 24)},
        {"DibWithoutWidthKeepsDirectorySize", makeIco({small16, dibNoWidth}), reduced(dibNoWidth, 40, 20)},
        {"SmallDibHeaderKeepsDirectorySize", makeIco({small16, oldDibHeader}), reduced(oldDibHeader, 20, 10)},
        {"DibWiderThan1024PassesUnchanged", makeIco({small16, dibWide}), makeIco({small16, dibWide})},
        // Too short for the PNG rule, its signature then reads as a DIB header
        // of a size no reduced file can describe.
        {"PngShorterThan24PassesUnchanged", makeIco({small16, pngShort}), makeIco({small16, pngShort})},
        {"Png1024IsReducedWithZeroSizeBytes", makeIco({small16, png1024}), reduced(png1024, 0, 0)},
        {"Png1025HighPassesUnchanged", makeIco({small16, png1025}), makeIco({small16, png1025})},
        {"Png1025WidePassesUnchanged", makeIco({small16, png1025Wide}), makeIco({small16, png1025Wide})},
        {"PngZeroHeightPassesUnchanged", makeIco({small16, pngZeroHeight}), makeIco({small16, pngZeroHeight})},
        {"PngSizeBytesTakeTheRealSize", makeIco({png255}), reduced(png255, 255, 255)},
        {"PngWidth300HeightBelow256", makeIco({png300x200}), reduced(png300x200, 0, 200)},
        {"ScoreIsWidthTimes4096PlusBits", makeIco({wide17NoBits, wide16DeepBits}), reduced(wide16DeepBits, 16, 16)},
        {"WidthByteZeroCountsAs256", makeIco({raw255, raw256}), reduced(raw256, 0, 0)},
        {"EmptyImageIsUsable", makeIco({emptyImage}), reduced(emptyImage, 64, 64)},
    };

    // Not an ICO, or a directory header out of range: unchanged.
    const std::string one = makeIco({small16});
    cases.push_back({"EmptyBody", std::string(), std::string()});
    cases.push_back({"PngBodyIsNotIco", pngData(16, 16), pngData(16, 16)});
    cases.push_back({"ReservedWordNotZero", makeIco({small16}, 0xFFFFFFFF, 1), makeIco({small16}, 0xFFFFFFFF, 1)});
    cases.push_back({"CursorTypeIsNotIco", makeIco({small16}, 0xFFFFFFFF, 0, 2), makeIco({small16}, 0xFFFFFFFF, 0, 2)});
    cases.push_back({"CountZero", makeIco({small16}, 0), makeIco({small16}, 0)});
    cases.push_back({"CountAbove64", makeIco({small16}, 65), makeIco({small16}, 65)});
    cases.push_back({"ShorterThan22", one.substr(0, 21), one.substr(0, 21)});
    // A directory that claims more entries than the body holds: only the entries
    // lying wholly inside are read.
    // The image bytes read as further entries have offsets beyond the body.
    const Entry filler{16, 16, 32, std::string(60, '\xFF')};
    cases.push_back({"CountBeyondTheBodyReadsOnlyWholeEntries", makeIco({filler}, 64), reduced(filler, 16, 16)});
    Entry atEnd{8, 8, 1, std::string()};
    atEnd.offset = 22;
    cases.push_back({"OffsetEqualToLengthIsUnusable", makeIco({atEnd}), makeIco({atEnd})});
    return cases;
}

TEST(IcoReduce, TableOfBodies)
{
    for (const IcoCase& c : icoCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(reduceIco(c.input), c.expected);
    }
}

TEST(IcoReduce, ReducedFileIsStable)
{
    // Reducing an already reduced file changes nothing.
    const std::string once = reduceIco(makeIco({{16, 16, 32, dibData(16, 32)}, {0, 0, 32, pngData(256, 256)}}));
    EXPECT_EQ(reduceIco(once), once);
}

TEST(IcoReduce, EveryTruncationOfAnIcoIsSafe)
{
    // Cut a three-image file at every length: the result is either the cut body
    // unchanged or a one-image ICO whose image lies inside the cut body.
    const std::string full = makeIco({{16, 16, 32, dibData(16, 32)},
                                      {32, 32, 32, dibData(32, 64)},
                                      {0, 0, 32, pngData(256, 256)}});
    for (size_t length = 0; length <= full.size(); ++length) {
        const std::string cut = full.substr(0, length);
        const std::string out = reduceIco(cut);
        if (out == cut) continue;
        SCOPED_TRACE(length);
        ASSERT_GE(out.size(), 22u);
        EXPECT_EQ(out.substr(0, 6), std::string("\0\0\1\0\1\0", 6));
        EXPECT_NE(cut.find(out.substr(22)), std::string::npos);
    }
}

}  // namespace
