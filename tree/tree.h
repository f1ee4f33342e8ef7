// The management tree's records and the operations branch code uses: the
// tree store, the services for branch code, and the last status.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/debug_log.h"
#include "base/last_status.h"
#include "base/memory.h"
#include "tavo/tavo.h"

TAVO_BEGIN_DECLS

typedef struct TavoNode TavoNode;

// Property handler: op 0 writes the current value into buf (256 bytes),
// op 1 applies the text in buf. Answers 0 or 1.
typedef uint32_t (*TavoPropertyHandler)(TavoNode* property, char* buf, uint32_t op);
// Group refresh handler: rebuilds the group's instances from the firmware.
typedef uint32_t (*TavoGroupRefreshHandler)(TavoNode* group);
// Action handler: params are the action's six 256-byte parameter texts.
typedef uint32_t (*TavoActionHandler)(TavoNode* group, TavoNode* action, char* params);

enum { TAVO_PROPERTY_GET = 0, TAVO_PROPERTY_SET = 1 };
enum { TAVO_ACCESS_READ_ONLY = 1, TAVO_ACCESS_READ_WRITE = 2 };
enum { TAVO_FLAG_READ_ONLY = 1u << 0, TAVO_FLAG_HIDDEN = 1u << 3 };

struct TavoNode {
  uint32_t tag;
  uint32_t kind;             // TAVO_KIND_GROUP .. TAVO_KIND_LINK
  char* name;                // for an instance: the group type's name
  char* description;
  TavoNode* parent;          // ROOT is its own parent
  TavoNode* next;            // child ring, closed through the parent
  TavoNode* prev;
  uint32_t link_count;       // links whose target is this node
  void* record;              // the kind's record
};

typedef struct TavoInstanceRecord {
  uint8_t* slot_bitmap;      // shared by the instances under one parent
  TavoNode* next_instance;   // ring ordered by number, closed by a sentinel
  TavoNode* prev_instance;
  uint16_t max_instances;
  uint16_t first_instance;
  int32_t instance_number;   // -1 in the sentinel
} TavoInstanceRecord;

// A node named by its tag and the generation of its tag slot: unlike a
// pointer it never names a node that took the slot (or the memory) of a
// deleted one. {0, 0} names none.
typedef struct TavoNodeRef {
  uint32_t tag;
  uint32_t generation;       // 0: none
} TavoNodeRef;

typedef struct TavoGroupRecord {
  TavoNode* first_child;     // the group itself while it has no children
  TavoNode* last_child;
  TavoGroupRefreshHandler refresh;
  TavoInstanceRecord* instance;  // none for a static group
  TavoNodeRef creating_node;
  TavoNodeRef creating_action;
  char params[TAVO_MAX_PARAMS][TAVO_VALUE_SIZE];
  uint32_t persistence_priority;  // 0: not persistent
  void* nhandle;             // owned by the subsystem that fills it
  TavoNode* scoped_waits;    // the first waiting group whose scope this is (tree/waiting.h)
} TavoGroupRecord;

typedef struct TavoPropertyRecord {
  char value[TAVO_VALUE_SIZE];
  TavoPropertyHandler handler;
  uint32_t flags;            // bit 0 read-only
  uint8_t value_type;
  char valid_list[TAVO_VALUE_SIZE];
  int32_t minimum;
  int32_t maximum;
} TavoPropertyRecord;

typedef struct TavoLinkRecord {
  TavoNode* target;
  TavoNodeRef creating_node;
  TavoNodeRef creating_action;
  char params[TAVO_MAX_PARAMS][TAVO_VALUE_SIZE];
  uint32_t persistence_priority;
} TavoLinkRecord;

// Static data, one exported ROOT_<path>_<Action>_action object per action.
typedef struct TavoActionDescriptor {
  TavoActionHandler handler;
  uint8_t global;            // 1: offered by every group (lives under ROOT)
  int32_t param_count;       // 0 to 6
  TavoActionParam params[TAVO_MAX_PARAMS];
} TavoActionDescriptor;

typedef struct TavoHierarchy {
  TavoNode* root;
  char* name;
  uint32_t capacity;         // slots of the tag table
  TavoNode** tag_table;
  uint8_t* tag_bitmap;       // capacity/8 + 1 bytes
  uint32_t max_tag_count;
  uint32_t max_description_length;
  uint32_t max_name_length;
  uint32_t max_params;
  uint32_t max_path_depth;
  uint32_t max_instances;
  uint32_t* tag_generation;  // per tag slot, raised by every add_node
} TavoHierarchy;

// --- tree store ---
TAVO_EXPORT extern TavoHierarchy hierarchy_name_;
TAVO_EXPORT extern char tavo_current_hierarchy[20];
TAVO_EXPORT extern uint32_t persistency_priority;

TAVO_EXPORT uint32_t hm_setup_hierarchy(TavoHierarchy* hierarchy);
TAVO_EXPORT uint32_t reinit_hm(TavoHierarchy* hierarchy);
TAVO_EXPORT TavoHierarchy* hm_find_hierarchy(const char* name);
TAVO_EXPORT TavoNode* hm_get_root(const char* name);
TAVO_EXPORT TavoHierarchy* hm_find_hierarchy_by_node(const TavoNode* node);
TAVO_EXPORT TavoNode* get_node(uint32_t tag);

TAVO_EXPORT int32_t add_node(TavoNode* node, TavoHierarchy* hierarchy);
TAVO_EXPORT int32_t node_exists(const TavoNode* node);
TAVO_EXPORT uint32_t delete_node(TavoNode* node);
TAVO_EXPORT void _delete_node(TavoNode* node);
TAVO_EXPORT TavoNode* get_dynamic_ancester(TavoNode* node);
// params: six 256-byte texts, or NULL.
TAVO_EXPORT TavoNode* create_link(TavoNode* parent, const char* name, TavoNode* target,
                                  TavoNode* creating_node, TavoNode* creating_action,
                                  const char* params);

