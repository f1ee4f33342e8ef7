// A group built by a caller the documented way, as a plug-in's builder
// would: header, records and texts each a block of tavo_dmalloc, the texts
// copied into fresh storage, then the exported add_node and set_bit. The
// tree frees each of its nodes the way it was made, whether the group is
// deleted, purged, rebuilt or torn down with the tree; library-built nodes
// below and above it go their own way. The node pool serves the library's
// nodes in every build but AddressSanitizer's (the 32-bit and
// ThreadSanitizer runs), so these cases run with it on and under ASan.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>

#include "tests/tree/tree_fixture.h"
#include "tree/tree_internal.h"

namespace tavo {
namespace {

using test::TreeTest;

constexpr uint16_t kPluginSlots = 4;

uint32_t do_Go(TavoNode*, TavoNode*, char*) { return 0; }
const TavoActionDescriptor go_action = {do_Go, 0, 0, {}};

char* text_copy(const char* text) {
  const size_t size = strlen(text) + 1;
  return static_cast<char*>(memcpy(tavo_dmalloc(size), text, size));
}

template <typename T>
T* cleared() {
  return static_cast<T*>(memset(tavo_dmalloc(sizeof(T)), 0, sizeof(T)));
}

TavoNode* caller_header(uint32_t kind, const char* name, TavoNode* parent) {
  auto* n = cleared<TavoNode>();
  n->kind = kind;
  n->name = text_copy(name);
  n->description = text_copy("Made by the caller.");
  n->parent = parent;
  return n;
}

// A caller-built child: a property with its record, or an action with its
// static descriptor; added with add_node.
bool add_caller_child(TavoNode* parent, uint32_t kind, const char* name) {
  TavoNode* n = caller_header(kind, name, parent);
  if (kind == TAVO_KIND_ACTION) {
    n->record = const_cast<TavoActionDescriptor*>(&go_action);
  } else {
    auto* p = cleared<TavoPropertyRecord>();
    p->handler = handle_internal_property;
    p->flags = TAVO_ACCESS_READ_WRITE;
    p->value_type = TAVO_TYPE_TEXT;
    p->maximum = 255;
    strcpy(p->value, "caller");
    n->record = p;
  }
  return add_node(n, &hierarchy_name_) >= 0;
}

// A caller-built group under parent: an instance of Plugin (slots given)
// or, with no slots, the static group Inner. Each has a property and an
// action; an instance also a static Inner group with its own property.
TavoNode* build_caller_group(TavoNode* parent, uint8_t* slots) {
  const int32_t slot = slots != nullptr ? get_first_zero(slots, kPluginSlots) : 0;
  if (slot < 0) return nullptr;
  TavoNode* group = caller_header(TAVO_KIND_GROUP, slots != nullptr ? "Plugin" : "Inner", parent);
  auto* record = cleared<TavoGroupRecord>();
  group->record = record;
  if (slots != nullptr) {
    record->instance = cleared<TavoInstanceRecord>();
    record->instance->slot_bitmap = slots;
    record->instance->max_instances = kPluginSlots;
    record->instance->instance_number = slot;
  }
  if (add_node(group, &hierarchy_name_) < 0) return nullptr;
  if (!add_caller_child(group, TAVO_KIND_PROPERTY, "Value") || !add_caller_child(group, TAVO_KIND_ACTION, "Go"))
    return nullptr;
  if (slots == nullptr) return group;
  if (build_caller_group(group, nullptr) == nullptr) return nullptr;
  set_bit(slots, kPluginSlots, static_cast<uint32_t>(slot));
  return group;
}

class CallerBuiltTest : public TreeTest {
 protected:
  // The plug-in's slot bitmap outlives the trees it builds in.
  void SetUp() override {
    TreeTest::SetUp();
    slots_ = alloc_bitfield(kPluginSlots);
  }
  void TearDown() override {
    while (root() != nullptr && TAVO_exit() == 0) {
    }
    free_bitfield(slots_);
    TreeTest::TearDown();
  }
  TavoNode* plugin() { return build_caller_group(root(), slots_); }
  // The value of a group's property as a client reads it.
  std::string value(TavoNode* group, const char* property) {
    char buf[TAVO_VALUE_SIZE] = "";
    if (TAVO_get_property_val(group->tag, tag_of(group, property), buf, TAVO_VALUE_SIZE) != 0) return "?";
    return buf;
  }
  uint8_t* slots_ = nullptr;
};

TEST_F(CallerBuiltTest, EachNodeIsFreedTheWayItWasMadeWhateverRemovesIt) {
  const struct {
    const char* name;
    std::function<void()> run;
  } cases[] = {
      {"torn down with the tree", [this] { ASSERT_NE(plugin(), nullptr); }},
      {"deleted, then the tree torn down",
       [this] {
         TavoNode* p = plugin();
         ASSERT_NE(p, nullptr);
         EXPECT_EQ(delete_node(p), 0u);
         EXPECT_EQ(is_set(slots_, kPluginSlots, 0), 0);
         EXPECT_EQ(get_first_instance(root(), "Plugin"), nullptr);
       }},
      {"deleted and rebuilt in its slot, then torn down",
       [this] {
         ASSERT_EQ(delete_node(plugin()), 0u);
         TavoNode* again = plugin();
         ASSERT_NE(again, nullptr);
         EXPECT_EQ(tree::instance_number(again), 0);
         EXPECT_EQ(value(again, "Value"), "caller");
       }},
      {"the first of two deleted, the second purged",
       [this] {
         TavoNode* first = plugin();
         TavoNode* second = plugin();
         ASSERT_NE(second, nullptr);
         EXPECT_EQ(delete_node(first), 0u);
         EXPECT_EQ(get_first_instance(root(), "Plugin"), second);
         EXPECT_EQ(purge_nodes_within(root(), "Plugin"), 0u);
         EXPECT_EQ(get_first_instance(root(), "Plugin"), nullptr);
       }},
      {"library groups below it and a link to it",
       [this] {
         TavoNode* p = plugin();
         ASSERT_NE(p, nullptr);
         ASSERT_NE(tree::build_group(test::kTargetDef, p), nullptr);
         TavoNode* link = create_link(root(), "ToPlugin", p, nullptr, nullptr, nullptr);
         ASSERT_NE(link, nullptr);
         EXPECT_EQ(delete_node(p), 4u);  // the link holds it
         EXPECT_EQ(delete_node(link), 0u);
         EXPECT_EQ(delete_node(p), 0u);
         ASSERT_NE(tree::build_group(test::kTargetDef, plugin()), nullptr);
       }},
      {"caller-built nodes below a library group",
       [this] {
         TavoNode* c0 = corvane();
         ASSERT_TRUE(add_caller_child(c0, TAVO_KIND_PROPERTY, "Extra"));
         ASSERT_NE(build_caller_group(c0, nullptr), nullptr);
         EXPECT_EQ(value(c0, "Extra"), "caller");
         ASSERT_NE(plugin(), nullptr);
         EXPECT_EQ(delete_node(c0), 0u);
         ASSERT_TRUE(add_caller_child(corvane(), TAVO_KIND_PROPERTY, "Extra"));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (root() == nullptr) {
      ASSERT_EQ(TAVO_init(), 0u);
    }
    c.run();
    ASSERT_EQ(TAVO_exit(), 0u);
    EXPECT_EQ(root(), nullptr);
    // Every block of the tree went back; the caller's bitmap alone stays.
    EXPECT_EQ(tavo_counter, baseline_allocations_ + 1);
    memset(slots_, 0, 1);
  }
}

// The pool is on in every build but AddressSanitizer's: one that turned it
// off everywhere would leave it untested, and fails here.
TEST_F(CallerBuiltTest, TheNodePoolServesTheLibrarysNodesOutsideAddressSanitizer) {
#if defined(__SANITIZE_ADDRESS__)
  constexpr bool pooled = false;
#else
  constexpr bool pooled = true;
#endif
  EXPECT_EQ(base::kReuseFreedBlocks, pooled);
  const size_t started = tree::pooled_nodes();
  TavoNode* c0 = corvane();
  ASSERT_NE(c0, nullptr);
  EXPECT_EQ(tree::pooled_nodes() > started, pooled);
  ASSERT_NE(plugin(), nullptr);  // the caller's nodes are not the pool's; its ring's sentinel is
  ASSERT_EQ(delete_node(c0), 0u);
  EXPECT_EQ(tree::pooled_nodes(), started + (pooled ? 1 : 0));
  // Once the tree is gone no block is in use, and the chunks went back.
  ASSERT_EQ(TAVO_exit(), 0u);
  EXPECT_EQ(tree::pooled_nodes(), 0u);
}

}  // namespace
}  // namespace tavo
