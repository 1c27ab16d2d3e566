#pragma once
// The documents the JSON benchmarks parse: a catalog server's bootstrap answer
// for 10,000 apps (about 3.4 MB, as the development server writes it), and two
// 8 MiB answers a hostile or broken server could send.

#include <cstddef>
#include <cstdio>
#include <string>

namespace bench {

constexpr size_t kHostileDocumentBytes = 8 * 1024 * 1024;

// "[0,0,...,0]" of exactly kHostileDocumentBytes - 1 bytes: 4,194,304 numbers.
inline std::string numbersDocument()
{
    std::string text = "[";
    text.reserve(kHostileDocumentBytes);
    while (text.size() + 4 <= kHostileDocumentBytes) text += "0,";
    text += "0]";
    return text;
}

// A bootstrap answer whose app list is "{}" objects, kHostileDocumentBytes in all.
inline std::string appsDocument()
{
    const std::string head = "{\"code\":0,\"data\":{\"categories\":[],\"apps\":[{}";
    const std::string tail = "]}}";
    std::string text = head;
    text.reserve(kHostileDocumentBytes);
    while (text.size() + 3 + tail.size() <= kHostileDocumentBytes) text += ",{}";
    return text + tail;
}

// The bootstrap answer for `apps` apps in 20 categories, every field filled,
// compact UTF-8 as the development server sends it.
inline std::string catalogDocument(int apps)
{
    std::string text = "{\"code\":0,\"data\":{\"categories\":[";
    char piece[512];
    for (int i = 0; i < 20; ++i) {
        std::snprintf(piece, sizeof piece, "%s{\"id\":\"c%d\",\"name\":\"分类 %d\"}", i ? "," : "", i, i);
        text += piece;
    }
    text += "],\"apps\":[";
    for (int i = 0; i < apps; ++i) {
        std::snprintf(piece, sizeof piece,
                      "%s{\"id\":%d,\"name\":\"应用 %d Application\",\"version\":\"v%d.%d.%d\","
                      "\"categoryIds\":[\"c%d\",\"c%d\"],"
                      "\"description\":\"第 %d 个应用：一段不太长的说明文字 with some ASCII text too.\","
                      "\"icon\":\"/icons/%d.png\",\"packageSize\":%lld,\"md5\":\"%032llx\",\"hasPackage\":%s,"
                      "\"downloads\":%lld,\"updatedAt\":%lld}",
                      i ? "," : "", i + 1, i, i % 7, i % 13, i % 5, i % 20, i * 7 % 20, i, i, 1048576LL + i * 4096LL,
                      i * 2654435761ULL, i % 3 != 0 ? "true" : "false", i * 37LL, 1700000000000LL + i * 60000LL);
        text += piece;
    }
    return text + "]}}";
}

}  // namespace bench
