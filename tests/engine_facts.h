// What the engine the tests are compiled for says, version by version, in its own numbers. Tests
// compare the library's results with these, not with the library's own constants.
#ifndef CORVANE_TESTS_ENGINE_FACTS_H
#define CORVANE_TESTS_ENGINE_FACTS_H

#include <corvane/engine.h>

#include <gtest/gtest.h>

#include <cstdint>

namespace facts {

constexpr bool kPhp82 = corvane::engine::kVersion == 82;

// Header type info of a string made by the library: PHP 8.2 adds GC_NOT_COLLECTABLE (0x10).
constexpr unsigned int kNewStringHeader = kPhp82 ? 0x16u : 6u;
constexpr unsigned int kNewPersistentStringHeader = kPhp82 ? 0x96u : 0x86u;
// Header type info of a new engine array: PHP 7.3 sets GC_COLLECTABLE (0x10), PHP 8.2 nothing.
constexpr unsigned int kNewArrayHeader = kPhp82 ? 0x07u : 0x17u;
// A counted array in a zval: PHP 8.2 also sets the collectable type flag (2).
constexpr unsigned int kArrayTypeInfo = kPhp82 ? 0x307u : 0x107u;
constexpr unsigned char kArrayTypeFlags = kPhp82 ? 3 : 1;
// The indirect type code, and the neighbour that is no value type: 13 and 12 on PHP 7.3,
// 12 and 13 (the engine-internal pointer) on PHP 8.2.
constexpr uint8_t kIndirect = kPhp82 ? 12 : 13;
constexpr uint8_t kNotAValue = kPhp82 ? 13 : 12;

// The flag of a packed table (integer keys in order, no hash part): HASH_FLAG_PACKED, on both versions.
constexpr uint32_t kPackedFlag = 1u << 2;
inline bool isPacked(const zend_array* array) { return (array->u.flags & kPackedFlag) != 0; }

// The value in slot index of an array's used slots: a Bucket's, or on PHP 8.2 a packed array's zval.
inline zval& slot(zend_array* array, uint32_t index) {
#if CORVANE_PACKED_ELEMENTS_ARE_ZVALS
    if (isPacked(array)) return array->arPacked[index];
#endif
    return array->arData[index].val;
}

}  // namespace facts

#endif
