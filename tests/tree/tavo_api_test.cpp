#include <gtest/gtest.h>
#include <stdlib.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "base/library_lock.h"
#include "tests/tree/tree_fixture.h"
#include "tree/persist.h"
#include "tree/tree_internal.h"

namespace tavo {
namespace {

using test::TreeTest;

class TavoApiTest : public TreeTest {
 protected:
  std::string last_text() {
    uint32_t code = 0;
    char text[TAVO_STATUS_TEXT_SIZE];
    TAVO_get_last_status(&code, text);
    return std::to_string(code) + ":" + text;
  }
  std::string read(TavoNode* g, const char* prop) {
    char buf[TAVO_VALUE_SIZE] = "";
    uint32_t r = TAVO_get_property_val(g->tag, tag_of(g, prop), buf, sizeof buf);
    return r == 0 ? std::string(buf) : "<" + std::to_string(r) + ">";
  }
  uint32_t write(TavoNode* g, const char* prop, const std::string& v, uint32_t length = 0) {
    return TAVO_set_property_val(g->tag, tag_of(g, prop), v.c_str(), length ? length : static_cast<uint32_t>(v.size()));
  }
  uint32_t act(TavoNode* g, const char* action, const std::vector<std::string>& values, uint32_t* tags = nullptr) {
    std::string block = params(values);
    return TAVO_do_action(g->tag, tag_of(g, action, TAVO_KIND_ACTION), block.data(), tags);
  }
};

TEST_F(TavoApiTest, KindFiltersSelectChildren) {
  TavoNode* c0 = corvane();
  ASSERT_NE(create_link(c0, "Alias", root(), nullptr, nullptr, nullptr), nullptr);
  using V = std::vector<std::string>;
  EXPECT_EQ(child_names(c0, TAVO_KIND_GROUP), (V{"Settings", "Alias@"}));
  EXPECT_EQ(child_names(c0, TAVO_KIND_ACTION), (V{"AddTarget", "Broken", "Nothing"}));
  EXPECT_EQ(child_names(c0, TAVO_KIND_PROPERTY),
            (V{"Name", "Count", "Mode", "Serial", "Hidden", "Bare", "Address", "PortNumber"}));
  EXPECT_EQ(child_names(c0, 5), (V{"Serial", "PortNumber"}));
  EXPECT_EQ(child_names(c0, 6), (V{"Name", "Count", "Mode", "Hidden", "Bare", "Address"}));
  EXPECT_EQ(child_names(c0, 7), (V{"Name", "Count", "Mode", "Bare", "Address"}));
  EXPECT_EQ(child_names(c0, TAVO_KIND_ANY), V{});
  EXPECT_EQ(child_names(c0, TAVO_KIND_LINK), V{});
  uint32_t tags[64], count = 99;
  EXPECT_EQ(TAVO_get_child_tags(c0->tag, tags, &count, 8), 1u);
  EXPECT_EQ(TAVO_get_child_tags(c0->tag, nullptr, &count, 1), 1u);
  EXPECT_EQ(TAVO_get_child_tags(tag_of(c0, "Name"), tags, &count, 1), 1u);
  // Through a link the target's children are listed.
  EXPECT_EQ(child_names(get_node(tag_of(c0, "Alias")), TAVO_KIND_GROUP), (V{"Corvane0"}));
}

TEST_F(TavoApiTest, NodeNamesTagsAndParents) {
  TavoNode* c0 = corvane();
  char name[TAVO_NAME_SIZE];
  ASSERT_EQ(TAVO_get_node_name(c0->tag, name, TAVO_KIND_GROUP), 0u);
  EXPECT_STREQ(name, "Corvane0");
  EXPECT_EQ(TAVO_get_node_name(c0->tag, name, TAVO_KIND_ANY), 1u);
  EXPECT_EQ(TAVO_get_node_name(c0->tag, name, TAVO_KIND_LINK), 1u);
  // Names are found without regard to case; kind 0 takes any kind.
  EXPECT_EQ(tag_of(root(), "CORVANE0", TAVO_KIND_GROUP), c0->tag);
  EXPECT_EQ(tag_of(c0, "addtarget", TAVO_KIND_ANY), tag_of(c0, "AddTarget", TAVO_KIND_ACTION));
  EXPECT_EQ(tag_of(c0, "AddTarget", TAVO_KIND_PROPERTY), 0xFFFFFFFFu);
  uint32_t tag = 0;
  EXPECT_EQ(TAVO_get_node_tag(tag_of(c0, "Name"), "x", &tag, 0), 1u);  // not a group
  // A link as the parent is followed.
  TavoNode* link = create_link(root(), "Ctl", c0, nullptr, nullptr, nullptr);
  ASSERT_EQ(TAVO_get_node_tag(link->tag, "Name", &tag, TAVO_KIND_PROPERTY), 0u);
  EXPECT_EQ(tag, tag_of(c0, "Name"));
  ASSERT_EQ(TAVO_get_node_name(link->tag, name, TAVO_KIND_GROUP), 0u);
  EXPECT_STREQ(name, "Ctl");
  uint32_t parent = 99;
  ASSERT_EQ(TAVO_get_parent_tag(tag_of(c0, "Name"), &parent), 0u);
  EXPECT_EQ(parent, c0->tag);
  ASSERT_EQ(TAVO_get_parent_tag(0, &parent), 0u);
  EXPECT_EQ(parent, 0u);
  EXPECT_EQ(TAVO_get_parent_tag(4000, &parent), 1u);
  TavoNodeDescription d;
  ASSERT_EQ(TAVO_get_node_description(link->tag, &d), 0u);
  EXPECT_STREQ(d.description, "A controller.");
  EXPECT_EQ(d.kind, TAVO_KIND_GROUP);
}

// A handler that fills its whole buffer, the last byte too.
uint32_t fill_value(TavoNode*, char* buf, uint32_t) {
  memset(buf, 'h', TAVO_VALUE_SIZE);
  return 0;
}

// A stored value, one without a handler and one a handler writes reach
// the caller cut to its length, terminated, and nothing past it.
TEST_F(TavoApiTest, ReadsStayWithinTheCallersLength) {
  TavoNode* c0 = corvane();
  TavoNode* written = corvane();
  tree::property_record(get_node(tag_of(written, "Serial")))->handler = fill_value;
  const struct {
    TavoNode* group;
    const char* property;
    uint32_t length;
    std::string read;  // "#": the buffer untouched
  } rows[] = {
      {c0, "Serial", 10, "012345678"},   {c0, "Serial", 1, ""},  {c0, "Serial", 0, "#"},
      {c0, "Bare", 4, "sto"},            {c0, "Bare", TAVO_VALUE_SIZE, "stored"},
      {written, "Serial", 10, "hhhhhhhhh"}, {written, "Serial", TAVO_VALUE_SIZE, std::string(255, 'h')},
  };
  char buf[TAVO_VALUE_SIZE + 1];
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.property) + " " + std::to_string(row.length));
    memset(buf, '#', sizeof buf);
    ASSERT_EQ(TAVO_get_property_val(row.group->tag, tag_of(row.group, row.property), buf, row.length), 0u);
    EXPECT_EQ(buf[row.length], '#');
    if (row.read != "#") {
      EXPECT_STREQ(buf, row.read.c_str());
    }
  }
  EXPECT_EQ(TAVO_get_property_val(c0->tag, tag_of(c0, "Serial"), buf, 257), 1u);
  // A property of another group is refused.
  TavoNode* c1 = corvane();
  EXPECT_EQ(TAVO_get_property_val(c1->tag, tag_of(c0, "Name"), buf, 256), 1u);
  EXPECT_EQ(TAVO_set_property_val(c1->tag, tag_of(c0, "Name"), "x", 1), 1u);
  EXPECT_EQ(TAVO_get_property_val(c0->tag, c0->tag, buf, 256), 1u);
}

