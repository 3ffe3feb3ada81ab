// The tests' engine: a real PHP (7.3 or 8.2), started with its embed SAPI. It keeps no accounting
// of its own. A debug build of PHP reports every leaked block on stderr when a request ends, and
// those reports are counted here as the request's leaks. A release build (Debian's PHP 8.2) reports
// nothing, so its request heap is made to allocate through counting functions instead: a block that
// a request allocates and that is still live when the request has ended is a leak.
#include "host.h"

#include <sapi/embed/php_embed.h>
#include <zend_smart_str.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_set>
#include <unistd.h>

namespace {

int resourceType = 0;
bool plain = false;  // the engine's own heap, uncounted

void freeNothing(zend_resource*) {}

#if !ZEND_DEBUG
// The request blocks that are live, while a request is being counted; allocated once, never freed.
std::unordered_set<void*>* requestBlocks = nullptr;
bool counting = false;

void* countingMalloc(size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (!block) std::abort();  // the engine's own heap never returns on exhaustion either
    if (counting) requestBlocks->insert(block);
    return block;
}

void countingFree(void* block) {
    if (block) requestBlocks->erase(block);
    std::free(block);
}

void* countingRealloc(void* block, size_t size) {
    const bool tracked = block ? requestBlocks->erase(block) != 0 : counting;
    void* moved = std::realloc(block, size ? size : 1);
    if (!moved) std::abort();
    if (tracked) requestBlocks->insert(moved);
    return moved;
}
#endif

}  // namespace

namespace host {

void startup() {
#if !ZEND_DEBUG
    // The engine reads this when it makes its heap: a plain malloc heap, which takes other functions.
    if (!plain) setenv("USE_ZEND_ALLOC", "0", 1);
#endif
    // No php.ini: the tests see the bare engine, without the extensions a distribution enables.
    php_embed_module.php_ini_ignore = 1;
    php_embed_init(0, nullptr);  // starts a request too; the tests open their own
#if !ZEND_DEBUG
    if (!plain) {
        requestBlocks = new std::unordered_set<void*>();
        zend_mm_set_custom_handlers(zend_mm_get_heap(), countingMalloc, countingFree, countingRealloc);
    }
#endif
    resourceType = zend_register_list_destructors_ex(freeNothing, nullptr, "corvane test resource", 0);
    php_request_shutdown(nullptr);
}

void shutdown() {
    php_request_startup();  // php_embed_shutdown ends a request first
    php_embed_shutdown();
}

#if !ZEND_DEBUG
void requestStartup() {
    if (plain) {
        php_request_startup();
        return;
    }
    requestBlocks->clear();
    counting = true;
    php_request_startup();
}

// Ends the request; what it allocated and the engine has not freed by then is leaked. Those blocks
// are freed here, as the engine's own heap would have dropped them, and named on stderr.
size_t requestShutdown() {
    php_request_shutdown(nullptr);
    if (plain) return 0;
    counting = false;
    const size_t leaks = requestBlocks->size();
    for (void* block : *requestBlocks) {
        std::fprintf(stderr, "request block %p leaked\n", block);
        std::free(block);
    }
    requestBlocks->clear();
    return leaks;
}
#else
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
#endif

bool hasAccounting() { return false; }
bool reportsLeaks() { return true; }
bool isDebugEngine() { return ZEND_DEBUG != 0; }

void plainEngine() { plain = true; }

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

// The engine's macro reads the zero byte after the text, as it always finds one after a key.
bool engineReadsIntegerKey(std::string_view text, unsigned long long& index, bool& known) {
    known = true;
    std::string terminated(text);
    zend_ulong idx = 0;
    if (!ZEND_HANDLE_NUMERIC_STR(terminated.c_str(), terminated.size(), idx)) return false;
    index = idx;
    return true;
}

bool canRaiseExceptions() { return EG(current_execute_data) != nullptr; }

bool exceptionPending() { return EG(exception) != nullptr; }

std::string exceptionClass() {
    return EG(exception) ? std::string(ZSTR_VAL(EG(exception)->ce->name), ZSTR_LEN(EG(exception)->ce->name)) : "";
}

std::string exceptionMessage() {
    if (!EG(exception)) return "";
    zval rv;
#if PHP_VERSION_ID >= 80000
    zval* message = zend_read_property(zend_ce_exception, EG(exception), "message", sizeof("message") - 1, 1, &rv);
#else
    zval object;
    ZVAL_OBJ(&object, EG(exception));
    zval* message = zend_read_property(zend_ce_exception, &object, "message", sizeof("message") - 1, 1, &rv);
#endif
    return Z_TYPE_P(message) == IS_STRING ? std::string(Z_STRVAL_P(message), Z_STRLEN_P(message)) : "";
}

void clearException() { zend_clear_exception(); }

void startOutputCapture() { php_output_start_default(); }

std::string takeOutput() {
    zval contents;
    if (php_output_get_contents(&contents) == FAILURE) return "";
    std::string text(Z_STRVAL(contents), Z_STRLEN(contents));
    zval_ptr_dtor(&contents);
    php_output_discard();
    return text;
}

}  // namespace host
