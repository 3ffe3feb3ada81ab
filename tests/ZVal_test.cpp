// Holding, copying, moving, exchanging and typing engine values.
#include "engine_facts.h"
#include "engine_test.h"

#include <cstring>
#include <stdexcept>

namespace {

using Values = EngineTest;

constexpr uint32_t kSpare = 0xA5A5A5A5;

zval rawValue(zend_refcounted* counted, uint32_t typeInfo) {
    zval v;
    v.value.counted = counted;
    v.u1.type_info = typeInfo;
    v.u2.extra = kSpare;
    return v;
}

TEST_F(Values, UndefinedIsTheEmptyState) {
    ZVal undefined;
    EXPECT_TRUE(undefined.isUndef());
    EXPECT_FALSE(undefined.isNull());
    EXPECT_FALSE(static_cast<bool>(undefined));
    EXPECT_EQ(undefined.getTypeInfo(), 0u);
    EXPECT_EQ(undefined.get(), reinterpret_cast<zval*>(&undefined)) << "a ZVal is its zval";
}

TEST_F(Values, EveryHeldValueConvertsToTrue) {
    EXPECT_TRUE(static_cast<bool>(ZVal::makeNull()));
    EXPECT_TRUE(static_cast<bool>(ZVal::makeFalse()));
    EXPECT_TRUE(static_cast<bool>(ZVal(0)));
    EXPECT_TRUE(static_cast<bool>(ZVal(0.0)));
    EXPECT_TRUE(static_cast<bool>(ZVal(ZendString(""))));
    zval null = rawValue(nullptr, 1);
    EXPECT_TRUE(static_cast<bool>(ZVal(null)));
}

TEST_F(Values, TypeQueriesReadTheTypeCodeOnly) {
    ZVal flagged;
    flagged.get()->u1.type_info = 0xABCD0000u | 4;  // upper bytes are carried, not read
    flagged.get()->value.lval = 9;
    EXPECT_TRUE(flagged.isLong());
    EXPECT_EQ(flagged.getType(), 4);
    EXPECT_EQ(flagged.getTypeInfo(), 0xABCD0004u);
    flagged.get()->u1.type_info = 4;

    EXPECT_TRUE(ZVal::makeNull().isNull());
    EXPECT_TRUE(ZVal::makeFalse().isFalse());
    EXPECT_TRUE(ZVal::makeFalse().isBool());
    EXPECT_TRUE(ZVal::makeTrue().isTrue());
    EXPECT_TRUE(ZVal::makeTrue().isBool());
    EXPECT_FALSE(ZVal::makeNull().isBool());
    EXPECT_TRUE(ZVal(3.5).isDouble());
    EXPECT_TRUE(ZVal(host::internString("s")).isString());
    EXPECT_TRUE(ZVal(ZendString("s")).isString());
    EXPECT_TRUE(ZVal(ZendArray(0)).isArray());
    EXPECT_FALSE(ZVal(1).isDouble());
}

TEST_F(Values, StringsAreStoredCountedUnlessInterned) {
    zend_string* interned = host::internString("interned");
    unsigned int stored = countOf(interned);
    {
        ZVal a(interned);
        EXPECT_EQ(a.getTypeInfo(), 6u);
        EXPECT_EQ(a.getTypeFlags(), 0);
        ZVal b(a);
        ZVal c;
        c = a;
        EXPECT_EQ(countOf(interned), stored);
    }
    EXPECT_EQ(countOf(interned), stored);

    zend_string* str = newString("counted");
    {
        ZVal a(str);
        EXPECT_EQ(a.getTypeInfo(), 0x106u);
        EXPECT_EQ(a.getTypeFlags(), 1);
        EXPECT_EQ(countOf(str), 1u) << "the raw pointer's reference is taken over";
        ZVal b(a);
        EXPECT_EQ(countOf(str), 2u);
    }
    ACCOUNTED_EQ(host::blockSize(str), 0u) << "freed exactly once, by the last of the two";
}

TEST_F(Values, CountedArraysAreStoredWithTypeFlags) {
    zend_array* array = ZendArray::zendNewArray(8);
    ZendArray keeper(array);
    ASSERT_EQ(countOf(array), 2u);
    {
        ZVal value(array);
        EXPECT_EQ(value.getTypeInfo(), facts::kArrayTypeInfo);
        EXPECT_EQ(value.getTypeFlags(), facts::kArrayTypeFlags);
        EXPECT_EQ(countOf(array), 2u);
    }
    EXPECT_EQ(countOf(array), 1u) << "destroying the value gives its reference back";
}

TEST_F(Values, ImmutableArraysAreStoredUncounted) {
    auto* empty = const_cast<zend_array*>(&zend_empty_array);
    unsigned int stored = countOf(empty);
    {
        ZVal a(empty);
        EXPECT_EQ(a.getTypeInfo(), 7u);
        EXPECT_TRUE(a.isArray());
        ZVal b(a);
        ZVal c = ZVal::makeArray(empty);
        EXPECT_EQ(c.getTypeInfo(), 7u);
        ZVal d{ZendArray(empty)};
        EXPECT_EQ(d.getTypeInfo(), 7u);
        ZendArray handle = a.asArray();
        EXPECT_EQ(handle.get(), empty);
        EXPECT_EQ(countOf(empty), stored);
    }
    EXPECT_EQ(countOf(empty), stored);
    EXPECT_EQ(empty->gc.u.type_info, 0x47u);
}

TEST_F(Values, NullPointersAndEmptyHandlesGiveUndefinedValues) {
    EXPECT_TRUE(ZVal(static_cast<zend_string*>(nullptr)).isUndef());
    EXPECT_TRUE(ZVal(static_cast<zend_array*>(nullptr)).isUndef());
    EXPECT_TRUE(ZVal(ZendString()).isUndef());
    EXPECT_TRUE(ZVal(ZendArray()).isUndef());
    EXPECT_TRUE(ZVal::makeString(static_cast<zend_string*>(nullptr)).isUndef());
    EXPECT_TRUE(ZVal::makeString(ZendString()).isUndef());
    EXPECT_TRUE(ZVal::makeArray(static_cast<zend_array*>(nullptr)).isUndef());
    EXPECT_TRUE(ZVal::makeArray(ZendArray()).isUndef());
}

TEST_F(Values, CopiesOfRawValuesCountByTheTypeFlagsByte) {
    zval object = host::newObject();
    zval resource = host::newResource();
    zend_string* inner = newString("inner");
    zval innerValue = rawValue(reinterpret_cast<zend_refcounted*>(inner), 0x106);
    zval reference = host::newReference(innerValue);
    {
        ZVal o(object), r(resource), ref(reference);
        EXPECT_EQ(countOf(object.value.counted), 2u);
        EXPECT_EQ(countOf(resource.value.counted), 2u);
        EXPECT_EQ(countOf(reference.value.counted), 2u);
        EXPECT_EQ(countOf(inner), 1u) << "a reference is copied, not looked through";
        EXPECT_EQ(ref.getType(), 10);
    }
    EXPECT_EQ(countOf(object.value.counted), 1u);
    zval_ptr_dtor(&object);
    zval_ptr_dtor(&resource);
    zval_ptr_dtor(&reference);
    ACCOUNTED_EQ(host::liveRequestBlocks(), 0u);
}

TEST_F(Values, CopyAndMoveAssignment) {
    ZVal a(ZendString("a"));
    zend_string* strA = a.get()->value.str;

    ZVal& self = a;
    a = self;
    EXPECT_EQ(countOf(strA), 1u);
    a = std::move(self);
    EXPECT_TRUE(a.isString()) << "a self-move keeps the value";
    EXPECT_EQ(countOf(strA), 1u);

    ZVal b(ZendString("b"));
    zend_string* strB = b.get()->value.str;
    b = a;
    ACCOUNTED_EQ(host::blockSize(strB), 0u) << "the old value is freed first";
    EXPECT_EQ(countOf(strA), 2u);

    ZVal c(5);
    c = std::move(a);
    EXPECT_TRUE(a.isUndef());
    EXPECT_EQ(countOf(strA), 2u);
    a.release();
    EXPECT_EQ(countOf(strA), 2u);

    ZVal d(std::move(c));
    EXPECT_TRUE(c.isUndef());
    EXPECT_EQ(d.get()->value.str, strA);
    EXPECT_EQ(countOf(strA), 2u);
}

TEST_F(Values, ReleaseGivesBackOnceAndCanRepeat) {
    ZVal value(ZendString("x"));
    zend_string* str = value.get()->value.str;
    ZVal other(value);
    value.release();
    EXPECT_TRUE(value.isUndef());
    EXPECT_EQ(countOf(str), 1u);
    value.release();
    EXPECT_EQ(countOf(str), 1u);
}

TEST_F(Values, TakeAndDetachExchangeWithoutCountingOrTouchingTheSpareWord) {
    zend_string* str = newString("raw");
    zval source = rawValue(reinterpret_cast<zend_refcounted*>(str), 0x106);
    ZVal taken = ZVal::take(source);
    EXPECT_EQ(source.u1.type_info, 0u);
    EXPECT_EQ(source.value.str, str) << "the value word stays";
    EXPECT_EQ(source.u2.extra, kSpare);
    EXPECT_EQ(countOf(str), 1u);
    EXPECT_EQ(taken.get()->value.str, str);

    zend_string* old = newString("old");
    zval target = rawValue(reinterpret_cast<zend_refcounted*>(old), 0x106);
    target.u2.extra = 0x12345678;
    taken.detach(target);
    EXPECT_TRUE(taken.isUndef());
    EXPECT_EQ(target.value.str, str);
    EXPECT_EQ(target.u1.type_info, 0x106u);
    EXPECT_EQ(target.u2.extra, 0x12345678u) << "the spare word is never written";
    EXPECT_EQ(countOf(old), 1u) << "the target's old value is overwritten, not released";
    EXPECT_EQ(countOf(str), 1u);
    zval_ptr_dtor(&target);
    ZendString::take(old);
}

TEST_F(Values, HandleConstructorsShareNamedHandlesAndTakeTemporaries) {
    ZendString named("named");
    {
        ZVal shared(named);
        EXPECT_EQ(named.refCount(), 2u);
        EXPECT_FALSE(named.isNull());
    }
    EXPECT_EQ(named.refCount(), 1u);

    zend_string* str = named.get();
    ZVal moved(std::move(named));
    EXPECT_TRUE(named.isNull());
    EXPECT_EQ(countOf(str), 1u);

    ZendArray array(4);
    {
        ZVal shared(array);
        EXPECT_EQ(array.refCount(), 2u);
    }
    ZVal takenArray = ZVal::makeArray(std::move(array));
    EXPECT_TRUE(array.isNull());
    EXPECT_EQ(countOf(takenArray.get()->value.arr), 1u);
}

TEST_F(Values, ConversionsReturnTheHeldValue) {
    EXPECT_TRUE(ZVal::makeTrue().asBool());
    EXPECT_FALSE(ZVal::makeFalse().asBool());
    EXPECT_EQ(ZVal(INT64_MIN).asLong(), INT64_MIN);
    EXPECT_EQ(ZVal(2.5).asDouble(), 2.5);
    EXPECT_EQ(ZVal::makeLong(-1).asLong(), -1);
    EXPECT_EQ(ZVal::makeLong(-1).getTypeInfo(), 4u);
    EXPECT_EQ(ZVal::makeDouble(-0.5).asDouble(), -0.5);
    EXPECT_EQ(ZVal::makeBool(true).getTypeInfo(), 3u);
    EXPECT_EQ(ZVal::makeBool(false).getTypeInfo(), 2u);
    EXPECT_EQ(ZVal::makeNull().getTypeInfo(), 1u);
}

TEST_F(Values, StringAndArrayConversionsShareTheObject) {
    ZVal str(ZendString("shared"));
    {
        ZendString handle = str.asString();
        EXPECT_EQ(handle.get(), str.get()->value.str);
        EXPECT_EQ(handle.refCount(), 2u);
    }
    EXPECT_EQ(countOf(str.get()->value.str), 1u);

    zend_string* interned = host::internString("in");
    ZVal internedValue(interned);
    unsigned int stored = countOf(interned);
    EXPECT_EQ(internedValue.asString().get(), interned);
    EXPECT_EQ(countOf(interned), stored);

    ZVal arr(ZendArray(0));
    {
        ZendArray handle = arr.asArray();
        EXPECT_EQ(handle.get(), arr.get()->value.arr) << "the same array, not a copy";
        EXPECT_EQ(handle.refCount(), 2u);
    }
    EXPECT_EQ(countOf(arr.get()->value.arr), 1u);
}

template <typename Convert>
std::string failureOf(const ZVal& value, Convert convert) {
    try {
        convert(value);
    } catch (const std::exception& error) {
        EXPECT_NE(dynamic_cast<const std::runtime_error*>(&error), nullptr);
        return error.what();
    }
    return "(no error)";
}

TEST_F(Values, ConversionsRefuseEveryOtherTypeWithTheirMessage) {
    auto asBool = [](const ZVal& v) { v.asBool(); };
    auto asLong = [](const ZVal& v) { v.asLong(); };
    auto asDouble = [](const ZVal& v) { v.asDouble(); };
    auto asString = [](const ZVal& v) { v.asString(); };
    auto asArray = [](const ZVal& v) { v.asArray(); };

    ZVal undefined;
    EXPECT_EQ(failureOf(undefined, asBool), "Not a boolean value");
    EXPECT_EQ(failureOf(undefined, asLong), "Not a long value");
    EXPECT_EQ(failureOf(undefined, asDouble), "Not a double value");
    EXPECT_EQ(failureOf(undefined, asString), "Not a string");
    EXPECT_EQ(failureOf(undefined, asArray), "Not an array");

    EXPECT_EQ(failureOf(ZVal::makeNull(), asBool), "Not a boolean value");
    EXPECT_EQ(failureOf(ZVal(1), asBool), "Not a boolean value");
    EXPECT_EQ(failureOf(ZVal(ZendString("1")), asBool), "Not a boolean value");
    EXPECT_EQ(failureOf(ZVal(3), asDouble), "Not a double value");
    EXPECT_EQ(failureOf(ZVal(1.0), asLong), "Not a long value");
    EXPECT_EQ(failureOf(ZVal::makeTrue(), asLong), "Not a long value");
    EXPECT_EQ(failureOf(ZVal(5), asString), "Not a string");

    ZVal array(ZendArray(0));
    EXPECT_EQ(failureOf(array, asString), "Not a string");
    EXPECT_EQ(countOf(array.get()->value.arr), 1u) << "a refused conversion counts nothing";
    ZVal str(ZendString("s"));
    EXPECT_EQ(failureOf(str, asArray), "Not an array");
    EXPECT_EQ(countOf(str.get()->value.str), 1u);
}

TEST_F(Values, PersistentStringsAreFreedWithFreeNotByTheEngine) {
    // zval_ptr_dtor would free a persistent string with efree (the stand-in aborts on that).
    size_t persistentBefore = host::livePersistentBlocks();
    {
        ZendString persistent = ZendString::deep_copy(ZendString("kept").get(), true);
        ZVal value(persistent);
        ZVal copy(value);
        EXPECT_EQ(persistent.refCount(), 3u);
        value.release();
        EXPECT_EQ(persistent.refCount(), 2u);
    }
    {
        ZVal last(ZendString::deep_copy(ZendString("last").get(), true));
        EXPECT_EQ(last.getTypeInfo(), 0x106u);
    }
    if (host::persistentFreesVisible()) {
        EXPECT_EQ(host::livePersistentBlocks(), persistentBefore);
    }
}

TEST_F(Values, StringFactoriesTakeTheReferenceOver) {
    zend_string* str = newString("made");
    {
        ZVal made = ZVal::makeString(str);
        EXPECT_EQ(made.getTypeInfo(), 0x106u);
        EXPECT_EQ(countOf(str), 1u);
    }
    ACCOUNTED_EQ(host::blockSize(str), 0u);
    EXPECT_EQ(ZVal::makeString(host::internString("i")).getTypeInfo(), 6u);
    ZendString named("named");
    ZVal shared = ZVal::makeString(named);
    EXPECT_EQ(named.refCount(), 2u);
}

}  // namespace
