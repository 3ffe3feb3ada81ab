// The tests' engine: a real PHP 7.3, started with its embed SAPI. It keeps no accounting here; a
// debug build of PHP reports leaks itself when a request ends.
#include "host.h"

#include <sapi/embed/php_embed.h>
#include <zend_smart_str.h>

namespace {

int resourceType = 0;

void freeNothing(zend_resource*) {}

}  // namespace

namespace host {

void startup() {
    php_embed_init(0, nullptr);  // starts a request too; the tests open their own
    resourceType = zend_register_list_destructors_ex(freeNothing, nullptr, "corvane test resource", 0);
    php_request_shutdown(nullptr);
}

void shutdown() {
    php_request_startup();  // php_embed_shutdown ends a request first
    php_embed_shutdown();
}

void requestStartup() { php_request_startup(); }

size_t requestShutdown() {
    php_request_shutdown(nullptr);
    return 0;
}

bool hasAccounting() { return false; }
bool isStandIn() { return false; }

size_t liveRequestBlocks() { return 0; }
size_t livePersistentBlocks() { return 0; }
bool persistentFreesVisible() { return false; }
size_t blockSize(const void*) { return 0; }
size_t engineCalls() { return 0; }
size_t hashComputations() { return 0; }

zend_string* internString(std::string_view text) {
    return zend_new_interned_string(zend_string_init(text.data(), text.size(), 0));
}

zend_array* newPersistentArray(uint32_t size) {
    auto* ht = static_cast<HashTable*>(pemalloc(sizeof(HashTable), 1));
    zend_hash_init(ht, size, nullptr, ZVAL_PTR_DTOR, 1);
    return ht;
}

void smartStrAppend(smart_str& builder, std::string_view text) { smart_str_appendl(&builder, text.data(), text.size()); }

zval newObject() {
    zval object;
    object_init(&object);
    return object;
}

zval newResource() {
    zval resource;
    ZVAL_RES(&resource, zend_register_resource(nullptr, resourceType));
    return resource;
}

zval newReference(const zval& value) {
    zval reference;
    zval copy = value;
    ZVAL_NEW_REF(&reference, &copy);
    return reference;
}

}  // namespace host
