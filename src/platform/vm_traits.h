// What the agent relies on about the VM it runs in, decided once at start-up
// from the VM's product and read by each part that behaves differently on
// some VM, so that no part asks which VM it is.
#pragma once

// The defaults are those of a VM the agent does not know.
struct VMTraits {
    // Threads are native threads: a change of CPU time says a thread ran.
    bool cpuTimeShowsRun = false;
    // The start events of "Finalizer" and "Reference Handler" arrive on
    // another thread, so a thread handle taken there would be wrong.
    bool helperThreadsStartElsewhere = false;
    // A starting thread's profiler-interface storage may hold a stale value
    // and is cleared; where the VM keeps it per thread it is left alone.
    bool clearsStorageOfStartingThreads = true;
    // Java code may be called on a thread while it starts, to prepare its
    // context for direct instrumentation.
    bool preparesContextsAtThreadStart = true;
    // A thread without a cached context may ask java/lang/Thread for it.
    bool asksThreadForContext = true;
    // Object dumps carry more bytes than their record: the record's own
    // length is taken.
    bool objectDumpsOverrun = false;
    // Green threads: a prioritised static call runs on a service thread, a
    // call stack is read inside a critical region, and a sampled thread is
    // suspended with the collector off.
    bool greenThreads = false;
    // java/lang/Thread is rewritten to carry its context.
    bool rewritesThreadClass = true;
    // Classes that load before the VM is initialised are instrumented.
    bool instrumentsBeforeInitialisation = true;
};

// The traits of the VM with the given flavour code (zviGetVMFlavor).
VMTraits VMTraitsOf(int flavour);
