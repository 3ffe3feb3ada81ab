// PHP's own key rules: a decimal integer string is the integer key, as in PHP code's $a["42"].
#include "engine_test.h"

#include <climits>

namespace {

using PhpKeys = EngineTest;
using PhpKey = ZendArray::PhpKey;

struct KeyCase {
    std::string_view text;
    bool integer;
    long long value;
};

// What PHP 7.3 and 8.2 make of each key (ZEND_HANDLE_NUMERIC_STR).
const KeyCase kCases[] = {
    {"0", true, 0},
    {"42", true, 42},
    {"-5", true, -5},
    {"9223372036854775807", true, LLONG_MAX},
    {"-9223372036854775808", true, LLONG_MIN},
    {"1234567890123456789", true, 1234567890123456789},
    {"9223372036854775808", false, 0},
    {"-9223372036854775809", false, 0},
    {"99999999999999999999", false, 0},
    {"007", false, 0},
    {"00", false, 0},
    {"-0", false, 0},
    {"-01", false, 0},
    {"42 ", false, 0},
    {" 42", false, 0},
    {"+5", false, 0},
    {"-", false, 0},
    {"", false, 0},
    {"4e2", false, 0},
    {"1.5", false, 0},
    {"0x1A", false, 0},
    {"abc", false, 0},
    {std::string_view("4\0", 2), false, 0},
};

TEST_F(PhpKeys, DecimalIntegerStringsAreIntegersExactlyAsInPhp) {
    for (const KeyCase& c : kCases) {
        unsigned long long index = 12345;
        EXPECT_EQ(PhpKey::integerString(c.text, index), c.integer) << '"' << c.text << '"';
        if (c.integer) {
            EXPECT_EQ(static_cast<long long>(index), c.value) << '"' << c.text << '"';
        }

        PhpKey key(c.text);
        EXPECT_EQ(key.isInteger(), c.integer) << '"' << c.text << '"';
        EXPECT_EQ(key.isString(), !c.integer);
        if (!c.integer) {
            EXPECT_EQ(key.view(), c.text);
        }
    }
}

TEST_F(PhpKeys, TheEngineReadsEveryCaseTheSameWay) {
    for (const KeyCase& c : kCases) {
        unsigned long long index = 0;
        bool known = false;
        const bool integer = host::engineReadsIntegerKey(c.text, index, known);
        if (!known) GTEST_SKIP() << "needs a real engine to ask";
        EXPECT_EQ(integer, c.integer) << '"' << c.text << '"';
        if (integer) {
            EXPECT_EQ(static_cast<long long>(index), c.value) << '"' << c.text << '"';
        }
    }
}

TEST_F(PhpKeys, EveryFormOfKeyFollowsTheRules) {
    EXPECT_TRUE(PhpKey("42").isInteger());
    EXPECT_TRUE(PhpKey(std::string_view("42")).isInteger());
    ZendString text("42");
    PhpKey fromHandle(text);
    EXPECT_TRUE(fromHandle.isInteger());
    EXPECT_EQ(fromHandle.integer(), 42u);
    EXPECT_EQ(fromHandle.string(), nullptr);
    ZendString word("word");
    EXPECT_EQ(PhpKey(word).string(), word.get()) << "a string key keeps the caller's string";
    EXPECT_EQ(PhpKey(word.get()).string(), word.get());
    EXPECT_EQ(word.refCount(), 1u) << "a key counts nothing";
    EXPECT_EQ(PhpKey(std::string_view("word")).string(), nullptr) << "bytes are no engine string";
    EXPECT_FALSE(PhpKey(static_cast<zend_string*>(nullptr)).isValid());
    EXPECT_EQ(PhpKey(-5).integer(), static_cast<unsigned long long>(-5));
    EXPECT_EQ(PhpKey(static_cast<const char*>(nullptr)).kind(), PhpKey::Kind::None);
    EXPECT_EQ(PhpKey(ZendString()).kind(), PhpKey::Kind::None);
    EXPECT_EQ(PhpKey(std::string_view()).kind(), PhpKey::Kind::None);
}

TEST_F(PhpKeys, AValueIsAKeyAsArrayCountValuesTakesIt) {
    ZVal number(42);
    ZVal numeric(ZendString("42"));
    ZVal text(ZendString("text"));
    ZVal reference = ZVal::makeReference(ZVal(ZendString("-5")));
    EXPECT_EQ(PhpKey(*number.get()).integer(), 42u);
    EXPECT_TRUE(PhpKey(*numeric.get()).isInteger());
    EXPECT_EQ(PhpKey(*numeric.get()).integer(), 42u);
    EXPECT_EQ(PhpKey(*text.get()).string(), text.get()->value.str);
    EXPECT_EQ(PhpKey(*reference.get()).integer(), static_cast<unsigned long long>(-5)) << "read through";
    for (ZVal other : {ZVal(1.5), ZVal::makeNull(), ZVal::makeTrue(), ZVal(), ZVal(ZendArray(1))}) {
        EXPECT_FALSE(PhpKey(*other.get()).isValid());
    }
    ZendArray counts(8);
    EXPECT_EQ(counts.findOrAdd(PhpKey(*ZVal(1.5).get()), ZVal(0)), nullptr) << "no key: refused";
    ++counts.findOrAdd(PhpKey(*numeric.get()), ZVal(0))->value.lval;
    ++counts.findOrAdd(PhpKey(*number.get()), ZVal(0))->value.lval;
    ++counts.findOrAdd(PhpKey(*text.get()), ZVal(0))->value.lval;
    EXPECT_EQ(counts.at(42).asLong(), 2);
    EXPECT_EQ(counts.at("text").asLong(), 1);
    EXPECT_EQ(text.asString().refCount(), 3u) << "the table keeps the string itself as its key (and the handle here)";
}

TEST_F(PhpKeys, StoresLookupsAndRemovalUseTheIntegerKey) {
    ZendArray array(8);
    EXPECT_TRUE(array.insert(PhpKey("42"), ZVal(1)));
    EXPECT_TRUE(array.contains(42)) << "stored under the integer";
    EXPECT_FALSE(array.contains("42")) << "not under the string";
    EXPECT_EQ(array.at(PhpKey("42")).asLong(), 1);
    EXPECT_TRUE(array.contains(PhpKey(std::string_view("42"))));
    EXPECT_FALSE(array.add(PhpKey("42"), ZVal(2))) << "the key exists";
    EXPECT_TRUE(array.insert(PhpKey("-5"), ZVal(3)));
    EXPECT_EQ(array.at(-5).asLong(), 3);

    EXPECT_TRUE(array.add(PhpKey("007"), ZVal(4)));
    EXPECT_TRUE(array.contains("007")) << "a leading zero keeps the string";
    EXPECT_FALSE(array.contains(7));
    EXPECT_TRUE(array.add(PhpKey("9223372036854775808"), ZVal(5)));
    EXPECT_TRUE(array.contains("9223372036854775808"));

    EXPECT_TRUE(array.remove(PhpKey("42")));
    EXPECT_FALSE(array.contains(42));
    EXPECT_FALSE(array.remove(PhpKey("42")));
    EXPECT_TRUE(array.remove(PhpKey("007")));
    EXPECT_EQ(array.size(), 2u);
}

TEST_F(PhpKeys, TheEmptyStringIsAKeyAsInPhp) {
    ZendArray array(8);
    EXPECT_FALSE(array.add("", ZVal(1))) << "the byte-string forms refuse an empty key";
    EXPECT_TRUE(array.add(PhpKey(""), ZVal(1)));
    EXPECT_TRUE(array.contains(ZendString(""))) << "the same element as under a ZendString holding \"\"";
    EXPECT_TRUE(array.contains(PhpKey("")));
    EXPECT_EQ(array.at(PhpKey(std::string_view(""))).asLong(), 1);
    EXPECT_TRUE(array.insert(PhpKey(""), ZVal(2)));
    EXPECT_EQ(array.size(), 1u);
    EXPECT_EQ(++array.findOrAdd(PhpKey(""), ZVal(0))->value.lval, 3);
    EXPECT_TRUE(array.remove(PhpKey("")));
    EXPECT_EQ(array.size(), 0u);
}

TEST_F(PhpKeys, FindOrAddCountsWordsAsPhpWould) {
    // $counts[$word]++ for each word.
    ZendArray counts(8);
    for (std::string_view word : {"7", "x", "07", "7", "-1", "x", "7"}) {
        ++counts.findOrAdd(PhpKey(word), ZVal(0))->value.lval;
    }
    EXPECT_EQ(counts.at(7).asLong(), 3);
    EXPECT_EQ(counts.at("x").asLong(), 2);
    EXPECT_EQ(counts.at("07").asLong(), 1);
    EXPECT_EQ(counts.at(-1).asLong(), 1);
    EXPECT_EQ(counts.size(), 4u);

    ZendString word("word");
    ASSERT_NE(counts.findOrAdd(PhpKey(word), ZVal(0)), nullptr);
    EXPECT_EQ(word.refCount(), 2u) << "a string key given as a ZendString is kept as the table's key";
    ZendString seven("7");
    EXPECT_EQ(++counts.findOrAdd(PhpKey(seven), ZVal(0))->value.lval, 4);
    EXPECT_EQ(seven.refCount(), 1u) << "an integer key keeps nothing of the string";
}

TEST_F(PhpKeys, RefusedKeysStoreNothingAndGiveTheValueBack) {
    ZendArray array(8);
    ZendString value("v");
    EXPECT_FALSE(array.add(PhpKey(static_cast<const char*>(nullptr)), ZVal(value)));
    EXPECT_FALSE(array.insert(PhpKey(ZendString()), ZVal(value)));
    EXPECT_EQ(array.findOrAdd(PhpKey(std::string_view()), ZVal(value)), nullptr);
    EXPECT_TRUE(array.at(PhpKey(static_cast<const char*>(nullptr))).isUndef());
    EXPECT_FALSE(array.contains(PhpKey(ZendString())));
    EXPECT_FALSE(array.remove(PhpKey(ZendString())));
    EXPECT_EQ(value.refCount(), 1u);
    EXPECT_EQ(array.size(), 0u);
    EXPECT_FALSE(ZendArray().insert(PhpKey("1"), ZVal(1)));
    EXPECT_FALSE(ZendArray().insert(PhpKey("a"), ZVal(1)));
    EXPECT_TRUE(ZendArray().at(PhpKey("a")).isUndef());
}

}  // namespace
