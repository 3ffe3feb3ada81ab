// The stand-in engine itself: the accounting every other test relies on, and its table rules.
#include "engine_test.h"

#include <standin/standin.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(__has_include)
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#endif
#endif
#ifndef VALGRIND_MAKE_MEM_UNDEFINED
#define VALGRIND_MAKE_MEM_UNDEFINED(ptr, size) ((void)(ptr), (void)(size))
#define VALGRIND_MAKE_MEM_DEFINED(ptr, size) ((void)(ptr), (void)(size))
#endif

// Whether this build runs under AddressSanitizer, which then reports uses of freed memory itself.
#if defined(__SANITIZE_ADDRESS__)
#define STANDIN_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define STANDIN_TEST_ASAN 1
#endif
#endif

namespace {

namespace engine = corvane::engine;

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
    std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find("standin: leak: a block of 3 request bytes at "), std::string::npos) << report;
    EXPECT_NE(report.find("standin: 1 leaked request block: 1 other block\n"), std::string::npos) << report;
    EXPECT_EQ(standin::liveRequestBlocks(), 0u);
}

TEST_F(StandIn, CountsPersistentBlocksWhenItSeesFree) {
    if (!standin::persistentFreesVisible())
        GTEST_SKIP() << "free() is not seen by the stand-in in this run (a sanitizer or valgrind owns it)";
    size_t before = standin::livePersistentBlocks();
    void* block = __zend_malloc(5);
    EXPECT_EQ(standin::livePersistentBlocks(), before + 1);
    free(block);
    EXPECT_EQ(standin::livePersistentBlocks(), before);
}

TEST_F(StandIn, EmptyArrayIsImmutableAndEmpty) {
    EXPECT_EQ(engine::refcount(&zend_empty_array), 2u);
    EXPECT_EQ(engine::gcFlags(&zend_empty_array), 0x47u);
    EXPECT_EQ(zend_empty_array.nNumUsed, 0u);
    EXPECT_EQ(zend_array_count(const_cast<HashTable*>(&zend_empty_array)), 0u);
    EXPECT_EQ(zend_hash_index_find(&zend_empty_array, 0), nullptr);
    EXPECT_EQ(zend_hash_str_find(&zend_empty_array, "a", 1), nullptr);
}

TEST_F(StandIn, NewArrayIsUninitializedWithCountOne) {
    HashTable* ht = _zend_new_array(5);
    EXPECT_EQ(engine::refcount(ht), 1u);
    EXPECT_EQ(engine::gcFlags(ht), 0x17u);
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
    EXPECT_EQ(engine::refcount(key), 2u) << "the table keeps the caller's key with a reference of its own";
    EXPECT_NE(key->h, 0u) << "and caches its hash";
    EXPECT_EQ(zend_hash_str_find(ht, "key", 3), &ht->arData[0].val);

    zend_hash_str_add(ht, "copied", 6, &v);
    zend_string* copied = ht->arData[1].key;
    EXPECT_EQ(engine::refcount(copied), 1u);
    EXPECT_EQ(engine::gcFlags(copied), 6u);
    EXPECT_NE(copied->h, 0u);

    EXPECT_EQ(zend_hash_index_find(ht, 5), nullptr);
    zend_hash_str_add(ht, "5", 1, &v);
    EXPECT_EQ(zend_hash_index_find(ht, 5), nullptr) << "no numeric-string conversion";

    EXPECT_EQ(zend_hash_del(ht, key), 0);
    EXPECT_EQ(engine::refcount(key), 1u);
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
    // The quarantine still knows the block; without it, the stand-in no longer does.
    EXPECT_DEATH(
        {
            void* p = corvane::engine::requestAlloc(8);
            corvane::engine::requestFree(p);
            corvane::engine::requestFree(p);
        },
        standin::quarantineActive()
            ? "standin: double free: _efree\\(\\) of a block of 8 bytes, which was already freed"
            : "not live request memory");
    EXPECT_DEATH(corvane::engine::requestFree(standin::internString("owned")), "interned string");
    if (standin::persistentFreesVisible()) {
        EXPECT_DEATH(free(corvane::engine::requestAlloc(8)), "free\\(\\) of request memory");
    }
    EXPECT_DEATH(zend_array_destroy(standin::newPersistentArray(8)),
                 "zend_array_destroy\\(\\) frees array\\(0\\) with _efree\\(\\), but it is persistent memory");
    EXPECT_DEATH(
        {
            zval value;
            value.value.str = ZendString::deep_copy(ZendString("p").get(), true).detach();
            value.u1.type_info = 0x106;
            zval_ptr_dtor(&value);  // PHP 7.3 frees strings with efree here
        },
        "zval_ptr_dtor\\(\\) frees string\\(1\\) \"p\" with _efree\\(\\), but it is persistent memory");
}

