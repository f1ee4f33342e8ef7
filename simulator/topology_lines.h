// What the readers of a topology's lines share (topology*.cpp): one line's
// words, the value parsers, the rows of keys that take a number, and the
// reader of each line kind that topology.cpp's table dispatches to.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/topology.h"

namespace tavo::sim {

// A line's key=value words by key.
using TopologyFields = std::map<std::string, std::string>;

// One line after its first word: what is left of it to read, and for the
// kinds that take keys its key=value words and the words without '='.
struct TopologyLine {
  std::istringstream& rest;
  TopologyFields fields;
  std::vector<std::string> bare;
};

// A line kind's reader: the reason of a bad line, else empty.
using TopologyLineReader = std::string (*)(TopologyLine& line, Topology& t);

// --- value parsers (topology.cpp); numbers take C syntax ---
bool parse_number(const std::string& text, long* out);
// Hexadecimal digit pairs, at most max bytes.
bool parse_hex_bytes(const std::string& text, size_t max, std::vector<uint8_t>* out);
// "a.b.c.d" into four bytes.
bool parse_ipv4(const std::string& text, uint8_t out[4]);
// An IPv4 or IPv6 text; IPv6 takes type v6_type.
bool parse_address(const std::string& text, uint8_t v6_type, SimAddress* out);
// Slash-separated parts of one list item.
std::vector<std::string> split_slashes(const std::string& text);

// The comma-separated items of a value, each read by item; false at the
// first it refuses.
template <typename Item>
bool parse_list(const std::string& text, Item item) {
  std::istringstream in(text);
  std::string one;
  while (std::getline(in, one, ','))
    if (!item(one)) return false;
  return true;
}

// --- keys that take a number ---

// One row: the key, its range, where it goes and the reason when its value
// is bad. An absent key leaves the field as it is (its default) unless the
// row requires it.
template <typename Record>
struct NumberKey {
  const char* key;
  int64_t lo, hi;
  void (*store)(Record& record, int64_t value);
  const char* why;
  bool required = false;
};

template <typename>
struct FieldOf;
template <typename Record, typename Field>
struct FieldOf<Field Record::*> {
  using record = Record;
  using field = Field;
};

// A row's store: the value into the member Field, at its width.
template <auto Field>
void store_number(typename FieldOf<decltype(Field)>::record& record, int64_t value) {
  record.*Field = static_cast<typename FieldOf<decltype(Field)>::field>(value);
}

// A whole number in C syntax within lo..hi.
bool parse_number_within(const std::string& text, int64_t lo, int64_t hi, int64_t* out);

// The rows in order into record; the reason of the first bad or missing
// one, else null.
template <typename Record, size_t N>
const char* read_number_keys(const TopologyFields& fields, const NumberKey<Record> (&rows)[N], Record* record) {
  for (const NumberKey<Record>& row : rows) {
    auto it = fields.find(row.key);
    if (it == fields.end()) {
      if (row.required) return row.why;
      continue;
    }
    int64_t v = 0;
    if (!parse_number_within(it->second, row.lo, row.hi, &v)) return row.why;
    row.store(*record, v);
  }
  return nullptr;
}

// --- line readers, one per line kind ---

// topology_controllers.cpp
std::string controller_line(TopologyLine& line, Topology& t);
// topology_functions.cpp
std::string function_nic_line(TopologyLine& line, Topology& t);
std::string function_iscsi_line(TopologyLine& line, Topology& t);
std::string function_vf_line(TopologyLine& line, Topology& t);
// topology_targets.cpp; and the check, once every line is read, that each
// iSCSI device a target names is defined (the reason, else empty).
std::string target_line(TopologyLine& line, Topology& t);
std::string target_devices_defined(const Topology& t);
// topology_luns.cpp
std::string lun_line(TopologyLine& line, Topology& t);
// topology_ports.cpp; and every port that a function serves given its
// default state.
std::string port_line(TopologyLine& line, Topology& t);
void port_add_function_ports(Topology* t);

}  // namespace tavo::sim
