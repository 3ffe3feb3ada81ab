// PHP references (&) in values: telling them apart, reading through them, writing through them.
#include "engine_test.h"

namespace {

using References = EngineTest;

zend_reference* refOf(ZVal& value) { return value.get()->value.ref; }

TEST_F(References, AReferenceIsToldApartFromItsValue) {
    ZVal reference = ZVal::makeReference(ZVal(5));
    EXPECT_TRUE(reference.isReference());
    EXPECT_EQ(reference.getType(), 10u);
    EXPECT_EQ(reference.getTypeInfo(), 0x10au);
    EXPECT_FALSE(reference.isLong()) << "the type queries see the reference, not what it holds";
    EXPECT_THROW(reference.asLong(), std::runtime_error);
    EXPECT_FALSE(ZVal(5).isReference());
    EXPECT_FALSE(ZVal().isReference());
}

TEST_F(References, DerefLendsTheReferencedValueWithoutCounting) {
    ZendString text("text");
    ZVal reference = ZVal::makeReference(ZVal(text));
    EXPECT_EQ(text.refCount(), 2u);
    EXPECT_EQ(countOf(refOf(reference)), 1u);
    zval* inner = reference.deref();
    EXPECT_EQ(inner, &refOf(reference)->val);
    EXPECT_EQ(inner->value.str, text.get());
    EXPECT_EQ(text.refCount(), 2u);
    EXPECT_EQ(countOf(refOf(reference)), 1u);

    ZVal plain(5);
    EXPECT_EQ(plain.deref(), plain.get()) << "a value that is no reference is its own value";
}

TEST_F(References, DereferencedIsACountedCopyOfTheReferencedValue) {
    ZendString text("text");
    ZVal reference = ZVal::makeReference(ZVal(text));
    {
        ZVal copy = reference.dereferenced();
        EXPECT_TRUE(copy.isString());
        EXPECT_EQ(copy.asString().view(), "text");
        EXPECT_EQ(text.refCount(), 3u);
        EXPECT_EQ(countOf(refOf(reference)), 1u) << "the reference itself is not counted";
    }
    EXPECT_EQ(text.refCount(), 2u);
    ZVal plain(text);
    ZVal same = plain.dereferenced();
    EXPECT_EQ(same.get()->value.str, text.get());
    EXPECT_EQ(text.refCount(), 4u);
}

TEST_F(References, AssigningThroughAReferenceChangesWhatEveryHolderSees) {
    ZendString old("old");
    ZVal reference = ZVal::makeReference(ZVal(old));
    ZVal otherHolder = reference;  // as the caller's variable holds it
    EXPECT_EQ(countOf(refOf(reference)), 2u);

    EXPECT_TRUE(reference.assign(ZVal(42)));
    EXPECT_EQ(otherHolder.dereferenced().asLong(), 42) << "the caller's variable sees the new value";
    EXPECT_EQ(old.refCount(), 1u) << "the old value's reference was given back";
    EXPECT_TRUE(reference.isReference()) << "the ZVal still holds the reference";
    EXPECT_EQ(countOf(refOf(reference)), 2u);

    ZendString next("next");
    EXPECT_TRUE(reference.assign(ZVal(next)));
    EXPECT_EQ(next.refCount(), 2u);
    EXPECT_EQ(otherHolder.dereferenced().asString().view(), "next");
}

TEST_F(References, AssigningToAPlainValueReplacesIt) {
    ZendString old("old");
    ZVal value(old);
    EXPECT_TRUE(value.assign(ZVal(3)));
    EXPECT_EQ(value.asLong(), 3);
    EXPECT_EQ(old.refCount(), 1u);
}

TEST_F(References, AssignRefusesWhatAReferenceMayNotHold) {
    ZVal reference = ZVal::makeReference(ZVal(1));
    EXPECT_FALSE(reference.assign(ZVal()));
    ZendString persistent = ZendString::deep_copy(ZendString("p").get(), true);
    EXPECT_FALSE(reference.assign(ZVal(persistent))) << "a reference's destructor would efree it";
    EXPECT_EQ(persistent.refCount(), 1u) << "the refused value went back";
    EXPECT_EQ(reference.dereferenced().asLong(), 1) << "nothing changed";
}

TEST_F(References, MakeReferenceTakesTheValueOver) {
    ZendString text("text");
    ZVal value(text);
    ZVal reference = ZVal::makeReference(std::move(value));
    EXPECT_TRUE(value.isUndef());
    EXPECT_EQ(text.refCount(), 2u) << "the reference holds the value's reference, no new one";
    EXPECT_EQ(countOf(refOf(reference)), 1u);
    ACCOUNTED_EQ(host::blockSize(refOf(reference)), sizeof(zend_reference)) << "request memory, as ZVAL_NEW_REF";

    ZVal again = ZVal::makeReference(reference);
    EXPECT_EQ(again.get()->value.ref, refOf(reference)) << "a reference is not wrapped twice";
    EXPECT_EQ(countOf(refOf(reference)), 2u);

    ZVal fromUndefined = ZVal::makeReference(ZVal());
    EXPECT_TRUE(fromUndefined.dereferenced().isNull()) << "as $a = &$undefined makes null";

    ZendString persistent = ZendString::deep_copy(ZendString("p").get(), true);
    EXPECT_TRUE(ZVal::makeReference(ZVal(persistent)).isUndef());
    EXPECT_EQ(persistent.refCount(), 1u);
}

TEST_F(References, AnArrayElementThatIsAReferenceIsWrittenThroughIt) {
    // $a[0] = &$x: the array and $x hold one reference.
    ZVal x = ZVal::makeReference(ZVal(1));
    ZendArray array(8);
    ASSERT_TRUE(array.add(0, x));
    ZVal element = array.at(0);
    ASSERT_TRUE(element.isReference()) << "at() gives the element as stored";
    EXPECT_TRUE(element.assign(ZVal(2)));
    EXPECT_EQ(x.dereferenced().asLong(), 2) << "$x changed with $a[0]";
    EXPECT_EQ(array.at(0).dereferenced().asLong(), 2);

    for (auto [key, value] : array.items()) {
        EXPECT_EQ(value.u1.v.type, 10u) << "the walk reads the slot as stored, a reference";
        EXPECT_EQ(ZVal(value).dereferenced().asLong(), 2);
        (void)key;
    }
}

TEST_F(References, ReleasingTheLastHolderFreesTheReferenceAndItsValue) {
    const size_t blocks = host::liveRequestBlocks();
    {
        ZVal reference = ZVal::makeReference(ZVal(ZendString("text")));
        ACCOUNTED_EQ(host::liveRequestBlocks(), blocks + 2);
    }
    ACCOUNTED_EQ(host::liveRequestBlocks(), blocks);
}

// $x = $r copies what $r refers to: a reference never holds another, and a plain value never
// becomes an alias of another variable.
TEST_F(References, AssigningAReferenceCopiesItsValue) {
    ZVal source = ZVal::makeReference(ZVal(ZendString("shared")));
    ZVal target = ZVal::makeReference(ZVal(1));
    ASSERT_TRUE(target.assign(source));
    EXPECT_TRUE(target.isReference());
    EXPECT_TRUE(target.deref()->u1.type_info == 0x106u) << "a string, not a reference inside a reference";
    EXPECT_EQ(countOf(source.deref()->value.str), 2u) << "the string is shared, the references are not";
    ASSERT_TRUE(target.assign(ZVal(2)));
    EXPECT_TRUE(source.dereferenced().isString()) << "writing the target leaves the source's variable alone";

    ZVal plain(3);
    ASSERT_TRUE(plain.assign(source));
    EXPECT_TRUE(plain.isString()) << "no alias of the source's variable";
    EXPECT_EQ(plain.asString().view(), "shared");
}

}  // namespace
