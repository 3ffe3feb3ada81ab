// The tests' engine: the stand-in, with its accounting.
#include "host.h"

#include <standin/standin.h>

namespace host {

namespace {
bool plain = false;
}

void startup() {
    standin::startup();
    if (plain) standin::setQuarantine(false);
}
void shutdown() { standin::shutdown(); }
void requestStartup() { standin::requestStartup(); }
size_t requestShutdown() { return standin::requestShutdown(); }

bool hasAccounting() { return true; }
bool reportsLeaks() { return true; }
bool isDebugEngine() { return false; }

void plainEngine() { plain = true; }

void allowSharedWrites(zend_array*) {}

size_t liveRequestBlocks() { return standin::liveRequestBlocks(); }
size_t livePersistentBlocks() { return standin::livePersistentBlocks(); }
bool persistentFreesVisible() { return standin::persistentFreesVisible(); }
size_t blockSize(const void* ptr) { return standin::blockSize(ptr); }
size_t engineCalls() { return standin::engineCalls(); }
size_t hashComputations() { return standin::hashComputations(); }

zend_string* internString(std::string_view text) { return standin::internString(text); }
zend_array* newPersistentArray(uint32_t size) { return standin::newPersistentArray(size); }
void smartStrAppend(smart_str& builder, std::string_view text) { standin::smartStrAppend(builder, text); }
zval newObject() { return standin::newObject(); }
zval newResource() { return standin::newResource(); }
zval newReference(const zval& value) { return standin::newReference(value); }

bool engineReadsIntegerKey(std::string_view, unsigned long long&, bool& known) {
    known = false;
    return false;
}

bool canRaiseExceptions() { return true; }
bool exceptionPending() { return standin::exceptionPending(); }
std::string exceptionClass() { return standin::exceptionClass(); }
std::string exceptionMessage() { return standin::exceptionMessage(); }
void startOutputCapture() { standin::takeOutput(); }
std::string takeOutput() { return standin::takeOutput(); }
void clearException() { standin::clearException(); }

}  // namespace host
