// C++ exceptions turned into PHP exceptions at the engine's door.
#include "engine_test.h"

#include <corvane/exceptions.h>

#include <stdexcept>

namespace {

class GuardedCalls : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (!host::canRaiseExceptions()) {
            GTEST_SKIP() << "the engine raises exceptions only while PHP code runs; the example extension's "
                            ".phpt tests show them there";
        }
    }
    void TearDown() override {
        host::clearException();
        EngineTest::TearDown();
    }
};

TEST_F(GuardedCalls, ABodyThatReturnsRaisesNothing) {
    bool ran = false;
    EXPECT_TRUE(corvane::runGuarded([&] { ran = true; }));
    EXPECT_TRUE(ran);
    EXPECT_FALSE(host::exceptionPending());
}

TEST_F(GuardedCalls, AConversionErrorBecomesAPhpExceptionWithItsMessage) {
    ZVal text = ZVal(ZendString("5"));
    EXPECT_FALSE(corvane::runGuarded([&] { (void)text.asLong(); }));
    ASSERT_TRUE(host::exceptionPending());
    EXPECT_EQ(host::exceptionClass(), "Exception");
    EXPECT_EQ(host::exceptionMessage(), "Not a long value");
}

TEST_F(GuardedCalls, TheAuthorsOwnExceptionsKeepTheirMessage) {
    EXPECT_FALSE(corvane::runGuarded([] { throw std::invalid_argument("bad input: 42"); }));
    EXPECT_EQ(host::exceptionMessage(), "bad input: 42");
    host::clearException();
    EXPECT_FALSE(corvane::runGuarded([] { throw 42; }));
    EXPECT_EQ(host::exceptionMessage(), "Unknown C++ exception") << "nothing at all passes through the engine";
}

TEST_F(GuardedCalls, APhpExceptionRaisesTheClassItNames) {
    EXPECT_FALSE(corvane::runGuarded([] { throw corvane::PhpException(zend_ce_type_error, "not a number"); }));
    EXPECT_EQ(host::exceptionClass(), "TypeError");
    EXPECT_EQ(host::exceptionMessage(), "not a number");
    host::clearException();

    zval returnValue;
    returnValue.u1.type_info = 1;
    EXPECT_FALSE(corvane::runGuarded(&returnValue, [&] {
        ZVal(ZendString("partial")).detach(returnValue);
        throw corvane::PhpException(zend_ce_argument_count_error, std::string("too few"));
    }));
    EXPECT_EQ(host::exceptionClass(), "ArgumentCountError");
    EXPECT_EQ(host::exceptionMessage(), "too few");
    EXPECT_EQ(returnValue.u1.type_info, 1u) << "null";
    host::clearException();

    EXPECT_FALSE(corvane::runGuarded(&returnValue, [] { throw corvane::PhpException(nullptr, "no class"); }));
    EXPECT_EQ(host::exceptionClass(), "Exception") << "no class named: PHP's Exception";
}

TEST_F(GuardedCalls, TheBodysHandlesAreReleasedBeforeThePhpExceptionIsRaised) {
    const size_t blocks = host::liveRequestBlocks();
    EXPECT_FALSE(corvane::runGuarded([] {
        ZendArray array(8);
        array.add("k", ZVal(ZendString("value")));
        throw std::runtime_error("late");
    }));
    ACCOUNTED_EQ(host::liveRequestBlocks(), blocks) << "the array and its string are gone";
    EXPECT_EQ(host::exceptionMessage(), "late");
}

TEST_F(GuardedCalls, AFailedFunctionReturnsNullAndReleasesWhatItHadReturned) {
    zval returnValue;
    returnValue.u1.type_info = 1;
    ZendString text("partial");
    EXPECT_FALSE(corvane::runGuarded(&returnValue, [&] {
        ZVal(text).detach(returnValue);  // as RETVAL_STR_COPY
        throw std::runtime_error("after the return value");
    }));
    EXPECT_EQ(returnValue.u1.type_info, 1u) << "null";
    EXPECT_EQ(text.refCount(), 1u) << "the return value's reference went back";

    EXPECT_TRUE(corvane::runGuarded(&returnValue, [&] { ZVal(7).detach(returnValue); }));
    EXPECT_EQ(returnValue.value.lval, 7);
    EXPECT_FALSE(host::exceptionPending() && host::exceptionMessage() != "after the return value");
}

}  // namespace
