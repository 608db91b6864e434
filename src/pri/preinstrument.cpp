// Stand-ins until the serialization and Thread rewrites are built: nothing is
// rewritten.
#include "pri/preinstrument.h"

int PRIRewriteObjectStreamClass(JCRClass *) { return 0; }
int PRIRewriteThreadClass(JCRClass *) { return 0; }
