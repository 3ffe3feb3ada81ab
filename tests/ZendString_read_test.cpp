// Reading strings like standard strings: accessors, ordering, searching, hashing.
#include "engine_test.h"

#include <cstring>

namespace {

using StringReading = EngineTest;

constexpr const char* kNullText = nullptr;
const zend_string* const kNullString = nullptr;

TEST_F(StringReading, EmptyHandleAnswers) {
    ZendString empty;
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty.data(), nullptr);
    ASSERT_NE(empty.c_str(), nullptr);
    EXPECT_EQ(*empty.c_str(), '\0');
    EXPECT_EQ(empty.view().data(), nullptr);
    EXPECT_EQ(empty.hash(), 0u);
    EXPECT_FALSE(empty.isInterned());
    EXPECT_EQ(empty.find("a"), ZendString::npos);
    EXPECT_EQ(empty.find(std::string_view()), ZendString::npos);
    EXPECT_EQ(empty.find_first_of('a'), ZendString::npos);
    EXPECT_FALSE(empty.contains("a"));
    EXPECT_FALSE(empty.ends_with(""));
    EXPECT_FALSE(empty.ends_with('\0'));
    EXPECT_EQ(empty.compare(kNullText), 0);
    EXPECT_EQ(empty.compare(ZendString()), 0);
    EXPECT_EQ(empty.compare(""), -1);
    EXPECT_EQ(empty.compare("a"), -1);
}

TEST_F(StringReading, ZeroLengthStringIsNotAnEmptyHandle) {
    ZendString zero("");
    EXPECT_TRUE(zero.empty());
    EXPECT_NE(zero.data(), nullptr);
    EXPECT_NE(zero.view().data(), nullptr);
    EXPECT_EQ(zero.compare(""), 0);
    EXPECT_EQ(zero.compare(kNullText), 1);
    EXPECT_EQ(zero.compare(ZendString()), 1);
    EXPECT_TRUE(zero.ends_with(""));
    EXPECT_FALSE(zero.ends_with('x'));
    EXPECT_FALSE(zero.ends_with(kNullText));
    EXPECT_EQ(zero.front(), '\0');
}

TEST_F(StringReading, AccessorsSeeTheEngineString) {
    ZendString abc("abc");
    EXPECT_EQ(abc.size(), 3u);
    EXPECT_EQ(abc.data(), abc.get()->val);
    EXPECT_EQ(abc.c_str(), abc.get()->val);
    EXPECT_EQ(abc.view(), "abc");
    EXPECT_EQ(abc.front(), 'a');
    EXPECT_EQ(abc.back(), 'c');
    EXPECT_EQ(abc.refCount(), 1u) << "reading never counts";
}

TEST_F(StringReading, CompareOrdersBytesAsUnsigned) {
    ZendString abc("abc");
    EXPECT_LT(abc.compare("abd"), 0);
    EXPECT_GT(abc.compare("abb"), 0);
    EXPECT_EQ(abc.compare("abc"), 0);
    EXPECT_EQ(ZendString("ab").compare("abc"), -1);
    EXPECT_EQ(abc.compare("ab"), 1);
    EXPECT_EQ(abc.compare(kNullString), 1);

    ZendString high("\x80");
    EXPECT_GT(high.compare("\x7f"), 0);
    EXPECT_LT(ZendString("\x7f").compare(high), 0);

    ZendString other("abc");
    EXPECT_EQ(abc.compare(other), 0);
    EXPECT_EQ(abc.compare(other.get()), 0);

    const char withZero[] = {'a', '\0', 'b'};
    ZendString embedded(std::string_view(withZero, 3));
    EXPECT_EQ(embedded.compare(std::string_view(withZero, 3)), 0);
    EXPECT_EQ(embedded.compare("a"), 1) << "the C string ends at its zero byte";
}

