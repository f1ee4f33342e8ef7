// Value validation and address text conversions. Plain functions without
// state; texts are NUL-terminated.
#pragma once

#include <stdint.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

// Checks value against its declared type; 0, 6, 7 or 8. An accepted text
// of type 2 is rewritten in place (value must hold 40 bytes): IPv6 to its
// full form, IPv4 to plain dotted decimal.
TAVO_EXPORT uint32_t tavo_validate(char* value, const char* list, uint8_t type, int32_t minimum,
                                   int32_t maximum);
// The checks of the single types (0 or the failure code).
TAVO_EXPORT uint32_t tavo_validate_val_string(const char* value, int32_t minimum, int32_t maximum);
TAVO_EXPORT uint32_t tavo_validate_val_integer(const char* value, int32_t minimum, int32_t maximum);
TAVO_EXPORT uint32_t tavo_validate_ip(char* value);
TAVO_EXPORT uint32_t tavo_validate_ipv6(char* value);
TAVO_EXPORT uint32_t tavo_validate_subnetmask(const char* value);
TAVO_EXPORT uint32_t tavo_validate_list(const char* value, const char* list);

// 0 valid or 6; an accepted text (room for 40 bytes) becomes the 39-character
// full form "XXXX:XXXX:...". A refused text may be left partly upper-cased.
TAVO_EXPORT uint32_t validateIPv6Address(char* text);
// Dotted IPv4 with the rule set of mode 0-5; 1 valid, 0 invalid. octets[4]
// is written while parsing (also on refusal).
TAVO_EXPORT uint32_t validateIPAddress(const char* text, uint8_t* octets, uint32_t mode);
// Six hexadecimal groups separated by ':' or '-'; 1 valid, 0 invalid.
TAVO_EXPORT uint32_t validateMACAddress(const char* text, uint8_t* mac);
// 0 valid (copy[224] holds the name in lower case), 1 invalid with last
// status 30.
TAVO_EXPORT uint32_t validateISCSIName(const char* name, char* copy);

// IPv6 full form (or any text of hexadecimal digits) to 16 bytes.
TAVO_EXPORT void StrToU8IPv6(const char* text, uint8_t* bytes);
// 16 bytes to a compressed lower-case IPv6 text in text[40]; "" for ::.
TAVO_EXPORT void U8IPv6ToStr(const uint8_t* bytes, char* text);
// A firmware address record to text (40 bytes for IPv6, 16 for IPv4).
TAVO_EXPORT void ipaddr_to_string(const uint8_t* bytes, char* text, uint32_t type);

// Value of the digits at the start of text in base; text is overwritten with
// the digit values, so pass a scratch copy.
TAVO_EXPORT uint32_t convert(char* text, int32_t base);
// length/2 bytes from pairs of hexadecimal digits; 0, or -1 for a null
// argument.
TAVO_EXPORT int32_t convert_hex_to_bin(const char* text, int32_t length, uint8_t* bytes);
TAVO_EXPORT int32_t is_hex(const char* text, int32_t count);
// Characters of a MAC text ("aa:bb:cc:dd:ee:ff").
enum { TAVO_MAC_TEXT_LENGTH = 17 };
// Copies source into destination (TAVO_MAC_TEXT_LENGTH + 1 bytes) replacing
// every from by to; 0, or 1 for a null argument or a source longer than a
// MAC text, which leaves destination untouched.
TAVO_EXPORT uint32_t TAVO_convert_mac_addr(const char* source, uint8_t from, char* destination, uint8_t to);
// Cuts text at '.' in place and reads four decimal parts.
TAVO_EXPORT uint32_t tavo_getip(char* text, uint32_t* parts);
// The 32 bits of four octets, most significant first, one per word.
TAVO_EXPORT uint32_t tavo_bin(int32_t a, int32_t b, int32_t c, int32_t d, uint32_t* bits);
TAVO_EXPORT void copy_U8IP(uint8_t* destination, const uint8_t* source);
TAVO_EXPORT void copy_U32IP(uint32_t* destination, const uint8_t* source);
TAVO_EXPORT uint32_t ULShr(uint32_t value, int32_t count);
TAVO_EXPORT uint32_t ULShl(uint32_t value, int32_t count);

TAVO_END_DECLS

#ifdef __cplusplus
namespace tavo::base {

// A number as the tree validates integers: automatic base (decimal, 0x
// hexadecimal, leading 0 octal), the whole text. 0 with *value set;
// TAVO_INVALID_VALUE for an empty text or trailing characters,
// TAVO_OUT_OF_RANGE beyond long long (*value then left as it was).
uint32_t parse_number(const char* text, long long* value);

// number in decimal at out (room for 11 bytes), NUL-terminated; the end
// (the NUL). Start-up writes thousands of ports and addresses: printf's
// parsing of a format would cost more than the digits.
char* write_decimal(char* out, uint32_t number);

}  // namespace tavo::base
#endif
