// Storing, finding and removing elements by engine-string, byte-string, C-string and integer keys.
#include "engine_test.h"

namespace {

using ArrayAccess = EngineTest;

// A request string value with count 1, and the string to watch it by.
struct CountedValue {
    ZVal value;
    zend_string* str;
};

CountedValue countedValue(std::string_view text) {
    ZendString s(text);
    zend_string* str = s.get();
    return {ZVal(std::move(s)), str};
}

TEST_F(ArrayAccess, AddRefusesAnExistingKeyAndGivesTheValueBack) {
    ZendArray array(8);
    ASSERT_TRUE(array.add("k", ZVal(1)));
    CountedValue second = countedValue("second");
    size_t blocks = host::liveRequestBlocks();
    EXPECT_FALSE(array.add("k", std::move(second.value)));
    ACCOUNTED_EQ(host::liveRequestBlocks(), blocks - 1) << "the refused count-1 string is freed by the call";
    EXPECT_EQ(array.at("k").asLong(), 1);

    ASSERT_TRUE(array.add(7, ZVal(1)));
    EXPECT_FALSE(array.add(7, ZVal(2)));
    ZendString key("zk");
    ASSERT_TRUE(array.add(key, ZVal(1)));
    EXPECT_FALSE(array.add(key, ZVal(2)));
    EXPECT_FALSE(array.add(std::string_view("zk"), ZVal(2)));
    EXPECT_EQ(array.at(key).asLong(), 1);
    EXPECT_EQ(array.size(), 3u);
}

TEST_F(ArrayAccess, InsertReplacesInPlace) {
    ZendArray array(8);
    CountedValue old = countedValue("old");
    ZendString watch(old.str, false);
    ASSERT_TRUE(array.insert("k", std::move(old.value)));
    ASSERT_TRUE(array.add("after", ZVal(0)));
    EXPECT_EQ(watch.refCount(), 2u);

    EXPECT_TRUE(array.insert("k", ZVal(2)));
    EXPECT_EQ(watch.refCount(), 1u) << "the array gave the old value's reference back";
    EXPECT_EQ(array.at("k").asLong(), 2);
    EXPECT_EQ(array.get()->arData[0].key->val, std::string_view("k")) << "the element keeps its place";

    EXPECT_TRUE(array.insert(3, ZVal(1)));
    EXPECT_TRUE(array.insert(3, ZVal(4)));
    EXPECT_EQ(array.at(3).asLong(), 4);
    ZendString key("zk");
    EXPECT_TRUE(array.insert(key, ZVal(1)));
    EXPECT_TRUE(array.insert(key, ZVal(5)));
    EXPECT_EQ(array.at(std::string_view("zk")).asLong(), 5);
    EXPECT_TRUE(array.insert(std::string_view("sv"), ZVal(6)));
    EXPECT_EQ(array.at("sv").asLong(), 6);
    EXPECT_EQ(array.size(), 5u);
}

TEST_F(ArrayAccess, StringKeysAreNeverIntegers) {
    ZendArray array(8);
    ASSERT_TRUE(array.add("5", ZVal(1)));
    EXPECT_FALSE(array.contains(5));
    EXPECT_TRUE(array.contains("5"));
    ASSERT_TRUE(array.add(5, ZVal(2)));
    EXPECT_EQ(array.at("5").asLong(), 1);
    EXPECT_EQ(array.at(5).asLong(), 2);
    EXPECT_TRUE(array.remove(5));
    EXPECT_FALSE(array.contains(5));
    EXPECT_TRUE(array.contains("5"));
}

TEST_F(ArrayAccess, EmptyKeysAreRefusedExceptAsEngineStrings) {
    ZendArray array(8);
    CountedValue v1 = countedValue("v1"), v2 = countedValue("v2"), v3 = countedValue("v3"), v4 = countedValue("v4");
    size_t blocks = host::liveRequestBlocks();
    EXPECT_FALSE(array.add("", std::move(v1.value)));
    EXPECT_FALSE(array.add(static_cast<const char*>(nullptr), std::move(v2.value)));
    EXPECT_FALSE(array.add(ZendString(), std::move(v3.value)));
    EXPECT_FALSE(array.insert(std::string_view(), std::move(v4.value)));
    ACCOUNTED_EQ(host::liveRequestBlocks(), blocks - 4) << "every refused value is given back";
    EXPECT_EQ(array.size(), 0u);
    EXPECT_TRUE(array.at("").isUndef());
    EXPECT_FALSE(array.contains(""));
    EXPECT_FALSE(array.remove(""));
    EXPECT_FALSE(array.contains(ZendString()));
    EXPECT_TRUE(array.at(ZendString()).isUndef());
    EXPECT_FALSE(array.remove(ZendString()));

    ZendString emptyKey("");
    EXPECT_TRUE(array.add(emptyKey, ZVal(9)));
    EXPECT_TRUE(array.contains(emptyKey));
    EXPECT_EQ(array.at(emptyKey).asLong(), 9);
    EXPECT_FALSE(array.contains("")) << "the byte-string forms still refuse the empty key";
    EXPECT_TRUE(array.remove(emptyKey));
    EXPECT_FALSE(array.contains(emptyKey));
}

TEST_F(ArrayAccess, EmptyHandleRefusesEverything) {
    ZendArray empty;
    CountedValue v = countedValue("v");
    EXPECT_FALSE(empty.add("k", std::move(v.value)));
    ACCOUNTED_EQ(host::blockSize(v.str), 0u) << "the value is released";
    EXPECT_FALSE(empty.add(std::string_view("k"), ZVal(1)));
    EXPECT_FALSE(empty.add(ZendString("k"), ZVal(1)));
    EXPECT_FALSE(empty.add(1, ZVal(1)));
    EXPECT_FALSE(empty.add(ZVal(1)));
    EXPECT_FALSE(empty.insert("k", ZVal(1)));
    EXPECT_FALSE(empty.insert(1, ZVal(1)));
    EXPECT_TRUE(empty.at("k").isUndef());
    EXPECT_TRUE(empty.at(1).isUndef());
    EXPECT_FALSE(empty.contains("k"));
    EXPECT_FALSE(empty.contains(1));
    EXPECT_FALSE(empty.remove("k"));
    EXPECT_FALSE(empty.remove(1));
    EXPECT_TRUE(empty.isNull()) << "no array comes into being";
}

TEST_F(ArrayAccess, ImmutableArraysRefuseWrites) {
    ZendArray shared(const_cast<zend_array*>(&zend_empty_array));
    CountedValue v = countedValue("v");
    EXPECT_FALSE(shared.add("k", std::move(v.value)));
    ACCOUNTED_EQ(host::blockSize(v.str), 0u);
    EXPECT_FALSE(shared.add(ZVal(1)));
    EXPECT_FALSE(shared.add(1, ZVal(1)));
    EXPECT_FALSE(shared.insert(ZendString("k"), ZVal(1)));
    EXPECT_FALSE(shared.remove("k"));
    EXPECT_EQ(zend_empty_array.nNumUsed, 0u);
    EXPECT_TRUE(shared.at("k").isUndef());
}

TEST_F(ArrayAccess, AtAddsOneReferenceForCountedValuesOnly) {
    ZendArray array(8);
    CountedValue s = countedValue("counted");
    array.add("s", std::move(s.value));
    zend_string* interned = host::internString("interned");
    unsigned int internedCount = countOf(interned);
    array.add("i", ZVal(interned));
    array.add("l", ZVal(5));
    array.add("d", ZVal(2.5));
    {
        ZVal found = array.at("s");
        EXPECT_EQ(found.get()->value.str, s.str);
        EXPECT_EQ(countOf(s.str), 2u);
        ZVal alsoFound = array.at(ZendString("i"));
        EXPECT_EQ(countOf(interned), internedCount);
        EXPECT_EQ(array.at("l").asLong(), 5);
        EXPECT_EQ(array.at("d").asDouble(), 2.5);
    }
    EXPECT_EQ(countOf(s.str), 1u);
    EXPECT_TRUE(array.at("missing").isUndef());
    EXPECT_TRUE(array.at(99).isUndef());
}

TEST_F(ArrayAccess, AtCopiesReferencesWithoutFollowingThem) {
    ZendArray array(8);
    zval reference = host::newReference(ZVal(1).get()[0]);
    array.add(0, ZVal::take(reference));
    ZVal found = array.at(0);
    EXPECT_EQ(found.getType(), 10);
    EXPECT_EQ(countOf(found.get()->value.counted), 2u);
}

TEST_F(ArrayAccess, RemoveDeletesOnce) {
    ZendArray array(8);
    CountedValue v = countedValue("v");
    array.add("k", std::move(v.value));
    array.add(std::string_view("b"), ZVal(1));
    array.add(ZendString("z"), ZVal(1));
    array.add(2, ZVal(1));
    EXPECT_TRUE(array.remove("k"));
    ACCOUNTED_EQ(host::blockSize(v.str), 0u) << "the array gave its value back";
    EXPECT_FALSE(array.contains("k"));
    EXPECT_FALSE(array.remove("k"));
    EXPECT_TRUE(array.remove(std::string_view("b")));
    EXPECT_TRUE(array.remove(ZendString("z")));
    EXPECT_TRUE(array.remove(2));
    EXPECT_FALSE(array.remove(2));
    EXPECT_EQ(array.size(), 0u);
}

TEST_F(ArrayAccess, WritesAreSeenThroughEveryHandleOnTheArray) {
    ZendArray array(8);
    host::allowSharedWrites(array.get());
    ZendArray copy(array);
    copy.add("shared", ZVal(1));
    EXPECT_TRUE(array.contains("shared"));
    EXPECT_NE(zend_hash_str_find(array.get(), "shared", 6), nullptr);
    ZVal asValue(array);
    asValue.asArray().add("more", ZVal(2));
    EXPECT_EQ(copy.at("more").asLong(), 2);
}

TEST_F(ArrayAccess, AppendUsesTheNextFreeIntegerKey) {
    ZendArray array(8);
    EXPECT_TRUE(array.add(ZVal(10)));
    EXPECT_TRUE(array.add(ZVal(11)));
    EXPECT_EQ(array.at(0).asLong(), 10);
    EXPECT_EQ(array.at(1).asLong(), 11);
    EXPECT_TRUE(array.add(-3, ZVal(12)));
    EXPECT_TRUE(array.contains(static_cast<unsigned long long>(-3)));
    EXPECT_TRUE(array.add(ZVal(13)));
    EXPECT_EQ(array.at(2).asLong(), 13) << "negative keys leave the next free key alone";
    EXPECT_TRUE(array.add(INT64_MAX, ZVal(14)));
    CountedValue v = countedValue("refused");
    EXPECT_FALSE(array.add(std::move(v.value))) << "nothing comes after the largest key";
    ACCOUNTED_EQ(host::blockSize(v.str), 0u);
}

TEST_F(ArrayAccess, StringKeyHandlesAreSharedByTheTable) {
    ZendArray array(8);
    ZendString key("key");
    array.add(key, ZVal(1));
    EXPECT_EQ(key.refCount(), 2u) << "the engine keeps the very string, with its own reference";
    EXPECT_EQ(array.get()->arData[0].key, key.get());
    EXPECT_TRUE(array.remove(key));
    EXPECT_EQ(key.refCount(), 1u);
}

}  // namespace

namespace {

TEST_F(ArrayAccess, UndefinedValuesAreNeverStored) {
    // The engine marks deleted buckets with the undefined type: storing one would leave a counted
    // element that no walk, dump or lookup can see.
    ZendArray array(8);
    EXPECT_FALSE(array.add("k", ZVal()));
    EXPECT_FALSE(array.add(ZendString("k"), ZVal()));
    EXPECT_FALSE(array.add(1, ZVal()));
    EXPECT_FALSE(array.add(ZVal()));
    EXPECT_FALSE(array.insert("k", ZVal()));
    EXPECT_FALSE(array.insert(1, ZVal()));
    EXPECT_EQ(array.size(), 0u);
    EXPECT_EQ(array.get()->nNumUsed, 0u);
    EXPECT_FALSE(array.contains("k"));
}

}  // namespace
