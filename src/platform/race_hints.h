// Happens-before hints for the thread sanitizer: the VM's raw monitors and
// the other orderings the VM imposes run in its uninstrumented code, so a
// sanitized agent tells the sanitizer of them here. Nothing in other builds.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define ZV_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZV_THREAD_SANITIZER 1
#endif
#endif

#ifdef ZV_THREAD_SANITIZER
extern "C" void __tsan_acquire(void *address);
extern "C" void __tsan_release(void *address);
extern "C" void AnnotateIgnoreReadsBegin(const char *file, int line);
extern "C" void AnnotateIgnoreReadsEnd(const char *file, int line);
// After taking a lock or seeing a handoff keyed by address.
inline void RaceAcquire(const void *address) { __tsan_acquire(const_cast<void *>(address)); }
// Before giving up a lock or handing off what was written under address.
inline void RaceRelease(const void *address) { __tsan_release(const_cast<void *>(address)); }
// While one lives, the calling thread's reads are not checked: for reads of
// the Java heap, which the VM's collector copies and its allocator clears
// under orderings (safepoints, pinned arrays) the sanitizer cannot see.
struct UncheckedReads {
    UncheckedReads() { AnnotateIgnoreReadsBegin(__FILE__, __LINE__); }
    ~UncheckedReads() { AnnotateIgnoreReadsEnd(__FILE__, __LINE__); }
    UncheckedReads(const UncheckedReads &) = delete;
    UncheckedReads &operator=(const UncheckedReads &) = delete;
};
#else
inline void RaceAcquire(const void *) {}
inline void RaceRelease(const void *) {}
struct UncheckedReads {
    UncheckedReads() {}
    ~UncheckedReads() {}
};
#endif
