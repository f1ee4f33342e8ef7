// What the plug-in's entry points share: object ids, the lookups by name,
// the action parameter block, id lists and address texts. Everything goes
// through the public tree calls.
#pragma once

#include <stdint.h>
#include <string.h>

#include <initializer_list>

#include "iscsimgt/plugins/cvima/esx50_wrap.h"
#include "tavo/tavo.h"

namespace tavo::cvima {

using Text = char[TAVO_VALUE_SIZE];

constexpr uint32_t type_bit(IMA_OBJECT_TYPE type) { return 1u << type; }

// The owner id every handed-out object id carries.
uint32_t owner_id();
// discover_status: 2 once a rediscovery step has failed, for good.
void note_discovery_failure();
bool discovery_failed();
inline uint32_t oid_tag(const IMA_OID& oid) { return static_cast<uint32_t>(oid.objectSequenceNumber); }
// An object id of ours: the tag in the low word, its sign in the high one.
IMA_OID make_oid(IMA_OBJECT_TYPE type, uint32_t tag);
// CheckParameters of an id, for an entry point accepting those type bits.
IMA_STATUS check_oid(const IMA_OID& oid, uint32_t accepted_types);

// The instances of one child group type, in instance order.
struct Tags {
  uint32_t tag[TAVO_MAX_INSTANCES];
  uint32_t count = 0;
};
inline uint32_t child_tags(uint32_t tag, const char* group, Tags* out) {
  return Tavo_Get_Child_Tags(tag, group, out->tag, &out->count);
}

// The instances of a child group type whose groups can still be found, in
// instance order: one gone since the instances were listed is skipped.
uint32_t present_children(uint32_t tag, const char* group, Tags* out);

// Tree lookups answering a tree status.
uint32_t group_tag(uint32_t parent, const char* name, uint32_t* tag);
// Writes a property of the group with that tag (a 256-byte value).
uint32_t set_property(uint32_t group, const char* property, const char* value);
uint32_t parent_of(uint32_t tag, uint32_t* parent);
// The parent of tag, its parent and so on, one per out pointer.
uint32_t ancestors(uint32_t tag, std::initializer_list<uint32_t*> out);
// The ids a record of a target portal or send-target portal names: its
// logical HBA and, as the node, the function above it; *parent is the
// portal's own parent (its Target or Discovery group).
uint32_t associated_ids(uint32_t portal, uint32_t* parent, IMA_OID* node, IMA_OID* lhba);
// The number after prefix in the node's shown name ("Session12" -> 12).
uint32_t instance_number(uint32_t tag, const char* prefix, int* number);
// The logical HBA an id stands in: its own (LHBA), LogicalHBA0 of the
// function (PNP), or the one above a target, portal or discovery address;
// tag 0 for any other type.
uint32_t lhba_of(const IMA_OID& oid, uint32_t* lhba);
// The login options group of an id: InitiatorLoginOptions (LHBA),
// SendTargetPortalLoginOptions (discovery address) or TargetLoginOptions of
// a portal's target; tag 0 for any other type.
uint32_t login_options_of(const IMA_OID& oid, uint32_t* group);
// The iSCSIPhysicalHBA group of an id: its own (PHBA, LNP), or the one
// above an LHBA, a network portal or a PNP.
uint32_t phba_of(const IMA_OID& oid, uint32_t* phba);
// The function's Network group: the parent of a network portal
// (TCPIPConfiguration) or a PNP (NICConfiguration), else the child of the
// id's iSCSIPhysicalHBA.
uint32_t network_of(const IMA_OID& oid, uint32_t* network);
// The tree's last status code of this thread.
uint32_t last_status_code();

// Six 256-byte parameter texts in the action's order; a slot not set is
// empty, one marked not given starts with 0xFF. The block may carry a CHAP
// secret: it is cleared when it goes.
class ActionParams {
 public:
  ActionParams();
  ~ActionParams();
  void set(int slot, const char* text);
  void set_number(int slot, long value);
  void not_given(int slot);
  const char* block() const { return block_; }

 private:
  char block_[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
};
// Looks the action up under the group and runs it; the tree status.
uint32_t run_action(uint32_t group, const char* action, const ActionParams& params);
// Login parameters to one address and port, with the firmware's own
// initiator name and ISID qualifier, not as a boot session.
ActionParams login_params(const char* address, const char* port);
uint32_t find_action(uint32_t group, const char* action, uint32_t* tag);

// A new list of object ids of one type over the tags (0xC0000000 when
// memory runs out); *list is set only on success.
IMA_STATUS hand_out_list(IMA_OBJECT_TYPE type, const uint32_t* tags, uint32_t count, IMA_OID_LIST** list);

// Address texts: dotted IPv4 (into the first four bytes), or IPv6 when the
// text holds a colon. Every byte of the address is written: those an IPv4
// address leaves are 0.
void text_to_address(const char* text, IMA_IP_ADDRESS* address);
void address_to_text(const IMA_IP_ADDRESS& address, char* text);
// The family a host's address says it is: IPv4 (flag 1) or IPv6 (flag 0);
// any other flag is neither.
inline bool is_ipv4(const IMA_IP_ADDRESS& address) { return address.ipv4Address == 1; }
inline bool is_ipv6(const IMA_IP_ADDRESS& address) { return address.ipv4Address == 0; }
// Whether two portals are one: the same address (the same text in any
// case, or the same address written another way) and the same port number
// (as the tree reads numbers: "3260", "0xCBC" and "+3260" are one port).
bool same_portal(const char* address_a, const char* port_a, const char* address_b, const char* port_b);
// Decimal texts as the host reads them (leading digits, 0 when none).
uint32_t decimal(const char* text);
bool same_text_nocase(const char* a, const char* b);
// "None" and "No" (exactly) are false, anything else true.
inline IMA_BOOL yes_no(const char* text) {
  return strcmp(text, "None") == 0 || strcmp(text, "No") == 0 ? 0 : 1;
}

// The standard-output line of a failed field conversion.
IMA_STATUS conversion_failed(const char* function, unsigned line);

}  // namespace tavo::cvima
