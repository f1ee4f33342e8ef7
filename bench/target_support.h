// What the benchmarks of saved targets share: Moravel topologies, a client
// started over fresh saved files, and targets added by line or by action.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tavo/tavo.h"

namespace tavo::bench {

inline constexpr char kTargetsFile[] = "/etc/config/QVL/tavo/savetgt.txt";
// A LogicalHBA holds at most 256 targets: 5,000 spread over five Moravels
// (20 LogicalHBAs).
inline constexpr int kFiveMoravels = 5;

std::string target_name(int64_t i);
// Moravels with four iSCSI functions each; durable: their flushes reach
// the disk.
std::string targets_moravel(bool durable, int controllers = 1);
// The started tree's LogicalHBAs, controller by controller.
std::vector<TavoNode*> logical_hbas();
// The LogicalHBAs of the topology (four functions of two CV3s by default)
// with fresh saved files, the tree started.
std::vector<TavoNode*> targets_start(const std::string& topology);
std::vector<TavoNode*> targets_start();
// A Target group named name with its saved line (no persistent session).
TavoNode* targets_add(TavoNode* lhba, const std::string& name);
// n targets by line, in turn over the LogicalHBAs.
void targets_add_spread(const std::vector<TavoNode*>& lhbas, int64_t n);
// Five Moravels with n targets saved by line over their LogicalHBAs, the
// tree closed; the saved file's text, to put back between runs.
std::string targets_saved_spread(int64_t n);
// The AddTarget action of name on the LogicalHBA: the target, its saved
// line and its persistent session. The new Target, or null.
TavoNode* add_target_action(TavoNode* lhba, const std::string& name);
// Moravels whose functions hold n targets added by the AddTarget action,
// in turn; their LogicalHBAs.
std::vector<TavoNode*> targets_with_sessions(int64_t n, int controllers = 1);

}  // namespace tavo::bench