// --- Freed request blocks ------------------------------------------------------------------------

TEST_F(StandIn, LeakReportNamesEveryBlockAndCountsThemByKind) {
    volatile size_t three = 3;
    ASSERT_NE(corvane::engine::requestAlloc(three), nullptr);
    newString("hello");
    newString("say \"hi\"\n\t\x01");
    newString(std::string(40, 'x'));
    ZendArray array(8);
    array.add(0, ZVal(1));
    array.add(1, ZVal(2));
    array.detach();

    testing::internal::CaptureStderr();
    EXPECT_EQ(standin::requestShutdown(), 6u) << "the count of leaked blocks, as before";
    std::string report = testing::internal::GetCapturedStderr();
    for (const char* line : {
             "standin: leak: a block of 3 request bytes at 0x",
             "standin: leak: string(5) \"hello\", count 1, 32 request bytes at 0x",
             "standin: leak: string(11) \"say \\\"hi\\\"\\n\\t\\x01\", count 1, 40 request bytes at 0x",
             "standin: leak: string(40) \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\"..., count 1, 72 request bytes at 0x",
             "standin: leak: array(2), count 1, 56 request bytes at 0x",
             "standin: leak: the bucket block of an array, 264 request bytes at 0x",
             "standin: 6 leaked request blocks: 3 strings, 1 array, 1 bucket block, 1 other block\n",
         }) {
        EXPECT_NE(report.find(line), std::string::npos) << line << "\nin:\n" << report;
    }
    EXPECT_EQ(standin::liveRequestBlocks(), 0u);
}

// An extension's scratch buffer, written in part: freeing it or leaking it reads none of the
// unwritten bytes (valgrind runs this test and reports any such read as an error).
TEST_F(StandIn, PartlyWrittenBlocksAreFreedAndReportedWithoutReadingTheRest) {
    volatile size_t hundred = 100;
    // Filled first so that the bytes are known outside valgrind too, then marked unwritten again.
    auto partlyWritten = [&](size_t writtenBytes) {
        auto* block = static_cast<unsigned char*>(corvane::engine::requestAlloc(hundred));
        std::memset(block, 0xaa, hundred);
        VALGRIND_MAKE_MEM_UNDEFINED(block + writtenBytes, hundred - writtenBytes);
        return block;
    };
    corvane::engine::requestFree(partlyWritten(6));

    partlyWritten(6);  // leaked: even its header is not all written
    // A string header whose text stops short of its terminating zero.
    unsigned char* text = partlyWritten(0);
    corvane::engine::initHeader(reinterpret_cast<zend_refcounted*>(text), 1, 6);
    auto* str = reinterpret_cast<zend_string*>(text);
    str->h = 0;
    str->len = 3;
    std::memcpy(str->val, "abc", 3);
    VALGRIND_MAKE_MEM_DEFINED(text, offsetof(zend_string, val) + 3);

    testing::internal::CaptureStderr();
    EXPECT_EQ(standin::requestShutdown(), 2u);
    std::string report = testing::internal::GetCapturedStderr();
    size_t first = report.find("standin: leak: a block of 100 request bytes at 0x");
    ASSERT_NE(first, std::string::npos) << report;
    EXPECT_NE(report.find("standin: leak: a block of 100 request bytes at 0x", first + 1), std::string::npos)
        << report;
    EXPECT_NE(report.find("standin: 2 leaked request blocks: 2 other blocks\n"), std::string::npos) << report;
}

