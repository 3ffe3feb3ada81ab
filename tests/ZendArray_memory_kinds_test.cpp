// Stores never leave a table holding memory that it would free with the wrong allocator, or
// memory that dies before the table does.
#include "engine_test.h"

namespace {

using MemoryKinds = EngineTest;

zend_string* keyOf(const ZendArray& array, size_t bucket) { return array.get()->arData[bucket].key; }

// A persistent array held by one handle, as an extension keeps one across requests.
ZendArray persistentArray() {
    zend_array* raw = host::newPersistentArray(8);
    ZendArray array(raw);
    ZendArray::zendArrayRelease(raw);
    return array;
}

TEST_F(MemoryKinds, RequestTablesRefusePersistentStringsAndArrays) {
    ZendArray table(8);
    ZendString persistent = ZendString::deep_copy(ZendString("kept").get(), true);
    ZendArray persistentTable = persistentArray();

    EXPECT_FALSE(table.add("s", ZVal(persistent)));
    EXPECT_FALSE(table.insert(1, ZVal(persistent)));
    EXPECT_FALSE(table.add(ZVal(persistent)));
    EXPECT_EQ(persistent.refCount(), 1u) << "each refused copy gave its reference back";
    EXPECT_FALSE(table.add("a", ZVal(persistentTable)));
    EXPECT_EQ(persistentTable.refCount(), 1u);
    EXPECT_EQ(table.size(), 0u);

    // What the engine itself keeps in request tables goes in.
    EXPECT_TRUE(table.add("empty", ZVal(zend_empty_string))) << "permanent interned strings live for the process";
    EXPECT_TRUE(table.add("interned", ZVal(host::internString("interned"))));
    EXPECT_TRUE(table.add("immutable", ZVal(const_cast<zend_array*>(&zend_empty_array))));
    EXPECT_TRUE(table.add("request", ZVal(ZendString("request"))));
    EXPECT_EQ(table.size(), 4u);
}

TEST_F(MemoryKinds, APersistentKeyGoesIntoARequestTableByItsBytes) {
    ZendArray table(8);
    ZendString key = ZendString::deep_copy(ZendString("name").get(), true);
    ASSERT_TRUE(table.add(key, ZVal(1)));
    zend_string* stored = keyOf(table, 0);
    EXPECT_NE(stored, key.get()) << "the table keeps a request copy, not the persistent key";
    EXPECT_EQ(typeInfoOf(stored) & 0x80, 0u);
    EXPECT_EQ(std::string_view(stored->val, stored->len), "name");
    EXPECT_EQ(key.refCount(), 1u);

    EXPECT_TRUE(table.insert(key, ZVal(2)));
    EXPECT_EQ(table.size(), 1u) << "the same key, found by its bytes";
    EXPECT_EQ(table.at(key).asLong(), 2);
    EXPECT_TRUE(table.contains(key));
    EXPECT_FALSE(table.add(key, ZVal(3)));
    EXPECT_TRUE(table.remove(key));
    EXPECT_EQ(key.refCount(), 1u);
}

// A destructor for a table of persistent values, as an extension gives its persistent tables:
// values are let go as their handles do it, with free.
void persistentValueDestructor(zval* slot) { ZVal::take(*slot); }

TEST_F(MemoryKinds, PersistentTablesTakeOnlyPersistentMemory) {
    ZendArray table = persistentArray();
    ZendString kept = ZendString::deep_copy(ZendString("kept").get(), true);
    EXPECT_FALSE(table.add("k", ZVal(kept))) << "the engine's value destructor would efree it";
    EXPECT_EQ(kept.refCount(), 1u);
    table.get()->pDestructor = persistentValueDestructor;

    ZendString request("request");
    ZendArray requestArray(0);

    EXPECT_FALSE(table.add("s", ZVal(request))) << "a request string dies with the request";
    EXPECT_FALSE(table.add("a", ZVal(requestArray)));
    EXPECT_FALSE(table.add("i", ZVal(host::internString("interned")))) << "request-interned strings die too";
    EXPECT_EQ(request.refCount(), 1u);
    EXPECT_EQ(requestArray.refCount(), 1u);

    ZendString persistent = ZendString::deep_copy(request.get(), true);
    EXPECT_TRUE(table.add("p", ZVal(persistent)));
    EXPECT_EQ(persistent.refCount(), 2u);
    EXPECT_TRUE(table.add("empty", ZVal(zend_empty_string)));
    EXPECT_TRUE(table.add("immutable", ZVal(const_cast<zend_array*>(&zend_empty_array))));
    EXPECT_TRUE(table.add("n", ZVal(5)));

    // A request key is copied by the engine into persistent memory.
    ASSERT_TRUE(table.insert(request, ZVal(6)));
    zend_string* stored = keyOf(table, 4);
    EXPECT_NE(stored, request.get());
    EXPECT_EQ(typeInfoOf(stored) & 0x80, 0x80u);
    EXPECT_EQ(request.refCount(), 1u);
    EXPECT_EQ(table.at(request).asLong(), 6);
    EXPECT_EQ(table.size(), 5u);
}

TEST_F(MemoryKinds, AValueTheEngineRefusesGoesBackWithItsOwnAllocator) {
    ZendArray table = persistentArray();
    table.get()->pDestructor = persistentValueDestructor;
    ZendString text("text");
    ASSERT_TRUE(table.add("p", ZVal(ZendString::deep_copy(text.get(), true))));
    size_t persistentBlocks = host::livePersistentBlocks();
    // The last reference of a persistent string, refused: an existing key, then a full table.
    EXPECT_FALSE(table.add("p", ZVal(ZendString::deep_copy(text.get(), true))));
    ASSERT_TRUE(table.add(INT64_MAX, ZVal(1)));
    EXPECT_FALSE(table.add(ZVal(ZendString::deep_copy(text.get(), true))));
    if (host::persistentFreesVisible()) {
        EXPECT_EQ(host::livePersistentBlocks(), persistentBlocks) << "each refused copy was freed";
    }
    EXPECT_EQ(table.size(), 2u);
}

// Immutable arrays of the request (opcache's shared literals) are gone after opcache_reset() or, in
// file-cache mode, when the request ends; only the engine's static empty array lives for ever.
TEST_F(MemoryKinds, PersistentTablesRefuseTheRequestsImmutableArrays) {
    ZendArray table = persistentArray();
    zend_array* literal = ZendArray::zendNewArray(0);
    corvane::engine::setGcFlags(literal, 0x40);  // as opcache marks the literals it shares
    EXPECT_FALSE(table.add("literal", ZVal(literal)));
    EXPECT_FALSE(table.insert(1, ZVal(literal)));
    EXPECT_TRUE(table.add("empty", ZVal(const_cast<zend_array*>(&zend_empty_array))));
    EXPECT_EQ(table.size(), 1u);

    ZendArray request(8);
    EXPECT_TRUE(request.add("literal", ZVal(literal))) << "a request table outlives no request";
    request.release();
    corvane::engine::clearGcFlags(literal, 0x40);
    ZendArray::zendArrayRelease(literal);
}

// The engine's internal destructor frees persistent strings with free and stops the process
// (E_CORE_ERROR) on the last reference of anything else; a table without a destructor never gives
// its values' references back.
TEST_F(MemoryKinds, CountedValuesGoOnlyWhereTheTablesDestructorGivesThemBack) {
    ZendArray strings = persistentArray();
    strings.get()->pDestructor = ZVAL_INTERNAL_PTR_DTOR;
    ZendString text("text");
    ZendString persistent = ZendString::deep_copy(text.get(), true);
    ZendArray persistentArrayValue = persistentArray();
    EXPECT_TRUE(strings.add("s", ZVal(persistent)));
    EXPECT_EQ(persistent.refCount(), 2u);
    EXPECT_FALSE(strings.add("a", ZVal(persistentArrayValue))) << "its last reference would stop the process";
    EXPECT_EQ(persistentArrayValue.refCount(), 1u);
    EXPECT_TRUE(strings.add("n", ZVal(1)));
    EXPECT_TRUE(strings.add("empty", ZVal(const_cast<zend_array*>(&zend_empty_array))));
    persistent.release();
    strings.release();  // zend_hash_destroy: the internal destructor frees the string with free

    ZendArray requestStrings(8);
    requestStrings.get()->pDestructor = ZVAL_INTERNAL_PTR_DTOR;
    EXPECT_FALSE(requestStrings.add("s", ZVal(ZendString("request")))) << "free() of request memory";
    EXPECT_TRUE(requestStrings.add("i", ZVal(host::internString("interned"))));

    ZendArray unowned(8);
    unowned.get()->pDestructor = nullptr;
    ZendString kept("kept");
    EXPECT_FALSE(unowned.add("s", ZVal(kept))) << "it would never be given back";
    EXPECT_FALSE(unowned.add("a", ZVal(ZendArray(0))));
    EXPECT_EQ(kept.refCount(), 1u);
    EXPECT_TRUE(unowned.add("n", ZVal(2)));
    EXPECT_TRUE(unowned.add("i", ZVal(host::internString("interned"))));
    EXPECT_EQ(unowned.size(), 2u);
}

}  // namespace
