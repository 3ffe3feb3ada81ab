// Patterns that an optimising compiler gets wrong when one counted header is reached through two
// unrelated struct types. Each sits in a function of its own, as in a user's extension.
#include "engine_facts.h"
#include "engine_test.h"

namespace {

using Optimised = EngineTest;

// The count read through the handle before and after a copy, within one function.
[[gnu::noinline]] unsigned int countAddedByACopy(const ZendArray& a) {
    unsigned int before = a.refCount();
    ZendArray b(a);
    unsigned int after = a.refCount();
    return after - before;
}

[[gnu::noinline]] unsigned int countAddedByAStringCopy(const ZendString& s) {
    unsigned int before = s.refCount();
    ZendString b(s);
    unsigned int after = s.refCount();
    return after - before;
}

// A handle on a value's array and a copy of the value alive together; the copy outlives both.
[[gnu::noinline]] ZVal copyWhileAHandleIsAlive(const ZVal& v) {
    ZendArray h = v.asArray();
    ZVal copy(v);
    return copy;
}

// The engine's own header type, as PHP's GC_ADDREF and GC_REFCOUNT reach it, beside handles.
[[gnu::noinline]] unsigned int mixedWithTheEngineHeader(const ZendArray& a) {
    zend_refcounted_h* header = &a.get()->gc;
    unsigned int before = header->refcount;
    ZendArray b(a);
    ++header->refcount;
    unsigned int counted = a.refCount();
    --header->refcount;
    return counted - before;
}

TEST_F(Optimised, ACopyIsSeenByTheNextCountRead) {
    ZendArray a(0);
    EXPECT_EQ(countAddedByACopy(a), 1u);
    EXPECT_EQ(a.refCount(), 1u);
    EXPECT_EQ(mixedWithTheEngineHeader(a), 2u);
    EXPECT_EQ(a.refCount(), 1u);

    ZendString s("counted");
    EXPECT_EQ(countAddedByAStringCopy(s), 1u);
    EXPECT_EQ(s.refCount(), 1u);
}

TEST_F(Optimised, AValueCopiedBesideAHandleKeepsItsReference) {
    ZVal v(ZendArray(0));
    {
        ZVal copy = copyWhileAHandleIsAlive(v);
        EXPECT_EQ(v.asArray().refCount(), 3u) << "v, copy, and the handle of this line";
        EXPECT_EQ(copy.getTypeInfo(), facts::kArrayTypeInfo);
    }
    EXPECT_EQ(v.asArray().refCount(), 2u) << "v and the handle of this line";
}

}  // namespace
