#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <iterator>
#include <utility>

#include "tests/tree/tree_fixture.h"
#include "tree/api_guard.h"
#include "tree/backend_hooks.h"
#include "tree/declare.h"
#include "tree/persist.h"
#include "tree/state_changes.h"
#include "tree/tree_internal.h"

namespace tavo {
namespace {

using test::TreeTest;

class TreeStoreTest : public TreeTest {};

TEST_F(TreeStoreTest, RootAndItsPropertiesHoldTheFirstTags) {
  ASSERT_NE(root(), nullptr);
  EXPECT_STREQ(root()->name, "ROOT");
  EXPECT_EQ(tag_of(root(), "TAVOServiceVersion"), 1u);
  EXPECT_EQ(tag_of(root(), "TAVOHierarchyVersion"), 2u);
  EXPECT_EQ(tag_of(root(), "TAVODebugLevel"), 3u);
  TavoNodeDescription d;
  ASSERT_EQ(TAVO_get_node_description(3, &d), 0u);
  EXPECT_EQ(d.value_type, TAVO_TYPE_LIST);
  EXPECT_EQ(d.minimum, 5);
  EXPECT_EQ(d.maximum, 11);
  EXPECT_EQ(strncmp(d.description, "This property specifies the TAVODebugLevel. Possible values are 0 - Disabled", 76), 0);
}

TEST_F(TreeStoreTest, FreedTagsAreReusedAndTheTableGrowsKeepingTags) {
  TavoNode* c0 = corvane();
  ASSERT_NE(c0, nullptr);
  EXPECT_EQ(c0->tag, 4u);
  uint32_t name_tag = tag_of(c0, "Name");
  // Deleting a group frees its whole run of tags; the next group reuses them.
  ASSERT_EQ(delete_node(c0), 0u);
  EXPECT_EQ(get_node(4), nullptr);
  TavoNode* again = corvane();
  EXPECT_EQ(again->tag, 4u);
  EXPECT_EQ(tag_of(again, "Name"), name_tag);

  // A full tag table doubles (1,024 slots, 2,048, 4,096), each node kept
  // at its tag.
  std::vector<TavoNode*> entries;
  for (int i = 0; i < 2200; ++i) {
    TavoNode* e = tree::build_group(test::kEntryDef, root());
    ASSERT_NE(e, nullptr) << i;
    entries.push_back(e);
  }
  ASSERT_GT(entries.back()->tag, 2048u);
  EXPECT_EQ(hierarchy_name_.capacity, 4096u);
  for (TavoNode* e : entries) ASSERT_EQ(get_node(e->tag), e);
  EXPECT_EQ(get_node(4096), nullptr);
  EXPECT_EQ(get_node(hierarchy_name_.capacity), nullptr);
  // A tag freed in the middle is the next one taken.
  uint32_t freed = entries[500]->tag;
  ASSERT_EQ(delete_node(entries[500]), 0u);
  TavoNode* e = tree::build_group(test::kEntryDef, root());
  EXPECT_EQ(e->tag, freed);
}

TEST_F(TreeStoreTest, InstanceNumbersAreReusedAndKeptInOrder) {
  TavoNode* c[3] = {corvane(), corvane(), corvane()};
  EXPECT_EQ(tree::instance_number(c[2]), 2);
  ASSERT_EQ(delete_node(c[1]), 0u);
  TavoNode* again = corvane();
  EXPECT_EQ(tree::instance_number(again), 1);
  EXPECT_EQ(child_names(root(), TAVO_KIND_GROUP), (std::vector<std::string>{"Corvane0", "Corvane1", "Corvane2"}));
  uint32_t numbers[TAVO_MAX_INSTANCES], count = 0;
  ASSERT_EQ(TAVO_get_valid_instances(0, "Corvane", numbers, &count), 0u);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(numbers[0], 0u);
  EXPECT_EQ(numbers[1], 1u);
  EXPECT_EQ(numbers[2], 2u);
  EXPECT_EQ(TAVO_get_valid_instances(0, "corvane", numbers, &count), 0u);
  EXPECT_EQ(count, 0u);  // the group name is compared exactly
  // A fourth fits, a fifth does not.
  EXPECT_NE(corvane(), nullptr);
  EXPECT_EQ(corvane(), nullptr);
}

TEST_F(TreeStoreTest, LowestInstanceFirstAmongChildrenAndSentinelReleased) {
  TavoNode* c0 = corvane();
  TavoNode* c1 = corvane();
  uint32_t before = tavo_counter;
  ASSERT_EQ(delete_node(c0), 0u);
  EXPECT_EQ(get_first_instance(root(), "Corvane"), c1);
  ASSERT_EQ(delete_node(c1), 0u);
  EXPECT_EQ(get_first_instance(root(), "Corvane"), nullptr);
  TavoNode* fresh = corvane();
  EXPECT_EQ(tree::instance_number(fresh), 0);
  // Building after deleting the only instance makes one sentinel again.
  ASSERT_EQ(delete_node(fresh), 0u);
  EXPECT_LT(tavo_counter, before);
}

TEST_F(TreeStoreTest, DuplicateInstancesAndLinksAreRefusedButNotProperties) {
  TavoNode* c0 = corvane();
  TavoNode dup;
  TavoGroupRecord rec;
  TavoInstanceRecord inst;
  memset(&dup, 0, sizeof dup);
  memset(&rec, 0, sizeof rec);
  memset(&inst, 0, sizeof inst);
  dup.kind = TAVO_KIND_GROUP;
  dup.name = const_cast<char*>("corvane");
  dup.parent = root();
  dup.record = &rec;
  rec.instance = &inst;
  inst.instance_number = 0;
  EXPECT_EQ(node_exists(&dup), 1);
  EXPECT_EQ(add_node(&dup, &hierarchy_name_), -1);

  TavoNode* l1 = create_link(root(), "Alias", c0, nullptr, nullptr, nullptr);
  ASSERT_NE(l1, nullptr);
  EXPECT_EQ(create_link(root(), "ALIAS", c0, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(c0->link_count, 1u);

  TavoNode extra;
  TavoPropertyRecord prec;
  memset(&extra, 0, sizeof extra);
  memset(&prec, 0, sizeof prec);
  extra.kind = TAVO_KIND_PROPERTY;
  extra.name = const_cast<char*>("Name");
  extra.parent = c0;
  extra.record = &prec;
  EXPECT_EQ(node_exists(&extra), 0);
}

// Names found without case are told apart from names whose bytes differ
// only in the bit that case sets, in short and long names alike.
TEST_F(TreeStoreTest, NamesDifferingOnlyInTheCaseBitOfNonLettersStayApart) {
  TavoNode* c0 = corvane();
  const struct {
    const char *name, *other, *upper;
  } rows[] = {
      {"Port@1", "Port`1", "PORT@1"},
      {"a[b", "a{b", "A[B"},
      {"x_y", "x\x7fy", "X_Y"},
      {"LongName[Here", "LongName{Here", "LONGNAME[HERE"},
      {"AnotherLongName_0", "AnotherLongName\x7f" "0", "anotherlongname_0"},
  };
  for (const auto& r : rows) {
    TavoNode* one = create_link(c0, r.name, c0, nullptr, nullptr, nullptr);
    TavoNode* two = create_link(c0, r.other, c0, nullptr, nullptr, nullptr);
    ASSERT_NE(one, nullptr) << r.name;
    ASSERT_NE(two, nullptr) << r.other;
    EXPECT_EQ(internal_get_node(c0, r.name, TAVO_KIND_ANY), one) << r.name;
    EXPECT_EQ(internal_get_node(c0, r.other, TAVO_KIND_ANY), two) << r.other;
    EXPECT_EQ(internal_get_node(c0, r.upper, TAVO_KIND_ANY), one) << r.upper;
  }
}

TEST_F(TreeStoreTest, LinkedNodesCannotBeDeletedAndTearDownIsClean) {
  TavoNode* c0 = corvane();
  TavoNode* settings = get_node(tag_of(c0, "Settings", TAVO_KIND_GROUP));
  ASSERT_NE(settings, nullptr);
  TavoNode* link = create_link(root(), "Shortcut", settings, nullptr, nullptr, nullptr);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(delete_node(settings), 4u);
  // A link into the subtree holds the whole subtree in place.
  EXPECT_EQ(delete_node(c0), 4u);
  EXPECT_EQ(get_node(tag_of(c0, "Name")), get_node(tag_of(c0, "Name")));
  EXPECT_NE(tag_of(settings, "Level"), 0xFFFFFFFFu);
  // Links inside the deleted subtree do not hold it.
  ASSERT_NE(create_link(c0, "Self", settings, nullptr, nullptr, nullptr), nullptr);
  ASSERT_EQ(delete_node(link), 0u);
  EXPECT_EQ(settings->link_count, 1u);
  EXPECT_EQ(delete_node(c0), 0u);
  // And a tree torn down with links outstanding frees everything (checked by
  // the fixture's allocation count and ASan).
  TavoNode* c1 = corvane();
  ASSERT_NE(create_link(root(), "ToC1", c1, nullptr, nullptr, nullptr), nullptr);
  ASSERT_NE(create_link(c1, "ToRoot", get_node(tag_of(c1, "Settings")), nullptr, nullptr, nullptr), nullptr);
}

TEST_F(TreeStoreTest, ForcedDeleteRemovesOutsideLinksFirst) {
  TavoNode* c0 = corvane();
  TavoNode* c1 = corvane();
  TavoNode* link = create_link(c1, "Peer", c0, nullptr, nullptr, nullptr);
  ASSERT_NE(link, nullptr);
  uint32_t link_tag = link->tag;
  _delete_node(c0);
  EXPECT_EQ(get_node(link_tag), nullptr);
  EXPECT_EQ(child_names(c1, TAVO_KIND_GROUP), std::vector<std::string>{"Settings"});
}

TEST_F(TreeStoreTest, BitfieldEdges) {
  uint8_t* bits = alloc_bitfield(10);
  ASSERT_NE(bits, nullptr);
  EXPECT_EQ(alloc_bitfield(0), nullptr);
  EXPECT_EQ(get_first_one(bits, 10), -1);
  EXPECT_EQ(get_first_zero(bits, 0), -1);
  EXPECT_EQ(set_bit(bits, 10, 10), -1);
  EXPECT_EQ(is_set(bits, 10, 12), -1);
  for (uint32_t i = 0; i < 9; ++i) set_bit(bits, 10, i);
  EXPECT_EQ(get_first_zero(bits, 10), 9);
  EXPECT_EQ(get_first_one(bits, 10), 0);
  clear_bit(bits, 10, 0);
  EXPECT_EQ(is_set(bits, 10, 0), 0);
  EXPECT_EQ(is_set(bits, 10, 8), 1);
  set_bit(bits, 10, 9);
  set_bit(bits, 10, 0);
  EXPECT_EQ(get_first_zero(bits, 10), -1);
  free_bitfield(bits);

  // Searches that cross whole 64-bit words and end inside one.
  const uint32_t n = 200;
  bits = alloc_bitfield(n);
  for (uint32_t upto : {0u, 63u, 64u, 130u, 199u}) {
    for (uint32_t i = 0; i < upto; ++i) set_bit(bits, n, i);
    EXPECT_EQ(get_first_zero(bits, static_cast<int32_t>(n)), static_cast<int32_t>(upto)) << upto;
  }
  set_bit(bits, n, 199);
  EXPECT_EQ(get_first_zero(bits, static_cast<int32_t>(n)), -1);
  EXPECT_EQ(get_first_zero(bits, 130), -1);  // the clear bits past n do not count
  clear_bit(bits, n, 150);
  EXPECT_EQ(get_first_zero(bits, 150), -1);
  EXPECT_EQ(get_first_zero(bits, 151), 150);
  free_bitfield(bits);
}

TEST_F(TreeStoreTest, ClientsShareOneTree) {
  TavoNode* c0 = corvane();
  ASSERT_EQ(TAVO_init(), 0u);  // a second client: no rebuild
  EXPECT_EQ(get_node(c0->tag), c0);
  ASSERT_EQ(TAVO_exit(), 0u);
  EXPECT_EQ(get_node(c0->tag), c0);
  ASSERT_EQ(TAVO_exit(), 0u);  // the last client tears it down
  EXPECT_EQ(get_node(0), nullptr);
  EXPECT_EQ(TAVO_exit(), 0u);  // no client left
}

// The last client's exit frees the whole tree at once, links and instance
// rings included; the next tree finds its own nodes by name and nothing of
// the old one, and numbers its instances afresh.
TEST_F(TreeStoreTest, ATreeBuiltAgainFindsOnlyItsOwnNodes) {
  TavoNode* c0 = corvane();
  for (int i = 0; i < 100; ++i) ASSERT_NE(tree::build_group(test::kEntryDef, root()), nullptr);
  TavoNode* settings = get_node(tag_of(c0, "Settings", TAVO_KIND_GROUP));
  ASSERT_NE(create_link(root(), "Shortcut", settings, nullptr, nullptr, nullptr), nullptr);
  ASSERT_NE(create_link(c0, "Self", settings, nullptr, nullptr, nullptr), nullptr);
  const uint32_t old_tag = c0->tag;
  std::vector<TavoNodeRef> old_refs;
  for (uint32_t t = 0; t < 200; ++t)
    if (get_node(t) != nullptr) old_refs.push_back(tree::node_ref(get_node(t)));
  ASSERT_EQ(TAVO_exit(), 0u);
  EXPECT_EQ(get_node(old_tag), nullptr);
  ASSERT_EQ(TAVO_init(), 0u);
  for (const char* gone : {"Corvane0", "Entry0", "entry99", "Shortcut"})
    EXPECT_EQ(tag_of(root(), gone), 0xFFFFFFFFu) << gone;
  struct Case {
    const char* name;
    int32_t number;
  } cases[] = {{"Corvane0", 0}, {"Entry0", 0}, {"Entry1", 1}};
  TavoNode* built[] = {corvane(), tree::build_group(test::kEntryDef, root()), tree::build_group(test::kEntryDef, root())};
  for (size_t i = 0; i < std::size(cases); ++i) {
    ASSERT_NE(built[i], nullptr) << cases[i].name;
    EXPECT_EQ(tree::instance_number(built[i]), cases[i].number) << cases[i].name;
    EXPECT_EQ(tag_of(root(), cases[i].name), built[i]->tag) << cases[i].name;
  }
  EXPECT_NE(tag_of(get_node(tag_of(built[0], "Settings")), "Level"), 0xFFFFFFFFu);
  // A reference kept from the torn-down tree names none of the new nodes,
  // though they took the same tags (and maybe the same memory).
  const TavoHierarchy* h = hm_find_hierarchy_by_node(root());
  size_t reused = 0;
  for (const TavoNodeRef& ref : old_refs) {
    reused += get_node(ref.tag) != nullptr;
    EXPECT_EQ(tree::ref_node(h, ref), nullptr) << ref.tag;
  }
  EXPECT_GE(reused, 20u);
}

// A whole tree goes at once, counted as one deletion. A delete of ROOT
// takes nothing of another tree with it: its nodes stay in the name index
// and their blocks in use, and a node the deleted tree linked to is no
// longer held. The last client's exit takes every tree, and leaves the
// instance slots free for the next.
TEST_F(TreeStoreTest, AWholeTreeGoesAloneAndCountsOneDeletion) {
  const struct {
    const char* name;
    bool delete_root;
    uint64_t deleted;
  } rows[] = {{"the last client's exit", false, 2}, {"a delete of ROOT, then of the other tree", true, 2}};
  const auto any = [](TavoNode*, const void*) { return true; };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    TavoHierarchy other{};
    other.name = const_cast<char*>("other");
    other.max_tag_count = 100;
    ASSERT_EQ(hm_setup_hierarchy(&other), 0u);
    TavoNode* top = tree::new_node(TAVO_KIND_GROUP, "Top", "", nullptr, sizeof(TavoGroupRecord));
    top->parent = other.root = top;
    tree::group_record(top)->first_child = tree::group_record(top)->last_child = top;
    ASSERT_GE(tree::add_library_node(top, &other), 0);
    TavoNode* kept = tree::new_node(TAVO_KIND_GROUP, "Kept", "", top, sizeof(TavoGroupRecord));
    tree::group_record(kept)->first_child = tree::group_record(kept)->last_child = kept;
    ASSERT_GE(tree::add_library_node(kept, &other), 0);

    TavoNode* c0 = corvane();
    for (int i = 0; i < 50; ++i) ASSERT_NE(tree::build_group(test::kEntryDef, root()), nullptr);
    ASSERT_NE(create_link(c0, "Out", kept, nullptr, nullptr, nullptr), nullptr);
    const uint32_t c0_tag = c0->tag;
    const uint64_t deletions = tree::deletions();
    if (r.delete_root) {
      ASSERT_EQ(delete_node(root()), 0u);
      EXPECT_EQ(get_node(c0_tag), nullptr);
      EXPECT_EQ(kept->link_count, 0u);
      EXPECT_EQ(tree::named_child(top, "kept", any, nullptr), kept);
      EXPECT_EQ(hm_find_hierarchy_by_node(kept), &other);
      _delete_node(top);
      tree::unregister_hierarchy(&other);
    }
    ASSERT_EQ(TAVO_exit(), 0u);
    EXPECT_EQ(tree::deletions(), deletions + r.deleted);
    EXPECT_EQ(hm_find_hierarchy("other"), nullptr);
    EXPECT_EQ(tree::pooled_nodes(), 0u);

    ASSERT_EQ(TAVO_init(), 0u);
    EXPECT_EQ(tree::instance_number(corvane()), 0);
    EXPECT_EQ(tree::instance_number(tree::build_group(test::kEntryDef, root())), 0);
  }
}

// A start whose back end fails, and a start without a back end linked in,
// release everything, leave the tree's status, and can be retried.
TEST_F(TreeStoreTest, FailedStartReleasesEverythingAndCanBeRetried) {
  const tree::BackendHooks saved = tree::backend_hooks();
  const struct {
    const char* name;
    tree::BackendHooks hooks;
  } rows[] = {
      {"the back end fails", {[] { return 1u; }, saved.stop}},
      {"no back end", {nullptr, nullptr}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_EQ(TAVO_exit(), 0u);
    uint32_t before = tavo_counter;
    tree::set_backend_hooks(r.hooks);
    EXPECT_EQ(TAVO_init(), 1u);
    uint32_t code = 0;
    char text[TAVO_STATUS_TEXT_SIZE] = "";
    TAVO_get_last_status(&code, text);
    EXPECT_EQ(std::to_string(code) + ":" + text,
              "1:Failed to build the management tree. Please check tavo2d.log file for more information.");
    EXPECT_EQ(get_node(0), nullptr);
    EXPECT_EQ(hm_find_hierarchy(""), nullptr);
    EXPECT_EQ(tavo_counter, before);
    EXPECT_EQ(TAVO_exit(), 0u);  // the failed client was not counted
    tree::set_backend_hooks(saved);
    ASSERT_EQ(TAVO_init(), 0u);
    EXPECT_NE(get_node(0), nullptr);
  }
}

}  // namespace
}  // namespace tavo

namespace tavo {
namespace {

// Without a tree (no client yet or any more, or after a failed build) every
// public call answers 1 with a status; while clients are connected the next
// call builds the tree again.
TEST_F(TreeStoreTest, CallsWithoutATreeAnswer1WithAStatusAndTheNextBuildsIt) {
  alignas(TavoParamInfo) char text[sizeof(TavoParamInfo)] = "";  // every record fits
  uint32_t tags[64], count = 0;
  int32_t capacity = 64;
  void* record = text;
  FILE* stream = fmemopen(text, sizeof text, "r+");
  const std::function<uint32_t()> calls[] = {
      [&] { return TAVO_get_child_tags(0, tags, &count, TAVO_KIND_PROPERTY); },
      [&] { return TAVO_get_node_tag(0, "TAVODebugLevel", tags, TAVO_KIND_PROPERTY); },
      [&] { return TAVO_get_node_name(0, text, TAVO_KIND_GROUP); },
      [&] { return TAVO_get_parent_tag(1, tags); },
      [&] { return TAVO_get_node_description(0, static_cast<TavoNodeDescription*>(record)); },
      [&] { return TAVO_get_property_val(0, 1, text, TAVO_VALUE_SIZE); },
      [&] { return TAVO_set_property_val(0, 3, "3", 2); },
      [&] { return TAVO_do_action(0, 1, text, nullptr); },
      [&] { return TAVO_get_param_info(1, static_cast<TavoParamInfo*>(record)); },
      [&] { return TAVO_refresh_group(0); },
      [&] { return TAVO_get_valid_instances(0, "Corvane", tags, &count); },
      [&] { return TAVO_get_persistent_nodes(tags, &capacity); },
      [&] { return TAVO_get_persistence_info(0, static_cast<TavoPersistenceInfo*>(record)); },
      [&] { return save_node(nullptr, stream, 3); },
      [&] { return restore_hm(stream); },
  };
  auto all_refuse = [&](const std::string& status) {
    for (const auto& call : calls) {
      EXPECT_EQ(call(), 1u) << status;
      uint32_t code = 0;
      char message[TAVO_STATUS_TEXT_SIZE];
      TAVO_get_last_status(&code, message);
      EXPECT_EQ(std::to_string(code) + ":" + message, status);
    }
  };
  ASSERT_EQ(TAVO_exit(), 0u);
  all_refuse("1:The management tree is not built. Please call TAVO_init first.");
  ASSERT_EQ(TAVO_init(), 0u);
  const tree::BackendHooks saved = tree::backend_hooks();
  tree::set_backend_hooks({[] { return 1u; }, saved.stop});
  tree::request_rebuild();  // the NIC functions changed, and the build fails
  all_refuse("1:Failed to build the management tree. Please check tavo2d.log file for more information.");
  EXPECT_EQ(TAVO_init(), 1u);  // another client finds no tree either
  tree::set_backend_hooks(saved);
  EXPECT_EQ(TAVO_get_child_tags(0, tags, &count, TAVO_KIND_PROPERTY), 0u);
  EXPECT_EQ(count, 3u);
  fclose(stream);
}

// A definition's names, lists and defaults are measured when it is
// compiled: every name is found without case however long it is (a long
// one by its first TAVO_NAME_SIZE - 1 characters), and a text too long for
// a value is cut as a stored one is.
TEST_F(TreeStoreTest, DefinedRowsAreFoundAndFilledWhateverTheirLength) {
  using namespace declare;
  static constexpr char kLong[] = "AbcdefghijAbcdefghijAbcdefghijAbcdXYZ";  // 37 characters
  static constexpr char kLongValue[] =
      "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789"
      "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789"
      "012345678901234567890123456789012345678901234567890123456789ABCDEFGH";  // 268 characters
  static const ChildDef children[] = {
      property("X", RO, TEXT, "", 0, 8, "1", stored, "."),
      property("Abc", RO, TEXT, "", 0, 8, "3", stored, "."),
      property("Abcdefg", RO, LIST, "P,Q", 1, 1, "7", stored, "."),
      property("Abcdefgh", RO, TEXT, "", 0, 8, "8", stored, "."),
      property("AbcdefghijAb", RO, TEXT, "", 0, 300, kLongValue, stored, "."),
      property(kLong, RO, TEXT, "", 0, 8, "37", stored, "."),
  };
  static const GroupDef def = group("Measured", children, "Names of every length.");
  TavoNode* g = tree::build_group(def, root());
  ASSERT_NE(g, nullptr);
  const std::string cut_value(kLongValue, TAVO_VALUE_SIZE - 1);
  const std::string cut_name(kLong, TAVO_NAME_SIZE - 1);
  struct Case {
    std::string asked, value;
  } cases[] = {
      {"x", "1"},           {"ABC", "3"},           {"aBCDEFG", "7"},
      {"abcdefgh", "8"},    {"ABCDEFGHIJAB", cut_value}, {cut_name, "37"},
      {cut_name + "q", "37"},
  };
  for (const Case& c : cases) {
    char value[TAVO_VALUE_SIZE];
    ASSERT_EQ(internal_get_property(g, c.asked.c_str(), value), 0u) << c.asked;
    EXPECT_EQ(value, c.value) << c.asked;
  }
  const std::string short_of_long = cut_name.substr(0, TAVO_NAME_SIZE - 2);
  for (const char* missing : {"", "Ab", "Abcdef", "Abcdefghi", short_of_long.c_str()})
    EXPECT_EQ(internal_get_node(g, missing, TAVO_KIND_PROPERTY), nullptr) << missing;
  EXPECT_STREQ(tree::property_record(internal_get_node(g, "abcdefg", TAVO_KIND_PROPERTY))->valid_list, "P,Q");
  EXPECT_EQ(delete_node(g), 0u);
}


// A group takes the lowest free tags in child order (a sub-group's before
// the rows after it), whatever holes deleted nodes left and where the tag
// table has to grow; and reads its definition's values, though its memory
// held a deleted group whose values were long.
TEST_F(TreeStoreTest, ABuiltGroupTakesTheLowestFreeTagsInChildOrder) {
  using namespace declare;
  static const ChildDef sub_rows[] = {property("SubX", RW, TEXT, "", 0, 255, "x", stored, "."),
                                      property("SubY", RW, TEXT, "", 0, 255, "", stored, ".")};
  static const GroupDef sub = group("Sub", sub_rows, ".");
  static const ChildDef rows[] = {property("A", RW, TEXT, "", 0, 255, "a", stored, "."),
                                  property("B", RW, LIST, "On,Off", 0, 0, "On", stored, "."), subgroup(&sub),
                                  property("C", RW, TEXT, "", 0, 255, "", stored, ".")};
  static tree::SlotArea slots;
  static const GroupDef def = instanced("Built", 4, &slots, rows, ".");
  const std::vector<std::string> order = {"Built0", "A", "B", "Sub", "SubX", "SubY", "C"};
  const std::string long_value(TAVO_VALUE_SIZE - 1, 'z');
  struct Case {
    const char* name;
    int entries;                 // built before, one tag each; -1: up to 3 tags short of the table's end
    std::vector<int> deleted;  // of those
  } cases[] = {
      {"after the rest", 2, {}},        {"into a group's room", 7, {0, 1, 2, 3, 4, 5, 6}},
      {"into scattered holes", 6, {1, 3}}, {"into a short run", 10, {0, 1, 2}},
      {"across the table's end", -1, {}},
  };
  // Held throughout, so that the pool keeps the blocks freed between cases
  // for the next nodes rather than give all back.
  TavoNode* held = tree::build_group(test::kEntryDef, root());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TavoNode*> entries;
    while (c.entries < 0 ? entries.empty() || entries.back()->tag + 4 < hierarchy_name_.capacity
                         : entries.size() < static_cast<size_t>(c.entries))
      entries.push_back(tree::build_group(test::kEntryDef, root()));
    for (int i : c.deleted) ASSERT_EQ(delete_node(std::exchange(entries[i], nullptr)), 0u);
    std::vector<uint32_t> lowest_free;
    for (uint32_t t = 0; lowest_free.size() < order.size(); ++t)
      if (get_node(t) == nullptr) lowest_free.push_back(t);
    TavoNode* g = tree::build_group(def, root());
    ASSERT_NE(g, nullptr);
    // Child order, walked from the group down.
    std::vector<std::string> names;
    std::vector<uint32_t> tags;
    const std::function<void(TavoNode*)> walk = [&](TavoNode* n) {
      char shown[TAVO_NAME_SIZE];
      tree::display_name(n, shown);
      names.push_back(shown);
      tags.push_back(n->tag);
      if (n->kind == TAVO_KIND_GROUP)
        for (TavoNode* k = tree::group_record(n)->first_child; k != n; k = k->next) walk(k);
    };
    walk(g);
    EXPECT_EQ(names, order);
    EXPECT_EQ(tags, lowest_free);
    for (uint32_t t : tags) EXPECT_NE(get_node(t), nullptr);
    struct Value {
      TavoNode* group;
      const char* name;
      const char* value;
    } values[] = {{g, "A", "a"}, {g, "B", "On"}, {g, "C", ""}, {get_node(tags[3]), "SubX", "x"},
                  {get_node(tags[3]), "SubY", ""}};
    for (const Value& v : values) {
      const TavoPropertyRecord* p = tree::property_record(internal_get_node(v.group, v.name, TAVO_KIND_PROPERTY));
      EXPECT_STREQ(p->value, v.value) << v.name;
      // What a saved record holds after the text is zero too.
      const std::string tail(p->value + strlen(v.value), p->value + TAVO_VALUE_SIZE);
      EXPECT_EQ(tail, std::string(TAVO_VALUE_SIZE - strlen(v.value), '\0')) << v.name;
      EXPECT_STREQ(p->valid_list, strcmp(v.name, "B") == 0 ? "On,Off" : "") << v.name;
      // The next case's group may be made in this memory.
      if (strcmp(v.name, "B") != 0) {
        ASSERT_EQ(internal_set_property(v.group, v.name, long_value.c_str()), 0u) << v.name;
      }
    }
    ASSERT_EQ(delete_node(g), 0u);
    for (TavoNode* e : entries) {
      if (e != nullptr) {
        ASSERT_EQ(delete_node(e), 0u);
      }
    }
  }
  EXPECT_EQ(delete_node(held), 0u);
}

}  // namespace
}  // namespace tavo