TEST_F(StandIn, FreedBlocksWaitInQuarantineAndAreNotHandedOutAgain) {
    if (!standin::quarantineActive())
        GTEST_SKIP() << "the quarantine is off: free() is not the stand-in's in this run";
    volatile size_t forty = 40;
    size_t live = standin::liveRequestBlocks();
    size_t held = standin::quarantinedBlocks();
    void* freed = corvane::engine::requestAlloc(forty);
    std::memset(freed, 'x', forty);
    corvane::engine::requestFree(freed);
    EXPECT_TRUE(standin::isQuarantined(freed));
    // Stale reads see garbage, not the old contents.
    const auto* bytes = static_cast<const unsigned char*>(freed);
    for (size_t i = 0; i < forty; ++i) ASSERT_EQ(bytes[i], 0xdb) << "at offset " << i;
    EXPECT_EQ(standin::quarantinedBlocks(), held + 1);
    EXPECT_EQ(standin::liveRequestBlocks(), live) << "a quarantined block is not live";
    EXPECT_EQ(standin::blockSize(freed), 0u);
    void* next = corvane::engine::requestAlloc(forty);
    EXPECT_NE(next, freed) << "the C heap hands a block of the same size straight back once it is free";
    corvane::engine::requestFree(next);

    EXPECT_EQ(standin::requestShutdown(), 0u);
    EXPECT_EQ(standin::quarantinedBlocks(), 0u) << "request end empties the quarantine";
    EXPECT_FALSE(standin::isQuarantined(freed));
    standin::requestStartup();
}

TEST_F(StandIn, QuarantineIsBoundedAndReallyFreesTheOldestFirst) {
    if (!standin::quarantineActive())
        GTEST_SKIP() << "the quarantine is off: free() is not the stand-in's in this run";
    volatile size_t small = 24, odd = 72;
    void* oldest = corvane::engine::requestAlloc(odd);
    std::vector<void*> blocks;
    for (size_t i = 0; i < standin::kQuarantineBlocks; ++i) blocks.push_back(corvane::engine::requestAlloc(small));
    corvane::engine::requestFree(oldest);
    for (void* block : blocks) corvane::engine::requestFree(block);
    EXPECT_EQ(standin::quarantinedBlocks(), standin::kQuarantineBlocks);
    EXPECT_FALSE(standin::isQuarantined(oldest)) << "the oldest block left first";
    EXPECT_TRUE(standin::isQuarantined(blocks.front()));
    EXPECT_TRUE(standin::isQuarantined(blocks.back()));

    // Really freed: the C heap hands it out again (the last freed block of its size comes first).
    void* reused = nullptr;
    std::vector<void*> again;
    while (again.size() < 16 && reused != oldest) {
        again.push_back(corvane::engine::requestAlloc(odd));
        reused = again.back();
    }
    EXPECT_EQ(reused, oldest);
    for (void* block : again) corvane::engine::requestFree(block);

    // Bytes are bounded too; the newest block stays even when it alone is larger than the bound.
    volatile size_t bound = standin::kQuarantineBytes, over = standin::kQuarantineBytes + 1;
    void* big = corvane::engine::requestAlloc(bound);
    corvane::engine::requestFree(big);
    EXPECT_EQ(standin::quarantinedBlocks(), 1u);
    EXPECT_TRUE(standin::isQuarantined(big));
    void* bigger = corvane::engine::requestAlloc(over);
    corvane::engine::requestFree(bigger);
    EXPECT_EQ(standin::quarantinedBlocks(), 1u);
    EXPECT_FALSE(standin::isQuarantined(big));
    EXPECT_TRUE(standin::isQuarantined(bigger));
}