TEST_F(TavoApiTest, WriteChecksComeInOrder) {
  TavoNode* c0 = corvane();
  std::string longer(300, 'x');
  EXPECT_EQ(write(c0, "Serial", longer), 1u);
  EXPECT_EQ(last_text(), "10:Read only property");
  EXPECT_EQ(write(c0, "Name", longer), 1u);
  EXPECT_EQ(last_text(), "1:TAVO_set_property_val: its length is out of range.");
  EXPECT_EQ(write(c0, "Name", "abc"), 0u);
  EXPECT_EQ(read(c0, "Name"), "abc");
  EXPECT_EQ(write(c0, "Bare", "abc"), 3u);
  EXPECT_EQ(read(c0, "Bare"), "stored");
  // The caller's length bounds what is read of its text.
  EXPECT_EQ(write(c0, "Name", "defghi", 2), 0u);
  EXPECT_EQ(read(c0, "Name"), "de");
}

TEST_F(TavoApiTest, ActionsValidateTheirParametersAndNeverWriteTheCallersBlock) {
  TavoNode* c0 = corvane();
  // Only param_count * 256 bytes are read: pass exactly that much.
  std::string block = params({"t1", "\xff", "\xff"});
  std::vector<char> exact(block.begin(), block.begin() + 3 * TAVO_VALUE_SIZE);
  std::vector<char> copy = exact;
  uint32_t tags[TAVO_MAX_NEW_TAGS];
  tags[0] = 77;
  ASSERT_EQ(TAVO_do_action(c0->tag, tag_of(c0, "AddTarget"), exact.data(), tags), 0u);
  EXPECT_EQ(exact, copy);
  ASSERT_EQ(test::action_calls.size(), 1u);
  EXPECT_EQ(test::action_calls[0].params[0], "t1");
  EXPECT_EQ(test::action_calls[0].params[1], "");  // optional, not given
  EXPECT_EQ(test::action_calls[0].params[2], "");
  TavoNode* target = get_node(tags[0]);
  ASSERT_NE(target, nullptr);
  EXPECT_STREQ(target->name, "Target");
  EXPECT_EQ(read(target, "TargetName"), "t1");

  EXPECT_EQ(act(c0, "AddTarget", {"\xff"}), 1u);
  EXPECT_EQ(last_text(), "9:TargetName: Parameter missing.");
  const std::string broken = std::to_string(tag_of(c0, "Broken", TAVO_KIND_ACTION));
  EXPECT_EQ(act(c0, "Broken", {}), 1u);
  EXPECT_EQ(last_text(), "1:Tag " + broken + " names no action with a handler.");
  test::action_result = 5;
  EXPECT_EQ(act(c0, "AddTarget", {"t2"}), 5u);  // the handler's result
  EXPECT_EQ(TAVO_do_action(c0->tag, tag_of(c0, "AddTarget"), nullptr, nullptr), 1u);
}

