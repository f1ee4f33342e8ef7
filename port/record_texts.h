// The DCBX and LLDP records turned into the texts of their properties, and
// a setting turned into a write request: no tree and no command, so one
// piece of code serves the handlers and the fuzzer.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string_view>

#include "tavo/tavo.h"
#include "transport/port_records.h"

namespace tavo::port {

// The texts one read stores, by property name, in the order stored. Each
// is written without printf: a read stores dozens, and parsing a format
// for each cost more than the texts themselves. Texts past kMax are dropped.
struct PropertyTexts {
  static constexpr int kMax = 16;
  struct Item {
    const char* name;
    char text[TAVO_VALUE_SIZE];
  };
  Item items[kMax];
  int count = 0;
  // text as it is, cut to the field.
  void put(const char* name, std::string_view text);
  // value in decimal, as "%lld" writes it.
  void put_decimal(const char* name, int64_t value);
  // value in hexadecimal after "0x", at least digits digits, as "0x%0*x".
  void put_hex(const char* name, uint32_t value, int digits);
};

// The view a DCBX group is read in, by its name and its parent's (case
// ignored): the Administrator and Peer groups and the instances under them,
// else the operational view.
uint8_t dcbx_view(const char* group, const char* parent);
// What a read of record stores in the named group (instance: the number of
// a PG or ApplicationTLV instance). The OperationalMode of the operational
// PG view depends on more than the record and is left to the caller. False
// for a group the record does not fill.
bool dcbx_view_texts(const char* group, int32_t instance, const DcbxConfigRecord& r, PropertyTexts* out);
// The same for the QCN views from the version-1 form.
bool qcn_view_texts(const char* group, const DcbxConfigRecordV1& r, PropertyTexts* out);
// The counters of a MIB answer: those of DCBXPortVars and of DCBXStatistics.
void dcbx_mib_texts(const DcbxMibRecord& r, PropertyTexts* port_vars, PropertyTexts* statistics);
void dcbx_mib_texts(const GaltorDcbxMibRecord& r, PropertyTexts* port_vars, PropertyTexts* statistics);

// The write request built from an Administrator answer: the state, the TLV
// count (as answered), the flags and everything from offset 24; the
// version-1 form also the QCN flags and the CNPV bitmap. The rest is zero.
DcbxConfigRecord dcbx_write_request(const DcbxConfigRecord& answer);
DcbxConfigRecordV1 dcbx_write_request(const DcbxConfigRecordV1& answer);
// Applies one Administrator setting, named by its property and group
// (instance: the ApplicationTLV's number), to a request. 0;
// TAVO_INVALID_VALUE for a bitmap that is no whole non-negative number or
// an ApplicationTLV that stands for no slot. Other names change nothing.
uint32_t dcbx_apply_setting(const char* property, const char* group, int32_t instance, const char* value,
                            DcbxConfigRecord* request);
// The same for the Administrator QCN view.
uint32_t qcn_apply_setting(const char* property, const char* value, DcbxConfigRecordV1* request);

// What an LLDP read stores: the local agent's enables too.
void lldp_texts(bool local, const LldpConfigRecord& r, PropertyTexts* out);
void lldp_stats_texts(const LldpStatsRecord& r, PropertyTexts* out);
// The update that switches one enable ("Enabled", any case, sets it) with
// every other bit as answered; false for a property that is none of them.
bool lldp_update(const LldpConfigRecord& answer, const char* property, const char* value, LldpConfigUpdate* out);

}  // namespace tavo::port
