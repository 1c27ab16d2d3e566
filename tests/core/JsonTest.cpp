#include "core/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace std::string_literals;

namespace {

struct TextCase {
    std::string text;
    const char* why;
};

// The string that the text parses to; a marker when rejected or not a string.
std::string parsedString(const std::string& text)
{
    auto value = json::parse(text);
    if (!value) return "<rejected>";
    if (value->type != json::Type::String) return "<not a string>";
    return value->string;
}

std::string nested(int depth, const std::string& open, const std::string& inner, const std::string& close)
{
    std::string text;
    for (int i = 0; i < depth; ++i) text += open;
    text += inner;
    for (int i = 0; i < depth; ++i) text += close;
    return text;
}

}  // namespace

TEST(JsonParse, RejectsTextWithoutAValue)
{
    const TextCase cases[] = {
        {"", "empty"},
        {" \t\r\n", "only whitespace"},
        {"\xEF\xBB\xBF", "only a byte order mark"},
        {"\xEF\xBB\xBF \n", "byte order mark and whitespace"},
        {"\v", "vertical tab is not whitespace and not a value"},
        {"\f", "form feed is not whitespace and not a value"},
    };
    for (const auto& c : cases) EXPECT_EQ(json::parse(c.text), nullptr) << c.why;
}

TEST(JsonParse, SkipsALeadingByteOrderMarkOnly)
{
    auto value = json::parse("\xEF\xBB\xBF{}");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, json::Type::Object);
    EXPECT_TRUE(value->object.empty());

    auto number = json::parse("\xEF\xBB\xBF 7");
    ASSERT_NE(number, nullptr);
    EXPECT_EQ(number->number, 7);

    EXPECT_EQ(json::parse(" \xEF\xBB\xBF{}"), nullptr) << "the mark only counts at the very start";
    EXPECT_EQ(json::parse("\xEF\xBB{}"), nullptr) << "a partial mark is no mark";
    EXPECT_EQ(json::parse("\xEF\xBB\xBF\xEF\xBB\xBF{}"), nullptr) << "only one mark is skipped";
}

TEST(JsonParse, WhitespaceIsExactlyTabLineFeedCarriageReturnAndSpace)
{
    auto value = json::parse("\t\r\n [ 1 ,\t2\r,\n3 ] \t\r\n");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->array.size(), 3u);

    const TextCase cases[] = {
        {"{\f}", "form feed inside an object"},
        {"{\"a\":1\v}", "vertical tab before a closing brace"},
        {"[1]\f", "form feed after the value"},
        {"\xC2\xA0[]", "no-break space"},
    };
    for (const auto& c : cases) EXPECT_EQ(json::parse(c.text), nullptr) << c.why;
}

TEST(JsonParse, RejectsTrailingText)
{
    const TextCase cases[] = {
        {"{} x", "a word after an object"},
        {"1 2", "two numbers"},
        {"[]]", "an extra bracket"},
        {"truex", "a literal followed by letters"},
        {"nullnull", "two literals"},
        {"\"a\" \"b\"", "two strings"},
        {"{}\0"s, "an embedded NUL after the value"},
        {"1\0" "2"s, "a number cut by an embedded NUL"},
    };
    for (const auto& c : cases) EXPECT_EQ(json::parse(c.text), nullptr) << c.why;
}

TEST(JsonParse, LiteralsNeedTheirFullSpelling)
{
    auto yes = json::parse("true");
    ASSERT_NE(yes, nullptr);
    EXPECT_EQ(yes->type, json::Type::Bool);
    EXPECT_TRUE(yes->boolean);

    auto no = json::parse(" false ");
    ASSERT_NE(no, nullptr);
    EXPECT_EQ(no->type, json::Type::Bool);
    EXPECT_FALSE(no->boolean);

    auto nothing = json::parse("null");
    ASSERT_NE(nothing, nullptr);
    EXPECT_EQ(nothing->type, json::Type::Null);

    const TextCase cases[] = {
        {"tru", "true cut short"},    {"fals", "false cut short"}, {"nul", "null cut short"},
        {"True", "capital T"},        {"NULL", "capitals"},        {"[tru]", "cut short inside an array"},
        {"ftrue", "f followed by true"}, {"nan", "lowercase n always means null"},
    };
    for (const auto& c : cases) EXPECT_EQ(json::parse(c.text), nullptr) << c.why;
}

