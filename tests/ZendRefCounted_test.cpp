// The reference rules every handle shares, seen through the string handle.
#include "engine_test.h"

namespace {

using RefCounted = EngineTest;

// Opens the protected pointer exchange for tests.
struct OpenHandle : ZendString {
    using ZendString::ZendString;
    using ZendRefCounted::set;
};

TEST_F(RefCounted, EmptyHandleAnswersNeutrally) {
    ZendString empty;
    size_t callsBefore = host::engineCalls();
    EXPECT_TRUE(empty.isNull());
    EXPECT_FALSE(static_cast<bool>(empty));
    EXPECT_EQ(empty.ZendRefCounted::get(), nullptr);
    EXPECT_EQ(empty.refCount(), 0u);
    EXPECT_FALSE(empty.isImmutable());
    EXPECT_FALSE(empty.isPersistent());
    EXPECT_EQ(empty.addRef(), 0u);
    EXPECT_EQ(empty.delRef(), 0u);
    EXPECT_EQ(empty.ZendRefCounted::detach(), nullptr);
    empty.release();
    ACCOUNTED_EQ(host::engineCalls(), callsBefore);
}

TEST_F(RefCounted, ImmutableObjectsAreNeverCounted) {
    zend_string* interned = host::internString("interned");
    unsigned int stored = countOf(interned);
    ZendString handle(interned, false);
    EXPECT_TRUE(handle.isImmutable());
    EXPECT_EQ(handle.addRef(), 1u);
    EXPECT_EQ(handle.delRef(), 1u);
    EXPECT_EQ(handle.refCount(), stored);
    EXPECT_EQ(countOf(interned), stored);
}

TEST_F(RefCounted, DelRefToZeroNeitherFreesNorEmpties) {
    ZendString handle("abc");
    zend_string* str = handle.get();
    EXPECT_EQ(handle.refCount(), 1u);
    EXPECT_EQ(handle.delRef(), 0u);
    EXPECT_EQ(handle.get(), str);
    ACCOUNTED_NE(host::blockSize(str), 0u) << "delRef must never free";
    EXPECT_EQ(handle.addRef(), 1u);
    EXPECT_EQ(handle.addRef(), 2u);
    EXPECT_EQ(handle.delRef(), 1u);
}

TEST_F(RefCounted, MovesPassTheReferenceWithoutCounting) {
    ZendString first("abc");
    zend_string* str = first.get();

    ZendString second(std::move(first));
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(second.get(), str);
    EXPECT_EQ(countOf(str), 1u);

    ZendRefCounted& base = second;
    ZendRefCounted& alias = second;
    base = std::move(alias);  // self-move through the base
    EXPECT_EQ(second.get(), str);
    EXPECT_EQ(countOf(str), 1u);

    ZendString third("old");
    zend_string* old = third.get();
    ZendString keeper(old, false);
    static_cast<ZendRefCounted&>(third) = std::move(second);
    EXPECT_EQ(countOf(old), 1u) << "the move assignment releases the held object first";
    EXPECT_EQ(third.get(), str);
    EXPECT_TRUE(second.isNull());
    EXPECT_EQ(countOf(str), 1u);
}

TEST_F(RefCounted, DetachHandsTheReferenceOver) {
    ZendString handle("abc");
    zend_string* str = handle.get();
    EXPECT_EQ(handle.ZendRefCounted::detach(), reinterpret_cast<zend_refcounted*>(str));
    EXPECT_EQ(handle.ZendRefCounted::detach(), nullptr);
    EXPECT_EQ(countOf(str), 1u);
    ZendString::take(str);  // give it back
}

TEST_F(RefCounted, SetReplacesThePointerWithoutCounting) {
    zend_string* a = newString("a");
    zend_string* b = newString("b");
    OpenHandle handle(a, true);
    handle.set(b);
    EXPECT_EQ(handle.get(), b);
    EXPECT_EQ(countOf(a), 1u);
    EXPECT_EQ(countOf(b), 1u);
    handle.set(nullptr);
    EXPECT_TRUE(handle.isNull());
    ZendString::take(a);
    ZendString::take(b);
}

TEST_F(RefCounted, PersistentFlagFollowsTheHeader) {
    ZendString request("abc");
    EXPECT_FALSE(request.isPersistent());
    ZendString persistent = ZendString::deep_copy(request.get(), true);
    EXPECT_TRUE(persistent.isPersistent());
    EXPECT_FALSE(persistent.isImmutable());
    EXPECT_TRUE(ZendString(zend_empty_string, false).isPersistent());
}

// A handle releases only objects of its own kind: through base references, a move between a string
// handle and an array handle is refused, and each keeps what it holds.
TEST_F(RefCounted, MovesAcrossHandleClassesAreRefused) {
    ZendString str("abc");
    ZendArray arr(0);
    zend_string* s = str.get();
    zend_array* a = arr.get();
    ZendRefCounted& strBase = str;
    ZendRefCounted& arrBase = arr;
    strBase = std::move(arrBase);
    EXPECT_EQ(str.get(), s);
    EXPECT_EQ(arr.get(), a);
    arrBase = std::move(strBase);
    EXPECT_EQ(str.get(), s);
    EXPECT_EQ(arr.get(), a);
    EXPECT_EQ(str.refCount(), 1u);
    EXPECT_EQ(arr.refCount(), 1u);

    ZendString other("other");
    ZendRefCounted& otherBase = other;
    strBase = std::move(otherBase);  // the same class: moved as ever
    EXPECT_TRUE(other.isNull());
    EXPECT_EQ(str.view(), "other");
}

}  // namespace
