// Times the local search over a made-up catalog: building the index, and
// filtering every app for queries of 1, 2 and 4 letters and a Han one.
// Platform-free: built natively and for Windows (see search_bench.sh).
//
//   search_bench [apps] [rounds] [seed]

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/app_search.h"

namespace {

using Clock = std::chrono::steady_clock;

// Common characters of app names and descriptions, several of them with more
// than one reading (行重长乐还地得了).
const wchar_t kHan[] =
    L"音乐视频播放器浏览器安全卫士输入法文字办公表格演示邮件云盘下载管理助手相机图片编辑美化"
    L"游戏王者荣耀和平精英地图导航打车外卖购物银行支付理财股票新闻阅读小说漫画学习词典翻译"
    L"健身运动天气日历时钟闹钟计算器笔记记事本压缩解压杀毒清理加速手机电脑数据恢复备份同步"
    L"行重长乐还得了会议直播录屏截图设计建模开发工具代码终端数据库远程桌面网络传输共享社交"
    L"聊天通讯微博知乎豆瓣旅行酒店机票火车门票美食菜谱医疗健康育儿教育考试驾照招聘房产汽车";
const wchar_t* const kLatin[] = {L"QQ", L"WPS", L"Pro", L"HD", L"Office", L"Cloud", L"Go", L"X"};

struct Random {
    uint64_t state;
    uint32_t next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33);
    }
    size_t below(size_t n) { return next() % n; }
};

std::wstring hanText(Random& random, size_t length)
{
    const size_t pool = sizeof kHan / sizeof kHan[0] - 1;
    std::wstring text;
    for (size_t i = 0; i < length; ++i) text += kHan[random.below(pool)];
    return text;
}

struct OwnedApp {
    std::wstring name;
    std::wstring description;
    std::vector<size_t> categories;
};

std::vector<OwnedApp> makeApps(size_t count, Random& random, size_t categories)
{
    std::vector<OwnedApp> apps(count);
    for (OwnedApp& app : apps) {
        if (random.below(4) == 0) app.name = kLatin[random.below(sizeof kLatin / sizeof kLatin[0])];
        app.name += hanText(random, 2 + random.below(5));
        if (random.below(8) == 0) app.name += L" " + std::to_wstring(random.below(100));
        app.description = hanText(random, 8 + random.below(16));
        app.categories.push_back(random.below(categories));
        if (random.below(3) == 0) app.categories.push_back(random.below(categories));
    }
    return apps;
}

double millisSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures {
    double median;
    double worst;
};

Figures figuresOf(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

}  // namespace

int main(int argc, char** argv)
{
    const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 50;
    const uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 19;
    if (count == 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: search_bench [apps] [rounds] [seed]\n");
        return 2;
    }
    Random random{seed};
    const size_t categoryCount = 100;
    const std::vector<OwnedApp> owned = makeApps(count, random, categoryCount);
    std::vector<std::wstring> categoryTexts;
    for (size_t c = 0; c < categoryCount; ++c) categoryTexts.push_back(hanText(random, 4));
    std::vector<std::wstring_view> categoryNames(categoryTexts.begin(), categoryTexts.end());
    std::vector<SearchableApp> apps;
    for (const OwnedApp& app : owned) apps.push_back({app.name, app.description, app.categories});
    std::printf("%zu apps, %zu categories, seed %llu, %d rounds\n", count, categoryCount,
                static_cast<unsigned long long>(seed), rounds);

    std::vector<double> buildTimes;
    SearchIndex index;
    for (int r = 0; r < std::max(1, rounds / 10); ++r) {
        const Clock::time_point start = Clock::now();
        index = SearchIndex(apps, categoryNames);
        buildTimes.push_back(millisSince(start));
    }
    const Figures build = figuresOf(buildTimes);
    std::printf("build index          median %8.3f ms   worst %8.3f ms\n", build.median, build.worst);

    const struct {
        const wchar_t* text;
        const char* label;
    } queries[] = {{L"s", "\"s\""},           {L"zs", "\"zs\""},       {L"shou", "\"shou\""},
                   {L"yinyue", "\"yinyue\""}, {L"音乐", "two Han"}, {L"x zs", "\"x zs\""}};
    for (const auto& query : queries) {
        std::vector<double> times;
        size_t found = 0;
        for (int r = 0; r < rounds; ++r) {
            const Clock::time_point start = Clock::now();
            found = index.find(query.text).size();
            times.push_back(millisSince(start));
        }
        const Figures filter = figuresOf(times);
        std::printf("filter %-12s  median %8.3f ms   worst %8.3f ms   %zu found\n", query.label, filter.median,
                    filter.worst, found);
    }
    return 0;
}