TEST(JsonParse, NumbersFollowTheStrtodGrammar)
{
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* text;
        double expected;
    } cases[] = {
        {"0", 0},          {"42", 42},         {"-17", -17},      {"+1", 1},         {".5", 0.5},
        {"1.", 1},         {"007", 7},         {"0x1A", 26},      {"0X1a", 26},      {"1.5e3", 1500},
        {"2E-2", 0.02},    {"1e400", inf},     {"-1e400", -inf},  {"Infinity", inf}, {"-Infinity", -inf},
        {"INF", inf},      {"1e-400", 0},      {"  3.25  ", 3.25}, {"9007199254740993", 9007199254740992.0},
    };
    for (const auto& c : cases) {
        auto value = json::parse(c.text);
        ASSERT_NE(value, nullptr) << c.text;
        EXPECT_EQ(value->type, json::Type::Number) << c.text;
        EXPECT_EQ(value->number, c.expected) << c.text;
    }
}

TEST(JsonParse, NaNAndNegativeZeroKeepTheirIdentity)
{
    auto nan = json::parse("NaN");
    ASSERT_NE(nan, nullptr);
    EXPECT_EQ(nan->type, json::Type::Number);
    EXPECT_TRUE(std::isnan(nan->number));

    auto negativeZero = json::parse("-0");
    ASSERT_NE(negativeZero, nullptr);
    EXPECT_EQ(negativeZero->number, 0);
    EXPECT_TRUE(std::signbit(negativeZero->number));
}

TEST(JsonParse, RejectsWhatStrtodCannotConvert)
{
    const TextCase cases[] = {
        {"-", "a lone minus"},     {"+", "a lone plus"},     {".", "a lone point"},
        {"e5", "an exponent without digits"},               {"0x", "hex prefix without digits leaves an x"},
        {"1e", "dangling exponent leaves an e"},            {"}", "a closing brace"},
        {"]", "a closing bracket"}, {":", "a colon"},       {"\0"s, "a NUL byte"},
        {"\xE4\xB8\x80", "a multi-byte character"},
    };
    for (const auto& c : cases) EXPECT_EQ(json::parse(c.text), nullptr) << c.why;
}

TEST(JsonParse, NumberStopsAtTheEndOfTheTextNotOfTheBuffer)
{
    const char buffer[] = "123456";
    auto value = json::parse(std::string(buffer, 3));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->number, 123);

    auto exponent = json::parse(std::string("1e5", 2));
    EXPECT_EQ(exponent, nullptr) << "the e is trailing text once the 5 is cut off";
}

TEST(JsonParse, StringEscapesGiveTheirBytes)
{
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {R"("plain")", "plain"},
        {R"("\"")", "\""},
        {R"("\\")", "\\"},
        {R"("\/")", "/"},
        {R"("\b\f\n\r\t")", "\b\f\n\r\t"},
        {R"("\q\'\a")", "q'a"},
        {"\"tab\there\"", "tab\there"},
        {"\"\x01\x1F\x7F\"", "\x01\x1F\x7F"},
        {"\"\xE8\xBD\xAF\xFF\"", "\xE8\xBD\xAF\xFF"},
        {"\"a\0b\""s, "a\0b"s},
    };
    for (const auto& c : cases) EXPECT_EQ(parsedString(c.text), c.expected) << c.text;
}

TEST(JsonParse, StringCutShortByTheEndOfTextKeepsWhatWasRead)
{
    EXPECT_EQ(parsedString("\"abc"), "abc");
    EXPECT_EQ(parsedString("\"abc\\"), "abc") << "a final backslash ends the string";
    EXPECT_EQ(parsedString("\""), "");
    EXPECT_EQ(json::parse("[\"abc"), nullptr) << "the array is still open";
    EXPECT_EQ(json::parse("{\"a"), nullptr) << "a key without its colon";
}

TEST(JsonParse, UnicodeEscapesEncodeAsUtf8)
{
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {R"("\u0041")", "A"},
        {R"("\u00e9")", "\xC3\xA9"},
        {R"("\u00E9")", "\xC3\xA9"},
        {R"("\u007f")", "\x7F"},
        {R"("\u0080")", "\xC2\x80"},
        {R"("\u07ff")", "\xDF\xBF"},
        {R"("\u0800")", "\xE0\xA0\x80"},
        {R"("\u8f6f")", "\xE8\xBD\xAF"},
        {R"("\uffff")", "\xEF\xBF\xBF"},
        {R"("\u0000")", "\0"s},
    };
    for (const auto& c : cases) EXPECT_EQ(parsedString(c.text), c.expected) << c.text;
}

