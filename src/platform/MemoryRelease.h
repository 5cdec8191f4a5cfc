#pragma once

// How freed memory goes back to the system. A shoot day frees big buffers all the time (a sync's
// pieces, a save's file, a decoder's model), and the C library's default keeps raising its
// threshold for taking big blocks straight from the system: after a while they come from the
// heap, and once freed stay in the process. Linux and glibc only; elsewhere these do nothing.
namespace MemoryRelease {

// Once at start, before the threads: big blocks always come from the system and go back to it
// when freed, and a heap whose top frees this much gives it back.
void configure();

// Gives back the free pages inside the heaps too (after a big part of the process went, such as
// a decoder). Walks every heap; call it off the main thread, which it would hold up.
void returnFreed();

} // namespace MemoryRelease
