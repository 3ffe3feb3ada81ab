// Creating, sharing, moving, handing back and releasing engine arrays.
#include "engine_facts.h"
#include "engine_test.h"

namespace {

using ArrayLifecycle = EngineTest;

zend_array* immutableEmpty() { return const_cast<zend_array*>(&zend_empty_array); }

TEST_F(ArrayLifecycle, EmptyHandleCallsNothing) {
    size_t calls = host::engineCalls();
    {
        ZendArray empty;
        EXPECT_EQ(empty.get(), nullptr);
        EXPECT_FALSE(static_cast<bool>(empty));
        EXPECT_EQ(empty.size(), 0u);
        EXPECT_TRUE(empty.isEmpty());
        empty.release();
        EXPECT_EQ(empty.detach(), nullptr);
    }
    ACCOUNTED_EQ(host::engineCalls(), calls);
}

TEST_F(ArrayLifecycle, SizeHintMakesANewArray) {
    {
        ZendArray array(0);
        ASSERT_FALSE(array.isNull());
        EXPECT_EQ(array.refCount(), 1u);
        EXPECT_EQ(array.size(), 0u);
        EXPECT_TRUE(array.isEmpty());
        EXPECT_EQ(typeInfoOf(array.get()), facts::kNewArrayHeader);
    }
    ACCOUNTED_EQ(host::liveRequestBlocks(), 0u) << "the last handle destroys the array";

    ZendArray big((1ull << 32) + 100);
    EXPECT_EQ(big.get()->nTableSize, 128u) << "only the low 32 bits reach the engine";
}

TEST_F(ArrayLifecycle, WrappingARawArrayShares) {
    zend_array* raw = ZendArray::zendNewArray(8);
    host::allowSharedWrites(raw);  // written below while three references share it
    EXPECT_EQ(countOf(raw), 1u);
    {
        ZendArray wrapped(raw);
        EXPECT_EQ(countOf(raw), 2u);
        ZendArray copy(wrapped);
        EXPECT_EQ(copy.get(), raw);
        EXPECT_EQ(countOf(raw), 3u);
        copy.add("k", ZVal(1));
        EXPECT_TRUE(wrapped.contains("k")) << "copies share one array";
    }
    EXPECT_EQ(countOf(raw), 1u);
    EXPECT_EQ(zend_array_count(raw), 1u);
    ZendArray::zendArrayRelease(raw);
    ACCOUNTED_EQ(host::liveRequestBlocks(), 0u);
}

TEST_F(ArrayLifecycle, ImmutableArraysAreNeverCountedOrDestroyed) {
    zend_array* empty = immutableEmpty();
    unsigned int stored = countOf(empty);
    {
        ZendArray a(empty);
        ZendArray b(a);
        ZendArray c;
        c = a;
        c = empty;
        ZendArray d(std::move(b));
        EXPECT_TRUE(a.isImmutable());
        EXPECT_EQ(a.size(), 0u);
        EXPECT_EQ(countOf(empty), stored);
        ZendArray::zendArrayRelease(empty);
        EXPECT_EQ(countOf(empty), stored);
    }
    EXPECT_EQ(countOf(empty), stored);
}

TEST_F(ArrayLifecycle, MovesAndDetachPassTheReference) {
    ZendArray source(8);
    zend_array* array = source.get();
    ZendArray moved(std::move(source));
    EXPECT_TRUE(source.isNull());
    EXPECT_EQ(countOf(array), 1u);

    ZendArray target(8);
    target = std::move(moved);  // frees target's own array first
    EXPECT_TRUE(moved.isNull());
    EXPECT_EQ(target.get(), array);
    EXPECT_EQ(countOf(array), 1u);
    ACCOUNTED_EQ(host::liveRequestBlocks(), 1u);

    zend_array* detached = target.detach();
    EXPECT_EQ(detached, array);
    EXPECT_TRUE(target.isNull());
    EXPECT_EQ(countOf(array), 1u);
    target.release();
    EXPECT_EQ(countOf(array), 1u);
    ZendArray::zendArrayRelease(detached);
}

TEST_F(ArrayLifecycle, AssignmentsAndSelfAssignments) {
    ZendArray a(8);
    zend_array* array = a.get();
    ZendArray& self = a;
    a = self;
    a = std::move(self);
    EXPECT_EQ(a.get(), array);
    EXPECT_EQ(countOf(array), 1u);

    ZendArray b(a);
    b = a;  // another handle on the same array
    EXPECT_EQ(countOf(array), 2u);

    a = a.get();  // the pointer it holds, while not the last reference
    EXPECT_EQ(countOf(array), 2u);
    b.release();
    a = a.get();  // the pointer it holds, as the last reference
    EXPECT_EQ(a.get(), array);
    EXPECT_EQ(countOf(array), 1u);

    ZendArray other(8);
    a = other;  // the only reference of the old array goes
    ACCOUNTED_EQ(host::liveRequestBlocks(), 1u);
    a = ZendArray::zendNewArray(8);
    EXPECT_EQ(countOf(a.get()), 2u) << "a raw pointer is shared, the caller keeps its reference";
    ZendArray::zendArrayRelease(a.get());
    a = static_cast<zend_array*>(nullptr);
    EXPECT_TRUE(a.isNull());
    a = ZendArray();
    EXPECT_TRUE(a.isNull());
}

TEST_F(ArrayLifecycle, ZendNewArrayBelongsToTheCaller) {
    ZendArray handle(ZendArray::zendNewArray(8));
    EXPECT_EQ(handle.refCount(), 2u);
    ZendArray::zendArrayRelease(handle.get());
    EXPECT_EQ(handle.refCount(), 1u);
}

TEST_F(ArrayLifecycle, LastReferenceDestroysElementsToo) {
    zend_string* str = newString("element");
    ZendString keeper = ZendString::take(str);
    {
        ZendArray array(8);
        array.add("s", ZVal(keeper));
        EXPECT_EQ(countOf(str), 2u);
    }
    EXPECT_EQ(countOf(str), 1u);
}

TEST_F(ArrayLifecycle, PersistentArraysAreFreedWithFree) {
    // The engine frees what zval_ptr_dtor lets go with efree, so a persistent table holds values
    // that need no freeing; its keys are persistent copies the engine makes.
    size_t persistentBefore = host::livePersistentBlocks();
    zend_array* persistent = host::newPersistentArray(8);
    {
        ZendArray handle(persistent);
        ZendArray::zendArrayRelease(persistent);  // the creator's reference
        handle.add("key", ZVal(7));
        handle.add(ZendString::deep_copy(ZendString("k2").get(), true), ZVal(8));
        EXPECT_TRUE(handle.isPersistent());
        EXPECT_TRUE(typeInfoOf(handle.get()->arData[0].key) & 0x80) << "keys of a persistent table are persistent";
        EXPECT_EQ(handle.refCount(), 1u);
    }
    if (host::persistentFreesVisible()) {
        EXPECT_EQ(host::livePersistentBlocks(), persistentBefore);
    }

    zend_array* raw = host::newPersistentArray(8);
    ZendArray::zendArrayRelease(raw);  // zend_array_destroy would free it with efree
}

TEST_F(ArrayLifecycle, ValuesLetPersistentArraysGoAsTheirHandlesDo) {
    size_t persistentBefore = host::livePersistentBlocks();
    zend_array* persistent = host::newPersistentArray(8);
    {
        ZVal value(persistent);  // takes over the creator's reference
        ZVal copy(value);
        EXPECT_EQ(countOf(persistent), 2u);
    }
    if (host::persistentFreesVisible()) {
        EXPECT_EQ(host::livePersistentBlocks(), persistentBefore);
    }
}

}  // namespace

namespace {
// Element destructors run while the last handle destroys its array, and the code they run (PHP's
// __destruct, an extension's handlers) may reach that very handle.
const ZendArray* dyingHolder = nullptr;
unsigned long long sizeSeenByElement = 99;
bool heldSeenByElement = true;

void lookAtTheHolder(zval* value) {
    sizeSeenByElement = dyingHolder->size();
    heldSeenByElement = static_cast<bool>(*dyingHolder);
    zval_ptr_dtor(value);
}
}  // namespace

TEST_F(ArrayLifecycle, ElementDestructorsFindTheDyingHandleEmpty) {
    auto* holder = new ZendArray(0);
    holder->add(ZVal(ZendString("element")));
    holder->get()->pDestructor = lookAtTheHolder;
    dyingHolder = holder;
    delete holder;  // the last reference: the array and its element are destroyed here
    EXPECT_EQ(sizeSeenByElement, 0u);
    EXPECT_FALSE(heldSeenByElement);
    dyingHolder = nullptr;
}
