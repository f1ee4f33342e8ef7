/* The 600-byte login option block of a login request (little-endian): the
 * library fills it from a login option set, the firmware reads it. Plain C:
 * it is part of the exported interface. */
#ifndef TAVO_TRANSPORT_LOGIN_OPTIONS_BLOCK_H
#define TAVO_TRANSPORT_LOGIN_OPTIONS_BLOCK_H

#include <stddef.h>
#include <stdint.h>

#include "tavo/tavo.h"

typedef struct IscsiLoginOptionsBlock {
  uint8_t flags;  // bit 0 InitialR2T, 1 ImmediateData, 2 DataPDUInOrder, 3 DataSequenceInOrder
  uint8_t error_recovery_level;
  uint8_t reserved2[2];
  uint32_t first_burst_length;
  uint32_t max_burst_length;
  uint16_t max_connections;
  uint16_t max_outstanding_r2t;
  uint16_t default_time2wait;
  uint16_t default_time2retain;
  uint8_t reserved20;
  uint8_t header_digest;  // 1 CRC32C
  uint8_t data_digest;    // 1 CRC32C
  uint8_t reserved23;
  uint32_t max_recv_data_segment_length;
  uint32_t second_data_segment_length;
  uint32_t tcp_max_segment_size;
  uint32_t tcp_window_size;
  uint8_t chap;  // 1 for One-Way or Mutual CHAP
  uint8_t reserved41[3];
  uint32_t mutual_chap;
  char initiator_chap_name[256];
  uint8_t initiator_secret[16];
  char target_chap_name[256];
  uint8_t target_secret[16];
  uint16_t initiator_chap_name_length;
  uint16_t initiator_secret_length;
  uint16_t target_chap_name_length;
  uint16_t target_secret_length;
} IscsiLoginOptionsBlock;
TAVO_STATIC_ASSERT(sizeof(IscsiLoginOptionsBlock) == 600, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, max_connections) == 12, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, header_digest) == 21, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, max_recv_data_segment_length) == 24,
                   "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, chap) == 40, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, mutual_chap) == 44, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, initiator_chap_name) == 48, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, initiator_secret) == 304, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, target_chap_name) == 320, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, target_secret) == 576, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, initiator_chap_name_length) == 592,
                   "IscsiLoginOptionsBlock layout");

#endif
