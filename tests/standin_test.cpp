// The stand-in engine itself: the accounting every other test relies on, and its table rules.
#include "engine_test.h"

#include <standin/standin.h>

#include <cstdlib>

namespace {

using StandIn = EngineTest;
using StandInDeathTest = EngineTest;

zval longValue(zend_long n) {
    zval v;
    v.value.lval = n;
    v.u1.type_info = 4;
    return v;
}

TEST_F(StandIn, CountsRequestBlocksAndReportsLeaks) {
    // Sizes known only at run time: PHP's release headers turn constant ones into size classes.
    volatile size_t ten = 10, three = 3;
    size_t before = standin::liveRequestBlocks();
    void* block = corvane::engine::requestAlloc(ten);
    EXPECT_EQ(standin::liveRequestBlocks(), before + 1);
    EXPECT_EQ(standin::blockSize(block), 10u);
    corvane::engine::requestFree(block);
    EXPECT_EQ(standin::liveRequestBlocks(), before);

    void* leaked = corvane::engine::requestAlloc(three);  // leaked on purpose
    ASSERT_NE(leaked, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(standin::requestShutdown(), 1u);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("leak of 3 request bytes"), std::string::npos);
    EXPECT_EQ(standin::liveRequestBlocks(), 0u);
}

TEST_F(StandIn, CountsPersistentBlocksWhenItSeesFree) {
    if (!standin::persistentFreesVisible()) GTEST_SKIP() << "free() belongs to a sanitizer in this build";
    size_t before = standin::livePersistentBlocks();
    void* block = __zend_malloc(5);
    EXPECT_EQ(standin::livePersistentBlocks(), before + 1);
    free(block);
    EXPECT_EQ(standin::livePersistentBlocks(), before);
}

TEST_F(StandIn, EmptyArrayIsImmutableAndEmpty) {
    EXPECT_EQ(zend_empty_array.gc.refcount, 2u);
    EXPECT_EQ(zend_empty_array.gc.u.type_info, 0x47u);
    EXPECT_EQ(zend_empty_array.nNumUsed, 0u);
    EXPECT_EQ(zend_array_count(const_cast<HashTable*>(&zend_empty_array)), 0u);
    EXPECT_EQ(zend_hash_index_find(&zend_empty_array, 0), nullptr);
    EXPECT_EQ(zend_hash_str_find(&zend_empty_array, "a", 1), nullptr);
}

TEST_F(StandIn, NewArrayIsUninitializedWithCountOne) {
    HashTable* ht = _zend_new_array(5);
    EXPECT_EQ(ht->gc.refcount, 1u);
    EXPECT_EQ(ht->gc.u.type_info, 0x17u);
    EXPECT_EQ(ht->nTableSize, 8u);
    EXPECT_EQ(ht->nNumUsed, 0u);
    EXPECT_EQ(standin::blockSize(ht), sizeof(HashTable)) << "no bucket storage before the first insert";
    zend_array_destroy(ht);
    ht = _zend_new_array(9);
    EXPECT_EQ(ht->nTableSize, 16u);
    zend_array_destroy(ht);
    zend_array_destroy(_zend_new_array(0));
    EXPECT_EQ(standin::liveRequestBlocks(), 0u);
}

TEST_F(StandIn, PackedTablesLeaveHolesBelowAHigherIndex) {
    HashTable* ht = _zend_new_array(8);
    zval v = longValue(1);
    ASSERT_NE(zend_hash_index_add(ht, 3, &v), nullptr);
    EXPECT_EQ(ht->nNumUsed, 4u);
    EXPECT_EQ(ht->nNumOfElements, 1u);
    EXPECT_EQ(ht->arData[0].val.u1.type_info, 0u);
    EXPECT_EQ(ht->arData[3].h, 3u);
    EXPECT_EQ(ht->nNextFreeElement, 4);
    EXPECT_NE(zend_hash_next_index_insert(ht, &v), nullptr);
    EXPECT_EQ(ht->arData[4].h, 4u);
    EXPECT_EQ(zend_hash_index_add(ht, 3, &v), nullptr) << "add refuses an existing key";
    zend_array_destroy(ht);
}

TEST_F(StandIn, DeletingTrimsTrailingHolesOnly) {
    HashTable* ht = _zend_new_array(8);
    zval v = longValue(7);
    for (int i = 0; i < 4; ++i) zend_hash_next_index_insert(ht, &v);
    EXPECT_EQ(zend_hash_index_del(ht, 1), 0);
    EXPECT_EQ(ht->nNumUsed, 4u) << "a hole in the middle stays";
    EXPECT_EQ(zend_hash_index_del(ht, 3), 0);
    EXPECT_EQ(zend_hash_index_del(ht, 2), 0);
    EXPECT_EQ(ht->nNumUsed, 1u) << "the last bucket goes, and the holes before it";
    EXPECT_EQ(zend_hash_index_del(ht, 2), -1);
    EXPECT_EQ(zend_array_count(ht), 1u);
    zend_array_destroy(ht);
}

TEST_F(StandIn, GrowingMovesTheBuckets) {
    HashTable* ht = _zend_new_array(8);
    zval v = longValue(1);
    zend_hash_str_add(ht, "k0", 2, &v);
    Bucket* first = ht->arData;
    for (int i = 1; i < 9; ++i) {
        std::string key = "k" + std::to_string(i);
        zend_hash_str_add(ht, key.data(), key.size(), &v);
    }
    EXPECT_NE(ht->arData, first);
    EXPECT_EQ(ht->nTableSize, 16u);
    for (int i = 0; i < 9; ++i) {
        std::string key = "k" + std::to_string(i);
        ASSERT_NE(zend_hash_str_find(ht, key.data(), key.size()), nullptr) << key;
        EXPECT_STREQ(ht->arData[i].key->val, key.c_str()) << "insertion order is kept";
    }
    zend_array_destroy(ht);
}

TEST_F(StandIn, StringKeysFollowTheEnginesReferenceRules) {
    HashTable* ht = _zend_new_array(8);
    zval v = longValue(1);
    zend_string* key = newString("key");
    ASSERT_NE(zend_hash_add(ht, key, &v), nullptr);
    EXPECT_EQ(key->gc.refcount, 2u) << "the table keeps the caller's key with a reference of its own";
    EXPECT_NE(key->h, 0u) << "and caches its hash";
    EXPECT_EQ(zend_hash_str_find(ht, "key", 3), &ht->arData[0].val);

    zend_hash_str_add(ht, "copied", 6, &v);
    zend_string* copied = ht->arData[1].key;
    EXPECT_EQ(copied->gc.refcount, 1u);
    EXPECT_EQ(copied->gc.u.type_info, 6u);
    EXPECT_NE(copied->h, 0u);

    EXPECT_EQ(zend_hash_index_find(ht, 5), nullptr);
    zend_hash_str_add(ht, "5", 1, &v);
    EXPECT_EQ(zend_hash_index_find(ht, 5), nullptr) << "no numeric-string conversion";

    EXPECT_EQ(zend_hash_del(ht, key), 0);
    EXPECT_EQ(key->gc.refcount, 1u);
    zend_array_destroy(ht);
    ZendString::take(key);
}

TEST_F(StandIn, AppendingFailsAfterTheLargestKey) {
    HashTable* ht = _zend_new_array(8);
    zval v = longValue(1);
    ASSERT_NE(zend_hash_index_add(ht, static_cast<zend_ulong>(-5), &v), nullptr);
    EXPECT_EQ(ht->nNextFreeElement, 0) << "negative keys leave the next free key";
    ASSERT_NE(zend_hash_index_add(ht, INT64_MAX, &v), nullptr);
    EXPECT_EQ(ht->nNextFreeElement, INT64_MAX);
    EXPECT_EQ(zend_hash_next_index_insert(ht, &v), nullptr);
    zend_array_destroy(ht);
}

TEST_F(StandInDeathTest, WrongAllocatorFreesAbort) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(corvane::engine::requestFree(__zend_malloc(8)), "_efree\\(\\) of persistent memory");
    EXPECT_DEATH(
        {
            void* p = corvane::engine::requestAlloc(8);
            corvane::engine::requestFree(p);
            corvane::engine::requestFree(p);
        },
        "not live request memory");
    EXPECT_DEATH(corvane::engine::requestFree(standin::internString("owned")), "interned string");
    if (standin::persistentFreesVisible()) {
        EXPECT_DEATH(free(corvane::engine::requestAlloc(8)), "free\\(\\) of request memory");
    }
    EXPECT_DEATH(zend_array_destroy(standin::newPersistentArray(8)), "persistent array");
    EXPECT_DEATH(
        {
            zval value;
            value.value.str = ZendString::deep_copy(ZendString("p").get(), true).detach();
            value.u1.type_info = 0x106;
            zval_ptr_dtor(&value);  // PHP 7.3 frees strings with efree here
        },
        "_efree\\(\\) of persistent memory");
}

}  // namespace