TEST_F(StringReading, FindScansForTheWholeNeedle) {
    ZendString s("abcabc");
    EXPECT_EQ(s.find("bc", 0), 1u);
    EXPECT_EQ(s.find("bc", 2), 4u);
    EXPECT_EQ(s.find("bc", 4), 4u);
    EXPECT_EQ(s.find("bc", 5), ZendString::npos);
    EXPECT_EQ(s.find("abcabcx"), ZendString::npos);
    EXPECT_EQ(s.find("abcabc"), 0u);
    EXPECT_EQ(s.find("c", ZendString::npos), ZendString::npos);
    EXPECT_EQ(s.find("ca"), 2u);
    EXPECT_EQ(s.find("cb"), ZendString::npos);
    EXPECT_EQ(s.find(ZendString("cab")), 2u);
    EXPECT_EQ(s.find(ZendString("cab").get()), 2u);
    EXPECT_EQ(s.find(ZendString()), ZendString::npos);
    EXPECT_EQ(s.find(kNullString), ZendString::npos);

    EXPECT_EQ(s.find(""), ZendString::npos) << "an empty needle is never found";
    EXPECT_FALSE(s.contains(""));
    EXPECT_TRUE(s.ends_with(""));
    EXPECT_TRUE(s.contains("cabc"));
    EXPECT_FALSE(s.contains("abd"));
    EXPECT_TRUE(s.contains(ZendString("bca")));
    EXPECT_TRUE(s.contains(ZendString("bca").get()));
    EXPECT_FALSE(s.contains(kNullText));
}

TEST_F(StringReading, FindFirstOfStaysInsideTheString) {
    ZendString s("abcabc");
    EXPECT_EQ(s.find_first_of('c', 3), 5u);
    EXPECT_EQ(s.find_first_of('a'), 0u);
    EXPECT_EQ(s.find_first_of('a', 6), ZendString::npos);
    EXPECT_EQ(s.find_first_of('a', ZendString::npos), ZendString::npos);
    EXPECT_EQ(s.find_first_of('\0'), ZendString::npos) << "the terminator is not searched";
}

TEST_F(StringReading, EmbeddedZeroBytesAreCharacters) {
    const char bytes[] = {'a', '\0', 'b'};
    ZendString s(std::string_view(bytes, 3));
    EXPECT_EQ(s.size(), 3u);
    EXPECT_EQ(s.find(std::string_view("\0", 1)), 1u);
    EXPECT_EQ(s.find_first_of('\0'), 1u);
    EXPECT_EQ(s.find(std::string_view("\0b", 2)), 1u);
    EXPECT_EQ(s.find("b"), 2u);
    EXPECT_TRUE(s.ends_with(std::string_view("\0b", 2)));
    EXPECT_TRUE(s.ends_with("b"));
}

TEST_F(StringReading, EndsWith) {
    ZendString s("file.txt");
    EXPECT_TRUE(s.ends_with('t'));
    EXPECT_FALSE(s.ends_with('x'));
    EXPECT_TRUE(s.ends_with(".txt"));
    EXPECT_TRUE(s.ends_with("file.txt"));
    EXPECT_FALSE(s.ends_with("afile.txt"));
    EXPECT_FALSE(s.ends_with(".tx"));
    EXPECT_FALSE(s.ends_with(std::string_view()));
}

TEST_F(StringReading, HashIsTheEnginesAndIsCached) {
    ZendString abc("abc");
    ASSERT_EQ(abc.get()->h, 0u);
    size_t computed = host::hashComputations();
    EXPECT_EQ(abc.hash(), 0x800000000b885c8bull);
    EXPECT_EQ(abc.get()->h, 0x800000000b885c8bull) << "the engine stores it";
    ACCOUNTED_EQ(host::hashComputations(), computed + 1);
    EXPECT_EQ(abc.hash(), 0x800000000b885c8bull);
    ACCOUNTED_EQ(host::hashComputations(), computed + 1) << "the second call reads the cache";

    EXPECT_EQ(ZendString("a").hash(), 0x800000000002b606ull);
    EXPECT_EQ(ZendString(zend_empty_string, false).hash(), 0x8000000000001505ull);
}

TEST_F(StringReading, InternedOnlyForEngineInternedStrings) {
    EXPECT_TRUE(ZendString(host::internString("i"), false).isInterned());
    EXPECT_TRUE(ZendString(zend_empty_string, false).isInterned());
    EXPECT_FALSE(ZendString("i").isInterned());
    EXPECT_FALSE(ZendString::deep_copy(host::internString("i"), true).isInterned());
}

}  // namespace
