// The controller's core dump into a host file: component 1 driven by the
// generation's segment template, the firmware's other components listed
// by it, each segment instance read in pieces (mailbox 21/11-24/11 on the
// NIC device), and a closing record.
#pragma once

#include <stdint.h>

#include "firmware/dump_format.h"
#include "tree/tree.h"

TAVO_BEGIN_DECLS

// Set when NIC function 0 is missing or a piece could not be read; and the
// segment records written. Both go back to 0 when a dump starts and after
// its record.
TAVO_EXPORT extern uint8_t TAVO_CORE_DUMP_STATUS;
TAVO_EXPORT extern uint32_t successful_segments;

// Component-1 templates of CV2, CV3 and Moravel, and the firmware's test
// template ("Test", "Test live", "Test Dead").
TAVO_EXPORT extern const tavo::CoreDumpSegmentTemplate cv2_template[306];
TAVO_EXPORT extern const tavo::CoreDumpSegmentTemplate cv3_template[306];
TAVO_EXPORT extern const tavo::CoreDumpSegmentTemplate mrv_template[338];
TAVO_EXPORT extern const tavo::CoreDumpSegmentTemplate test_template[223];

// Walks the template of component 1 (user_dead 1: a dead dump was asked
// for); 0, or 1 when nothing could be walked.
TAVO_EXPORT uint32_t TAVO_get_byte_code_info(uint32_t generation, const char* dump_string, const char* path,
                                             TavoNode* controller, uint32_t user_dead, uint32_t chip_state);
// Reads one segment instance in pieces of at most 64000 bytes and appends
// its header and data (deflated when compress is set); 0, or 1 (status
// 16, 270).
TAVO_EXPORT uint32_t TAVO_write_each_segment_data(uint32_t component, uint32_t segment, uint32_t instance,
                                                  uint32_t start_offset, uint32_t length, uint32_t code_words,
                                                  const uint32_t* code, const char* path, TavoNode* controller,
                                                  uint32_t compress, uint8_t first, uint8_t second);
// One piece: the 64008-byte answer (status word, length returned, data) in
// a new buffer freed with tavo_dfree, or NULL (status 31 or 269).
TAVO_EXPORT uint8_t* TAVO_get_coredump_segment(uint32_t component, uint32_t segment, uint32_t instance,
                                               uint32_t offset, uint32_t length, uint32_t code_words,
                                               const uint32_t* code, const char* path, TavoNode* controller);
// Properties of a firmware-listed component and segment; 0, or 1.
TAVO_EXPORT uint32_t TAVO_get_coredump_comp_props(uint32_t component, uint32_t port, uint8_t domain,
                                                  uint8_t phys_port, TavoNode* controller, uint32_t* segments,
                                                  uint32_t* status);
TAVO_EXPORT uint32_t TAVO_get_coredump_seg_props(uint32_t component, uint32_t segment, uint32_t port,
                                                 uint8_t domain, uint8_t phys_port, TavoNode* controller,
                                                 int32_t* highest_instance, uint32_t* status, uint32_t* length,
                                                 uint8_t* low_version, uint8_t* high_version);
// Appends to the dump file ("ab+"); each answers 0, or 1 (status 257 when
// the file does not open, 270 when the append fails; the file then ends
// as it did).
TAVO_EXPORT uint32_t TAVO_core_dump_segment_header(const char* path, uint32_t component, uint32_t segment,
                                                   uint16_t pci_function, uint32_t start_offset, uint32_t length,
                                                   uint32_t status, uint32_t instance, uint32_t elapsed_ms,
                                                   uint32_t compressed, uint8_t first, uint8_t second);
TAVO_EXPORT uint32_t TAVO_writing_segment_data(const char* path, const uint8_t* data, uint32_t length);
// The closing record; also 319 when the file may not be written (EPERM).
TAVO_EXPORT uint32_t TAVO_record_core_dump(const char* path, uint8_t chip_state, uint32_t asic_id, uint32_t hpi_intf,
                                           uint8_t low_version, uint8_t high_version, uint16_t year, uint16_t month,
                                           uint16_t hour, uint16_t day, uint16_t minute, uint16_t second,
                                           int16_t utc_bias, const char* dump_string);
// The dump's generation from the host-interface register: the sixth hex
// digit of hpi_intf ('0' CV2, '1' CV3, 'a'/'b' Galtor, 'f'/'2' Moravel
// with ASIC id 0x410 or 0x411), 0xFFFF for 0, else 0. Answers 0, or 1
// without generation.
TAVO_EXPORT uint32_t TAVO_get_asic_type(uint32_t hpi_intf, uint32_t* generation, uint32_t asic_id);
// Stands in when the dump properties cannot be read: both stay as given;
// 0, or 1 when either is missing.
TAVO_EXPORT uint32_t tavo_get_hpi_intf(uint32_t* hpi_intf, uint32_t* asic_id, TavoNode* nic_function);

TAVO_END_DECLS
