// Taking over an array's reference, and separating a shared or immutable array before a write.
#include "engine_test.h"

namespace {

using AdoptAndSeparate = EngineTest;

TEST_F(AdoptAndSeparate, AdoptingTakesTheCallersReferenceWithoutCounting) {
    zend_array* raw = ZendArray::zendNewArray(8);
    ASSERT_EQ(countOf(raw), 1u);
    {
        ZendArray adopted(raw, true);
        EXPECT_EQ(adopted.get(), raw);
        EXPECT_EQ(adopted.refCount(), 1u) << "the handle holds the caller's reference, not one more";
        EXPECT_TRUE(adopted.insert("k", ZVal(1)));
    }
    // The handle let the only reference go: the array is gone, nothing leaks (checked at request end).
    const size_t blocks = host::liveRequestBlocks();
    ZendArray taken = ZendArray::take(ZendArray::zendNewArray(8));
    EXPECT_EQ(taken.refCount(), 1u);
    ACCOUNTED_EQ(host::liveRequestBlocks(), blocks + 1);
    taken.release();
    ACCOUNTED_EQ(host::liveRequestBlocks(), blocks) << "releasing the taken handle destroys the array";
}

TEST_F(AdoptAndSeparate, SharingFormsStillAddAReference) {
    ZendArray owner(8);
    ZendArray shared(owner.get(), false);
    EXPECT_EQ(owner.refCount(), 2u);
    ZendArray alsoShared(owner.get());
    EXPECT_EQ(owner.refCount(), 3u);
}

TEST_F(AdoptAndSeparate, AdoptingNullOrAnImmutableArrayCountsNothing) {
    ZendArray none(nullptr, true);
    EXPECT_TRUE(none.isNull());
    auto* empty = const_cast<zend_array*>(&zend_empty_array);
    const unsigned int count = countOf(empty);
    {
        ZendArray immutable = ZendArray::take(empty);
        EXPECT_EQ(immutable.get(), empty);
    }
    EXPECT_EQ(countOf(empty), count) << "immutable arrays are never counted, nor released";
}

TEST_F(AdoptAndSeparate, SeparatingAnUnsharedArrayChangesNothing) {
    ZendArray array(8);
    ASSERT_TRUE(array.add("k", ZVal(1)));
    zend_array* before = array.get();
    const size_t calls = host::engineCalls();
    EXPECT_TRUE(array.separate());
    EXPECT_EQ(array.get(), before);
    EXPECT_EQ(array.refCount(), 1u);
    ACCOUNTED_EQ(host::engineCalls(), calls) << "a count-1 array is not copied";
}

TEST_F(AdoptAndSeparate, SeparatingASharedArrayLeavesTheOtherHoldersUnchanged) {
    ZendArray caller(8);
    ZendString text("shared text");
    ASSERT_TRUE(caller.add("s", ZVal(text)));
    ASSERT_TRUE(caller.add(1, ZVal(2)));
    EXPECT_EQ(text.refCount(), 2u);

    ZendArray argument(caller.get());  // as a received argument: the caller keeps its reference
    ASSERT_EQ(caller.refCount(), 2u);
    EXPECT_TRUE(argument.separate());
    EXPECT_NE(argument.get(), caller.get()) << "the engine's copy replaced the shared array";
    EXPECT_EQ(argument.refCount(), 1u) << "the handle holds the copy's only reference";
    EXPECT_EQ(caller.refCount(), 1u) << "the handle let its reference of the original go";
    EXPECT_EQ(text.refCount(), 3u) << "the copy shares the elements, each counted once more";

    EXPECT_TRUE(argument.insert("s", ZVal(9)));
    EXPECT_TRUE(argument.add("new", ZVal(3)));
    EXPECT_EQ(caller.at("s").asString().view(), "shared text") << "the caller's array never changes";
    EXPECT_FALSE(caller.contains("new"));
    EXPECT_EQ(caller.size(), 2u);
    EXPECT_EQ(argument.size(), 3u);
    EXPECT_EQ(text.refCount(), 2u);
}

TEST_F(AdoptAndSeparate, SeparatingAnImmutableArrayGivesAWritableCopy) {
    ZendArray array(const_cast<zend_array*>(&zend_empty_array));
    ASSERT_TRUE(array.isImmutable());
    EXPECT_FALSE(array.add("k", ZVal(1))) << "an immutable array is not written";
    EXPECT_TRUE(array.separate());
    EXPECT_NE(array.get(), &zend_empty_array);
    EXPECT_FALSE(array.isImmutable());
    EXPECT_EQ(array.refCount(), 1u);
    EXPECT_TRUE(array.add("k", ZVal(1)));
    EXPECT_EQ(array.size(), 1u);
    EXPECT_EQ(zend_empty_array.nNumOfElements, 0u);
}

TEST_F(AdoptAndSeparate, TheCopyKeepsOrderKeysAndNextFreeIndexAndClosesHoles) {
    ZendArray caller(8);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(caller.add(ZVal(i * 10)));
    ASSERT_TRUE(caller.add("name", ZVal(ZendString("value"))));
    ASSERT_TRUE(caller.remove(1));
    ASSERT_TRUE(caller.remove(3));
    ZendArray copy(caller.get());
    ASSERT_TRUE(copy.separate());
    EXPECT_EQ(copy.size(), 4u);
    EXPECT_EQ(copy.get()->nNumUsed, 4u) << "the engine's copy has no holes";
    EXPECT_EQ(copy.get()->nNextFreeElement, caller.get()->nNextFreeElement);
    std::vector<std::string> seen;
    for (auto [key, value] : copy.items()) {
        seen.push_back(key.isString() ? std::string(key.view()) : std::to_string(key.integer()));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"0", "2", "4", "name"}));
    EXPECT_TRUE(copy.add(ZVal(1)));
    EXPECT_TRUE(copy.contains(5)) << "appending goes on after the source's last index";
}

