// Tree-store internals shared by the tree's own files.
#pragma once

#include <stdarg.h>
#include <string.h>

#include <vector>

#include "tree/group_builder.h"
#include "tree/tree.h"

namespace tavo::tree {

// Whether the tree has yet to follow another process's change of the root
// (root_changed, tree/state_changes.h). Under the library lock; read by
// every call.
inline bool root_unfollowed = false;

void unregister_hierarchy(TavoHierarchy* h);
// Deletes the whole tree of h when it has one, as _delete_node of its root
// does, for a tear-down: the tag table is left as it is for
// unregister_hierarchy, and the instance slots taken for release_slot_areas,
// which follow.
void tear_down_tree(TavoHierarchy* h);
int registered_hierarchies(TavoHierarchy** out, int max);
// The lowest free tag of h (-1 when the table is full), and the notices that
// a tag was taken or freed: they keep a floor below which every tag is in
// use.
int32_t lowest_free_tag(TavoHierarchy* h);
void tag_taken(TavoHierarchy* h, uint32_t tag);
// lowest_free_tag and tag_taken at once, with the tag's bit set.
int32_t take_lowest_free_tag(TavoHierarchy* h);
void tag_freed(TavoHierarchy* h, uint32_t tag);
// count tags taken at once, bits set: the ones take_lowest_free_tag would
// answer one after another when they are all free from the floor up and
// in the table. Answers the first; -1 (nothing taken) otherwise.
int32_t take_tag_run(TavoHierarchy* h, uint32_t count);

// ROOT, or a node above which there is nothing.
inline bool is_root(const TavoNode* n) {
  return n == nullptr || n->tag == 0 || n->parent == nullptr || n->parent == n;
}
// The PortNumber of the iSCSIPhysicalHBA, PortDiscoveryAndConfiguration or
// NICPhysicalHBA group g, as get_phba_port_number answers it; 0 for null.
int32_t phba_port_number_of(TavoNode* g);
// The first child in child order of group (a group with its record) whose
// display name is name, compared without case over TAVO_NAME_SIZE - 1
// characters, and which keep(child, filter) accepts; null when none. Found
// through the name index: the children are walked only when namesakes pass.
using ChildFilter = bool (*)(TavoNode* child, const void* filter);
TavoNode* named_child(TavoNode* group, const char* name, ChildFilter keep, const void* filter);
// True when n's display name is name, compared as named_child does.
bool shows_name(const TavoNode* n, const char* name);
// A slot of an instance bitmap became free (the instance left its ring).
void slot_freed(const uint8_t* bitmap, int32_t slot);
// True while an action's handler runs, but not a wait's build inside it:
// the groups made are the action's, listed in its created tags and built
// whole, none of them left waiting (waiting.h).
extern bool action_making;
// The next persistence priority, for node: from the block a build of
// waiting children keeps (waiting.h), else persistency_priority's.
uint32_t take_persistence_priority(const TavoNode* node);
// Where a group's or link's persistence priority is kept; null for any
// other node.
inline uint32_t* persistence_priority_of(TavoNode* n) {
  if (n == nullptr || n->record == nullptr) return nullptr;
  if (n->kind == TAVO_KIND_GROUP) return &group_record(n)->persistence_priority;
  if (n->kind == TAVO_KIND_LINK) return &link_record(n)->persistence_priority;
  return nullptr;
}
// The lowest count free slots of def's instances under parent, taken for
// instances to come (fewer when fewer are free); free_slots gives them
// back; taken_slots counts the slots taken, by instances or kept.
std::vector<int32_t> keep_slots(TavoNode* parent, const GroupDef& def, int32_t count);
void free_slots(TavoNode* parent, const GroupDef& def, const std::vector<int32_t>& slots);
int32_t taken_slots(TavoNode* parent, const GroupDef& def);
// Every public call starts from an empty last status.
inline void reset_last_status() { base::clear_last_status(); }
// A handler's failure that left no reason of its own leaves the generic
// one, naming the property, action or group; the result is passed on.
// Only the public calls do this: a failure inside a handler may be one its
// caller goes on from.
enum class HandlerRun { Get, Set, Action, Refresh };
uint32_t handler_result(uint32_t result, HandlerRun run, const TavoNode* node);
// True for ROOT and its three properties, whose headers are static.
bool is_static_node(const TavoNode* n);
// True when a link outside the node's subtree points into it.
bool linked_from_outside(TavoNode* node);
// The sentinel-closed instance ring's lowest instance after the sentinel.
bool is_instanced_group(const TavoNode* n);
// Copies six 256-byte parameter texts, each terminated.
void copy_params(char (*to)[TAVO_VALUE_SIZE], const char* from);
// A node not yet added, in one block (of the node pool, or of tavo_dmalloc)
// with record_size zeroed bytes of record (none for 0): one allocation per
// node, freed whole by free_node, which is how the library makes and frees
// every node of its own but ROOT's. Its name and description are copied
// into the block, or with Texts::Kept point at the texts given, which then
// outlive it (a definition's static texts); a null one stays null.
enum class Texts { Copied, Kept };
TavoNode* new_node(uint32_t kind, const char* name, const char* description, TavoNode* parent, size_t record_size,
                   Texts texts = Texts::Copied);
void free_node(TavoNode* n);
// new_node with Texts::Kept for several nodes under one parent at once, in
// order: out[i] for shapes[i]. Answers how many were made, from the first.
struct NodeShape {
  uint32_t kind;
  const char* name;
  const char* description;
  size_t record_size;
};
size_t new_kept_nodes(std::span<const NodeShape> shapes, TavoNode* parent, TavoNode** out);
// Blocks of the node pool in use (always 0 where the pool is off).
size_t pooled_nodes();
// True when all of n is one block of the node pool: not ROOT's static nodes
// nor a caller's, and not a block of tavo_dmalloc.
bool pool_holds_all_of(const TavoNode* n);
// When the pool's blocks in use are just these many (nodes that go
// together, none freed on its own), every chunk goes back to malloc at
// once; otherwise nothing is done and the answer is false.
bool release_pool_whole(size_t blocks);
// A node a caller made the documented way (header, records and texts each
// a block of tavo_dmalloc) and adds through the exported add_node is
// remembered until it is released (false: no memory to remember it), or
// forgotten when it could not be added.
bool remember_caller_made(const TavoNode* node);
void forget_caller_made(const TavoNode* node);
// Frees a node that has left its tree the way it was made: a caller's part
// by part, the library's whole (free_node), and of ROOT's static nodes only
// the records. Every path that frees a node of a tree comes here.
void release_node(TavoNode* node);
// add_node for a node the library made (new_node, or ROOT's static ones).
int32_t add_library_node(TavoNode* node, TavoHierarchy* h);
// add_node for the properties and actions of a definition, made by the
// builder under the group it has just added, in child order: such a node
// never has a twin. key is child_key(its group, its name's hash). Answers
// how many were added, from the first: all but when the hierarchy is full;
// the rest are still the caller's.
struct DefinedChild {
  TavoNode* node;
  uint64_t key;
};
size_t add_defined_children(TavoHierarchy* h, std::span<DefinedChild> children);
// text cut to size - 1 characters and terminated: what snprintf "%s" makes,
// without the format.
inline void copy_bounded(char* to, size_t size, const char* text) {
  const size_t n = strnlen(text, size - 1);
  memmove(to, text, n);
  to[n] = '\0';
}
// A 32-bit number, signed or not, in decimal as "%d" or "%u" writes it: at
// most 11 characters, terminated; answers the length.
size_t write_decimal(char (&out)[12], int64_t number);
// vsnprintf into a stored value; the common lone "%s" is a copy, and a lone
// "%d" or "%u" is written without a format.
void format_value(char (&value)[TAVO_VALUE_SIZE], const char* format, va_list ap);
// Calls fn for every node of the subtree (children before their group).
template <typename Fn>
void for_each_in_subtree(TavoNode* node, Fn&& fn);
// The node a public call's tag names, and the group it stands for (a link
// for its target); null with the call refused (tree/status_texts.h).
TavoNode* called_node(uint32_t tag);
TavoNode* called_group(uint32_t tag);

}  // namespace tavo::tree

template <typename Fn>
void tavo::tree::for_each_in_subtree(TavoNode* node, Fn&& fn) {
  if (node->kind == TAVO_KIND_GROUP) {
    TavoGroupRecord* g = group_record(node);
    if (g != nullptr) {
      for (TavoNode* c = g->first_child; c != node;) {
        TavoNode* next = c->next;
        for_each_in_subtree(c, fn);
        c = next;
      }
    }
  }
  fn(node);
}