TAVO_EXPORT uint32_t init_hm(void);
TAVO_EXPORT uint32_t init_hm_data(void);
TAVO_EXPORT void exit_hm(void);
TAVO_EXPORT void exit_hm_data(void);

// --- created groups of the running action ---
TAVO_EXPORT extern uint32_t* tavo_internal_new_tags;
TAVO_EXPORT extern int32_t new_tag_index;

// --- list helpers ---
TAVO_EXPORT char* tavo_internal_list_search(char* list, const char* item, int32_t mode);
TAVO_EXPORT uint32_t tavo_internal_list_del(char* list, const char* item, int32_t mode);
TAVO_EXPORT uint32_t tavo_internal_list_add(char* list, const char* item, int32_t mode);
TAVO_EXPORT TavoActionParam* tavo_internal_get_param(TavoNode* action, const char* name);
TAVO_EXPORT int32_t SET_CACHE_PROP_VAL(TavoNode* property, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// --- services for branch code ---
TAVO_EXPORT TavoNode* internal_get_node(TavoNode* group, const char* name, uint32_t kind);
TAVO_EXPORT TavoNode* get_first_instance(TavoNode* group, const char* name);
TAVO_EXPORT TavoNode* get_matchnode_by_propvalue(TavoNode* group, const char* child_group,
                                                 const char* property, const char* value);
TAVO_EXPORT TavoNode* get_selected_group_node(TavoNode* group, const char* prefix,
                                              const char* suffix);
TAVO_EXPORT uint32_t internal_get_property(TavoNode* group, const char* name, char* buf);
TAVO_EXPORT uint32_t internal_set_property(TavoNode* group, const char* name, const char* value);
TAVO_EXPORT uint32_t set_prop_val(TavoNode* group, const char* name, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
TAVO_EXPORT uint32_t handle_internal_property(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT int32_t get_port_number(TavoNode* node);
TAVO_EXPORT int32_t get_cv_instance(TavoNode* node);
TAVO_EXPORT int32_t get_phba_port_number(TavoNode* node);
TAVO_EXPORT int32_t get_domain_id(TavoNode* node);
// Stamp the port-0 time slot of the instanced group's number; 0, or 1 for a
// missing node, a static group or an instance past the table.
TAVO_EXPORT uint32_t TAVO_start_clock(TavoNode* group);
// Milliseconds since that group's start; 0, or 1 as above.
TAVO_EXPORT uint32_t TAVO_stop_clock(TavoNode* group, uint32_t* elapsed_ms);
// ROOT's TAVODebugLevel: reads and sets the level kept in libtavo.conf.
TAVO_EXPORT uint32_t handle_TAVODebugLevel(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t purge_nodes_within(TavoNode* group, const char* child_group);

TAVO_END_DECLS

// C++-only conveniences for branch code.
#ifdef __cplusplus
#include <span>

namespace tavo::tree {

inline TavoGroupRecord* group_record(TavoNode* n) { return static_cast<TavoGroupRecord*>(n->record); }
inline TavoPropertyRecord* property_record(TavoNode* n) {
  return static_cast<TavoPropertyRecord*>(n->record);
}
inline TavoLinkRecord* link_record(TavoNode* n) { return static_cast<TavoLinkRecord*>(n->record); }
inline const TavoActionDescriptor* action_descriptor(TavoNode* n) {
  return static_cast<const TavoActionDescriptor*>(n->record);
}
// A link's final target (the node itself when it is no link).
TavoNode* follow_links(TavoNode* n);
// An instanced group's number, or -1.
int32_t instance_number(const TavoNode* n);
// node itself or the nearest group above it of that name (case ignored);
// null when ROOT comes first.
TavoNode* group_above(TavoNode* node, const char* name);
// A property of a group and the text it is to store.
struct StoredValue {
  const char* name;
  const char* text;
};
// Each text stored in the group's property of that name, as set_prop_val
// with "%s" would, the group's children walked once rather than each name
// looked up: a group just built is given several values at once. At most
// kMostStored values, of different names; 1 when any property is missing.
inline constexpr size_t kMostStored = 16;
uint32_t store_values(TavoNode* group, std::span<const StoredValue> values);
// The instance after i in number order; null past the last one.
inline TavoNode* next_instance(TavoNode* i) {
  if (i == nullptr || i->record == nullptr || group_record(i)->instance == nullptr) return nullptr;
  TavoNode* next = group_record(i)->instance->next_instance;
  return instance_number(next) == -1 ? nullptr : next;
}
// "%s%d" for an instanced group, else the name, cut to 34 characters.
void display_name(const TavoNode* n, char out[TAVO_NAME_SIZE]);
// Frees the back-end record (nhandle) of every group in node's subtree and
// clears each slot.
void release_handles_within(TavoNode* node);
// Deletes node as delete_node does and, once it went, frees the back-end
// records (nhandle) its subtree's groups held: children that wait hold
// none, and go unbuilt. delete_node's answer.
uint32_t delete_with_handles(TavoNode* node);
// The reference of a node of the tree ({0, 0} for none or a node not in
// a hierarchy), and the node a reference names in h: none once that node
// was deleted. Both O(1).
TavoNodeRef node_ref(const TavoNode* n);
TavoNode* ref_node(const TavoHierarchy* h, TavoNodeRef ref);
// Whether two references name the same node.
inline bool same_ref(TavoNodeRef a, TavoNodeRef b) { return a.tag == b.tag && a.generation == b.generation; }
using base::set_last_status_fmt;

}  // namespace tavo::tree
#endif
