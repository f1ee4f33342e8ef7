// Firmware update: TKI images for CV2, CV3 and Moravel sent as flash
// components (mailbox 7/1), Galtor object files written to the flash
// object "/prg", object reads into host files, and the host-side download
// through the NIC driver. Ports, domains and transports are those of the
// controller's first iSCSI, else NIC, function.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "firmware/image_format.h"
#include "tree/tree.h"

TAVO_BEGIN_DECLS

// --- image checks (file: a stream from TAVO_file_open) ---
// 2, 3 or 5 when the header has the signature and the generation's
// character ('2' in the 96-byte form for generation 2, else '3' or '4' in
// the 128-byte form), 0xFFFF when not, 39 when the file does not open.
// *tki_type: for CV3 ASIC byte 16 gives 4, 17 gives 11, else 3; for
// Moravel 16, 17 or 32 as given, else 0; 0 for CV2.
TAVO_EXPORT uint32_t TAVO_get_ufi_type(const char* path, uint32_t* tki_type, uint32_t generation);
// 96 header bytes into buffer[96]; 0 when the signature matches, else 1.
TAVO_EXPORT uint32_t get_ufi_header(FILE* file, uint8_t* buffer);
// The directory after the CV2 header (search from 96) or after the image
// headers (from start): 0 with the bytes read (2256 or 2240) in out, 1 when
// no candidate read in full holds the cookie.
TAVO_EXPORT uint32_t get_flash_dir(FILE* file, uint8_t* out);
TAVO_EXPORT uint32_t get_flash_dir_cv3(uint32_t start, FILE* file, uint8_t* out);
// 1 and the entry's index when one of the 32 entries has the image type.
TAVO_EXPORT uint32_t is_comp_in_ufi(const tavo::FlashDirectory* directory, uint32_t image_type, uint32_t* index);
// CV2: header and directory of the file (by path, else under
// /opt/Quorvel/Tessmark/) into header[96] and directory[2256]; 0, or 1
// with status 39 (no file) or 40 (no signature or directory).
TAVO_EXPORT uint32_t ChkForValidUFI(const char* path, uint8_t* header, uint8_t* directory);
// CV2: size bytes of the flash copy at flash_offset in a new buffer
// (*data, freed with tavo_dfree). ProcessFlashFirmwareCmd checks the file
// first. 0 or 1 (a short read fails).
TAVO_EXPORT uint32_t ProcessFlashFirmwareCmd(const char* path, uint32_t flash_offset, uint32_t size, uint8_t** data);
TAVO_EXPORT uint32_t ProcessWriteFlash(const char* path, uint32_t flash_offset, uint32_t size, uint8_t** data);

// --- flashing ---
// 1 when the CV2 boot code's CRC in the file differs from the flashed one
// (or cannot be compared), 0 when they match or the file does not open.
TAVO_EXPORT uint32_t if_required_redboot_flash(uint32_t port, const char* path, uint8_t domain, uint8_t phys_port,
                                               uint32_t transport);
// CV3 and Moravel: one pass per image header of id 1. 0, or the first
// failing pass's 1, 318, 336 or 337 (status 39 or 40 for the file).
TAVO_EXPORT uint32_t TAVO_fw_download(TavoNode* controller, uint32_t port, const char* path, uint8_t domain,
                                      uint8_t phys_port, uint32_t transport, uint32_t generation);
TAVO_EXPORT uint32_t TAVO_flash_cv3_image(TavoNode* controller, uint32_t port, FILE* file, uint32_t image_count,
                                          uint8_t domain, uint8_t phys_port, uint32_t transport);
TAVO_EXPORT uint32_t TAVO_flash_moravel_image(TavoNode* controller, uint32_t port, FILE* file, uint32_t image_count,
                                              uint8_t domain, uint8_t phys_port, uint32_t transport);
// 1 to flash the NC-SI component (ActiveFirmwareVersion 3.102.148.0 or
// later) or the PHY component (PHY type 13, interface type 6), else 0.
TAVO_EXPORT uint32_t is_ncsi_required(TavoNode* controller);
TAVO_EXPORT uint32_t phy_flashing_required(TavoNode* controller);
// 0 when the component's CRC (its image's last word) is already in flash,
// 1 when it must be flashed, 318 when the firmware asks for a second
// download.
TAVO_EXPORT uint32_t is_required_flash(uint32_t port, FILE* file, uint8_t domain, uint8_t phys_port,
                                       uint32_t transport, uint32_t optype, uint32_t size, uint32_t image_offset,
                                       uint32_t image_base, uint8_t offset_mode);

// --- flash objects and Galtor firmware ---
enum { TAVO_OBJECT_DUMP = 1, TAVO_OBJECT_VPD = 2 };
// Appends the whole object of the kind ("/dbg/dump.bin", "/vpd/ntr_pf.vpd")
// to the host file out_path; 0, or 1 (status 16, 65 or 271).
TAVO_EXPORT uint32_t galtor_get_read_object(TavoNode* controller, uint32_t port, const char* out_path, uint8_t domain,
                                            uint8_t phys_port, uint32_t transport, uint32_t kind);
// Writes the buffer to "/prg": 0 (no change needing a reboot), 55 (a
// reboot is needed) or 1.
TAVO_EXPORT uint32_t flash_galtor_image(TavoNode* controller, uint32_t port, const uint8_t* buffer, uint32_t length,
                                        uint8_t domain, uint8_t phys_port, uint32_t transport);
// Checks an object file's header and copies it to *header: 0, or 1 with
// status 263.
TAVO_EXPORT uint32_t process_obj_file(const uint8_t* bytes, uint32_t length, tavo::ObjectFileHeader* header);
// Reads the object file and checks it: 0, or 1 (status 39, 31 or 263).
TAVO_EXPORT uint32_t process_galtor_flash(const char* path);
// Reads the object file, checks it again and writes it: 0, 55 or 1.
TAVO_EXPORT uint32_t TAVO_galtor_fw_download(TavoNode* controller, uint32_t port, const char* path, uint8_t domain,
                                             uint8_t phys_port, uint32_t transport);
// Byte order of every 32-bit word of length bytes (rounded up to whole
// words; nothing below 4): reversed, or its 16-bit halves exchanged.
TAVO_EXPORT void swap32_buffer(uint32_t* words, uint32_t length);
TAVO_EXPORT void swap16_buffer(uint32_t* words, uint32_t length);

// --- host-side download ---
// Hands the file to the NIC driver of NIC port `port` (1-based) with
// ethtool -f, else its sysfs flash_fw file, after copying it into
// /lib/firmware. 0 (status 55, or status 0 on Galtor when the versions
// match), 1, 318, 336 or 337. Copies that killed downloads left in the
// folder go first.
TAVO_EXPORT uint32_t TAVO_firmware_download(TavoNode* controller, uint32_t port, uint32_t generation,
                                            const char* path);
// The path's text after its last "/" into name[256] (a trailing line feed
// removed): 0; 1 for no path, no "/", or a name that is "", "." or "..".
TAVO_EXPORT uint32_t get_flash_name(const char* path, char* name);

TAVO_END_DECLS

#ifdef __cplusplus
#include <string>

namespace tavo::firmware {
// Removes the copies of one image ("<image>.tmp.<pid>.<n>") that
// downloads of it left in /lib/firmware when they were killed before their
// rename: regular files of one name, of a process that no longer runs (a
// download under way elsewhere keeps its copy). Every download calls it
// for the image it writes; other files there are never touched.
void remove_download_leftovers(const std::string& image);
}  // namespace tavo::firmware
#endif
