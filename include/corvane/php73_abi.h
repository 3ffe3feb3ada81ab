// corvane's own declarations of the PHP 7.3 engine ABI (release build, non-thread-safe, x86-64).
//
// Only what the library and its stand-in engine use. Struct tags and field names are the engine's,
// so that C++ symbols taking these types mangle exactly as when compiled against PHP's headers and
// so that the same library code compiles in both modes. Do not include this header directly: include
// <corvane/engine.h>, which picks PHP's own headers instead when they are in use.
#ifndef CORVANE_PHP73_ABI_H
#define CORVANE_PHP73_ABI_H

#include <cstddef>
#include <cstdint>

typedef uint64_t zend_ulong;
typedef int64_t zend_long;
typedef unsigned char zend_uchar;

typedef struct _zend_refcounted zend_refcounted;
typedef struct _zend_string zend_string;
typedef struct _zend_array zend_array;
typedef struct _zend_array HashTable;
typedef struct _zend_object zend_object;
typedef struct _zend_resource zend_resource;
typedef struct _zend_reference zend_reference;
typedef struct _zval_struct zval;

typedef void (*dtor_func_t)(zval* pDest);

typedef union _zend_value {
    zend_long lval;
    double dval;
    zend_refcounted* counted;
    zend_string* str;
    zend_array* arr;
    zend_object* obj;
    zend_resource* res;
    zend_reference* ref;
    zval* zv;
    void* ptr;
} zend_value;

struct _zval_struct {
    zend_value value;
    union {
        struct {
            zend_uchar type;
            zend_uchar type_flags;
            uint16_t extra;
        } v;
        uint32_t type_info;
    } u1;
    union {
        uint32_t next;  // hash-chain link of a bucket's value
        uint32_t extra;
    } u2;
};

typedef struct _zend_refcounted_h {
    uint32_t refcount;
    union {
        uint32_t type_info;
    } u;
} zend_refcounted_h;

struct _zend_refcounted {
    zend_refcounted_h gc;
};

struct _zend_string {
    zend_refcounted_h gc;
    zend_ulong h;
    size_t len;
    char val[1];
};

typedef struct _Bucket {
    zval val;
    zend_ulong h;
    zend_string* key;
} Bucket;

struct _zend_array {
    zend_refcounted_h gc;
    union {
        struct {
            zend_uchar flags;
            zend_uchar _unused;
            zend_uchar nIteratorsCount;
            zend_uchar _unused2;
        } v;
        uint32_t flags;
    } u;
    uint32_t nTableMask;
    Bucket* arData;
    uint32_t nNumUsed;
    uint32_t nNumOfElements;
    uint32_t nTableSize;
    uint32_t nInternalPointer;
    zend_long nNextFreeElement;
    dtor_func_t pDestructor;
};

typedef struct {
    zend_string* s;
    size_t a;
} smart_str;

// A PHP reference (&): a counted box around the value that every holder shares.
struct _zend_reference {
    zend_refcounted_h gc;
    zval val;
};

typedef struct _zend_class_entry zend_class_entry;

extern "C" {
void* _emalloc(size_t size);
void _efree(void* ptr);
void* __zend_malloc(size_t size);

HashTable* _zend_new_array(uint32_t size);
uint32_t zend_array_count(HashTable* ht);
void zend_array_destroy(HashTable* ht);
void zend_hash_destroy(HashTable* ht);

zval* zend_hash_add(HashTable* ht, zend_string* key, zval* pData);
zval* zend_hash_update(HashTable* ht, zend_string* key, zval* pData);
zval* zend_hash_find(const HashTable* ht, zend_string* key);
int zend_hash_del(HashTable* ht, zend_string* key);

zval* zend_hash_str_add(HashTable* ht, const char* key, size_t len, zval* pData);
zval* zend_hash_str_update(HashTable* ht, const char* key, size_t len, zval* pData);
zval* zend_hash_str_find(const HashTable* ht, const char* key, size_t len);
int zend_hash_str_del(HashTable* ht, const char* key, size_t len);

zval* zend_hash_index_add(HashTable* ht, zend_ulong h, zval* pData);
zval* zend_hash_index_update(HashTable* ht, zend_ulong h, zval* pData);
zval* zend_hash_index_find(const HashTable* ht, zend_ulong h);
int zend_hash_index_del(HashTable* ht, zend_ulong h);

zval* zend_hash_next_index_insert(HashTable* ht, zval* pData);

void zval_ptr_dtor(zval* zval_ptr);
void zval_internal_ptr_dtor(zval* zval_ptr);
zend_ulong zend_string_hash_func(zend_string* s);

extern zend_string* zend_empty_string;
extern const HashTable zend_empty_array;

// Separating, one-probe stores and exceptions. The *_add_new forms store without looking for the
// key first: the caller has just looked.
HashTable* zend_array_dup(HashTable* source);
zval* zend_hash_add_new(HashTable* ht, zend_string* key, zval* pData);
zval* zend_hash_str_add_new(HashTable* ht, const char* key, size_t len, zval* pData);
zval* zend_hash_index_add_new(HashTable* ht, zend_ulong h, zval* pData);
zend_object* zend_throw_exception(zend_class_entry* exception_ce, const char* message, zend_long code);
extern zend_class_entry* zend_ce_exception;
extern zend_class_entry* zend_ce_error;
extern zend_class_entry* zend_ce_type_error;
extern zend_class_entry* zend_ce_argument_count_error;
}

// The destructor of tables that hold persistent strings only, as PHP's headers name it.
#define ZVAL_INTERNAL_PTR_DTOR zval_internal_ptr_dtor

static_assert(sizeof(zval) == 16, "zval is 16 bytes");
static_assert(offsetof(zval, u1) == 8 && offsetof(zval, u2) == 12, "zval layout");
static_assert(sizeof(zend_refcounted_h) == 8, "refcounted header is 8 bytes");
static_assert(offsetof(zend_refcounted_h, u) == 4, "type info follows the count");
static_assert(sizeof(zend_string) == 32 && offsetof(zend_string, val) == 24, "zend_string layout");
static_assert(offsetof(zend_string, h) == 8 && offsetof(zend_string, len) == 16, "zend_string layout");
static_assert(sizeof(Bucket) == 32, "Bucket is 32 bytes");
static_assert(offsetof(Bucket, h) == 16 && offsetof(Bucket, key) == 24, "Bucket layout");
static_assert(sizeof(zend_array) == 56, "zend_array is 56 bytes");
static_assert(offsetof(zend_array, u) == 8 && offsetof(zend_array, nTableMask) == 12, "zend_array layout");
static_assert(offsetof(zend_array, arData) == 16 && offsetof(zend_array, nNumUsed) == 24, "zend_array layout");
static_assert(offsetof(zend_array, nNumOfElements) == 28 && offsetof(zend_array, nTableSize) == 32,
              "zend_array layout");
static_assert(offsetof(zend_array, nInternalPointer) == 36 && offsetof(zend_array, nNextFreeElement) == 40,
              "zend_array layout");
static_assert(offsetof(zend_array, pDestructor) == 48, "zend_array layout");
static_assert(sizeof(smart_str) == 16, "smart_str layout");
static_assert(sizeof(zend_reference) == 24 && offsetof(zend_reference, val) == 8, "zend_reference layout");

#endif
