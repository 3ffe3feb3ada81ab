// One lookup that finds an element or stores an initial value, for every kind of key.
#include "engine_test.h"

namespace {

using FindOrAdd = EngineTest;

TEST_F(FindOrAdd, ANewKeyGetsTheInitialValueAndAnExistingOneKeepsItsOwn) {
    ZendArray array(8);
    zval* slot = array.findOrAdd("k", ZVal(10));
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->value.lval, 10);
    EXPECT_EQ(array.size(), 1u);

    zval* again = array.findOrAdd("k", ZVal(99));
    EXPECT_EQ(again, slot) << "the same element, found";
    EXPECT_EQ(again->value.lval, 10) << "the initial value is not stored over it";
    EXPECT_EQ(array.size(), 1u);
}

TEST_F(FindOrAdd, ACounterIsUpdatedInPlace) {
    ZendArray counts(8);
    for (std::string_view word : {"a", "b", "a", "c", "a", "b"}) ++counts.findOrAdd(word, ZVal(0))->value.lval;
    EXPECT_EQ(counts.at("a").asLong(), 3);
    EXPECT_EQ(counts.at("b").asLong(), 2);
    EXPECT_EQ(counts.at("c").asLong(), 1);
    EXPECT_EQ(counts.size(), 3u);
}

TEST_F(FindOrAdd, EveryKeyKindFindsItsOwnElements) {
    ZendArray array(8);
    ZendString key("name");
    ASSERT_NE(array.findOrAdd(key, ZVal(1)), nullptr);
    ASSERT_NE(array.findOrAdd(5, ZVal(2)), nullptr);
    ASSERT_NE(array.findOrAdd(std::string_view("view"), ZVal(3)), nullptr);
    EXPECT_EQ(array.findOrAdd("name", ZVal(0))->value.lval, 1) << "the C-string form finds the ZendString's element";
    EXPECT_EQ(array.findOrAdd(std::string_view("name"), ZVal(0))->value.lval, 1);
    EXPECT_EQ(array.findOrAdd(5ull, ZVal(0))->value.lval, 2);
    EXPECT_EQ(array.findOrAdd(ZendString("view"), ZVal(0))->value.lval, 3);
    EXPECT_EQ(array.findOrAdd("5", ZVal(4))->value.lval, 4) << "byte keys are bytes: \"5\" is not 5";
    EXPECT_EQ(array.size(), 4u);
    EXPECT_EQ(array.findOrAdd(-1, ZVal(6))->value.lval, 6);
    EXPECT_TRUE(array.contains(-1));
}

TEST_F(FindOrAdd, AStringKeyIsHashedOnceAndLookedForOnce) {
    ZendArray array(8);
    ZendString key("word");
    ASSERT_NE(array.findOrAdd(key, ZVal(0)), nullptr);
    size_t hashes = host::hashComputations();
    size_t calls = host::engineCalls();
    ++array.findOrAdd(key, ZVal(0))->value.lval;
    ACCOUNTED_EQ(host::hashComputations(), hashes) << "the key's hash is kept in the string";
    ACCOUNTED_EQ(host::engineCalls(), calls + 1) << "a found key costs one engine call";

    ZendString other("other");
    hashes = host::hashComputations();
    ASSERT_NE(array.findOrAdd(other, ZVal(0)), nullptr);
    ACCOUNTED_EQ(host::hashComputations(), hashes + 1) << "a new key is hashed once";
    ZendString third("third");
    (void)third.hash();
    calls = host::engineCalls();
    ASSERT_NE(array.findOrAdd(third, ZVal(0)), nullptr);
    ACCOUNTED_EQ(host::engineCalls(), calls + 2) << "a miss, then a store that does not search again";
    EXPECT_EQ(array.at(key).asLong(), 1);
    EXPECT_EQ(other.refCount(), 2u) << "the array keeps the key string itself";

    calls = host::engineCalls();
    ++array.findOrAdd(std::string_view("word"), ZVal(0))->value.lval;
    ACCOUNTED_EQ(host::engineCalls(), calls + 1) << "a found byte key costs one engine call too";
    EXPECT_EQ(array.at("word").asLong(), 2);
}