TEST_F(StandIn, QuarantineCanBeTurnedOff) {
    if (!standin::quarantineActive())
        GTEST_SKIP() << "the quarantine is off: free() is not the stand-in's in this run";
    volatile size_t forty = 40;
    corvane::engine::requestFree(corvane::engine::requestAlloc(forty));
    standin::setQuarantine(false);
    EXPECT_FALSE(standin::quarantineActive());
    EXPECT_EQ(standin::quarantinedBlocks(), 0u) << "what it held is freed";
    void* freed = corvane::engine::requestAlloc(forty);
    corvane::engine::requestFree(freed);
    EXPECT_FALSE(standin::isQuarantined(freed));
    void* next = corvane::engine::requestAlloc(forty);
    EXPECT_EQ(next, freed) << "freed at once, the C heap hands it straight back";
    corvane::engine::requestFree(next);
    standin::setQuarantine(true);
    EXPECT_TRUE(standin::quarantineActive());
    corvane::engine::requestFree(corvane::engine::requestAlloc(forty));
    EXPECT_EQ(standin::quarantinedBlocks(), 1u);
}

// The report a fault with freed memory ends in: the stand-in's own while it keeps freed blocks in
// quarantine; where AddressSanitizer owns the heap instead, the sanitizer's.
std::string freedUseReport(const char* quarantined) {
    return standin::quarantineActive() ? quarantined : "AddressSanitizer: heap-use-after-free";
}

bool freedUsesCaught() {
#if defined(STANDIN_TEST_ASAN)
    return true;
#else
    return standin::quarantineActive();
#endif
}

#define SKIP_UNLESS_FREED_USES_CAUGHT() \
    if (!freedUsesCaught()) GTEST_SKIP() << "free() is not the stand-in's, and no AddressSanitizer watches it"

zval stringValue(zend_string* str) {
    zval v;
    v.value.str = str;
    v.u1.type_info = corvane::engine::kStringInfo;
    return v;
}

zval arrayValue(zend_array* array) {
    zval v;
    v.value.arr = array;
    v.u1.type_info = corvane::engine::kArrayInfo;
    return v;
}

// A request array of two elements whose last reference is gone.
HashTable* freedArray() {
    HashTable* ht = _zend_new_array(8);
    zval v = longValue(1);
    zend_hash_str_add(ht, "a", 1, &v);
    zend_hash_str_add(ht, "b", 1, &v);
    zend_array_destroy(ht);
    return ht;
}

zend_string* freedString(const char* text) {
    zend_string* str = ZendString(text).detach();
    ZendString::take(str).release();
    return str;
}

TEST_F(StandInDeathTest, OverReleasesAbortNamingTheBlock) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SKIP_UNLESS_FREED_USES_CAUGHT();
    EXPECT_DEATH(
        {
            zend_string* str = newString("hello");
            ZendString first = ZendString::take(str);
            ZendString second = ZendString::take(str);  // one reference, taken over twice
        },
        freedUseReport(R"(standin: over-release: string\(5\) "hello" was released again after its last )"
                       R"(reference freed it \(in _efree\(\)\))"));
    EXPECT_DEATH(
        {
            zval v = stringValue(newString("hello"));
            zval_ptr_dtor(&v);
            zval_ptr_dtor(&v);
        },
        freedUseReport(R"(standin: over-release: string\(5\) "hello" was released again after its last )"
                       R"(reference freed it \(in zval_ptr_dtor\(\)\))"));
    EXPECT_DEATH(
        {
            ZendArray array(8);
            for (int i = 0; i < 3; ++i) array.add(i, ZVal(i));
            zval v = arrayValue(array.detach());
            zval_ptr_dtor(&v);
            zval_ptr_dtor(&v);
        },
        freedUseReport(R"(standin: over-release: array\(3\) was released again after its last reference )"
                       R"(freed it \(in zval_ptr_dtor\(\)\))"));
    EXPECT_DEATH(
        {
            zval object = standin::newObject();
            zval copy = object;  // the same reference, not another one
            ZVal first = ZVal::take(object);
            ZVal second = ZVal::take(copy);
        },
        freedUseReport(R"(standin: over-release: object was released again after its last reference )"
                       R"(freed it \(in zval_ptr_dtor\(\)\))"));
    EXPECT_DEATH(
        {
            zval resource = standin::newResource();
            zval_ptr_dtor(&resource);
            zval_ptr_dtor(&resource);
        },
        freedUseReport(R"(standin: over-release: resource was released again)"));
    EXPECT_DEATH(
        {
            zval reference = standin::newReference(longValue(5));
            zval_ptr_dtor(&reference);
            zval_ptr_dtor(&reference);
        },
        freedUseReport(R"(standin: over-release: reference was released again)"));
}

