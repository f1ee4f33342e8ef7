#include <gtest/gtest.h>
#include <string.h>

#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/tree/tree_fixture.h"
#include "tree/api_guard.h"
#include "tree/tree_internal.h"

namespace tavo {
namespace {

using test::TreeTest;

class TreeServicesTest : public TreeTest {
 protected:
  TavoNode* target(TavoNode* c, const char* name) {
    TavoNode* t = tree::build_group(test::kTargetDef, c);
    set_prop_val(t, "TargetName", "%s", name);
    return t;
  }
  void give_handle(TavoNode* g, uint32_t word) {
    auto* h = static_cast<uint32_t*>(tavo_dmalloc(4 * sizeof(uint32_t)));
    memset(h, 0, 4 * sizeof(uint32_t));
    h[0] = word;
    tree::group_record(g)->nhandle = h;
  }
  static void free_handles(TavoNode* n) {
    tree::for_each_in_subtree(n, [](TavoNode* g) {
      if (g->kind == TAVO_KIND_GROUP && g->record) {
        tavo_dfree(tree::group_record(g)->nhandle);
        tree::group_record(g)->nhandle = nullptr;
      }
    });
  }
};

TEST_F(TreeServicesTest, LookupsByDisplayName) {
  TavoNode* c0 = corvane();
  EXPECT_EQ(internal_get_node(root(), "corvane0", TAVO_KIND_GROUP), c0);
  EXPECT_EQ(get_first_instance(root(), "corvane"), nullptr);  // exact group name
  EXPECT_EQ(get_first_instance(root(), "Corvane"), c0);
  EXPECT_EQ(internal_get_node(c0, "NAME", TAVO_KIND_ANY), get_node(tag_of(c0, "Name")));
  EXPECT_EQ(internal_get_node(c0, "Name", TAVO_KIND_ACTION), nullptr);
  // Instances are found by number whatever their place among the children,
  // and only while they live.
  std::vector<TavoNode*> entries;
  for (int i = 0; i < 40; ++i) entries.push_back(tree::build_group(test::kEntryDef, root()));
  EXPECT_EQ(internal_get_node(root(), "ENTRY37", TAVO_KIND_GROUP), entries[37]);
  EXPECT_EQ(internal_get_node(root(), "Entry3", TAVO_KIND_GROUP), entries[3]);
  ASSERT_EQ(delete_node(entries[37]), 0u);
  EXPECT_EQ(internal_get_node(root(), "Entry37", TAVO_KIND_GROUP), nullptr);
  TavoNode* again = tree::build_group(test::kEntryDef, root());
  EXPECT_EQ(internal_get_node(root(), "entry37", TAVO_KIND_ANY), again);
  // Namesakes: the first child of that name that passes the kind filter.
  TavoNode* name_property = internal_get_node(c0, "Name", TAVO_KIND_PROPERTY);
  TavoNode* name_link = create_link(c0, "Name", entries[3], nullptr, nullptr, nullptr);
  ASSERT_NE(name_link, nullptr);
  EXPECT_EQ(internal_get_node(c0, "name", TAVO_KIND_ANY), name_property);
  EXPECT_EQ(internal_get_node(c0, "name", TAVO_KIND_GROUP), name_link);
  EXPECT_EQ(get_selected_group_node(root(), "Corvane", "0"), c0);
  EXPECT_EQ(get_selected_group_node(root(), "%s%n", "0"), nullptr);  // never a format
  TavoNode* t1 = target(c0, "alpha");
  TavoNode* t2 = target(c0, "Beta");
  EXPECT_EQ(get_matchnode_by_propvalue(c0, "Target", "TargetName", "BETA"), t2);
  EXPECT_EQ(get_matchnode_by_propvalue(c0, "Target", "TargetName", "alpha"), t1);
  EXPECT_EQ(get_matchnode_by_propvalue(c0, "Target", "TargetName", "gamma"), nullptr);
  EXPECT_EQ(get_matchnode_by_propvalue(c0, "Target", "NoSuch", "alpha"), nullptr);
}

// Every live child is found by its display name in any case, and no
// deleted one, however many came and went; names are compared over their
// first 34 characters, so names alike that far are namesakes and the first
// child among them is found.
TEST_F(TreeServicesTest, LookupsByNameThroughManyAddsAndDeletes) {
  std::vector<TavoNode*> entries;
  for (int i = 0; i < 3000; ++i) entries.push_back(tree::build_group(test::kEntryDef, root()));
  ASSERT_NE(entries.back(), nullptr);
  // Runs and scattered ones go, then some numbers come back.
  for (int i = 0; i < 3000; ++i)
    if (i % 3 == 0 || (i >= 1000 && i < 1400)) {
      ASSERT_EQ(delete_node(entries[i]), 0u) << i;
      entries[i] = nullptr;
    }
  for (int i = 0; i < 50; ++i) {
    TavoNode* e = tree::build_group(test::kEntryDef, root());
    ASSERT_EQ(tree::instance_number(e), 3 * i);  // the lowest free numbers
    entries[3 * i] = e;
  }
  for (int i = 0; i < 3000; ++i) {
    const std::string shown = "eNtRy" + std::to_string(i);
    EXPECT_EQ(internal_get_node(root(), shown.c_str(), TAVO_KIND_GROUP), entries[i]) << shown;
  }
  const std::string long_name = "AnAliasWhoseNameRunsPastTheCutAt34Chars";
  TavoNode* c0 = corvane();
  TavoNode* first = create_link(root(), long_name.c_str(), c0, nullptr, nullptr, nullptr);
  TavoNode* second = create_link(root(), (long_name.substr(0, 34) + "-other").c_str(), entries[1], nullptr, nullptr,
                                 nullptr);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  struct Case {
    std::string name;
    TavoNode* found;
  } cases[] = {
      {long_name, first},
      {"ANALIASWHOSENAMERUNSPASTTHECUTAT34", first},
      {long_name.substr(0, 33), nullptr},
      {long_name.substr(0, 34) + "-anything", first},
      {"entry3000", nullptr},
      {"Entry", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) EXPECT_EQ(internal_get_node(root(), c.name.c_str(), TAVO_KIND_ANY), c.found) << c.name;
  ASSERT_EQ(delete_node(first), 0u);
  EXPECT_EQ(internal_get_node(root(), long_name.c_str(), TAVO_KIND_ANY), second);
}

// The lowest instance of a group type under a parent, and the rest in
// number order, through instances that come and go out of order, a ring
// emptied and refilled, a ring of the same type under another parent, and
// namesakes that are no instances of it.
TEST_F(TreeServicesTest, FirstInstanceThroughAddsAndDeletesInAnyOrder) {
  TavoNode* c0 = corvane();
  TavoNode* t0 = target(c0, "a");
  TavoNode* t1 = target(c0, "b");
  ASSERT_NE(tree::build_group(test::kSessionDef, t1), nullptr);
  ASSERT_NE(create_link(t0, "Session", c0, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(get_first_instance(t0, "Session"), nullptr);
  std::vector<TavoNode*> live(8, nullptr);
  const auto numbers = [](TavoNode* g, const char* name) {
    std::vector<int> v;
    for (TavoNode* i = get_first_instance(g, name); i != nullptr; i = tree::next_instance(i))
      v.push_back(tree::instance_number(i));
    return v;
  };
  struct Step {
    std::vector<int> deleted;
    int added;
    std::vector<int> expected;
  } steps[] = {
      {{}, 5, {0, 1, 2, 3, 4}},
      {{4, 0, 2}, 0, {1, 3}},
      {{}, 2, {0, 1, 2, 3}},
      {{3}, 0, {0, 1, 2}},
      {{1, 2, 0}, 0, {}},
      {{}, 1, {0}},
      {{0}, 3, {0, 1, 2}},
  };
  for (size_t s = 0; s < std::size(steps); ++s) {
    for (int n : steps[s].deleted) {
      ASSERT_EQ(delete_node(live[n]), 0u) << s;
      live[n] = nullptr;
    }
    for (int i = 0; i < steps[s].added; ++i) {
      TavoNode* added = tree::build_group(test::kSessionDef, t0);
      ASSERT_NE(added, nullptr) << s;
      live[tree::instance_number(added)] = added;
    }
    EXPECT_EQ(numbers(t0, "Session"), steps[s].expected) << s;
    TavoNode* first = get_first_instance(t0, "Session");
    EXPECT_EQ(first, steps[s].expected.empty() ? nullptr : live[steps[s].expected[0]]) << s;
    EXPECT_EQ(get_first_instance(t0, "SESSION"), nullptr) << s;  // exact group name
    EXPECT_EQ(numbers(t1, "Session"), std::vector<int>{0}) << s;
  }
  // The children keep number order among themselves whatever came and went;
  // the link, older than the ring, stays first.
  EXPECT_EQ(child_names(t0, TAVO_KIND_GROUP),
            (std::vector<std::string>{"Session@", "Session0", "Session1", "Session2"}));
  // A parent's rings go with it, and a new parent has none.
  ASSERT_EQ(delete_node(t0), 0u);
  TavoNode* again = target(c0, "c");
  EXPECT_EQ(get_first_instance(again, "Session"), nullptr);
  EXPECT_EQ(numbers(c0, "Target"), (std::vector<int>{0, 1}));
}

// A tear-down releases every ring with the tree, and the rebuilt tree
// starts with none: no ring of the old tree answers for the new one.
TEST_F(TreeServicesTest, RingsStartAfreshAfterATearDown) {
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(get_first_instance(root(), "Corvane"), nullptr) << round;
    TavoNode* c0 = corvane();
    TavoNode* c1 = corvane();
    TavoNode* t = target(c1, "a");
    ASSERT_NE(tree::build_group(test::kSessionDef, t), nullptr);
    EXPECT_EQ(get_first_instance(root(), "Corvane"), c0) << round;
    EXPECT_EQ(get_first_instance(c1, "Target"), t) << round;
    EXPECT_EQ(get_first_instance(c0, "Target"), nullptr) << round;
    while (get_node(0) != nullptr && TAVO_exit() == 0 && get_node(0) != nullptr) {
    }
    ASSERT_EQ(TAVO_init(), 0u);
  }
}

TEST_F(TreeServicesTest, PropertyServices) {
  TavoNode* c0 = corvane();
  char buf[TAVO_VALUE_SIZE];
  EXPECT_EQ(set_prop_val(c0, "Serial", "SN-%04d", 7), 0u);
  ASSERT_EQ(internal_get_property(c0, "Serial", buf), 0u);
  EXPECT_STREQ(buf, "SN-0007");
  EXPECT_EQ(internal_set_property(c0, "Serial", "ro-too"), 0u);  // no read-only test inside
  ASSERT_EQ(internal_get_property(c0, "serial", buf), 0u);
  EXPECT_STREQ(buf, "ro-too");
  EXPECT_EQ(internal_get_property(c0, "Missing", buf), 1u);
  EXPECT_EQ(internal_set_property(c0, "Missing", "x"), 1u);
  EXPECT_EQ(set_prop_val(c0, "Missing", "x"), 1u);
  std::string longer(300, 'v');
  char big[TAVO_VALUE_SIZE + 100];
  snprintf(big, sizeof big, "%s", longer.c_str());
  TavoNode* name = get_node(tag_of(c0, "Name"));
  handle_internal_property(name, big, TAVO_PROPERTY_SET);
  handle_internal_property(name, buf, TAVO_PROPERTY_GET);
  EXPECT_EQ(strlen(buf), 255u);
  EXPECT_EQ(SET_CACHE_PROP_VAL(name, "%d-%s", 5, "x"), 3);
  EXPECT_STREQ(tree::property_record(name)->value, "5-x");
}

// A value stored from a format reads as vsnprintf writes it, cut to 255
// characters, a lone "%s" (copied, not formatted) included.
TEST_F(TreeServicesTest, StoredValuesFromFormats) {
  TavoNode* c0 = corvane();
  TavoNode* name = get_node(tag_of(c0, "Name"));
  const std::string longer(300, 'v');
  struct Case {
    const char* format;
    const char* text;
    std::string value;
  } cases[] = {
      {"%s", "plain", "plain"},
      {"%s", "100% of %d", "100% of %d"},
      {"%s", longer.c_str(), longer.substr(0, 255)},
      {"%s", "", ""},
      {"%s", nullptr, "(null)"},
      {"%s!", "x", "x!"},
      {"[%s]", longer.c_str(), "[" + longer.substr(0, 254)},
      {"%.3s", "abcdef", "abc"},
  };
  for (const Case& c : cases) {
    char buf[TAVO_VALUE_SIZE];
    ASSERT_EQ(set_prop_val(c0, "Serial", c.format, c.text), 0u) << c.format;
    ASSERT_EQ(internal_get_property(c0, "Serial", buf), 0u);
    EXPECT_EQ(buf, c.value) << c.format;
    EXPECT_EQ(SET_CACHE_PROP_VAL(name, c.format, c.text), static_cast<int32_t>(c.value.size())) << c.format;
    EXPECT_EQ(tree::property_record(name)->value, c.value) << c.format;
  }
  // Numbers, alone (written without a format) or among other text.
  struct Number {
    const char* format;
    int64_t number;
    const char* value;
  } numbers[] = {
      {"%d", 0, "0"},
      {"%d", -7, "-7"},
      {"%d", INT32_MIN, "-2147483648"},
      {"%d", INT32_MAX, "2147483647"},
      {"%u", 0, "0"},
      {"%u", UINT32_MAX, "4294967295"},
      {"%u", 1000000, "1000000"},
      {"%d!", 42, "42!"},
      {"%5d", -3, "   -3"},
  };
  for (const Number& c : numbers) {
    const bool is_signed = strchr(c.format, 'd') != nullptr;
    char buf[TAVO_VALUE_SIZE];
    if (is_signed)
      ASSERT_EQ(set_prop_val(c0, "Serial", c.format, static_cast<int>(c.number)), 0u) << c.format;
    else
      ASSERT_EQ(set_prop_val(c0, "Serial", c.format, static_cast<unsigned int>(c.number)), 0u) << c.format;
    ASSERT_EQ(internal_get_property(c0, "Serial", buf), 0u);
    EXPECT_STREQ(buf, c.value) << c.format << " " << c.number;
    const int32_t length = is_signed ? SET_CACHE_PROP_VAL(name, c.format, static_cast<int>(c.number))
                                     : SET_CACHE_PROP_VAL(name, c.format, static_cast<unsigned int>(c.number));
    EXPECT_EQ(length, static_cast<int32_t>(strlen(c.value))) << c.format;
    EXPECT_STREQ(tree::property_record(name)->value, c.value) << c.format;
  }
}

TEST_F(TreeServicesTest, WalkUps) {
  TavoNode* c0 = corvane();
  TavoNode* c1 = corvane();
  TavoNode* t = target(c1, "t");
  TavoNode* s = tree::build_group(test::kSessionDef, t);
  EXPECT_EQ(get_cv_instance(s), 1);
  EXPECT_EQ(get_cv_instance(c0), 0);
  EXPECT_EQ(get_cv_instance(root()), 0);
  EXPECT_EQ(get_domain_id(s), 0);
  EXPECT_EQ(get_phba_port_number(s), 0);
  EXPECT_EQ(get_port_number(s), -1);
  give_handle(c1, 0);
  EXPECT_EQ(get_port_number(s), -1);  // a zero first word does not count
  give_handle(t, 3);
  EXPECT_EQ(get_port_number(s), 3);
  free_handles(c1);
}

TEST_F(TreeServicesTest, PurgeDeletesEveryInstanceWithItsHandles) {
  TavoNode* c0 = corvane();
  TavoNode* t[3] = {target(c0, "a"), target(c0, "b"), target(c0, "c")};
  ASSERT_EQ(delete_node(t[2]), 0u);
  t[2] = target(c0, "c2");
  ASSERT_EQ(delete_node(t[1]), 0u);  // instances 0 and 2 remain
  for (TavoNode* x : {t[0], t[2]}) give_handle(x, 1);
  TavoNode* s = tree::build_group(test::kSessionDef, t[0]);
  give_handle(s, 9);
  uint32_t before = tavo_counter;
  EXPECT_EQ(purge_nodes_within(c0, "Target"), 0u);
  EXPECT_EQ(get_first_instance(c0, "Target"), nullptr);
  EXPECT_LT(tavo_counter, before);
  EXPECT_EQ(tree::instance_number(target(c0, "new")), 0);
  EXPECT_EQ(purge_nodes_within(c0, "NoSuchGroup"), 0u);
}

TEST_F(TreeServicesTest, PurgeStopsAtALinkedInstanceAndKeepsItsHandle) {
  TavoNode* c0 = corvane();
  TavoNode* a = target(c0, "a");
  TavoNode* b = target(c0, "b");
  give_handle(a, 1);
  give_handle(b, 2);
  TavoNode* link = create_link(root(), "Pin", b, nullptr, nullptr, nullptr);
  EXPECT_EQ(purge_nodes_within(c0, "Target"), 4u);
  EXPECT_EQ(get_first_instance(c0, "Target"), b);
  ASSERT_NE(tree::group_record(b)->nhandle, nullptr);
  EXPECT_EQ(static_cast<uint32_t*>(tree::group_record(b)->nhandle)[0], 2u);
  ASSERT_EQ(delete_node(link), 0u);
  EXPECT_EQ(purge_nodes_within(c0, "Target"), 0u);
}

TEST_F(TreeServicesTest, ListHelpersAtTheirLimits) {
  char list[TAVO_VALUE_SIZE] = "";
  EXPECT_EQ(tavo_internal_list_add(list, "a", 0), 0u);
  EXPECT_EQ(tavo_internal_list_add(list, "bb", 0), 0u);
  EXPECT_STREQ(list, "a,bb");
  EXPECT_EQ(tavo_internal_list_add(list, "BB", 1), 1u);  // present, case ignored
  EXPECT_EQ(tavo_internal_list_add(list, "BB", 0), 0u);
  EXPECT_EQ(tavo_internal_list_search(list, "b", 0), nullptr);
  EXPECT_EQ(tavo_internal_list_search(list, "bb", 0), list + 2);
  EXPECT_EQ(tavo_internal_list_search(list, "bb", 2), nullptr);  // other modes never match
  EXPECT_EQ(tavo_internal_list_del(list, "bb", 0), 0u);
  EXPECT_STREQ(list, "a,BB");
  EXPECT_EQ(tavo_internal_list_del(list, "BB", 0), 0u);
  EXPECT_STREQ(list, "a");
  EXPECT_EQ(tavo_internal_list_del(list, "a", 0), 0u);
  EXPECT_STREQ(list, "");
  EXPECT_EQ(tavo_internal_list_del(list, "a", 0), 1u);
  EXPECT_EQ(tavo_internal_list_add(nullptr, "a", 0), 1u);

  // 254 characters take one more item that fits; 255 take none.
  std::string full(253, 'x');
  snprintf(list, sizeof list, "%s", full.c_str());
  EXPECT_EQ(tavo_internal_list_add(list, "y", 0), 0u);
  EXPECT_EQ(strlen(list), 255u);
  EXPECT_EQ(tavo_internal_list_add(list, "z", 0), 1u);
  snprintf(list, sizeof list, "%s", std::string(254, 'x').c_str());
  EXPECT_EQ(tavo_internal_list_add(list, "zz", 0), 1u);  // would not fit whole
  EXPECT_EQ(strlen(list), 254u);

  TavoNode* c0 = corvane();
  TavoNode* add = get_node(tag_of(c0, "AddTarget"));
  ASSERT_NE(tavo_internal_get_param(add, "port"), nullptr);
  EXPECT_EQ(tavo_internal_get_param(add, "port")->maximum, 65535);
  EXPECT_EQ(tavo_internal_get_param(add, "nope"), nullptr);
  EXPECT_EQ(tavo_internal_get_param(c0, "port"), nullptr);
}

// A rebuild asked for while a handler runs waits for the outermost call.
TEST_F(TreeServicesTest, RebuildDuringAHandlerRunsAfterTheCall) {
  TavoNode* c0 = corvane();
  uint32_t c0_tag = c0->tag;
  test::action_hook = [](TavoNode* group) {
    tree::request_rebuild();
    // The handler's nodes are still alive here.
    EXPECT_STREQ(group->name, "Corvane");
    EXPECT_EQ(set_prop_val(group, "Name", "still-here"), 0u);
  };
  std::string block = params({"t"});
  EXPECT_EQ(TAVO_do_action(c0_tag, tag_of(c0, "AddTarget"), block.data(), nullptr), 0u);
  // The tree was rebuilt from scratch: the test groups are gone.
  EXPECT_NE(get_node(0), nullptr);
  EXPECT_EQ(get_first_instance(get_node(0), "Corvane"), nullptr);
  EXPECT_EQ(get_node(c0_tag), nullptr);
  // Outside any call a rebuild happens at once.
  TavoNode* again = corvane();
  tree::request_rebuild();
  EXPECT_EQ(get_first_instance(get_node(0), "Corvane"), nullptr);
  (void)again;
}

TEST_F(TreeServicesTest, ConcurrentClientsDoNotCorruptTheTree) {
  TavoNode* c0 = corvane();
  uint32_t c0_tag = c0->tag, name_tag = tag_of(c0, "Name"), add_tag = tag_of(c0, "AddTarget");
  std::string block = params({"t"});
  std::thread writer([&] {
    for (int i = 0; i < 200; ++i) {
      TAVO_do_action(c0_tag, add_tag, block.data(), nullptr);
      TAVO_API_GUARD;
      purge_nodes_within(get_node(c0_tag), "Target");
    }
  });
  std::thread reader([&] {
    char buf[TAVO_VALUE_SIZE];
    uint32_t tags[64], count;
    for (int i = 0; i < 400; ++i) {
      TAVO_get_property_val(c0_tag, name_tag, buf, sizeof buf);
      TAVO_get_child_tags(c0_tag, tags, &count, TAVO_KIND_GROUP);
      EXPECT_LE(count, 2u);
    }
  });
  writer.join();
  reader.join();
}

}  // namespace
}  // namespace tavo
