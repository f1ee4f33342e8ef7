/* libtavo management tree: the public C interface of management clients.
 *
 * Every call answers 0 on success or a status code. The tree calls below
 * (all but TAVO_get_last_status) first clear the calling thread's last
 * status (TAVO_get_last_status); a failure that has a reason leaves it
 * there: a value refused by validation (6, 7, 8), a missing parameter (9),
 * a read-only property (10), and a handler that fails (its own code and
 * text, or 1 with "Failed to get <name>. ..."). A failure of the arguments
 * answers 1 and leaves status 1 with a text that names it: a tag that names
 * no node ("Tag <n> names no node: it was deleted, ..." - also by another
 * process that shares the root, whose change this process follows at the
 * start of its next call) or a node of the wrong kind, a property or action
 * not under the group, a name no child has, a null pointer, a kind or a
 * length out of range; an array too small answers 11 with its text. Tags
 * name nodes until the tree is rebuilt or the node deleted.
 * Callers own every buffer they pass. Every call is safe from any thread.
 * Without a tree (before TAVO_init, after the last TAVO_exit, after a
 * failed build) the calls answer 1 with a status; while clients are
 * connected, the next call builds it again. */
#ifndef TAVO_TAVO_H
#define TAVO_TAVO_H

#include <stdint.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

/* Tree status codes. */
enum {
  TAVO_OK = 0,
  TAVO_FAILED = 1,
  TAVO_NO_HANDLER = 3,
  TAVO_LINKED = 4,
  TAVO_INVALID_VALUE = 6,
  TAVO_OUT_OF_RANGE = 7,
  TAVO_BAD_LENGTH = 8,
  TAVO_PARAMETER_MISSING = 9,
  TAVO_READ_ONLY = 10,
  TAVO_ARRAY_TOO_SMALL = 11
};

/* Processes that share a root (a daemon, the host's iSCSI framework,
 * one-shot commands) take turns through libtavo.lock beside the saved
 * configuration: a call that changes the root holds it alone, calls that
 * read share it, and a read of a root nobody changed takes none. Waiters
 * are served in turn, none without bound (60 s, or TAVO_GATE_WAIT_MS
 * milliseconds, 0 to 86400000).
 * A child forked while another thread is inside a call may call in. */
enum {
  TAVO_ROOT_BUSY = 348,          /* the bound passed; the text names the holder */
  TAVO_ROOT_GATE_FOREIGN = 349,  /* libtavo.lock is not the library's own file */
  TAVO_ROOT_MOVED_IN_CALL = 350, /* a read that must change found the root changed */
  TAVO_ROOT_NOT_GATED = 351,     /* TAVO_init's last status on a root that cannot
                                    hold the file: calls run ungated */
  TAVO_GATE_WAIT_IGNORED = 352   /* TAVO_init's last status when TAVO_GATE_WAIT_MS is
                                    not a whole number of milliseconds up to a day */
};

/* Node kinds, and the kind filters of TAVO_get_child_tags. */
enum {
  TAVO_KIND_ANY = 0,
  TAVO_KIND_GROUP = 1,
  TAVO_KIND_PROPERTY = 2,
  TAVO_KIND_ACTION = 3,
  TAVO_KIND_LINK = 4,
  TAVO_KIND_READ_ONLY_PROPERTY = 5,
  TAVO_KIND_WRITABLE_PROPERTY = 6,
  TAVO_KIND_PLAIN_PROPERTY = 7
};

/* Value types of properties and action parameters. */
enum {
  TAVO_TYPE_TEXT = 0,
  TAVO_TYPE_INTEGER = 1,
  TAVO_TYPE_IP_ADDRESS = 2,
  TAVO_TYPE_SUBNET_MASK = 3,
  TAVO_TYPE_LIST = 4
};