TEST_F(StandInDeathTest, HandlesOnBorrowedPointersAbortAtTheExtraRelease) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SKIP_UNLESS_FREED_USES_CAUGHT();
    EXPECT_DEATH(
        {
            ZendString owner = ZendString::take(newString("borrowed"));
            ZendString wrong(owner.get(), true);  // adopts a reference that only owner holds
        },
        freedUseReport(R"(standin: over-release: string\(8\) "borrowed" was released again after its )"
                       R"(last reference freed it \(in _efree\(\)\))"));
    EXPECT_DEATH(
        {
            ZendArray array(8);
            array.add(0, ZVal(ZendString("element")));
            zval lent = *zend_hash_index_find(array.get(), 0);  // the array keeps the reference
            ZVal wrong = ZVal::take(lent);
        },
        freedUseReport(R"(standin: over-release: string\(7\) "element" was released again after its )"
                       R"(last reference freed it \(in zval_ptr_dtor\(\)\))"));
    EXPECT_DEATH(
        {
            ZendArray owner(8);
            owner.add("k", ZVal(1));
            ZendArray::zendArrayRelease(owner.get());  // a lent array given back
        },
        freedUseReport(R"(standin: over-release: array\(1\) was released again after its last reference )"
                       R"(freed it \(in zend_array_destroy\(\)\))"));
}

TEST_F(StandInDeathTest, SecondFreesAbortNamingTheBlock) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SKIP_UNLESS_FREED_USES_CAUGHT();
    // Without the quarantine the stand-in no longer knows the block, and says so before touching it.
    EXPECT_DEATH(
        {
            zend_string* str = newString("hello");
            corvane::engine::requestFree(str);
            corvane::engine::requestFree(str);
        },
        standin::quarantineActive() ? R"(standin: double free: _efree\(\) of string\(5\) "hello", which was )"
                                      R"(already freed)"
                                    : "not live request memory");
    EXPECT_DEATH(
        {
            HashTable* ht = _zend_new_array(8);
            zend_array_destroy(ht);
            zend_array_destroy(ht);
        },
        freedUseReport(R"(standin: double free: zend_array_destroy\(\) of array\(0\), which was already freed)"));
    if (standin::quarantineActive()) {  // free() is the stand-in's only then
        EXPECT_DEATH(
            {
                void* block = corvane::engine::requestAlloc(8);
                corvane::engine::requestFree(block);
                free(block);
            },
            R"(standin: double free: free\(\) of a block of 8 bytes, which was already freed)");
    }
}

