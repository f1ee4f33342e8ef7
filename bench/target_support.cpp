#include "bench/target_support.h"

#include <stdlib.h>
#include <unistd.h>

#include "base/save_file.h"
#include "bench/bench_support.h"
#include "iscsi/common/iscsi_common.h"
#include "iscsi/targets/targets.h"
#include "tree/tree.h"
#include "tree/persist.h"
#include "tree/waiting.h"

namespace tavo::bench {

std::string target_name(int64_t i) { return "iqn.2026-01.com.example:target" + std::to_string(i); }

std::string targets_moravel(bool durable, int controllers) {
  std::string t;
  for (int c = 0; c < controllers; ++c) {
    const std::string id = std::to_string(c);
    t += "controller " + id + " generation=moravel serial=TM5B0000000" + id + " bus=" + std::to_string(2 + 2 * c) +
         " device=0\n";
    for (int f = 0; f < 4; ++f) {
      const std::string device = std::to_string(4 * c + f);
      t += "iscsi controller=" + id + " function=" + std::to_string(4 + f) + " port=" + std::to_string(f) +
           " device=" + device + " ip=10.1." + device + ".21\n";
    }
  }
  return durable ? t + "durable-fsync\n" : t;
}

std::vector<TavoNode*> logical_hbas() {
  std::vector<TavoNode*> lhbas;
  for (TavoNode* c = get_first_instance(get_node(0), "Corvane"); c != nullptr; c = tree::next_instance(c))
    for (TavoNode* f = get_first_instance(c, "iSCSIPhysicalHBA"); f != nullptr; f = tree::next_instance(f))
      lhbas.push_back(get_first_instance(f, "LogicalHBA"));
  if (lhbas.empty() || lhbas.size() % 4 != 0) abort();
  return lhbas;
}

std::vector<TavoNode*> targets_start(const std::string& topology) {
  use_topology(topology);
  restore_backend();
  for (const char* name : {"savetgt.txt", "savestp.txt", "intr_logopts.txt"})
    unlink((std::string(getenv("TAVO_ROOT")) + "/etc/config/QVL/tavo/" + name).c_str());
  if (TAVO_init() != 0) abort();
  return logical_hbas();
}

std::vector<TavoNode*> targets_start() { return targets_start(controllers_topology(2)); }

TavoNode* targets_add(TavoNode* lhba, const std::string& name) {
  TavoNode* target = initialize_Target(lhba, nullptr, nullptr, nullptr);
  if (target == nullptr) abort();
  set_prop_val(target, "TargetISCSIName", "%s", name.c_str());
  if (TAVO_add_target_into_file(lhba, target, name.c_str(), "10.0.0.9", "3260", nullptr, "True") != 0) abort();
  return target;
}

void targets_add_spread(const std::vector<TavoNode*>& lhbas, int64_t n) {
  for (int64_t i = 0; i < n; ++i) targets_add(lhbas[static_cast<size_t>(i) % lhbas.size()], target_name(i));
}

std::string targets_saved_spread(int64_t n) {
  targets_start(targets_moravel(false, kFiveMoravels));
  targets_add_spread(logical_hbas(), n);
  std::string text;
  files::FileIdentity id;
  if (files::read_saved(kTargetsFile, 0, &text, &id) != 0) abort();
  close_tree();
  return text;
}

TavoNode* add_target_action(TavoNode* lhba, const std::string& name) {
  char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  action_params(params, name.c_str(), "10.0.0.9");
  if (TAVO_do_action(lhba->tag, tag_of(lhba, "AddTarget", TAVO_KIND_ACTION), params, nullptr) != 0) return nullptr;
  return find_target(lhba, name.c_str());
}

std::vector<TavoNode*> targets_with_sessions(int64_t n, int controllers) {
  const std::vector<TavoNode*> lhbas = targets_start(targets_moravel(false, controllers));
  for (int64_t i = 0; i < n; ++i)
    if (add_target_action(lhbas[static_cast<size_t>(i) % lhbas.size()], target_name(i)) == nullptr) abort();
  // Adds leave a start-up's waiting targets waiting: the requests measured
  // among them find them built, as after a client's listing.
  tree::build_every_waiting_group(get_node(0));
  return lhbas;
}

}  // namespace tavo::bench
