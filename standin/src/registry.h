// Every block the stand-in's allocators handed out, by address: what tells a leak, a free through
// the wrong allocator and a second free apart.
#ifndef CORVANE_STANDIN_REGISTRY_H
#define CORVANE_STANDIN_REGISTRY_H

#include "describe.h"

#include <cstddef>
#include <cstdint>

namespace standin::internal {

// Freed: a request block that was freed and is kept in the quarantine.
enum class Kind : uint8_t { Request, Persistent, Interned, Freed };

struct Block {
    void* ptr;  // null marks a free slot
    size_t size;
    Kind kind;
    Content content;  // what the stand-in made it for; Block when it does not know
    uint32_t slot;    // a Freed block's place in the quarantine
};

// Open addressing with linear probing and backward-shift deletion. Its storage comes from glibc
// directly, so that the registry never re-enters the free() it watches.
class Registry {
public:
    Block* find(const void* ptr);
    void insert(const Block& block);
    void erase(Block* block);
    size_t count(Kind kind) const;

    template <typename Visit>
    void forEach(Kind kind, Visit visit) const {
        for (size_t i = 0; i < capacity_; ++i) {
            if (slots_[i].ptr && slots_[i].kind == kind) visit(slots_[i]);
        }
    }

private:
    size_t home(const void* ptr) const;
    size_t next(size_t i) const { return (i + 1) & (capacity_ - 1); }
    void grow();

    Block* slots_ = nullptr;
    size_t capacity_ = 0;
    size_t count_ = 0;
};

extern Registry registry;

// Gives a request block back to the C heap and forgets it.
void freeRequestBlock(Block* block);

}  // namespace standin::internal

#endif
