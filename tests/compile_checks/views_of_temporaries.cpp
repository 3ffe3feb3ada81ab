// A view of a temporary handle would dangle once the statement ends: it does not compile, and the
// error says to keep the handle. A walk of a temporary keeps the handle instead, so it compiles.
#include <corvane/ZendArray.h>

ZendArray makeArray();
ZVal makeValue();
ZendString makeString();

long long subject(ZendArray& array, ZVal& value, ZendString& str) {
    long long sum = 0;
#if CASE == 0
    corvane::ZendArrayView arrayView(array);
    corvane::ZValView valueView(value);
    corvane::ZendStringView stringView(str);
    for (auto [key, element] : makeArray().items()) sum += corvane::ZValView(element).isLong();
    for (auto [key, element] : makeArray().items().reversed()) sum += corvane::ZValView(element).isLong();
    sum += static_cast<long long>(arrayView.size() + stringView.size()) + valueView.isLong();
#elif CASE == 1
    corvane::ZendArrayView view(makeArray());
    sum += static_cast<long long>(view.size());
#elif CASE == 2
    corvane::ZValView view(makeValue());
    sum += view.isLong();
#elif CASE == 3
    corvane::ZendStringView view(makeString());
    sum += static_cast<long long>(view.size());
#endif
    return sum;
}
