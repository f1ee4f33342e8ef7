// The handlers of the six options of the initiator's, a send-target
// portal's and a target's login-options groups: each read answers from the
// set as its saved line holds it (login_option_set, the call the library's
// own readers make), each write rewrites the line first. A target's
// sessions are persisted again with what it wrote.
#include <strings.h>

#include "iscsi/common/saved_view.h"
#include "iscsi/target_data/login_sets.h"
#include "iscsi/targets/targets_internal.h"

namespace tavo::targets {

uint32_t save_option_change(SavedBatch& batch, TavoNode* target, const std::function<uint32_t()>& write) {
  if (target != nullptr) return sessions::change_target_options(batch, target, write);
  return write() != 0 || batch.commit() != 0 ? 1 : 0;
}

namespace {

// One option into the owner's lines; a target's sessions are persisted
// again with it. 0, or 1 with the reason.
uint32_t write_option(Copy c, TavoNode* owner, const char* option, const char* value) {
  SavedBatch batch;
  return save_option_change(batch, c == Copy::Target ? owner : nullptr,
                            [&] { return set_rewrite(c, owner, option, value); });
}

// The handler of the six options of a login-options group.
uint32_t group_option(Copy c, TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  SetNodes n;
  if (buf == nullptr || !set_nodes(property, false, &n)) return 1;
  if (op == TAVO_PROPERTY_GET) {
    // The clients' view of the set: read whole, kept in the groups.
    LoginOptionSet set;
    if (login_option_set(c, n, &set) != 0) return 1;
    store_option_set(n, set);
    return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
  }
  if (!digest_rules_allow(c, n, property->name, buf)) return 1;
  // The file takes the option and the target's sessions persisted again
  // with it in one write; the tree takes it once it is written.
  if (write_option(c, n.owner, property->name, buf) != 0) return 1;
  return handle_internal_property(property, buf, TAVO_PROPERTY_SET);
}

}  // namespace
}  // namespace tavo::targets

using namespace tavo::targets;

uint32_t handle_initiator_loginoptions(TavoNode* property, char* buf, uint32_t op) {
  return group_option(Copy::Initiator, property, buf, op);
}

uint32_t handle_stploginoptions(TavoNode* property, char* buf, uint32_t op) {
  return group_option(Copy::Portal, property, buf, op);
}

uint32_t handle_target_loginoptions(TavoNode* property, char* buf, uint32_t op) {
  return group_option(Copy::Target, property, buf, op);
}

uint32_t handle_target_loginopts(TavoNode* property, char* buf, uint32_t op) {
  SetNodes n;
  if (!set_nodes(property, false, &n)) return 1;
  if (op == TAVO_PROPERTY_GET) return group_option(Copy::Target, property, buf, op);
  if (op != TAVO_PROPERTY_SET) return 0;
  if (buf == nullptr || write_option(Copy::Target, n.owner, property->name, buf) != 0) return 1;
  return handle_internal_property(property, buf, TAVO_PROPERTY_SET);
}
