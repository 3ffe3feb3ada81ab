#include <corvane/ZendRefCounted.h>

#include <cstdint>
#include <sstream>
#include <string>

#if CORVANE_PHP_MINOR_VERSION == 82
void ZendRefCounted::compiledForPhp82() {}
#else
void ZendRefCounted::compiledForPhp73() {}
#endif

unsigned int ZendRefCounted::addRef() const {
    zend_refcounted* counted = get();
    if (!counted) return 0;
    if (isImmutable()) return 1;
    return corvane::engine::addRef(counted);
}

namespace {

// The engine type of what a handle holds or, empty, would hold: a string handle holds strings and
// an array handle arrays. An empty handle tells its kind by its dump ("string(null)",
// "array(null)"), which needs no run-time type information (an extension may subclass the
// handles and be built without it). 0 when a subclass's own dump does not say.
uint32_t kindOf(const ZendRefCounted& handle) {
    if (const zend_refcounted* counted = handle.get()) return corvane::engine::gcType(counted);
    std::ostringstream text;
    handle.dump(text, 0);
    const std::string name = text.str();
    if (name == "string(null)") return corvane::engine::kString;
    if (name == "array(null)") return corvane::engine::kArray;
    return 0;
}

}  // namespace

// A move must not throw: a dump that fails (no memory for its text) tells nothing, and the move
// goes ahead as it did before handles were told apart.
bool ZendRefCounted::mayTake(const ZendRefCounted& handle, const ZendRefCounted& other) noexcept {
    try {
        const uint32_t kind = kindOf(handle);
        return kind == 0 || kind == kindOf(other);
    } catch (...) {
        return true;
    }
}
