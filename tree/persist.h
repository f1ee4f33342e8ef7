// Tree persistence records: text lines "GROUP|...", "PROPERTY|..." and
// "SYMLINK|..." that a client saves from the tree and replays into a fresh
// one, on a stdio stream the client opens, positions and closes. A record
// whose values hold the separator '|' is written "GROUP\|..." (keyword and
// '\'), its fields with every '\' and '|' escaped by a '\'; every other
// record is written plainly, as it always was.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "tree/tree.h"

TAVO_BEGIN_DECLS

enum { TAVO_PATH_SIZE = 256 };

// Writes the records of every persistent group and link (in the order they
// became persistent), then the properties of the static groups from start
// down (none without start). mask selects properties by flags: 1 read-only, 2 read/write, 3 both.
// 0, or 1 without a stream or a tree.
TAVO_EXPORT uint32_t save_node(TavoNode* start, FILE* stream, uint32_t mask);
// Replays every record line from the stream's position to its end; 0, or
// 1 without a stream or (with a status) when there is no tree.
TAVO_EXPORT uint32_t restore_hm(FILE* stream);
// Makes a group persistent with its creating node, action and params (six
// 256-byte texts, or NULL); 1 when the node is no group, else 0.
TAVO_EXPORT uint32_t backend_make_persistent(TavoNode* group, TavoNode* creating_node, TavoNode* creating_action,
                                             const char* params);

// "ROOT/Corvane0/iSCSIPhysicalHBA1/..." into path[256].
TAVO_EXPORT void get_full_path(TavoNode* node, char* path);
// The node of a path, the last component of the given kind (1-3); NULL.
TAVO_EXPORT TavoNode* internal_get_node_path(const char* path, uint32_t kind);

// The steps of save_node. table holds persistency_priority - 1 places.
TAVO_EXPORT void enumerate_nodes(TavoNode** table, TavoNode* node);
TAVO_EXPORT void dump_node(TavoNode* node, FILE* stream, uint32_t mask);
TAVO_EXPORT void dump_group(TavoNode* group, FILE* stream);
TAVO_EXPORT void dump_properties(TavoNode* group, FILE* stream, uint32_t mask);
TAVO_EXPORT void dump_static_groups(TavoNode* node, FILE* stream, uint32_t mask);

// Reads one line into buffer without its line feed: 1 read, 2 the line does
// not fit (the stream is put back at its start), 0 end of input (a last line
// without line feed is not delivered).
TAVO_EXPORT uint32_t tavo_get_line(FILE* stream, char* buffer, uint32_t size);
// Replaces every delimiter by NUL; the number of fields (0 for NULL).
TAVO_EXPORT uint32_t tavo_split(char* text, char delimiter);
// The first field of text into out (out_length bytes, always terminated);
// 1 when text starts with the delimiter, else 0.
TAVO_EXPORT uint32_t get_field(const char* text, char delimiter, char* out, uint32_t out_length);
// Non-overlapping occurrences of word in text (0 for an empty word).
TAVO_EXPORT uint32_t word_count(const char* text, const char* word);

TAVO_END_DECLS

#ifdef __cplusplus
#include <span>
#include <string>
#include <vector>

namespace tavo::tree {

// A record line, line feed included: the keyword and the fields joined by
// '|', each field cut at its first line break. When a field holds '|' the
// keyword is followed by '\' and every '\' and '|' of the fields is escaped
// by a '\'.
std::string record_line(const char* keyword, std::span<const char* const> fields);
// The keyword and fields of a record line (without its line feed), cut in
// place: the inverse of record_line.
void cut_record(char* line, std::vector<char*>* fields);
// A walk of node's whole subtree, which builds whatever waits in it: the
// persistent groups are all listed, each in its place.
void build_every_waiting_group(TavoNode* node);

}  // namespace tavo::tree
#endif