TEST_F(TavoApiTest, ValidationFailuresLeaveTheirMessages) {
  TavoNode* c0 = corvane();
  struct Case {
    const char* property;
    std::string value;
    uint32_t result;
    const char* status;
  } cases[] = {
      {"Count", "abc", 1, "6:Invalid value."},
      {"Count", "101", 1, "7:Value out of range. Valid range is from 0 to 100."},
      {"Count", "0x10", 0, "0:"},
      {"Count", "12z", 1, "6:Invalid value."},
      {"Name", "", 1, "8:Number of characters should be from 1 to 10."},
      {"Name", "abcdefghijk", 1, "8:Number of characters should be from 1 to 10."},
      {"Mode", "Maybe", 1, "6:Invalid value."},
      {"Mode", "Off", 0, "0:"},
      {"Address", "300.1.1.1", 1, "6:Invalid value."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(write(c0, c.property, c.value), c.result) << c.property << "=" << c.value;
    EXPECT_EQ(last_text(), c.status) << c.property << "=" << c.value;
  }
  // An IPv6 address reaches the handler in its full form.
  EXPECT_EQ(write(c0, "Address", "fe80::1"), 0u);
  EXPECT_EQ(read(c0, "Address"), "FE80:0000:0000:0000:0000:0000:0000:0001");
}

TEST_F(TavoApiTest, ParameterValidationNamesTheParameter) {
  TavoNode* c0 = corvane();
  struct Case {
    std::vector<std::string> values;
    const char* status;
  } cases[] = {
      {{"t", "abc"}, "6:Port: Invalid value."},
      {{"t", "70000"}, "7:Port: Value out of range. Valid range is from 1 to 65535."},
      {{std::string(17, 'n')}, "8:TargetName: Number of characters should be from 1 to 16."},
      {{""}, "8:TargetName: Number of characters should be from 1 to 16."},  // given empty: validated
      {{"t", "80", "C"}, "6:Kind: Invalid value."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(act(c0, "AddTarget", c.values), 1u) << c.status;
    EXPECT_EQ(last_text(), c.status);
  }
  EXPECT_TRUE(test::action_calls.empty());
  EXPECT_EQ(act(c0, "AddTarget", {"t", "010", "B"}), 0u);
  EXPECT_EQ(test::action_calls.at(0).params[1], "010");
}

TEST_F(TavoApiTest, ActionsRunOnlyOnTheirOwnGroup) {
  TavoNode* c0 = corvane();
  TavoNode* c1 = corvane();
  std::string block = params({"t"});
  EXPECT_EQ(TAVO_do_action(c1->tag, tag_of(c0, "AddTarget"), block.data(), nullptr), 1u);
  EXPECT_TRUE(test::action_calls.empty());
  EXPECT_EQ(TAVO_do_action(c0->tag, tag_of(c0, "Name"), block.data(), nullptr), 1u);
  TavoParamInfo info;
  ASSERT_EQ(TAVO_get_param_info(tag_of(c0, "AddTarget"), &info), 0u);
  EXPECT_EQ(info.param_count, 3);
  EXPECT_STREQ(info.params[2].valid_list, "A,B");
  EXPECT_EQ(TAVO_get_param_info(tag_of(c0, "Name"), &info), 1u);
}

TEST_F(TavoApiTest, TooManyCreatedGroupsAreDeletedAgain) {
  TavoNode* c0 = corvane();
  uint32_t tags[TAVO_MAX_NEW_TAGS];
  test::action_hook = [](TavoNode*) { new_tag_index = TAVO_MAX_NEW_TAGS; };
  testing::internal::CaptureStdout();
  EXPECT_EQ(act(c0, "AddTarget", {"t"}, tags), 1u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Too many groups added in this action");
  EXPECT_EQ(get_first_instance(c0, "Target"), nullptr);
}

TEST_F(TavoApiTest, PersistentNodesInPriorityOrder) {
  TavoNode* c0 = corvane();
  int32_t count = -1;
  uint32_t tags[8];
  EXPECT_EQ(TAVO_get_persistent_nodes(tags, &count), 11u);
  count = 2;
  EXPECT_EQ(TAVO_get_persistent_nodes(tags, &count), 0u);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(act(c0, "AddTarget", {"a", "10", "B"}), 0u);
  ASSERT_EQ(act(c0, "AddTarget", {"b"}), 0u);
  ASSERT_EQ(act(c0, "AddTarget", {"c"}), 0u);
  // Delete the first and build it again: it is now the last persistent.
  TavoNode* t0 = get_first_instance(c0, "Target");
  ASSERT_EQ(delete_node(t0), 0u);
  ASSERT_EQ(act(c0, "AddTarget", {"a2"}), 0u);
  count = 2;
  EXPECT_EQ(TAVO_get_persistent_nodes(tags, &count), 11u);
  count = 3;
  ASSERT_EQ(TAVO_get_persistent_nodes(tags, &count), 0u);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(read(get_node(tags[0]), "TargetName"), "b");
  EXPECT_EQ(read(get_node(tags[1]), "TargetName"), "c");
  EXPECT_EQ(read(get_node(tags[2]), "TargetName"), "a2");
  TavoPersistenceInfo info;
  ASSERT_EQ(TAVO_get_persistence_info(tags[2], &info), 0u);
  EXPECT_EQ(info.action_tag, tag_of(c0, "AddTarget"));
  EXPECT_EQ(info.node_tag, c0->tag);
  EXPECT_STREQ(info.params[0], "a2");
  EXPECT_EQ(TAVO_get_persistence_info(c0->tag, &info), 1u);  // built at start-up
}

// Records name their creators by tag and generation: once the creator is
// deleted it is gone, also when new nodes took its tags and its memory.
TEST_F(TavoApiTest, PersistenceRecordsNeverNameANodeThatTookTheirCreatorsPlace) {
  TavoNode* c0 = corvane();
  TavoNode* c1 = corvane();
  TavoNode* action = get_node(tag_of(c1, "Nothing"));
  TavoNode* settings = get_node(tag_of(c0, "Settings"));
  TavoNode* link = create_link(c0, "FromC1", settings, c1, action, nullptr);
  ASSERT_NE(link, nullptr);
  ASSERT_EQ(backend_make_persistent(settings, c1, action, nullptr), 0u);
  TavoPersistenceInfo info;
  ASSERT_EQ(TAVO_get_persistence_info(link->tag, &info), 0u);
  EXPECT_EQ(info.node_tag, c1->tag);
  ASSERT_EQ(delete_node(c1), 0u);
  for (int i = 0; i < 3; ++i) ASSERT_NE(corvane(), nullptr);  // new nodes where c1's were
  for (TavoNode* n : {link, settings}) EXPECT_EQ(TAVO_get_persistence_info(n->tag, &info), 1u) << n->name;
  char* text = nullptr;
  size_t length = 0;
  FILE* f = open_memstream(&text, &length);
  ASSERT_EQ(save_node(root(), f, 3), 0u);
  fclose(f);
  EXPECT_EQ(std::string(text, length).find("GROUP"), std::string::npos);
  free(text);
}

TEST_F(TavoApiTest, LastStatusIsResetByEveryCallButItsOwnRead) {
  TavoNode* c0 = corvane();
  write(c0, "Serial", "x");
  EXPECT_EQ(last_text(), "10:Read only property");
  EXPECT_EQ(last_text(), "10:Read only property");  // reading does not reset
  char name[TAVO_NAME_SIZE];
  EXPECT_EQ(TAVO_get_node_name(c0->tag, name, 2), 1u);  // a failure leaves its reason
  EXPECT_EQ(last_text(), "1:Tag " + std::to_string(c0->tag) + " names no property.");
  EXPECT_EQ(TAVO_get_node_name(c0->tag, name, 1), 0u);
  EXPECT_EQ(last_text(), "0:");
  tavo_set_last_status(12, std::string(700, 'm').c_str());
  uint32_t code;
  char text[TAVO_STATUS_TEXT_SIZE];
  TAVO_get_last_status(&code, text);
  EXPECT_EQ(strlen(text), 599u);
}

// The last status is the thread's own: read without the gate, it stays
// the failed call's while another process, stopped in a change, holds the
// gate that every other call must wait for.
TEST_F(TavoApiTest, TheLastStatusIsReadWithoutTheGate) {
  TavoNode* c0 = corvane();
  EXPECT_EQ(write(c0, "Serial", "x"), 1u);
  const pid_t holder = fork();
  if (holder == 0) {
    base::library_mutex().lock(base::RootUse::Change);
    base::note_root_change();  // a read here must wait for it
    raise(SIGSTOP);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(holder, &status, WUNTRACED), holder);
  ASSERT_TRUE(WIFSTOPPED(status));
  setenv("TAVO_GATE_WAIT_MS", "1000", 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(last_text(), "10:Read only property");
  uint32_t tag = 0;
  EXPECT_EQ(TAVO_get_node_tag(0, "Corvane0", &tag, TAVO_KIND_GROUP), 348u);  // the gate is held
  EXPECT_EQ(last_text().substr(0, 4), "348:");
  unsetenv("TAVO_GATE_WAIT_MS");
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
}

// Every refusal of a call's arguments answers 1 (11 for an array too
// small) and leaves its reason: the tag of a deleted node, a node of
// another kind, a node of another group, a name no child has, a null
// pointer, a kind or length out of range.
TEST_F(TavoApiTest, EveryRefusedArgumentLeavesItsReason) {
  TavoNode* c0 = corvane();
  TavoNode* c1 = corvane();
  const uint32_t group = c0->tag, name = tag_of(c0, "Name"), add = tag_of(c0, "AddTarget");
  const uint32_t gone = c1->tag, gone_name = tag_of(c1, "Name"), other = tag_of(c1, "Nothing");
  ASSERT_EQ(act(c0, "AddTarget", {"t1"}), 0u);  // one persistent group
  ASSERT_EQ(delete_node(c1), 0u);
  ASSERT_EQ(get_node(gone), nullptr);
  const std::string deleted = " names no node: it was deleted, also by another process that shares the "
                              "configuration, or the tree was built again. Please look it up again by its name.";
  const std::string block = params({"t9"});
  char text[TAVO_VALUE_SIZE];
  uint32_t tags[TAVO_MAX_CHILDREN], count = 0, parent = 0;
  int32_t room = 0;
  TavoNodeDescription description;
  TavoParamInfo info;
  TavoPersistenceInfo persistence;
  const auto t = [](uint32_t tag) { return "Tag " + std::to_string(tag); };
  const struct {
    const char* call;
    std::function<uint32_t()> run;
    uint32_t answer;
    std::string status;
  } rows[] = {
      {"get a deleted group's value", [&] { return TAVO_get_property_val(gone, gone_name, text, 256); }, 1,
       t(gone) + deleted},
      {"set a deleted group's value", [&] { return TAVO_set_property_val(gone, gone_name, "x", 1); }, 1,
       t(gone) + deleted},
      {"set a deleted property", [&] { return TAVO_set_property_val(group, gone_name, "x", 1); }, 1,
       t(gone_name) + deleted},
      {"run on a deleted group", [&] { return TAVO_do_action(gone, add, block.data(), nullptr); }, 1, t(gone) + deleted},
      {"list a deleted group", [&] { return TAVO_get_child_tags(gone, tags, &count, 1); }, 1, t(gone) + deleted},
      {"look up in a deleted group", [&] { return TAVO_get_node_tag(gone, "Name", tags, 2); }, 1, t(gone) + deleted},
      {"name a deleted node", [&] { return TAVO_get_node_name(gone, text, 1); }, 1, t(gone) + deleted},
      {"a deleted node's parent", [&] { return TAVO_get_parent_tag(gone, &parent); }, 1, t(gone) + deleted},
      {"describe a deleted node", [&] { return TAVO_get_node_description(gone, &description); }, 1,
       t(gone) + deleted},
      {"a deleted action's parameters", [&] { return TAVO_get_param_info(other, &info); }, 1, t(other) + deleted},
      {"instances of a deleted group", [&] { return TAVO_get_valid_instances(gone, "Target", tags, &count); }, 1,
       t(gone) + deleted},
      {"persistence of a deleted node", [&] { return TAVO_get_persistence_info(gone, &persistence); }, 1,
       t(gone) + deleted},
      {"a property as the group", [&] { return TAVO_get_property_val(name, name, text, 256); }, 1,
       t(name) + " names no group."},
      {"an action as the property", [&] { return TAVO_set_property_val(group, add, "x", 1); }, 1,
       t(add) + " names no property."},
      {"a property as the action", [&] { return TAVO_do_action(group, name, block.data(), nullptr); }, 1,
       t(name) + " names no action."},
      {"a property as the action asked about", [&] { return TAVO_get_param_info(name, &info); }, 1,
       t(name) + " names no action."},
      {"a group built at start-up", [&] { return TAVO_get_persistence_info(group, &persistence); }, 1,
       t(group) + " names no persistent group or link whose creating action stands."},
      {"no child of that name", [&] { return TAVO_get_node_tag(group, "Nameless", tags, 0); }, 1,
       "Group " + std::to_string(group) + " has no child Nameless of that kind."},
      {"a kind out of range", [&] { return TAVO_get_child_tags(group, tags, &count, 8); }, 1,
       "TAVO_get_child_tags: its kind is out of range."},
      {"no value buffer", [&] { return TAVO_get_property_val(group, name, nullptr, 256); }, 1,
       "TAVO_get_property_val: its buffer is null."},
      {"a length past 256", [&] { return TAVO_get_property_val(group, name, text, 257); }, 1,
       "TAVO_get_property_val: its length is out of range."},
      {"no parameters", [&] { return TAVO_do_action(group, add, nullptr, nullptr); }, 1,
       "TAVO_do_action: its params is null."},
      {"no count", [&] { return TAVO_get_persistent_nodes(tags, nullptr); }, 1,
       "TAVO_get_persistent_nodes: its count is null."},
      {"no room", [&] { return TAVO_get_persistent_nodes(tags, &room); }, TAVO_ARRAY_TOO_SMALL,
       "The array holds 0 tags; 1 are needed."},
      {"no stream to save to", [&] { return save_node(root(), nullptr, 3); }, 1, "save_node: its stream is null."},
      {"no stream to restore from", [&] { return restore_hm(nullptr); }, 1, "restore_hm: its stream is null."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.call);
    tavo_set_last_status(0, "");
    EXPECT_EQ(row.run(), row.answer);
    EXPECT_EQ(last_text(), std::to_string(row.answer) + ":" + row.status);
  }
}

TEST_F(TavoApiTest, RefreshRunsTheGroupHandler) {
  TavoNode* c0 = corvane();
  EXPECT_EQ(TAVO_refresh_group(c0->tag), 0u);
  EXPECT_EQ(read(c0, "Count"), "42");
  EXPECT_EQ(TAVO_refresh_group(tag_of(c0, "Settings")), 0u);  // no handler
  EXPECT_EQ(TAVO_refresh_group(123456), 0u);
}

}  // namespace
}  // namespace tavo
