#include "tree/persist.h"

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "tests/tree/tree_fixture.h"
#include "base/debug_log.h"
#include "base/file_utils.h"

namespace tavo::test {
namespace {

// What save_node writes, as text.
std::string saved(TavoNode* start, uint32_t mask) {
  char* buf = nullptr;
  size_t len = 0;
  FILE* f = open_memstream(&buf, &len);
  EXPECT_EQ(save_node(start, f, mask), 0u);
  fclose(f);
  std::string text(buf, len);
  free(buf);
  return text;
}

void replay(const std::string& text) {
  FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(restore_hm(f), 0u);
  fclose(f);
}

class PersistTest : public TreeTest {
 protected:
  std::string value(TavoNode* group, const char* name) {
    char buf[TAVO_VALUE_SIZE] = "";
    EXPECT_EQ(TAVO_get_property_val(group->tag, tag_of(group, name, TAVO_KIND_PROPERTY), buf, sizeof buf), 0u);
    return buf;
  }
  uint32_t act(TavoNode* g, const std::vector<std::string>& values) {
    std::string block = params(values);
    return TAVO_do_action(g->tag, tag_of(g, "AddTarget", TAVO_KIND_ACTION), block.data(), nullptr);
  }
  uint32_t set(TavoNode* g, const char* name, const std::string& v) {
    return TAVO_set_property_val(g->tag, tag_of(g, name, TAVO_KIND_PROPERTY), v.c_str(),
                                 static_cast<uint32_t>(v.size() + 1));
  }
  TavoNode* child(TavoNode* g, const std::string& name) { return get_node(tag_of(g, name, TAVO_KIND_GROUP)); }
};

TEST(PersistText, LinesFieldsAndWords) {
  const std::string input = std::string("abc\n") + std::string(8, 'x') + "\n\nlast";
  FILE* f = fmemopen(const_cast<char*>(input.data()), input.size(), "r");
  ASSERT_NE(f, nullptr);
  char buf[16];
  EXPECT_EQ(tavo_get_line(f, buf, 5), 1u);  // 3 characters need more than 4 bytes
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(tavo_get_line(f, buf, 9), 2u);  // 8 characters do not fit 9 bytes
  EXPECT_EQ(tavo_get_line(f, buf, 10), 1u);  // the same line again
  EXPECT_EQ(std::string(buf), std::string(8, 'x'));
  EXPECT_EQ(tavo_get_line(f, buf, 10), 1u);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(tavo_get_line(f, buf, 10), 0u);  // no line feed: not delivered
  fclose(f);

  const struct {
    const char* text;
    uint32_t fields;
  } splits[] = {{"a|b|c", 3}, {"", 1}, {"|", 2}, {"abc", 1}, {"a||", 3}};
  for (const auto& s : splits) {
    std::string t = s.text;
    EXPECT_EQ(tavo_split(t.data(), '|'), s.fields) << s.text;
  }
  EXPECT_EQ(tavo_split(nullptr, '|'), 0u);

  const struct {
    const char* text;
    uint32_t out_length;
    uint32_t result;
    const char* out;
  } fields[] = {
      {",abc", 8, 1, ""},       {"abc,def", 8, 0, "abc"}, {"abcdef", 8, 0, "abcdef"},
      {"abcdefgh,x", 8, 0, "abcdefg"},  // cut, and still terminated
      {"abcdefg", 8, 0, "abcdefg"},     {"", 8, 0, ""},
  };
  for (const auto& c : fields) {
    char out[9];
    memset(out, 'Z', sizeof out);
    EXPECT_EQ(get_field(c.text, ',', out, c.out_length), c.result) << c.text;
    EXPECT_STREQ(out, c.out) << c.text;
  }

  const struct {
    const char* text;
    const char* word;
    uint32_t count;
  } words[] = {{"aaa", "aa", 1}, {"aaaa", "aa", 2}, {"abcabc", "bc", 2}, {"abc", "", 0}, {"abc", "x", 0}};
  for (const auto& w : words) EXPECT_EQ(word_count(w.text, w.word), w.count) << w.text << "/" << w.word;
  EXPECT_EQ(word_count(nullptr, "a"), 0u);
}

// A record's fields cut back from its line as they were written; plain
// records stay as they always were, a line break ends a field.
TEST(PersistText, RecordLinesCutIntoTheirFields) {
  const struct {
    std::vector<const char*> fields;  // keyword first
    const char* line;
    std::vector<const char*> back;  // when not the fields
  } rows[] = {
      {{"PROPERTY", "ROOT/A", "x\\y"}, "PROPERTY|ROOT/A|x\\y\n", {}},
      {{"PROPERTY", "ROOT/A", ""}, "PROPERTY|ROOT/A|\n", {}},
      {{"GROUP", "ROOT/a|b", "p"}, "GROUP\\|ROOT/a\\|b|p\n", {}},  // a path with the separator escapes too
      {{"SYMLINK", "\\|", "|\\", "\\"}, "SYMLINK\\|\\\\\\||\\|\\\\|\\\\\n", {}},
      {{"PROPERTY", "ROOT/A", "a\r\nb|c"}, "PROPERTY|ROOT/A|a\n", {"PROPERTY", "ROOT/A", "a"}},
  };
  for (const auto& r : rows) {
    std::string line = tree::record_line(r.fields[0], std::span(r.fields).subspan(1));
    EXPECT_EQ(line, r.line);
    line.pop_back();
    std::vector<char*> cut;
    tree::cut_record(line.data(), &cut);
    const std::vector<const char*>& expected = r.back.empty() ? r.fields : r.back;
    ASSERT_EQ(cut.size(), expected.size()) << r.line;
    for (size_t i = 0; i < cut.size(); ++i) EXPECT_STREQ(cut[i], expected[i]) << r.line;
  }
}

TEST_F(PersistTest, PathsNameNodesBothWays) {
  TavoNode* c0 = corvane();
  TavoNode* settings = child(c0, "Settings");
  TavoNode* level = get_node(tag_of(settings, "Level"));
  const struct {
    TavoNode* node;
    const char* path;
    uint32_t kind;
  } cases[] = {
      {root(), "ROOT", TAVO_KIND_GROUP},
      {c0, "ROOT/Corvane0", TAVO_KIND_GROUP},
      {settings, "ROOT/Corvane0/Settings", TAVO_KIND_GROUP},
      {level, "ROOT/Corvane0/Settings/Level", TAVO_KIND_PROPERTY},
      {get_node(tag_of(c0, "AddTarget")), "ROOT/Corvane0/AddTarget", TAVO_KIND_ACTION},
      {get_node(3), "ROOT/TAVODebugLevel", TAVO_KIND_PROPERTY},
  };
  for (const auto& c : cases) {
    char path[TAVO_PATH_SIZE];
    get_full_path(c.node, path);
    EXPECT_STREQ(path, c.path);
    EXPECT_EQ(internal_get_node_path(c.path, c.kind), c.node) << c.path;
  }
  EXPECT_EQ(internal_get_node_path("root/corvane0/settings/level", TAVO_KIND_PROPERTY), level);
  EXPECT_EQ(internal_get_node_path("anything/Corvane0", TAVO_KIND_GROUP), c0);
  EXPECT_EQ(internal_get_node_path("Corvane0", TAVO_KIND_GROUP), nullptr);
  EXPECT_EQ(internal_get_node_path("ROOT/Corvane1", TAVO_KIND_GROUP), nullptr);
  EXPECT_EQ(internal_get_node_path("ROOT/Corvane0/Settings/Level", TAVO_KIND_GROUP), nullptr);
  EXPECT_EQ(internal_get_node_path("ROOT/Corvane0/Name/Level", TAVO_KIND_PROPERTY), nullptr);
  EXPECT_EQ(internal_get_node_path("", TAVO_KIND_GROUP), nullptr);
  EXPECT_EQ(internal_get_node_path(nullptr, TAVO_KIND_GROUP), nullptr);
}

TEST_F(PersistTest, RecordFormatsInPersistenceOrder) {
  TavoNode* c0 = corvane();
  ASSERT_EQ(set(c0, "Name", "abc"), 0u);
  // First and third parameters given, the second not: the line carries the
  // first only.
  ASSERT_EQ(act(c0, {"t1", "\xff", "A"}), 0u);
  TavoNode* t0 = child(c0, "Target0");
  ASSERT_NE(t0, nullptr);
  TavoNode* add = get_node(tag_of(c0, "AddTarget"));
  std::string block = params({"x"});
  ASSERT_NE(create_link(c0, "Alias", t0, c0, add, block.data()), nullptr);
  EXPECT_EQ(saved(c0, 2),
            "GROUP|ROOT/Corvane0/Target0|ROOT/Corvane0|ROOT/Corvane0/AddTarget|t1\n"
            "SYMLINK|Alias|ROOT/Corvane0|ROOT/Corvane0/Target0\n"
            "PROPERTY|ROOT/Corvane0/Name|abc\n"
            "PROPERTY|ROOT/Corvane0/Count|0\n"
            "PROPERTY|ROOT/Corvane0/Mode|On\n"
            "PROPERTY|ROOT/Corvane0/Hidden|\n"
            "PROPERTY|ROOT/Corvane0/Bare|stored\n"
            "PROPERTY|ROOT/Corvane0/Address|0.0.0.0\n"
            "PROPERTY|ROOT/Corvane0/Settings/Level|1\n");
  EXPECT_EQ(saved(c0, 1),
            "GROUP|ROOT/Corvane0/Target0|ROOT/Corvane0|ROOT/Corvane0/AddTarget|t1\n"
            "PROPERTY|ROOT/Corvane0/Target0/TargetName|t1\n"
            "SYMLINK|Alias|ROOT/Corvane0|ROOT/Corvane0/Target0\n"
            "PROPERTY|ROOT/Corvane0/Serial|01234567890123456789\n"
            "PROPERTY|ROOT/Corvane0/PortNumber|2\n");
  EXPECT_EQ(save_node(c0, nullptr, 3), 1u);
}

TEST_F(PersistTest, StaticAndActionlessPersistentGroups) {
  TavoNode* c0 = corvane();
  TavoNode* c1 = corvane();
  TavoNode* settings = child(c0, "Settings");
  TavoNode* add = get_node(tag_of(c0, "AddTarget"));
  std::string block = params({"p1", "", "B"});
  // A static group that an action ran on: values first, then the action.
  EXPECT_EQ(backend_make_persistent(settings, c0, add, block.data()), 0u);
  EXPECT_EQ(tree::group_record(settings)->persistence_priority, 1u);
  EXPECT_EQ(backend_make_persistent(settings, c0, add, nullptr), 0u);
  EXPECT_EQ(tree::group_record(settings)->persistence_priority, 1u);  // kept
  // A group made persistent without an action: its values only.
  EXPECT_EQ(backend_make_persistent(c1, nullptr, nullptr, nullptr), 0u);
  EXPECT_EQ(backend_make_persistent(get_node(tag_of(c0, "Name")), c0, add, nullptr), 1u);
  EXPECT_EQ(backend_make_persistent(nullptr, c0, add, nullptr), 1u);
  std::string text = saved(c1, 2);
  EXPECT_EQ(text,
            "PROPERTY|ROOT/Corvane0/Settings/Level|1\n"
            "GROUP|ROOT/Corvane0/Settings|ROOT/Corvane0|ROOT/Corvane0/AddTarget|p1\n"
            "PROPERTY|ROOT/Corvane1/Name|cv\n"
            "PROPERTY|ROOT/Corvane1/Count|0\n"
            "PROPERTY|ROOT/Corvane1/Mode|On\n"
            "PROPERTY|ROOT/Corvane1/Hidden|\n"
            "PROPERTY|ROOT/Corvane1/Bare|stored\n"
            "PROPERTY|ROOT/Corvane1/Address|0.0.0.0\n"
            // c1 itself is persistent: only its static sub-group follows.
            "PROPERTY|ROOT/Corvane1/Settings/Level|1\n");
}

TEST_F(PersistTest, DeletedGroupsLeaveGapsAndValuesNeverSplitARecord) {
  TavoNode* c0 = corvane();
  ASSERT_EQ(act(c0, {"t1"}), 0u);
  ASSERT_EQ(act(c0, {"t2", "3260"}), 0u);
  ASSERT_EQ(delete_node(child(c0, "Target0")), 0u);
  // A stored value and a parameter holding line breaks.
  char broken[TAVO_VALUE_SIZE] = "ab\ncd";
  ASSERT_EQ(handle_internal_property(get_node(tag_of(c0, "Name")), broken, TAVO_PROPERTY_SET), 0u);
  snprintf(tree::group_record(child(c0, "Target1"))->params[1], TAVO_VALUE_SIZE, "32\r60");
  std::string text = saved(c0, 2);
  EXPECT_EQ(text.substr(0, text.find('\n') + 1),
            "GROUP|ROOT/Corvane0/Target1|ROOT/Corvane0|ROOT/Corvane0/AddTarget|t2|32\n");
  EXPECT_NE(text.find("\nPROPERTY|ROOT/Corvane0/Name|ab\nPROPERTY|ROOT/Corvane0/Count|0\n"), std::string::npos)
      << text;
}

TEST_F(PersistTest, SaveThenRestoreGivesTheSameTree) {
  TavoNode* c0 = corvane();
  corvane();
  ASSERT_EQ(set(c0, "Name", "first"), 0u);
  ASSERT_EQ(set(c0, "Mode", "Off"), 0u);
  ASSERT_EQ(set(child(c0, "Settings"), "Level", "4"), 0u);
  ASSERT_EQ(act(c0, {"t1", "3260", "B"}), 0u);
  ASSERT_EQ(act(c0, {"t2"}), 0u);
  TavoNode* c1 = corvane(1);
  ASSERT_EQ(act(c1, {"other"}), 0u);
  ASSERT_EQ(files::make_dirs(root_.at("/etc/config/QVL/tavo"), 0755), 0);  // where the level is kept
  ASSERT_EQ(TAVO_set_property_val(0, 3, "2", 2), 0u);
  std::string text = saved(root(), 3);

  // A fresh tree: the start-up groups only.
  while (get_node(0) != nullptr && TAVO_exit() == 0 && get_node(0) != nullptr) {
  }
  ASSERT_EQ(TAVO_init(), 0u);
  corvane();
  corvane();
  tavo_debug_level = 0;
  replay(text);
  EXPECT_EQ(saved(root(), 3), text);
  EXPECT_EQ(value(corvane(0), "Name"), "first");
  EXPECT_EQ(value(child(corvane(0), "Target0"), "TargetName"), "t1");
  EXPECT_EQ(tavo_debug_level, 2u);
  tavo_debug_level = 0;
}

// A value holding the separator comes back whole: its record is escaped,
// while records without one are written as they always were.
TEST_F(PersistTest, SeparatorsInValuesSurviveSaveAndReplay) {
  const struct {
    const char* name;    // a Corvane property
    const char* target;  // AddTarget's TargetName
    const char* line;    // the target's GROUP line as saved
  } rows[] = {
      {"a|b", "t|1", "GROUP\\|ROOT/Corvane0/Target0|ROOT/Corvane0|ROOT/Corvane0/AddTarget|t\\|1\n"},
      {"|\\|", "\\|", "GROUP\\|ROOT/Corvane0/Target0|ROOT/Corvane0|ROOT/Corvane0/AddTarget|\\\\\\|\n"},
      {"x\\", "t\\", "GROUP|ROOT/Corvane0/Target0|ROOT/Corvane0|ROOT/Corvane0/AddTarget|t\\\n"},
  };
  for (const auto& r : rows) {
    TavoNode* c0 = corvane();
    ASSERT_EQ(set(c0, "Name", r.name), 0u) << r.name;
    ASSERT_EQ(act(c0, {r.target}), 0u) << r.target;
    const std::string text = saved(root(), 2);
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), r.line);
    while (get_node(0) != nullptr && TAVO_exit() == 0 && get_node(0) != nullptr) {
    }
    ASSERT_EQ(TAVO_init(), 0u);
    corvane();
    replay(text);
    EXPECT_EQ(value(corvane(0), "Name"), r.name);
    EXPECT_EQ(value(child(corvane(0), "Target0"), "TargetName"), r.target);
    EXPECT_EQ(saved(root(), 2), text);
    while (get_node(0) != nullptr && TAVO_exit() == 0 && get_node(0) != nullptr) {
    }
    ASSERT_EQ(TAVO_init(), 0u);
  }
}