TEST_F(FindOrAdd, TheInitialValueIsStoredOrGivenBack) {
    ZendArray array(8);
    ZendString first("first");
    ASSERT_NE(array.findOrAdd("k", ZVal(first)), nullptr);
    EXPECT_EQ(first.refCount(), 2u) << "stored: the array owns the value's reference";
    ZendString second("second");
    ASSERT_NE(array.findOrAdd("k", ZVal(second)), nullptr);
    EXPECT_EQ(second.refCount(), 1u) << "not stored: its reference went back";
    EXPECT_EQ(array.at("k").asString().view(), "first");
}

TEST_F(FindOrAdd, RefusedStoresReturnNullAndStoreNothing) {
    ZendArray array(8);
    ZendString value("v");
    EXPECT_EQ(array.findOrAdd("", ZVal(value)), nullptr);
    EXPECT_EQ(array.findOrAdd(static_cast<const char*>(nullptr), ZVal(value)), nullptr);
    EXPECT_EQ(array.findOrAdd(ZendString(), ZVal(value)), nullptr);
    EXPECT_EQ(array.findOrAdd("k", ZVal()), nullptr) << "an undefined value is not stored";
    EXPECT_EQ(ZendArray().findOrAdd("k", ZVal(value)), nullptr);
    ZendArray immutable(const_cast<zend_array*>(&zend_empty_array));
    EXPECT_EQ(immutable.findOrAdd(1, ZVal(value)), nullptr);
    ZendString persistent = ZendString::deep_copy(value.get(), true);
    EXPECT_EQ(array.findOrAdd("p", ZVal(persistent)), nullptr) << "a request table may not keep persistent strings";
    EXPECT_EQ(persistent.refCount(), 1u);
    EXPECT_EQ(value.refCount(), 1u) << "every refused value went back";
    EXPECT_EQ(array.size(), 0u);
    EXPECT_EQ(immutable.size(), 0u);
    EXPECT_NE(array.findOrAdd(ZendString(""), ZVal(1)), nullptr) << "a ZendString holding \"\" is a key";
}

TEST_F(FindOrAdd, AKeyTheTableMayNotKeepIsStoredByItsBytes) {
    ZendArray array(8);
    ZendString key = ZendString::deep_copy(ZendString("name").get(), true);
    ASSERT_NE(array.findOrAdd(key, ZVal(1)), nullptr);
    zend_string* stored = array.get()->arData[0].key;
    EXPECT_NE(stored, key.get()) << "a persistent key goes into a request table as a request copy";
    EXPECT_EQ(typeInfoOf(stored) & 0x80, 0u);
    EXPECT_EQ(key.refCount(), 1u);
    EXPECT_EQ(array.findOrAdd(key, ZVal(0))->value.lval, 1) << "and is found by its bytes";
    EXPECT_EQ(array.size(), 1u);
}

TEST_F(FindOrAdd, PackedArraysAndGrowthKeepEveryElement) {
    ZendArray array(8);
    for (long long i = 0; i < 100; ++i) ASSERT_NE(array.findOrAdd(i, ZVal(i)), nullptr);
    for (long long i = 0; i < 100; ++i) EXPECT_EQ(array.findOrAdd(i, ZVal(-1))->value.lval, i);
    for (int i = 0; i < 100; ++i) ASSERT_NE(array.findOrAdd("k" + std::to_string(i), ZVal(i)), nullptr);
    EXPECT_EQ(array.size(), 200u);
    EXPECT_EQ(array.at("k42").asLong(), 42);
    EXPECT_TRUE(array.add(ZVal(7)));
    EXPECT_TRUE(array.contains(100)) << "the next free index follows the stored integer keys";
}

}  // namespace
