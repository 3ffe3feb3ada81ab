// Peak memory of dumping an N-element array to a stream that discards its input: the heap the
// dump itself takes (every operator new while it runs, which is where {fmt} gets its buffers), and
// how far the process's peak resident size moves.
//   corvane_dump_memory N
#include "null_stream.h"
#include "peak_resident.h"

#include <corvane/ZVal.h>
#include "host.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

namespace {

size_t liveBytes = 0;
size_t peakBytes = 0;

// Each block carries its size in front, so that delete can count it down.
void* counted(size_t size) {
    auto* block = static_cast<size_t*>(std::malloc(size + sizeof(std::max_align_t)));
    if (!block) throw std::bad_alloc();
    *block = size;
    liveBytes += size;
    if (liveBytes > peakBytes) peakBytes = liveBytes;
    return reinterpret_cast<char*>(block) + sizeof(std::max_align_t);
}

void uncounted(void* ptr) {
    if (!ptr) return;
    auto* block = reinterpret_cast<size_t*>(static_cast<char*>(ptr) - sizeof(std::max_align_t));
    liveBytes -= *block;
    std::free(block);
}

using bench::peakResidentKiB;

}  // namespace

void* operator new(size_t size) { return counted(size); }
void* operator new[](size_t size) { return counted(size); }
void operator delete(void* ptr) noexcept { uncounted(ptr); }
void operator delete[](void* ptr) noexcept { uncounted(ptr); }
void operator delete(void* ptr, size_t) noexcept { uncounted(ptr); }
void operator delete[](void* ptr, size_t) noexcept { uncounted(ptr); }

int main(int argc, char** argv) {
    long long n = argc > 1 ? std::atoll(argv[1]) : 1000000;
    host::startup();
    host::requestStartup();
    {
        ZendArray array(0);
        for (long long i = 0; i < n; ++i) array.add(ZVal(i));
        ZendArray nested(0);
        nested.add("key", ZVal(ZendString("value")));
        array.add("nested", ZVal(nested));

        bench::NullStream out;
        size_t requestBlocks = host::liveRequestBlocks();
        long residentBefore = peakResidentKiB();
        size_t heapBefore = liveBytes;
        peakBytes = liveBytes;
        array.dump(out, 0);
        size_t heapPeak = peakBytes - heapBefore;
        size_t requestBlocksAdded = host::liveRequestBlocks() - requestBlocks;
        long residentAdded = peakResidentKiB() - residentBefore;
        std::printf("%lld elements: dump heap peak %zu bytes, request blocks +%zu, peak resident +%ld KiB\n", n,
                    heapPeak, requestBlocksAdded, residentAdded);
    }
    size_t leaks = host::requestShutdown();
    host::shutdown();
    return leaks == 0 ? 0 : 1;
}
