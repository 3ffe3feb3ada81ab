// The tests' engine: a real PHP 7.3, started with its embed SAPI. It keeps no accounting of its
// own; a debug build of PHP reports every leaked block on stderr when a request ends, and those
// reports are counted here as the request's leaks.
#include "host.h"

#include <sapi/embed/php_embed.h>
#include <zend_smart_str.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>

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

// Ends the request with stderr caught in a temporary file, then passes the text on and counts
// the engine's leak reports in it.
size_t requestShutdown() {
    std::fflush(stderr);
    int saved = dup(STDERR_FILENO);
    std::FILE* caught = std::tmpfile();
    if (saved < 0 || !caught) {
        php_request_shutdown(nullptr);
        return 0;
    }
    dup2(fileno(caught), STDERR_FILENO);
    php_request_shutdown(nullptr);
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);

    size_t leaks = 0;
    char line[1024];
    std::rewind(caught);
    while (std::fgets(line, sizeof line, caught)) {
        std::fputs(line, stderr);
        if (std::strstr(line, ":  Freeing ")) ++leaks;
    }
    std::fclose(caught);
    return leaks;
}

bool hasAccounting() { return false; }
bool reportsLeaks() { return ZEND_DEBUG != 0; }

void plainFrees() {}

void allowSharedWrites(zend_array* array) {
#if ZEND_DEBUG
    HT_ALLOW_COW_VIOLATION(array);
#else
    (void)array;
#endif
}

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
