#include "model.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz {

void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "model mismatch: %s %s\n", what, detail.c_str());
    std::abort();
}

std::string describe(const Key& key) {
    if (auto* index = std::get_if<unsigned long long>(&key)) return std::to_string(*index);
    return "\"" + std::get<std::string>(key) + "\"";
}

ObjId Model::created(void* ptr, Kind kind) {
    check(!known(ptr), "a new object at the address of one the model thinks alive (freed too early)");
    return add(ptr, kind);
}

ObjId Model::found(void* ptr, Kind kind) {
    for (auto& [id, obj] : objs_) {
        if (obj.ptr == ptr) {
            addRef(id);
            return id;
        }
    }
    return add(ptr, kind);
}

ObjId Model::idOf(void* ptr) const {
    for (auto& [id, obj] : objs_) {
        if (obj.ptr == ptr) return id;
    }
    fail("object not in the model");
}

bool Model::known(void* ptr) const {
    for (auto& [id, obj] : objs_) {
        if (obj.ptr == ptr) return true;
    }
    return false;
}

void Model::addRef(ObjId id) {
    Obj& obj = objs_.at(id);
    if (!obj.immutable) ++obj.expected;
}

void Model::delRef(ObjId id) {
    Obj& obj = objs_.at(id);
    if (obj.immutable) return;
    if (--obj.expected > 0) return;
    // The engine frees it now or, when the collector holds it, once the collector is done: its
    // destructor has run by the end of the step.
    if (obj.destructor >= 0) diedWithDestructor_.push_back(obj.destructor);
    std::map<Key, Element> elements = std::move(obj.elements);
    objs_.erase(id);
    for (auto& [key, element] : elements) {
        delRef(element.key);
        delRef(element.value);
    }
}

int Model::newDestructor() {
    destructorsRan_.push_back(false);
    return static_cast<int>(destructorsRan_.size()) - 1;
}

void Model::destructorRuns(int destructor) {
    check(!destructorsRan_.at(destructor), "an object's destructor ran twice");
    destructorsRan_[destructor] = true;
}

void Model::verify() {
    namespace engine = corvane::engine;
    for (int destructor : diedWithDestructor_) {
        check(destructorsRan_.at(destructor), "an object died without its destructor",
              "destructor " + std::to_string(destructor));
    }
    diedWithDestructor_.clear();
    for (auto& [id, obj] : objs_) {
        auto* header = static_cast<zend_refcounted*>(obj.ptr);
        unsigned int actual = engine::refcount(header);
        unsigned int want = obj.immutable ? obj.storedCount : static_cast<unsigned int>(obj.expected);
        check(actual == want, "reference count",
              "object " + std::to_string(id) + ": engine " + std::to_string(actual) + ", model " +
                  std::to_string(want));
        if (obj.kind == Kind::Array && !obj.immutable) {
            bool marked = (engine::gcFlags(header) & engine::kGcProtected) != 0;
            check(marked == obj.marked, marked ? "array left marked" : "the engine's mark was cleared",
                  "object " + std::to_string(id));
            check(zend_array_count(static_cast<zend_array*>(obj.ptr)) == obj.elements.size(), "element count");
        }
        if (obj.destructor >= 0) {
            check(!destructorsRan_.at(obj.destructor), "the destructor ran while the object is referenced",
                  "object " + std::to_string(id));
        }
    }
}

void Model::verifyOnlyImmutableLeft() const {
    for (auto& [id, obj] : objs_) check(obj.immutable, "a counted object outlived its owners", std::to_string(id));
}

std::vector<ObjId> Model::liveArrays() const {
    std::vector<ObjId> ids;
    for (auto& [id, obj] : objs_) {
        if (obj.kind == Kind::Array && !obj.immutable) ids.push_back(id);
    }
    return ids;
}

ObjId Model::add(void* ptr, Kind kind) {
    namespace engine = corvane::engine;
    auto* header = static_cast<zend_refcounted*>(ptr);
    bool immutable = engine::isImmutable(header);
    ObjId id = next_++;
    Obj& obj = objs_[id];
    obj.ptr = ptr;
    obj.kind = kind;
    obj.immutable = immutable;
    obj.storedCount = engine::refcount(header);
    obj.expected = immutable ? 0 : 1;
    return id;
}

}  // namespace fuzz
