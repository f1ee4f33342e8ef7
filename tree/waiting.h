// Children that wait: a group is made without some of its children (all of
// them, or its instances of one group type) and they are built the first
// time anything reaches them. Start-up leaves a LogicalHBA's targets
// waiting, and a Target's login options and a listed Session's subtree
// wait when start-up or a listing makes them, so that a process builds
// only what it looks at. What an action makes never waits: it is built
// whole at once, and the action's created tags list every group of it.
//
// One gate, build_waiting(), builds what waits: every lookup of a child (by name,
// as the first instance, by path), every listing and every walk of a
// group's children passes it. A wait has a scope, the group whose subtree
// needs it built: a public call passes the gate of every wait in whose
// scope it acts before any handler runs, so that no branch's handler meets
// what waits and no branch runs a higher one's build. The build runs once,
// as a refresh handler of the owning folder would, and what it leaves is
// what the group then shows.
#pragma once

#include <stdint.h>

#include <memory>

#include "tree/group_builder.h"
#include "tree/tree.h"

namespace tavo::tree {

// What builds a group's waiting children, with the data it works from.
using WaitBuild = uint32_t (*)(TavoNode* group, void* data);

// group's instances of def are built by build(group, data) when first
// reached; scope: group or a group above it. slots: how many instances the
// build makes at most, when that is known; their slots are kept for them,
// so that an instance of def added meanwhile joins the group without their
// build, in a slot above theirs. -1 (not known): an add builds them first.
// The groups the build makes persistent take the place in the persistent
// order that a build at the deferral would give them, each instance
// followed by those made below it. data goes with the wait, built or
// dropped.
void defer_instances(TavoNode* group, TavoNode* scope, const GroupDef& def, WaitBuild build,
                     std::shared_ptr<void> data, int32_t slots = -1);
// group's children (it was made without any) are built by build(group,
// data) when first reached; its scope is the group. When group has its
// children (an action made it, build_group_alone) or the wait cannot be
// kept, the build runs now instead; false when it fails.
bool defer_children(TavoNode* group, WaitBuild build, std::shared_ptr<void> data);

// The gate: builds group's waiting children that a look for a child of
// that display name would meet ("Target3" meets the instances of Target;
// null: any child). Costs one load when nothing waits.
void build_waiting(TavoNode* group, const char* name = nullptr);
// A public call on node: the gate of every wait whose scope holds node,
// save a wait of node's own group when node is one of its properties or
// actions (the group's waiting children are no concern of theirs). Costs a
// load on each group above node when no wait is scoped at any of them.
void build_waiting_for_call(TavoNode* node);
// group's first child in child order, past the gate: every walk of a
// group's children starts here.
TavoNode* first_child(TavoNode* group);

// Whether any children of group wait, and the data they wait with (null
// when none do, or when def is given and they are not its instances).
bool children_wait(const TavoNode* group);
void* waiting_data(const TavoNode* group, const GroupDef* def = nullptr);
// A group whose instances wait (defer_instances), the data they wait
// with, and the next such; a group deleted takes its wait along.
struct InstancesWait {
  TavoNode* group = nullptr;
  void* data = nullptr;
  InstancesWait* next = nullptr;
};
// The first, null for none; valid until a wait is added or taken.
const InstancesWait* first_instances_wait();
// Whether an instance of def may be added to group without reaching its
// waiting instances: their slots are kept.
bool slots_reserved(const TavoNode* group, const GroupDef& def);
// The slots of def's instances under group that are taken, by instances
// built or kept for those that wait.
int32_t slots_taken(TavoNode* group, const GroupDef& def);

// The waits of node's subtree, and of node, are dropped unbuilt: the nodes
// go.
void forget_waits_within(const TavoNode* node);
// The tree is gone: the room of the waits goes too.
void release_waits();

}  // namespace tavo::tree