#define TAVO_VALUE_SIZE 256       /* every property value and parameter text */
#define TAVO_NAME_SIZE 35         /* node and parameter names */
#define TAVO_DESCRIPTION_SIZE 1780
#define TAVO_MAX_PARAMS 6
#define TAVO_STATUS_TEXT_SIZE 600
#define TAVO_MAX_NEW_TAGS 4097    /* created-tags array of TAVO_do_action */
#define TAVO_MAX_INSTANCES 1024   /* numbers array of TAVO_get_valid_instances */
#define TAVO_MAX_CHILDREN 4096    /* tags array of TAVO_get_child_tags */
#define TAVO_NOT_GIVEN 0xFF       /* first byte of a parameter that is not given */

typedef struct TavoActionParam {
  uint8_t required;                        /* 1 required, 0 optional */
  char name[TAVO_NAME_SIZE];
  char description[TAVO_DESCRIPTION_SIZE];
  uint8_t value_type;
  char valid_list[TAVO_VALUE_SIZE];        /* comma-separated, for type 4 */
  int32_t minimum;
  int32_t maximum;
} TavoActionParam;

typedef struct TavoNodeDescription {
  char description[TAVO_DESCRIPTION_SIZE];
  uint8_t kind;
  uint8_t value_type;                      /* properties only */
  int32_t minimum;                         /* properties only */
  int32_t maximum;                         /* properties only */
} TavoNodeDescription;

typedef struct TavoParamInfo {
  int32_t param_count;
  TavoActionParam params[TAVO_MAX_PARAMS];
} TavoParamInfo;

typedef struct TavoPersistenceInfo {
  uint32_t action_tag;
  uint32_t node_tag;                       /* the node the action ran on */
  char params[TAVO_MAX_PARAMS][TAVO_VALUE_SIZE];
} TavoPersistenceInfo;

#ifdef __cplusplus
#define TAVO_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define TAVO_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
/* The layouts clients share with the library. */
TAVO_STATIC_ASSERT(sizeof(TavoActionParam) == 2084, "TavoActionParam layout");
TAVO_STATIC_ASSERT(sizeof(TavoNodeDescription) == 1792, "TavoNodeDescription layout");
TAVO_STATIC_ASSERT(sizeof(TavoParamInfo) == 12508, "TavoParamInfo layout");
TAVO_STATIC_ASSERT(sizeof(TavoPersistenceInfo) == 1544, "TavoPersistenceInfo layout");

/* Connects a client; the first one builds the tree. */
TAVO_EXPORT uint32_t TAVO_init(void);
/* Disconnects a client; the last one tears the tree down. */
TAVO_EXPORT uint32_t TAVO_exit(void);

/* Tags of the group's children passing the kind filter (1-3, 5-7; 0 and 4
 * pass nothing), in child order, and their number in *count. No capacity is
 * passed: tags must hold TAVO_MAX_CHILDREN entries, the most children any
 * group of the tree can have (its properties, actions and sub-groups, and
 * at most TAVO_MAX_INSTANCES instances of each group under it, the limit
 * the tree publishes). Nothing is written beyond *count. */
TAVO_EXPORT uint32_t TAVO_get_child_tags(uint32_t group_tag, uint32_t* tags, uint32_t* count,
                                         uint32_t kind);
/* Tag of the child of that display name ("LogicalHBA0") and kind (0 any). */
TAVO_EXPORT uint32_t TAVO_get_node_tag(uint32_t group_tag, const char* name, uint32_t* tag,
                                       uint32_t kind);
/* Display name into name[TAVO_NAME_SIZE]; kind must equal the node's kind. */
TAVO_EXPORT uint32_t TAVO_get_node_name(uint32_t tag, char* name, uint32_t kind);
TAVO_EXPORT uint32_t TAVO_get_parent_tag(uint32_t tag, uint32_t* parent_tag);
TAVO_EXPORT uint32_t TAVO_get_node_description(uint32_t tag, TavoNodeDescription* description);

/* Reads a property of the group into buffer. buffer must hold 256 bytes;
 * no more than length bytes are written; length above 256 answers 1. */
