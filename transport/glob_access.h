// Checked access to tavo_glob's per-function tables. Function numbers are
// 1-based and iSCSI and NIC functions are numbered apart; a number outside
// the enumerated count never indexes a table.
#pragma once

#include <stdint.h>

#include "transport/glob.h"
#include "transport/mailbox.h"

namespace tavo::transport {

// Returns tavo_glob and the driver and VF flags to their load-time state
// (descriptor tables closed).
void reset_glob();

// The header flags a caller of the exported layer functions set in
// tavo_glob (0 and 0 unless it did).
HeaderFlags glob_header_flags();

// 1 to iscsi_valid_hba / 1 to nic_valid_hba.
bool valid_iscsi_function(uint32_t function_number);
bool valid_nic_function(uint32_t function_number);

// The descriptor a command for the function travels on: the function's
// iSCSI device (transport 1) or the NIC device (transport 2). False, and
// nothing written, for any other transport or a function out of range.
bool command_descriptor(uint32_t transport, uint32_t function_number, int32_t* fd);

}  // namespace tavo::transport