TEST(JsonParse, SurrogatePairsCombineAndLoneHalvesStay)
{
    const struct {
        std::string text;
        std::string expected;
        const char* why;
    } cases[] = {
        {R"("\ud83d\ude00")", "\xF0\x9F\x98\x80", "a pair"},
        {R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80", "a pair in capitals"},
        {R"("\udbff\udfff")", "\xF4\x8F\xBF\xBF", "the last code point"},
        {R"("\ud83d")", "\xED\xA0\xBD", "a high surrogate alone"},
        {R"("\ud83dabcdef")", "\xED\xA0\xBD" "abcdef", "a high surrogate followed by text"},
        {R"("\ude00")", "\xED\xB8\x80", "a low surrogate alone"},
        {R"("\ud83d\u12g4")", "\xED\xA0\xBD\xE1\x88\x84", "second escape with a bad digit is read on its own"},
        {R"("\ud800\u0041")", "\xE2\x91\x81", "any second escape is combined, even one that is not a low surrogate"},
        {"\"\\ud83d\\u12", "\xED\xA0\xBD" "12", "second escape cut short by the end of the text"},
    };
    for (const auto& c : cases) EXPECT_EQ(parsedString(c.text), c.expected) << c.why;
}

TEST(JsonParse, UnicodeEscapeTakesFourBytesWhenFourRemain)
{
    // The quote and the bracket count as zero digits: U+1200, and the string goes on.
    EXPECT_EQ(parsedString("\"\\u12\"]"), "\xE1\x88\x80");
    EXPECT_EQ(json::parse("[\"\\u12\"]"), nullptr) << "the string swallowed the closing quote";
    EXPECT_EQ(parsedString(R"("\uzz41")"), "A") << "non-hex digits count as zero";
}

TEST(JsonParse, UnicodeEscapeIsDroppedWhenFewerThanFourBytesRemain)
{
    EXPECT_EQ(parsedString("\"\\u12\""), "12");
    EXPECT_EQ(parsedString("\"ab\\u"), "ab");
    EXPECT_EQ(parsedString("\"ab\\u0"), "ab0");
    EXPECT_EQ(parsedString("\"\\u123"), "123");
}

TEST(JsonParse, NestingUpToSixtyFourLevelsIsAccepted)
{
    EXPECT_NE(json::parse(nested(64, "[", "", "]")), nullptr);
    EXPECT_EQ(json::parse(nested(65, "[", "", "]")), nullptr);
    EXPECT_NE(json::parse(nested(64, "{\"a\":", "1", "}")), nullptr);
    EXPECT_EQ(json::parse(nested(65, "{\"a\":", "1", "}")), nullptr);
    EXPECT_NE(json::parse(nested(32, "[{\"k\":", "1", "}]")), nullptr);
    EXPECT_EQ(json::parse(nested(32, "[{\"k\":", "[]", "}]")), nullptr) << "an empty array is a level too";
}

TEST(JsonParse, ClosedContainersGiveTheirLevelBack)
{
    std::string siblings = "[";
    for (int i = 0; i < 100; ++i) siblings += "[],[1],{},{\"a\":2},";
    siblings += "0]";
    EXPECT_NE(json::parse(siblings), nullptr);

    std::string deepSiblings = "[" + nested(63, "[", "", "]") + "," + nested(63, "[", "", "]") + "]";
    EXPECT_NE(json::parse(deepSiblings), nullptr);
}

TEST(JsonParse, HostileNestingIsRejectedWithoutExhaustingTheStack)
{
    EXPECT_EQ(json::parse(std::string(1000000, '[')), nullptr);
    EXPECT_EQ(json::parse(nested(200000, "{\"\":", "", "")), nullptr);
}

TEST(JsonParse, ArraysKeepDocumentOrderAndRejectBadSeparators)
{
    auto value = json::parse("[3,\"x\",null,true,[],{}]");
    ASSERT_NE(value, nullptr);
    ASSERT_EQ(value->type, json::Type::Array);
    ASSERT_EQ(value->array.size(), 6u);
    EXPECT_EQ(value->array[0]->number, 3);
    EXPECT_EQ(value->array[1]->string, "x");
    EXPECT_EQ(value->array[2]->type, json::Type::Null);
    EXPECT_EQ(value->array[3]->type, json::Type::Bool);
    EXPECT_EQ(value->array[4]->type, json::Type::Array);
    EXPECT_EQ(value->array[5]->type, json::Type::Object);

    auto empty = json::parse("[ \n ]");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->type, json::Type::Array);
    EXPECT_TRUE(empty->array.empty());

    const TextCase cases[] = {
        {"[1,]", "trailing comma"}, {"[1 2]", "missing comma"}, {"[,1]", "leading comma"},
        {"[1,2", "not closed"},     {"[", "only the opener"},   {"[1;2]", "wrong separator"},
        {"[1}", "wrong closer"},
    };
    for (const auto& c : cases) EXPECT_EQ(json::parse(c.text), nullptr) << c.why;
}

