// NULL is a pointer to whoever writes it: where corvane takes numbers, NULL must not compile
// (or, for ZVal, must be diagnosed) instead of meaning 0. Each CASE is compiled on its own; the
// last one checks that two handles cannot be compared through their emptiness.
#include <corvane/ZVal.h>

#include <cstddef>

void subject(ZendArray& array, long number, unsigned long index) {
#if CASE == 0
    // What must keep compiling: zero and integer variables of every kind, and NULL as a C string.
    ZendArray made(0);
    ZendArray sized(number);
    ZVal zero(0), fromLong(number), fromIndex(index);
    array.at(0);
    array.at(number);
    array.add(index, ZVal(1));
    array.contains(0);
    array.remove(number);
    ZendString none(static_cast<const char*>(NULL));
    (void)made, (void)sized, (void)zero, (void)fromLong, (void)fromIndex, (void)none;
#elif CASE == 1
    ZendArray made(NULL);
    (void)made;
#elif CASE == 2
    array.at(NULL);
#elif CASE == 3
    array.contains(NULL);
#elif CASE == 4
    array.add(NULL, ZVal(1));
#elif CASE == 5
    array.insert(NULL, ZVal(1));
#elif CASE == 6
    array.remove(NULL);
#elif CASE == 7
    ZVal value(NULL);
    (void)value;
#elif CASE == 8
    array.add(ZVal(NULL));
#elif CASE == 10
    // A long literal zero is a null pointer constant too, typed as NULL is.
    array.at(0L);
#elif CASE == 11
    // clang++ cannot tell a constant long zero from NULL, and refuses both; g++ takes the number.
    ZVal zero(0L);
    (void)zero;
#elif CASE == 9
    // Not NULL, but the same kind of slip: an implicit operator bool would make this compare
    // whether each handle is empty.
    ZendString a("a"), b("b");
    bool same = a == b;
    (void)same;
#endif
    (void)array, (void)number, (void)index;
}
