// Creating, sharing, adopting, copying and releasing engine strings.
#include "engine_facts.h"
#include "engine_test.h"

#include <cstring>
#include <memory>

namespace {

using StringLifecycle = EngineTest;
using StringOwner = std::unique_ptr<zend_string, ZendStringPtrDestructor>;

TEST_F(StringLifecycle, NewStringsAreRequestStringsWithCountOne) {
    ZendString abc("abc");
    ASSERT_FALSE(abc.isNull());
    EXPECT_EQ(abc.refCount(), 1u);
    EXPECT_EQ(typeInfoOf(abc.get()), facts::kNewStringHeader);
    EXPECT_EQ(abc.get()->h, 0u);
    EXPECT_EQ(abc.get()->len, 3u);
    EXPECT_EQ(std::memcmp(abc.get()->val, "abc", 4), 0) << "characters and the terminating zero";
    ACCOUNTED_EQ(host::liveRequestBlocks(), 1u);

    ZendString empty("");
    ASSERT_FALSE(empty.isNull());
    EXPECT_NE(empty.get(), zend_empty_string) << "a new string, not the shared empty one";
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_EQ(empty.refCount(), 1u);

    const char bytes[] = {'a', '\0', 'b'};
    ZendString embedded(std::string_view(bytes, 3));
    EXPECT_EQ(embedded.size(), 3u);
    EXPECT_EQ(std::memcmp(embedded.data(), bytes, 3), 0);
}

TEST_F(StringLifecycle, AllocationSizeIsRoundedToEightBytes) {
    ACCOUNTED_EQ(host::blockSize(ZendString("").get()), 32u);
    ACCOUNTED_EQ(host::blockSize(ZendString("12345").get()), 32u);
    ACCOUNTED_EQ(host::blockSize(ZendString("1234567").get()), 32u);
    ACCOUNTED_EQ(host::blockSize(ZendString("12345678").get()), 40u);
}

TEST_F(StringLifecycle, NullSourcesGiveEmptyHandles) {
    size_t blocks = host::liveRequestBlocks();
    EXPECT_TRUE(ZendString(static_cast<const char*>(nullptr)).isNull());
    EXPECT_TRUE(ZendString(std::string_view(nullptr, 0)).isNull());
    EXPECT_TRUE(ZendString(std::string_view(nullptr, 5)).isNull()) << "a null data pointer wins over the length";
    EXPECT_TRUE(ZendString(static_cast<zend_string*>(nullptr), false).isNull());
    EXPECT_TRUE(ZendString(static_cast<zend_string*>(nullptr), true).isNull());
    EXPECT_TRUE(ZendString::take(nullptr).isNull());
    EXPECT_TRUE(ZendString::deep_copy(nullptr, true).isNull());
    StringOwner none;
    EXPECT_TRUE(ZendString(std::move(none)).isNull());
    ACCOUNTED_EQ(host::liveRequestBlocks(), blocks);
}

TEST_F(StringLifecycle, SharingAddsAReferenceAndAdoptingTakesOne) {
    zend_string* str = newString("shared");
    {
        ZendString shared(str, false);
        EXPECT_EQ(countOf(str), 2u);
        ZendString copy(shared);
        EXPECT_EQ(countOf(str), 3u);
        EXPECT_EQ(copy.get(), str);
    }
    EXPECT_EQ(countOf(str), 1u);
    {
        ZendString adopted(str, true);
        EXPECT_EQ(countOf(str), 1u);
    }
    ACCOUNTED_EQ(host::blockSize(str), 0u) << "the adopted reference was the last one";

    zend_string* taken = newString("taken");
    ZendString viaTake = ZendString::take(taken);
    EXPECT_EQ(countOf(taken), 1u);
}

TEST_F(StringLifecycle, InternedStringsAreSharedWithoutCounting) {
    zend_string* interned = host::internString("hello");
    unsigned int stored = countOf(interned);
    {
        ZendString a(interned, false);
        ZendString b(a);
        ZendString c;
        c = interned;
        c = a;
        ZendString d(interned, true);
        EXPECT_EQ(countOf(interned), stored);
    }
    EXPECT_EQ(countOf(interned), stored);
    EXPECT_EQ(host::internString("hello"), interned) << "still alive: never freed by a handle";
}

TEST_F(StringLifecycle, AssignmentsReleaseFirst) {
    ZendString target("first");
    ZendString empty;
    target = empty;  // frees "first"
    EXPECT_TRUE(target.isNull());
    EXPECT_TRUE(empty.isNull());
    ACCOUNTED_EQ(host::liveRequestBlocks(), 0u);

    ZendString source("second");
    target = source;
    EXPECT_EQ(target.get(), source.get());
    EXPECT_EQ(source.refCount(), 2u);

    target = ZendString("third");
    EXPECT_EQ(source.refCount(), 1u);
    EXPECT_EQ(target.view(), "third");

    target = "fourth";
    EXPECT_EQ(target.view(), "fourth");
    target = std::string_view("fifth");
    EXPECT_EQ(target.view(), "fifth");
    ACCOUNTED_EQ(host::liveRequestBlocks(), 2u);

    target = static_cast<const char*>(nullptr);
    EXPECT_TRUE(target.isNull());
    target = std::string_view();
    EXPECT_TRUE(target.isNull());
    target = static_cast<zend_string*>(nullptr);
    EXPECT_TRUE(target.isNull());

    target = source.get();
    EXPECT_EQ(source.refCount(), 2u);
}

TEST_F(StringLifecycle, SelfAssignmentsKeepTheStringAlive) {
    ZendString handle("self");
    zend_string* str = handle.get();

    ZendString& same = handle;
    handle = same;
    handle = std::move(same);
    EXPECT_EQ(handle.get(), str);
    EXPECT_EQ(countOf(str), 1u);

    handle = handle.get();
    EXPECT_EQ(handle.get(), str);
    EXPECT_EQ(countOf(str), 1u);

    handle = handle.view();  // text from inside the only reference
    EXPECT_EQ(handle.view(), "self");
    EXPECT_EQ(handle.refCount(), 1u);
    handle = handle.c_str();
    EXPECT_EQ(handle.view(), "self");
    handle = handle.view().substr(1);
    EXPECT_EQ(handle.view(), "elf");
}

TEST_F(StringLifecycle, MovedFromAndDetachedHandlesReleaseNothing) {
    ZendString source("moving");
    zend_string* str = source.get();
    ZendString moved(std::move(source));
    EXPECT_TRUE(source.isNull());
    source.release();
    EXPECT_EQ(countOf(str), 1u);

    zend_string* detached = moved.detach();
    EXPECT_EQ(detached, str);
    EXPECT_TRUE(moved.isNull());
    EXPECT_EQ(moved.detach(), nullptr);
    EXPECT_EQ(countOf(str), 1u);
    ZendString::take(detached);
    ACCOUNTED_EQ(host::liveRequestBlocks(), 0u);
}

TEST_F(StringLifecycle, DeepCopyMakesAFreshStringOfTheAskedKind) {
    ZendString source("copy me");
    source.hash();
    ASSERT_NE(source.get()->h, 0u);

    ZendString persistent = ZendString::deep_copy(source.get(), true);
    EXPECT_NE(persistent.get(), source.get());
    EXPECT_EQ(persistent.refCount(), 1u);
    EXPECT_EQ(typeInfoOf(persistent.get()), facts::kNewPersistentStringHeader);
    EXPECT_EQ(persistent.get()->h, 0u) << "the cached hash is not carried over";
    EXPECT_EQ(persistent.view(), "copy me");
    EXPECT_EQ(source.refCount(), 1u);
    ACCOUNTED_EQ(host::liveRequestBlocks(), 1u) << "the persistent copy is not request memory";

    ZendString request = ZendString::deep_copy(persistent.get(), false);
    EXPECT_EQ(typeInfoOf(request.get()), facts::kNewStringHeader);
    EXPECT_EQ(request.view(), "copy me");

    ZendString fromInterned = ZendString::deep_copy(host::internString("interned"), false);
    EXPECT_FALSE(fromInterned.isInterned());
    EXPECT_EQ(fromInterned.refCount(), 1u);
}

TEST_F(StringLifecycle, PersistentStringsAreFreedWithFree) {
    if (!host::hasAccounting()) GTEST_SKIP() << "this engine keeps no accounting of free()";
    if (!host::persistentFreesVisible())
        GTEST_SKIP() << "free() is not seen by the stand-in in this run (a sanitizer or valgrind owns it)";
    size_t before = host::livePersistentBlocks();
    {
        ZendString persistent = ZendString::deep_copy(ZendString("p").get(), true);
        ACCOUNTED_EQ(host::livePersistentBlocks(), before + 1);
        ZendString shared(persistent);
    }
    ACCOUNTED_EQ(host::livePersistentBlocks(), before);
}

TEST_F(StringLifecycle, TheOwningPointerDropsOneReference) {
    zend_string* str = newString("owned");
    ZendString keeper(str, false);
    {
        StringOwner owner(str);
    }
    EXPECT_EQ(countOf(str), 1u);

    StringOwner owner(keeper.detach());
    ZendString fromOwner(std::move(owner));
    EXPECT_EQ(owner.get(), nullptr);
    EXPECT_EQ(fromOwner.get(), str);
    EXPECT_EQ(countOf(str), 1u);

    StringOwner interned(host::internString("x"));
    interned.reset();

    if (host::persistentFreesVisible()) {
        size_t before = host::livePersistentBlocks();
        StringOwner persistent(ZendString::deep_copy(str, true).detach());
        persistent.reset();
        ACCOUNTED_EQ(host::livePersistentBlocks(), before);
    }
}

TEST_F(StringLifecycle, AStringNobodyReleasesIsALeakAtRequestEnd) {
    if (!host::reportsLeaks()) GTEST_SKIP() << "this engine does not report leaks";
    ZendString("forgotten").detach();
    testing::internal::CaptureStderr();
    EXPECT_EQ(host::requestShutdown(), 1u);
    testing::internal::GetCapturedStderr();
    host::requestStartup();  // the fixture ends the next one
}

TEST_F(StringLifecycle, SmartStrExtractTakesTheBuiltString) {
    smart_str nothing{};
    StringOwner shared = ZendString::smartStrExtract(nothing, false);
    EXPECT_EQ(shared.get(), zend_empty_string);
    EXPECT_EQ(nothing.s, nullptr);

    smart_str builder{};
    host::smartStrAppend(builder, "hello, ");
    host::smartStrAppend(builder, "world");
    zend_string* built = builder.s;
    size_t capacity = builder.a;
    built->val[built->len] = 'X';  // the builder does not terminate its text

    StringOwner owner = ZendString::smartStrExtract(builder, true);
    EXPECT_EQ(owner.get(), built);
    EXPECT_EQ(builder.s, nullptr);
    EXPECT_EQ(builder.a, capacity);
    EXPECT_EQ(built->val[built->len], '\0');
    EXPECT_EQ(owner->gc.refcount, 1u);

    ZendString handle(std::move(owner));
    EXPECT_STREQ(handle.c_str(), "hello, world");
}

}  // namespace
