// Rewrites that keep instrumentation invisible to Java serialization and give
// java/lang/Thread a slot for the thread's profiler context.
#pragma once

struct JCRClass;

// 1 when java/io/ObjectStreamClass was rewritten to pass its serial-UID
// inputs through the context class's filters; 0 when its UID method is missing.
int PRIRewriteObjectStreamClass(JCRClass *jclass);
// 1 when java/lang/Thread got its context field and accessor; 0 when the class
// is another one or already carries the marker.
int PRIRewriteThreadClass(JCRClass *jclass);