TEST_F(StandInDeathTest, TableFunctionsOnFreedValuesAbort) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SKIP_UNLESS_FREED_USES_CAUGHT();
    const char* onFreedArray = R"(standin: use of a freed array: %s\(\) on array\(2\), which was already freed)";
    auto report = [&](const char* function) {
        char expected[160];
        std::snprintf(expected, sizeof expected, onFreedArray, function);
        return freedUseReport(expected);
    };
    zval one = longValue(1);
    EXPECT_DEATH(zend_hash_str_find(freedArray(), "a", 1), report("zend_hash_str_find"));
    EXPECT_DEATH(zend_hash_str_update(freedArray(), "a", 1, &one), report("zend_hash_str_update"));
    EXPECT_DEATH(zend_hash_str_del(freedArray(), "a", 1), report("zend_hash_str_del"));
    EXPECT_DEATH(zend_hash_index_add(freedArray(), 0, &one), report("zend_hash_index_add"));
    EXPECT_DEATH(zend_hash_index_find(freedArray(), 0), report("zend_hash_index_find"));
    EXPECT_DEATH(zend_hash_next_index_insert(freedArray(), &one), report("zend_hash_next_index_insert"));
    EXPECT_DEATH(zend_hash_destroy(freedArray()), report("zend_hash_destroy"));
    EXPECT_DEATH((void)ZendArray(freedArray()).size(), report("zend_array_count"));
    EXPECT_DEATH(
        {
            ZendString key("a");
            zend_hash_find(freedArray(), key.get());
        },
        report("zend_hash_find"));
    EXPECT_DEATH(
        {
            ZendArray live(8);
            zend_hash_add(live.get(), freedString("key"), &one);
        },
        freedUseReport(R"(standin: use of a freed string: zend_hash_add\(\) on string\(3\) "key", which was )"
                       R"(already freed)"));
    EXPECT_DEATH(
        {
            ZendArray live(8);
            zval value = stringValue(freedString("value"));
            zend_hash_index_add(live.get(), 0, &value);
        },
        freedUseReport(R"(standin: use of a freed string: zend_hash_index_add\(\) on string\(5\) "value")"));
    // The mark of a freed header changed by a flag: still known to be freed.
    auto flagged = [] {
        HashTable* ht = freedArray();
        corvane::engine::setGcFlags(ht, corvane::engine::kGcProtected);
        return ht;
    };
    EXPECT_DEATH(zend_hash_str_find(flagged(), "a", 1), report("zend_hash_str_find"));
    EXPECT_DEATH(ZendArray::zendArrayRelease(flagged()),
                 freedUseReport(R"(standin: over-release: array\(2\) was released again after its last reference )"
                                R"(freed it \(in zend_array_destroy\(\)\))"));
    EXPECT_DEATH(zend_string_hash_func(freedString("hash me")),
                 freedUseReport(R"(standin: use of a freed string: zend_string_hash_func\(\) on string\(7\) )"
                                R"("hash me", which was already freed)"));
}

TEST_F(StandInDeathTest, ChangesToAFreedBlockAbortWhenItLeavesTheQuarantine) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SKIP_UNLESS_FREED_USES_CAUGHT();
    const char* countChanged = R"(standin: use after free: string\(5\) "hello" was changed after it was freed )"
                               R"(\(count \+1, type info 0xdead000f\))";
    EXPECT_DEATH(
        {
            zend_string* str = freedString("hello");
            corvane::engine::addRef(str);  // a reference taken on a freed string
            standin::requestShutdown();
        },
        freedUseReport(countChanged));
    EXPECT_DEATH(
        {
            zend_string* str = freedString("hello");
            corvane::engine::addRef(str);
            volatile size_t eight = 8;
            for (size_t i = 0; i < standin::kQuarantineBlocks; ++i) {
                corvane::engine::requestFree(corvane::engine::requestAlloc(eight));
            }
        },
        freedUseReport(countChanged));
    EXPECT_DEATH(
        {
            HashTable* ht = freedArray();
            corvane::engine::setGcFlags(ht, corvane::engine::kGcProtected);  // as a walk over it would
            standin::requestShutdown();
        },
        freedUseReport(R"(standin: use after free: array\(2\) was changed after it was freed )"
                       R"(\(count \+0, type info 0xdead002f\))"));
}

TEST_F(StandInDeathTest, WritesToAFreedBlockAbortWhenItLeavesTheQuarantine) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SKIP_UNLESS_FREED_USES_CAUGHT();
    EXPECT_DEATH(
        {
            zend_string* str = freedString("hello");
            str->val[1] = 'a';  // offset 25: the text starts after 24 header bytes
            standin::requestShutdown();
        },
        freedUseReport(R"(standin: use after free: string\(5\) "hello" was written after it was freed at offset 25)"));
    EXPECT_DEATH(
        {
            volatile size_t sixteen = 16;
            volatile size_t eight = 8;
            auto* block = static_cast<char*>(corvane::engine::requestAlloc(sixteen));
            corvane::engine::requestFree(block);
            block[3] = 0;
            for (size_t i = 0; i < standin::kQuarantineBlocks; ++i) {
                corvane::engine::requestFree(corvane::engine::requestAlloc(eight));
            }
        },
        freedUseReport(R"(standin: use after free: a block of 16 bytes was written after it was freed at offset 3)"));
}

}  // namespace
