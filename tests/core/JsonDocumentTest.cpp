// A parsed document's memory: values that outlive the document's root, long
// containers (built in place once they pass the gathering limit) and
// documents made and dropped by the thousand. Platform-free; the native build
// runs it under AddressSanitizer.

#include "core/json.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// More items than the parser gathers before it counts a container to its end.
constexpr int kLong = 70000;

// A long array whose items vary in kind; strings hold the bytes that end
// containers and strings, escaped and raw.
std::string longArray(int count, const std::string& last = "0")
{
    std::string text = "[";
    for (int i = 0; i < count; ++i) {
        switch (i % 5) {
        case 0: text += std::to_string(i); break;
        case 1: text += "\"s" + std::to_string(i) + "],}\\\"\\u005d\""; break;
        case 2: text += "{\"i\":" + std::to_string(i) + ",\"a\":[1,[2,{}]]}"; break;
        case 3: text += "[]"; break;
        default: text += "\"\\u12\\\"]\""; break;
        }
        text += ",";
    }
    return text + last + "]";
}

void expectLongArrayItem(const json::Value& item, int i)
{
    switch (i % 5) {
    case 0: EXPECT_EQ(item.number, i); break;
    case 1: EXPECT_EQ(item.string, "s" + std::to_string(i) + "],}\"]"); break;
    case 2:
        ASSERT_NE(item.get("a"), nullptr);
        EXPECT_EQ(item.get("i")->asInt(-1), i);
        EXPECT_EQ(item.get("a")->array[1]->array[1]->type, json::Type::Object);
        break;
    case 3: EXPECT_EQ(item.type, json::Type::Array); break;
    default: EXPECT_EQ(item.string, "\xE1\x88\x80]") << "the escape took the quote as a digit"; break;
    }
}

std::string nested(int depth)
{
    return std::string(depth, '[') + std::string(depth, ']');
}

}  // namespace

TEST(JsonDocument, LongArraysKeepEveryItemInOrder)
{
    auto root = json::parse(longArray(kLong));
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->array.size(), size_t(kLong) + 1);
    int i = 0;
    for (const auto& item : root->array) {
        if (i == kLong) break;
        expectLongArrayItem(*item, i++);
        if (HasFailure()) FAIL() << "item " << i - 1;
    }

    // One long array inside another, and after it more of the outer one.
    auto outer = json::parse("[" + longArray(kLong) + "," + longArray(kLong, "\"end\"") + ",7]");
    ASSERT_NE(outer, nullptr);
    ASSERT_EQ(outer->array.size(), 3u);
    EXPECT_EQ(outer->array[1]->array.back()->string, "end");
    expectLongArrayItem(*outer->array[1]->array[kLong - 1], kLong - 1);
    EXPECT_EQ(outer->array[2]->number, 7);
}

TEST(JsonDocument, LongObjectsKeepEveryMemberAndTheFirstOfAKeyWins)
{
    std::string text = "{\"dup\":\"first\"";
    for (int i = 0; i < kLong; ++i) text += ",\"k" + std::to_string(i) + "\":" + std::to_string(i);
    auto root = json::parse(text + ",\"dup\":\"last\"}");
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->object.size(), size_t(kLong) + 2);
    EXPECT_EQ(root->get("dup")->string, "first");
    EXPECT_EQ(root->object.back().second->string, "last");
    EXPECT_EQ(root->get("k69999")->number, 69999);
    EXPECT_EQ(root->object[40000].first, "k39999");
}

TEST(JsonDocument, LongContainersStillRejectWhatTheParserRejects)
{
    const std::string cases[] = {
        longArray(kLong, ""),                      // a trailing comma
        longArray(kLong, "0 1"),                   // a missing comma
        longArray(kLong).substr(0, 500000),        // cut short
        longArray(kLong, "0}"),                    // the wrong closer
        longArray(kLong, "[" + nested(64) + "]"),  // too deep inside it
    };
    for (const auto& text : cases) EXPECT_EQ(json::parse(text), nullptr) << text.substr(text.size() - 40);
}

TEST(JsonDocument, NestingLimitHoldsInsideLongContainers)
{
    // The outer array is one level: 63 more are allowed in its last item.
    EXPECT_NE(json::parse(longArray(kLong, nested(63))), nullptr);
    EXPECT_EQ(json::parse(longArray(kLong, nested(64))), nullptr);
    // The long array itself at the deepest level its items allow (its objects hold four more).
    const std::string deep = std::string(59, '[') + longArray(kLong) + std::string(59, ']');
    EXPECT_NE(json::parse(deep), nullptr);
    EXPECT_EQ(json::parse("[" + deep + "]"), nullptr);
}

TEST(JsonDocument, ValuesOutliveTheirDocumentsRoot)
{
    std::shared_ptr<json::Value> element;
    std::shared_ptr<json::Value> member;
    {
        auto root = json::parse("{\"list\":" + longArray(kLong) + ",\"name\":\"kept\"}");
        ASSERT_NE(root, nullptr);
        element = root->get("list")->array[kLong - 3];
        member = root->object[1].second;
        EXPECT_EQ(root.use_count(), 3) << "both share the document's ownership";
    }
    EXPECT_EQ(member->string, "kept");
    expectLongArrayItem(*element, kLong - 3);
    member.reset();
    EXPECT_EQ(element->get("a")->array[0]->number, 1) << "the last handle alone keeps the document";
}

TEST(JsonDocument, ManySmallDocumentsComeAndGo)
{
    const std::string shapes[] = {"{}", "[]", "\"\"", "0", "{\"server\":\"http://127.0.0.1:1\",\"channel\":\"a\\\"b\"}",
                                  "[[1],[2,[3]],{\"k\":[{}]}]", "[\"x\",", "{\"a\":1,}"};
    std::vector<std::shared_ptr<json::Value>> kept;
    for (int i = 0; i < 20000; ++i) {
        const std::string& text = shapes[i % 8];
        auto value = json::parse(text);
        ASSERT_EQ(value != nullptr, i % 8 < 6) << text;
        if (i % 97 == 0 && value) kept.push_back(value->type == json::Type::Array && !value->array.empty()
                                                     ? std::shared_ptr<json::Value>(value->array.back())
                                                     : value);
    }
    for (const auto& value : kept) EXPECT_NE(value->type, json::Type::Null);
    auto config = json::parse(shapes[4]);
    EXPECT_EQ(config->get("channel")->asString(""), "a\"b");
}
