// Instances that wait: a group's instances of one name built the first time
// anything reaches them, not when the group is made. Start-up leaves a
// LogicalHBA's targets waiting so that a process that never looks at them
// never builds them; a client's call that acts in the group's parent, and
// whoever lists the group's children, looks up one of them (by name, as
// the first instance, through an index of its owner), adds one, or walks
// the subtree to save it, finds them built first. The
// build runs once, as a refresh handler of the owning folder would, and
// what it leaves is what the group then shows.
#pragma once

#include <memory>

#include "tree/tree.h"

namespace tavo::tree {

// group's instances called name (a static text) are built by build(group)
// when first reached. A group waits for one build at a time: a second
// call for the same group replaces the first. spared (a static text, or
// null): the one action of group whose call leaves them waiting; its
// handler reaches them itself when it needs them.
void defer_instances(TavoNode* group, const char* name, TavoGroupRefreshHandler build,
                     const char* spared = nullptr);
// group's children (it is built without them) are built by build(group)
// when first reached: a lookup or a listing in group, a walk of a subtree
// that holds it, or a client's call that runs a handler in scope (a group
// above it). A call that only reads or writes a stored value leaves them
// waiting: such a value depends on no build. Start-up leaves a Session's
// subtree and a Target's login options waiting so that a client listing
// targets never builds them. data,
// what the build works from, goes with the wait, built or dropped.
using ChildrenBuild = uint32_t (*)(TavoNode* group, void* data);
void defer_children(TavoNode* group, TavoNode* scope, ChildrenBuild build, std::shared_ptr<void> data);
// True while group's children wait.
bool children_wait(const TavoNode* group);
// The data group's waiting children are to be built from; null when they
// do not wait.
void* waiting_children_data(const TavoNode* group);
// While one lives, a build that can leave a group's children waiting
// (start-up's build of a LogicalHBA's targets: each Session's subtree, each
// Target's login options) leaves them, with its scope (a function group).
class ChildrenWaitScope {
 public:
  explicit ChildrenWaitScope(TavoNode* scope);
  ~ChildrenWaitScope();
  ChildrenWaitScope(const ChildrenWaitScope&) = delete;
  ChildrenWaitScope& operator=(const ChildrenWaitScope&) = delete;

 private:
  TavoNode* before_ = nullptr;
};
// The scope of the innermost ChildrenWaitScope; null, build them at once,
// outside one and while a build runs for a client's call that runs a
// handler in its scope or for a walk of a subtree: either builds any
// children left waiting right after.
TavoNode* children_wait_scope();
// Builds group's waiting instances now: those of name (compared without
// case as the start of a child's display name: "Target3" reaches
// "Target"), or any with null. Costs one load when nothing waits.
void reach_instances(TavoNode* group, const char* name);
// Builds every wait of node's subtree.
void reach_within(TavoNode* node);
// Before a client's call runs a handler or an action on node: builds every
// wait whose group's parent (a LogicalHBA's function) holds node. The
// handlers of every folder then see the function they act on built, and a
// branch never has a higher one's build run under it.
// stored_value: the call reads or writes a stored value only, which needs
// no waiting children built. action: the action called on node, if any.
void reach_for_call(TavoNode* node, bool stored_value = false, const TavoNode* action = nullptr);
// While one lives, group's waiting instances stay waiting whatever reaches
// them: an instance built beside them (build_group_above) joins its
// group without their build.
class InstancesLeftWaiting {
 public:
  explicit InstancesLeftWaiting(const TavoNode* group);
  ~InstancesLeftWaiting();
  InstancesLeftWaiting(const InstancesLeftWaiting&) = delete;
  InstancesLeftWaiting& operator=(const InstancesLeftWaiting&) = delete;

 private:
  const TavoNode* before_ = nullptr;
};
// group's first instance called name among those built, those that wait
// left waiting; next_instance walks the others built.
TavoNode* first_built_instance(TavoNode* group, const char* name);
// The waits of node's subtree, and of node, are dropped unbuilt: the nodes
// go.
void forget_waits_within(const TavoNode* node);
// True while group's instances wait.
bool instances_wait(const TavoNode* group);

}  // namespace tavo::tree
