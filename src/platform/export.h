// Linkage of the library's exported interface: C names, default visibility.
// Everything not marked ZV_EXPORT stays hidden (-fvisibility=hidden).
#pragma once

#ifdef __cplusplus
#define ZV_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define ZV_EXPORT __attribute__((visibility("default")))
#endif
