/* UTF-8 and UTF-32 conversions of the plug-in. Nothing here uses the tree
 * or a plug-in global. Results of the whole-string conversions are single
 * malloc blocks the caller frees with free(). */
#ifndef CVIMA_ESX50_CODESET_H
#define CVIMA_ESX50_CODESET_H

#include <stdint.h>

#include "iscsimgt/plugins/cvima/ima.h"

TAVO_BEGIN_DECLS

/* Each answers its failure value (0, or -1 for a length) for a null
 * pointer it needs, rather than stopping.
 *
 * Length in bytes (1-4) of the sequence at string, its code point in
 * *code_point when given; 0 when it is not valid UTF-8 or string is not
 * before end. */
TAVO_EXPORT uint32_t Iscsi_CodeSetOldGetUtf8(const char* string, const char* end, uint32_t* code_point);
/* Code points of a NUL-ended text, -1 when a sequence is invalid. */
TAVO_EXPORT int32_t Iscsi_CodeSet_LengthInCodePoints(const char* utf8);
/* 1 with *utf32 a new 0-ended string (NULL for a NULL text), 0 with NULL. */
TAVO_EXPORT int Iscsi_CodeSet_UTF8ToUTF32(const char* utf8, uint32_t** utf32);
/* 1 with *utf8 a new NUL-ended text (NULL for a NULL string), 0 with NULL
 * when a code point lies above 0x10FFFF or memory runs out. */
TAVO_EXPORT int Iscsi_CodeSet_UTF32ToUTF8(const uint32_t* utf32, char** utf8);

TAVO_END_DECLS

#ifdef __cplusplus
namespace tavo::cvima {
// The encoder over any 32-bit unit (the wide fields hold wchar_t).
int encode_utf8(const uint32_t* units, char** utf8);
int encode_utf8(const IMA_WCHAR* units, char** utf8);
}  // namespace tavo::cvima
#endif

#endif
