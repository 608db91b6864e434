// JUnit class-loader adjustment: keeps the agent's own classes out of
// JUnit's reloading class loader.
#pragma once

struct JCRClass;

// 1 when the class was rewritten, 0 when it was left alone.
int PRIAdjustJUnitClassLoader(JCRClass *jclass);
