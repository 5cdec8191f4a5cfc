#include "platform/MemoryRelease.h"

// Any C library header says which library this is; the test below must not hang on what an
// earlier include happened to bring.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace MemoryRelease {

#if defined(__GLIBC__)

namespace {

// Blocks from here up are mapped from the system on their own: the save's and the sync's buffers,
// a decoder's tables. Below it, a day's many small strings keep coming from the heaps.
constexpr int kMappedFrom = 256 * 1024;
constexpr int kTrimFrom = 1024 * 1024;

} // namespace

void configure()
{
    // Setting either fixes both: the library stops moving them as blocks are freed.
    mallopt(M_MMAP_THRESHOLD, kMappedFrom);
    mallopt(M_TRIM_THRESHOLD, kTrimFrom);
}

void returnFreed()
{
    malloc_trim(0);
}

#else

void configure()
{
}

void returnFreed()
{
}

#endif

} // namespace MemoryRelease