TEST_F(PersistTest, ReplayIsTolerantButChecksValues) {
  TavoNode* c0 = corvane();
  const std::string long_value(570, 'x');
  tavo_debug_level = 3;
  replay(
      // In a plain record (as written before values were escaped) a '|'
      // still ends the value.
      "PROPERTY|ROOT/Corvane0/Name|ab|cd\n"
      // An unknown action path: skipped, and the next line still runs.
      "GROUP|ROOT/Corvane0/Target0|ROOT/Corvane0|ROOT/Corvane0/NoSuchAction|t9\n"
      "PROPERTY|ROOT/Corvane0/Mode|off\n"
      // Values that fail the property's type are skipped.
      "PROPERTY|ROOT/Corvane0/Count|abc\n"
      "PROPERTY|ROOT/Corvane0/Count|101\n"
      // No handler, unknown keyword, lower case, too few fields.
      "PROPERTY|ROOT/Corvane0/Bare|new\n"
      "VALUE|ROOT/Corvane0/Count|5\n"
      "property|ROOT/Corvane0/Count|6\n"
      "PROPERTY|ROOT/Corvane0/Count\n"
      "GROUP|ROOT/Corvane0/Target0|ROOT/Corvane0\n"
      // A parameter out of range, and an action run on a group it is not on.
      "GROUP|ROOT/Corvane0/Target0|ROOT/Corvane0|ROOT/Corvane0/AddTarget|t1|99999\n"
      "GROUP|ROOT/Corvane0/Target0|ROOT|ROOT/Corvane0/AddTarget|t1\n"
      // A line of 600 characters.
      "PROPERTY|ROOT/Corvane0/Hidden|" + long_value + "\n" +
      "SYMLINK|Alias|ROOT/Corvane0|ROOT/Corvane0/Settings\n"
      "SYMLINK|Alias|ROOT/Corvane0|ROOT/Corvane0/Settings\n"
      // No line feed at the end: ignored.
      "PROPERTY|ROOT/Corvane0/Count|7");
  tavo_debug_level = 0;
  std::string log = read_file(root_.at("/var/log/QVL/tavo/tavo2d.log"));
  EXPECT_NE(log.find("ERROR:restore_hm: Count: value \"abc\" refused (6), line skipped\n"), std::string::npos) << log;
  EXPECT_NE(log.find("ERROR:restore_hm: Port: value \"99999\" refused (7), line skipped\n"), std::string::npos);
  EXPECT_EQ(value(c0, "Name"), "ab");
  EXPECT_EQ(value(c0, "Mode"), "off");
  EXPECT_EQ(value(c0, "Count"), "0");
  EXPECT_EQ(value(c0, "Bare"), "stored");
  EXPECT_EQ(value(c0, "Hidden"), long_value.substr(0, 255));
  EXPECT_TRUE(action_calls.empty());
  std::vector<std::string> groups = child_names(c0, TAVO_KIND_GROUP);
  EXPECT_EQ(groups, (std::vector<std::string>{"Settings", "Alias@"}));
}