TEST_F(AdoptAndSeparate, AReferenceOnlyTheSourceHoldsIsCopiedAsItsValue) {
    ZendArray caller(8);
    zval single = host::newReference(*ZVal(1).get());
    ASSERT_TRUE(caller.add("single", ZVal::take(single)));
    ZVal kept = ZVal::makeReference(ZVal(2));
    ASSERT_TRUE(caller.add("kept", kept));  // the reference also lives in kept: count 2

    ZendArray copy(caller.get());
    ASSERT_TRUE(copy.separate());
    EXPECT_TRUE(copy.at("single").isLong()) << "PHP copies a reference of count 1 as its value";
    EXPECT_TRUE(copy.at("kept").isReference()) << "a reference still held elsewhere stays one";
    EXPECT_TRUE(caller.at("single").isReference());
    ASSERT_TRUE(kept.assign(ZVal(7)));
    EXPECT_EQ(copy.at("kept").dereferenced().asLong(), 7) << "the copy shares the reference";
}

TEST_F(AdoptAndSeparate, ASharedPersistentArrayIsNotCopiedIntoRequestMemory) {
    zend_array* raw = host::newPersistentArray(8);
    {
        ZendArray first(raw, true);
        ZendArray second(first);
        EXPECT_FALSE(second.separate()) << "the engine's copy would hold persistent memory in a request array";
        EXPECT_EQ(second.get(), raw);
        EXPECT_EQ(first.refCount(), 2u);
        EXPECT_FALSE(ZendArray().separate()) << "an empty handle has nothing to write";
    }
}

// A debug PHP asserts (HT_ASSERT_RC1) on a write into a table whose count is above 1; an adopted
// array has count 1, so writes pass.
TEST_F(AdoptAndSeparate, WritesIntoAnAdoptedArrayPassADebugEnginesCountCheck) {
    if (!host::isDebugEngine()) GTEST_SKIP() << "needs a debug build of PHP, which checks counts on writes";
    ZendArray array = ZendArray::take(ZendArray::zendNewArray(8));
    EXPECT_TRUE(array.insert("k", ZVal(1)));
    EXPECT_TRUE(array.add(ZVal(2)));
    EXPECT_TRUE(array.remove("k"));
    ZendArray shared(array.get());
    ASSERT_TRUE(shared.separate());
    EXPECT_TRUE(shared.add(ZVal(3)));
}

}  // namespace
