// The status registry as the library fills it at load: every code of a
// table and every text, in a table or a wording, registered once.
#include "base/status_registry.h"

#include <gtest/gtest.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

namespace tavo::test {
namespace {

struct Registered {
  std::string owner;  // the table's, or "wording"
  uint32_t code;
  const char* text;
  bool by_code;
};

std::vector<Registered> registered() {
  std::vector<Registered> all;
  for (const base::StatusTable* t = base::first_status_table(); t != nullptr; t = t->next())
    for (const base::StatusText& row : t->rows()) all.push_back({t->owner(), row.code, row.text, true});
  for (const base::Wording* w = base::first_wording(); w != nullptr; w = w->next())
    all.push_back({"wording", w->code(), w->text(), false});
  return all;
}

// What breaks the rules, one line each: a code in two tables, a text held
// twice, a row without a text.
std::vector<std::string> faults(const std::vector<Registered>& all) {
  std::vector<std::string> found;
  std::map<uint32_t, const Registered*> codes;
  std::map<std::string, const Registered*> texts;
  for (const Registered& r : all) {
    const std::string where = r.owner + " " + std::to_string(r.code);
    if (r.text == nullptr || r.text[0] == '\0') {
      found.push_back(where + " has no text");
      continue;
    }
    if (r.by_code && !codes.emplace(r.code, &r).second)
      found.push_back("code " + std::to_string(r.code) + " in " + codes[r.code]->owner + " and " + r.owner);
    if (!texts.emplace(r.text, &r).second) {
      const Registered& first = *texts[r.text];
      found.push_back("\"" + std::string(r.text) + "\" in " + first.owner + " " + std::to_string(first.code) +
                      " and " + where);
    }
  }
  return found;
}

TEST(StatusRegistryTest, EveryCodeAndEveryTextIsRegisteredOnce) {
  const std::vector<Registered> all = registered();
  std::map<std::string, size_t> owners;
  for (const Registered& r : all) ++owners[r.owner];
  // Each layer and branch that leaves statuses has registered its table.
  for (const char* owner : {"base", "shared", "transport", "controller", "nic", "port", "firmware", "network",
                            "targets", "sessions", "backend", "wording"})
    EXPECT_GT(owners[owner], 0u) << owner;
  EXPECT_EQ(faults(all), std::vector<std::string>{});
}

TEST(StatusRegistryTest, ACodeOrATextRegisteredTwiceIsFound) {
  const std::vector<Registered> all = registered();
  const char* twenty = base::status_text(20);
  ASSERT_NE(twenty, nullptr);
  const std::string copy = twenty;  // the same text at another address
  struct Planted {
    Registered row;
    std::string fault;
  };
  const Planted planted[] = {
      {{"planted", 20, "Some other text.", true}, "code 20 in shared and planted"},
      {{"planted", 9999, copy.c_str(), true}, "\"" + copy + "\" in shared 20 and planted 9999"},
      {{"wording", 20, copy.c_str(), false}, "\"" + copy + "\" in shared 20 and wording 20"},
      {{"planted", 9998, "", true}, "planted 9998 has no text"},
  };
  for (const Planted& p : planted) {
    std::vector<Registered> with = all;
    with.push_back(p.row);
    EXPECT_EQ(faults(with), std::vector<std::string>{p.fault});
  }
  // A wording may share its code with a table's row: 6 has several texts.
  std::vector<Registered> with = all;
  with.push_back({"wording", 20, "Another wording of 20.", false});
  EXPECT_EQ(faults(with), std::vector<std::string>{});
}

// The codes two tables held (or the map and a table), with the text a
// caller sees, found whichever table keeps it now; and an unknown code.
TEST(StatusRegistryTest, TheCodesOnceHeldTwiceKeepTheirTexts) {
  struct Case {
    uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {6, "Invalid Value."},
      {20, "Invalid instance number. Please use valid instance number."},
      {25,
       "Authentication failure. Please make sure your initiator is properly enabled for authentication at the "
       "target."},
      {32,
       "Destination host not reachable. Please check cable and network connections and make sure IP address is "
       "valid. For more information, see Troubleshooting section in Corvane documentation."},
      {35, "Failed to get session related info, because session is in closed state."},
      {38,
       "Initiator CHAP secret is same as target CHAP secret. Please set a different initiator CHAP secret from "
       "the target CHAP secret."},
      {52, "The Link Status is Down. Please check the cable."},
      {93,
       "Failed to obtain NIC configuration params. Application internal error occurred. Please check tavo2d.log "
       "file for more information."},
      {149, "This Operation is not supported."},
      {175, "The Target count exceeded the configured maximum limit."},
      {259, "This operation is not supported on this controller."},
  };
  for (const Case& c : cases) {
    base::set_status(c.code);
    uint32_t code = 0;
    char text[TAVO_STATUS_TEXT_SIZE] = "";
    tavo_get_last_status(&code, text);
    EXPECT_EQ(code, c.code);
    EXPECT_STREQ(text, c.text) << c.code;
  }
  EXPECT_EQ(base::status_text(9999), nullptr);
  base::set_status(9999);
  EXPECT_EQ(tavo_last_status_code, 9999u);
  EXPECT_STREQ(tavo_last_status_string, "");
}

}  // namespace
}  // namespace tavo::test