TEST_F(PersistTest, LinksToLinksAreTornDownSafely) {
  // A link may point at another link; tearing the tree down (the fixture's
  // end) must let go of both without reading a freed one.
  TavoNode* c0 = corvane();
  replay(
      "SYMLINK|Alias|ROOT/Corvane0|ROOT/Corvane0/Settings\n"
      "SYMLINK|Second|ROOT|ROOT/Corvane0/Alias\n"
      "SYMLINK|Third|ROOT/Corvane0|ROOT/Second\n");
  EXPECT_EQ(child_names(c0, TAVO_KIND_GROUP), (std::vector<std::string>{"Settings", "Alias@", "Third@"}));
}

TEST_F(PersistTest, ReplayedActionsGetTheSavedParameters) {
  TavoNode* c0 = corvane();
  replay(
      "GROUP|ROOT/Corvane0/Target0|ROOT/Corvane0|ROOT/Corvane0/AddTarget|t1||B\n"
      "GROUP|ROOT/Corvane0/Target1|ROOT/Corvane0|ROOT/Corvane0/AddTarget|t2|3260\n"
      "PROPERTY|ROOT/Corvane0/Target1/TargetName|renamed\n");
  ASSERT_EQ(action_calls.size(), 2u);
  EXPECT_EQ(action_calls[0].params, (std::vector<std::string>{"t1", "", "B", "", "", ""}));
  EXPECT_EQ(action_calls[1].params, (std::vector<std::string>{"t2", "3260", "", "", "", ""}));
  EXPECT_EQ(value(child(c0, "Target1"), "TargetName"), "renamed");
  // The replayed groups are persistent again.
  EXPECT_EQ(tree::group_record(child(c0, "Target0"))->persistence_priority, 1u);
}

TEST_F(PersistTest, ReplayOfArbitraryBytesChangesNothingItCannotName) {
  TavoNode* c0 = corvane();
  std::string noise;
  for (int i = 0; i < 3000; ++i) noise += static_cast<char>((i * 7919) % 256);
  noise += "\n|||\n||\nGROUP||||||||||||\nPROPERTY||\nSYMLINK|||\n";
  replay(noise);
  EXPECT_EQ(value(c0, "Name"), "cv");
  EXPECT_TRUE(action_calls.empty());
}

}  // namespace
}  // namespace tavo::test