TAVO_EXPORT uint32_t TAVO_get_property_val(uint32_t group_tag, uint32_t property_tag, char* buffer,
                                           uint32_t length);
/* Validated write of value (length at most 256) to a property of the group. */
TAVO_EXPORT uint32_t TAVO_set_property_val(uint32_t group_tag, uint32_t property_tag,
                                           const char* value, uint32_t length);
/* Runs an action of the group. params holds the action's parameters as
 * consecutive 256-byte texts (first byte 0xFF: not given); only
 * param_count * 256 bytes are read and none are written. new_tags, when
 * given, holds TAVO_MAX_NEW_TAGS entries: entry 0 is set to 0, then the
 * tags of the groups the action created are written from entry 0. Their
 * number is not returned and no terminator follows the last: clear the
 * whole array before the call, and the first 0 ends the list (no group
 * created has tag 0). */
TAVO_EXPORT uint32_t TAVO_do_action(uint32_t group_tag, uint32_t action_tag, const char* params,
                                    uint32_t* new_tags);
TAVO_EXPORT uint32_t TAVO_get_param_info(uint32_t action_tag, TavoParamInfo* info);
/* Runs the group's refresh handler; 0 (1 only without a tree). */
TAVO_EXPORT uint32_t TAVO_refresh_group(uint32_t group_tag);
/* Instance numbers (ascending) of the instanced child group of that name.
 * numbers must hold TAVO_MAX_INSTANCES entries. */
TAVO_EXPORT uint32_t TAVO_get_valid_instances(uint32_t group_tag, const char* group_name,
                                              uint32_t* numbers, uint32_t* count);
/* Tags of the persistent groups and links in persistence order. *count is
 * the capacity of tags on entry and the number written on return; 11 when
 * the capacity is too small (nothing is written beyond it). */
TAVO_EXPORT uint32_t TAVO_get_persistent_nodes(uint32_t* tags, int32_t* count);
TAVO_EXPORT uint32_t TAVO_get_persistence_info(uint32_t tag, TavoPersistenceInfo* info);
/* The calling thread's last status: code and text[TAVO_STATUS_TEXT_SIZE].
 * Always 0. */
TAVO_EXPORT uint32_t TAVO_get_last_status(uint32_t* code, char* text);

/* Calls outside the tree interface. They do not clear the last status
 * first; a failure with a reason leaves it there. */

/* A node of the tree by its tag; null for a tag that names none. For the
 * calls that take a node rather than a tag; it is valid until the tree is
 * rebuilt. */
typedef struct TavoNode TavoNode;
TAVO_EXPORT TavoNode* get_node(uint32_t tag);

/* Updates a controller's firmware through the host's NIC driver (ethtool -f,
 * else the driver's sysfs flash_fw file) from the image file at path, after
 * copying it into /lib/firmware. controller: the node of a Corvane group
 * (get_node of its tag); port: the 1-based NIC port whose interface is
 * used; generation: the controller's generation code (2 CV2, 3 CV3,
 * 4 Galtor, 5 Moravel). 0 on success, with status 55 in the last status
 * when a reboot activates the image; 1 or another status on failure, with
 * its reason in the last status. */
TAVO_EXPORT uint32_t TAVO_firmware_download(TavoNode* controller, uint32_t port, uint32_t generation,
                                            const char* path);

/* Up to 256 bytes of a Galtor NIC function's PCI configuration space from
 * offset, as "%02x " text, 16 bytes a line, into text[TAVO_STATUS_TEXT_SIZE].
 * nic_function is 1-based. 0 or 1. The 64-bit build refuses it with a
 * status (the driver takes the buffer's address in a 32-bit field). */
TAVO_EXPORT uint32_t TAVO_get_galtor_pci_data(uint32_t nic_function, uint32_t offset, uint32_t length,
                                              char* text);

TAVO_END_DECLS

#endif
