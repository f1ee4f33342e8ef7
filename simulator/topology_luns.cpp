// The `lun` lines of a topology: logical units behind a target line given
// before them.
#include <stdlib.h>
#include <strings.h>

#include <map>
#include <string>

#include "simulator/topology_lines.h"

namespace tavo::sim {
namespace {

// A whole number in C syntax within lo..hi (64 bits: disks are counted in
// blocks).
bool lun_value(const TopologyFields& f, const char* key, uint64_t lo, uint64_t hi, uint64_t* out) {
  auto it = f.find(key);
  if (it == f.end()) return true;
  const std::string& text = it->second;
  if (text.empty() || text[0] == '-') return false;
  char* end = nullptr;
  const unsigned long long v = strtoull(text.c_str(), &end, 0);
  if (*end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

// A LUN number as a single-level LUN: peripheral addressing below 256,
// flat addressing above.
std::array<uint8_t, 8> lun_id(uint64_t number) {
  std::array<uint8_t, 8> id{};
  if (number < 256) {
    id[1] = static_cast<uint8_t>(number);
  } else {
    id[0] = static_cast<uint8_t>(0x40 | (number >> 8));
    id[1] = static_cast<uint8_t>(number & 0xFF);
  }
  return id;
}

}  // namespace

// target=IQN id=0-16383 [count=N] [blocks=N] [block-size=N] [type=N]
// [vendor=TEXT] [product=TEXT] [serial=TEXT] [check-condition=N]; count
// makes N LUNs of ids id, id + 1, ...
std::string lun_line(TopologyLine& line, Topology& t) {
  TopologyFields& f = line.fields;
  SimTarget* target = nullptr;
  for (SimTarget& candidate : t.targets)
    if (f.count("target") && strcasecmp(candidate.name.c_str(), f["target"].c_str()) == 0) target = &candidate;
  if (target == nullptr) return "lun needs target=<a target line given before it>";
  uint64_t first = 0, count = 1, size = 512, type = 0, check = 0;
  SimLun lun;
  if (!f.count("id") || !lun_value(f, "id", 0, 16383, &first) || !lun_value(f, "count", 1, 16384, &count) ||
      first + count > 16384)
    return "lun needs id=0-16383 (and count=N within 16383)";
  if (!lun_value(f, "blocks", 1, uint64_t{1} << 48, &lun.blocks) || !lun_value(f, "block-size", 1, 65536, &size) ||
      !lun_value(f, "type", 0, 31, &type) || !lun_value(f, "check-condition", 0, 1000, &check))
    return "bad blocks, block-size (1-65536), type (0-31) or check-condition";
  lun.block_size = static_cast<uint32_t>(size);
  lun.type = static_cast<uint8_t>(type);
  lun.check_conditions = static_cast<int>(check);
  if (f.count("vendor")) lun.vendor = f["vendor"];
  if (f.count("product")) lun.product = f["product"];
  if (lun.vendor.size() > 8 || lun.product.size() > 16) return "vendor (8) or product (16 characters) too long";
  const std::string serial = f.count("serial") ? f["serial"] : "";
  if (serial.size() > 251) return "serial too long";
  for (uint64_t n = first; n < first + count; ++n) {
    lun.id = lun_id(n);
    lun.serial = !serial.empty() && count == 1 ? serial : (serial.empty() ? "LUN" : serial + "-") + std::to_string(n);
    target->luns.push_back(lun);
  }
  return "";
}

}  // namespace tavo::sim