TEST(JsonParse, ObjectsKeepEveryMemberInDocumentOrder)
{
    auto value = json::parse(R"( { "b" : 1 , "a":"x", "a" : 2 } )");
    ASSERT_NE(value, nullptr);
    ASSERT_EQ(value->type, json::Type::Object);
    ASSERT_EQ(value->object.size(), 3u);
    EXPECT_EQ(value->object[0].first, "b");
    EXPECT_EQ(value->object[1].first, "a");
    EXPECT_EQ(value->object[2].first, "a");
    EXPECT_EQ(value->object[2].second->number, 2);

    const TextCase cases[] = {
        {R"({"a":1,})", "trailing comma"},      {R"({"a" 1})", "key without colon"},
        {R"({"a":})", "colon without value"},   {"{a:1}", "unquoted key"},
        {R"({"a":1 "b":2})", "missing comma"},  {R"({"a":1)", "not closed"},
        {"{,}", "only a comma"},                {R"({"a":1])", "wrong closer"},
        {R"({1:2})", "number as key"},
    };
    for (const auto& c : cases) EXPECT_EQ(json::parse(c.text), nullptr) << c.why;
}

TEST(JsonGet, FirstOfDuplicateKeysWins)
{
    auto value = json::parse(R"({"a":1,"a":2})");
    ASSERT_NE(value, nullptr);
    const json::Value* a = value->get("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->number, 1);
    EXPECT_EQ(value->object.size(), 2u);
}

TEST(JsonGet, KeysCompareByteForByte)
{
    auto value = json::parse(R"({"ab":1,"A":2,"k\u00e9":3,"x\u0000y":4})");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->get("a"), nullptr) << "a prefix is not the key";
    EXPECT_EQ(value->get("abc"), nullptr) << "a longer text is not the key";
    EXPECT_EQ(value->get("AB"), nullptr) << "no case folding";
    ASSERT_NE(value->get("A"), nullptr);
    ASSERT_NE(value->get("k\xC3\xA9"), nullptr);
    EXPECT_EQ(value->get("k\xC3\xA9")->number, 3);
    EXPECT_EQ(value->get("x"), nullptr) << "a key holding a NUL is longer than its C-string prefix";
    EXPECT_EQ(value->get("missing"), nullptr);
}

TEST(JsonGet, OnlyObjectsHaveMembers)
{
    for (const char* text : {R"(["a"])", R"("a")", "1", "null", "true"}) {
        auto value = json::parse(text);
        ASSERT_NE(value, nullptr) << text;
        EXPECT_EQ(value->get("a"), nullptr) << text;
    }
}

TEST(JsonAccessors, StringOnlyFromAString)
{
    auto value = json::parse(R"({"s":"text","n":5,"z":null,"e":""})");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->get("s")->asString("def"), "text");
    EXPECT_EQ(value->get("e")->asString("def"), "") << "an empty string is still a string";
    EXPECT_EQ(value->get("n")->asString("def"), "def");
    EXPECT_EQ(value->get("z")->asString("def"), "def");
    EXPECT_EQ(value->asString("def"), "def");
}

TEST(JsonAccessors, BoolOnlyFromABool)
{
    auto value = json::parse(R"([true,false,1,0,"true",null])");
    ASSERT_NE(value, nullptr);
    EXPECT_TRUE(value->array[0]->asBool(false));
    EXPECT_FALSE(value->array[1]->asBool(true));
    EXPECT_FALSE(value->array[2]->asBool(false)) << "a number never converts";
    EXPECT_TRUE(value->array[3]->asBool(true));
    EXPECT_FALSE(value->array[4]->asBool(false)) << "a string never converts";
    EXPECT_TRUE(value->array[5]->asBool(true));
}

