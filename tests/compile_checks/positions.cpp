// Walks through positions compile where every element sits in a Bucket (PHP 7.3). On PHP 8.2 a
// list's elements are bare zvals that no position can stand on, so each way of walking through
// positions must be refused with an error that names items(), the walk for both layouts. Each CASE
// is compiled on its own; case 0 is the walk that must compile everywhere.
#include <corvane/ZVal.h>

#include <algorithm>
#include <iterator>

long subject(const ZendArray& array) {
    long sum = 0;
#if CASE == 0
    for (auto [key, value] : array.items()) sum += static_cast<long>(key.integer()) + value.value.lval;
    for (auto [key, value] : array.items().reversed()) sum += static_cast<long>(key.integer()) + value.value.lval;
#elif CASE == 1
    for (const Bucket& element : array) sum += element.val.value.lval;
#elif CASE == 2
    for (auto it = array.begin(); it != array.end(); ++it) sum += it->val.value.lval;
#elif CASE == 3
    for (auto it = array.rbegin(); it != array.rend(); ++it) sum += it->val.value.lval;
#elif CASE == 4
    sum += std::count_if(array.begin(), array.end(), [](const Bucket& b) { return b.key != nullptr; });
#elif CASE == 5
    sum += std::distance(std::begin(array), std::end(array));
#elif CASE == 6
    // By hand from the storage: on PHP 8.2 a list's arPacked read as Buckets.
    ZendArray::Iterator first(array.get(), array.get()->arData);
    sum += first->val.value.lval;
#endif
    return sum;
}
