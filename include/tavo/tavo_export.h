/* Symbol export for libtavo. The library builds with hidden visibility;
 * only declarations marked TAVO_EXPORT are part of its ABI. */
#ifndef TAVO_EXPORT_H
#define TAVO_EXPORT_H

#define TAVO_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
#define TAVO_BEGIN_DECLS extern "C" {
#define TAVO_END_DECLS }
#else
#define TAVO_BEGIN_DECLS
#define TAVO_END_DECLS
#endif

#endif