TEST(JsonAccessors, IntTruncatesTowardZeroAndSaturates)
{
    const struct {
        const char* text;
        int32_t expected;
    } cases[] = {
        {"3.9", 3},
        {"-3.9", -3},
        {"-0.5", 0},
        {"2147483647", 2147483647},
        {"2147483647.9", 2147483647},
        {"2147483648", 2147483647},
        {"1e300", 2147483647},
        {"Infinity", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"-2147483648.9", -2147483647 - 1},
        {"-2147483649", -2147483647 - 1},
        {"-Infinity", -2147483647 - 1},
        {"NaN", 0},
        {"-NaN", 0},
    };
    for (const auto& c : cases) {
        auto value = json::parse(c.text);
        ASSERT_NE(value, nullptr) << c.text;
        EXPECT_EQ(value->asInt(99), c.expected) << c.text;
    }
    EXPECT_EQ(json::parse("\"5\"")->asInt(99), 99);
    EXPECT_EQ(json::parse("true")->asInt(99), 99);
    EXPECT_EQ(json::parse("null")->asInt(-1), -1);
}

TEST(JsonAccessors, Int64TruncatesTowardZeroAndSaturates)
{
    const int64_t max = std::numeric_limits<int64_t>::max();
    const int64_t min = std::numeric_limits<int64_t>::min();
    const struct {
        const char* text;
        int64_t expected;
    } cases[] = {
        {"2.5", 2},
        {"-2.5", -2},
        {"4294967296", 4294967296LL},
        {"9007199254740992", 9007199254740992LL},
        {"9223372036854774784", 9223372036854774784LL},  // the largest double below 2^63
        {"9223372036854775807", max},                     // rounds to 2^63
        {"1e19", max},
        {"Infinity", max},
        {"-9223372036854775808", min},
        {"-1e19", min},
        {"-Infinity", min},
        {"NaN", 0},
    };
    for (const auto& c : cases) {
        auto value = json::parse(c.text);
        ASSERT_NE(value, nullptr) << c.text;
        EXPECT_EQ(value->asInt64(7), c.expected) << c.text;
    }
    EXPECT_EQ(json::parse("[]")->asInt64(7), 7);
}

TEST(JsonValue, AChildOutlivesItsReleasedRoot)
{
    auto root = json::parse(R"({"list":[{"name":"kept"}]})");
    ASSERT_NE(root, nullptr);
    std::shared_ptr<json::Value> child = root->get("list")->array[0];
    root.reset();
    EXPECT_EQ(child->get("name")->asString(""), "kept");
}

TEST(JsonEscape, ExampleFromTheConfigurationWriter)
{
    EXPECT_EQ(json::escape("a\"b\\c\n\x01"), "a\\\"b\\\\c\\n\\u0001");
}

TEST(JsonEscape, EachByteClass)
{
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"", ""},
        {"\t", "\\t"},
        {"\r", "\\r"},
        {"\b", "\\u0008"},
        {"\f", "\\u000c"},
        {"\x1F", "\\u001f"},
        {"\x1B", "\\u001b"},
        {"\0"s, "\\u0000"},
        {" ", " "},
        {"/", "/"},
        {"\x7F", "\x7F"},
        {"\xE8\xBD\xAF\xFF", "\xE8\xBD\xAF\xFF"},
        {"D:\\\xE4\xB8\x8B\xE8\xBD\xBD", "D:\\\\\xE4\xB8\x8B\xE8\xBD\xBD"},
    };
    for (const auto& c : cases) EXPECT_EQ(json::escape(c.in), c.out);
}

TEST(JsonEscape, EveryByteSurvivesARoundTripThroughTheParser)
{
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(parsedString("\"" + json::escape(all) + "\""), all);
}

TEST(JsonNumber, TokenOfAtMost1024BytesParsesALongerOneFails)
{
    // The cost of strtod may grow with the square of the digits: a long token
    // must fail before it is converted. The limit counts the whole token.
    const std::string longest = "1" + std::string(1023, '0');
    const std::string tooLong = longest + "0";
    const std::string longestFraction = "0." + std::string(1022, '5');
    const struct {
        std::string text;
        bool accepted;
    } cases[] = {
        {longest, true},
        {"[" + longest + "," + longest + "]", true},
        {"{\"n\":" + longestFraction + "}", true},
        {"[" + longest + " ]", true},
        {tooLong, false},
        {"[" + tooLong + "]", false},
        {"{\"n\":-" + longest + "}", false},
        {"[0," + std::string(8 * 1024 * 1024, '7') + "]", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.size());
        EXPECT_EQ(json::parse(c.text) != nullptr, c.accepted);
    }
    auto value = json::parse(longestFraction);
    ASSERT_TRUE(value);
    EXPECT_NEAR(value->number, 5.0 / 9.0, 1e-12);
}
