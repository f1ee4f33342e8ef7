// The component-1 templates of the core dump: one entry per segment id,
// each used entry with the byte code the firmware runs to produce its
// segment (named <template>_<segment id>_<name>).
#include <stddef.h>

#include "firmware/core_dump.h"

namespace tavo::firmware {
namespace {

// A byte-code program: a header (magic and family, segment id, length),
// register reads across the segment, and the end mark. Only the firmware
// reads it.
inline constexpr uint32_t kCodeMagic = 0x42430000;  // "BC"
inline constexpr uint32_t kCodeRead = 0x10000000;
inline constexpr uint32_t kCodeEnd = 0xFFFFFFFF;

template <size_t Words>
struct ByteCode {
  uint32_t words[Words];
};

template <size_t Words>
constexpr ByteCode<Words> byte_code(uint32_t family, uint32_t segment, uint32_t length) {
  static_assert(Words >= 4, "header and end mark");
  ByteCode<Words> code{};
  code.words[0] = kCodeMagic | family;
  code.words[1] = segment;
  code.words[2] = length;
  for (size_t i = 3; i + 1 < Words; ++i)
    code.words[i] = kCodeRead | (segment & 0xFFF) << 12 | static_cast<uint32_t>(i - 3);
  code.words[Words - 1] = kCodeEnd;
  return code;
}

// Which dumps read an entry: live, dead, and whether it is deflated.
enum : uint8_t { N = 0, L = 1, D = 2, LD = 3, z = 4, Dz = 6 };

struct Row {
  uint32_t id;
  uint8_t flags;
  uint32_t highest_instance;
  uint32_t length;
  uint32_t code_words;
  const uint32_t* code;
};

template <size_t Rows>
constexpr CoreDumpSegmentTemplate template_entry(const Row (&rows)[Rows], uint8_t second, size_t id) {
  for (const Row& r : rows)
    if (r.id == id)
      return CoreDumpSegmentTemplate{0,
                                     second,
                                     static_cast<uint8_t>((r.flags & D) != 0),
                                     static_cast<uint8_t>((r.flags & L) != 0),
                                     static_cast<uint8_t>((r.flags & z) != 0),
                                     {},
                                     r.highest_instance,
                                     0,
                                     r.length,
                                     r.code_words,
                                     r.code};
  return CoreDumpSegmentTemplate{};
}

constexpr uint32_t kMiB = 1u << 20;

}  // namespace
}  // namespace tavo::firmware

// The byte-code object of one row, and the row.
#define TAVO_DUMP_CODE(family, prefix, id, name, flags, highest, length, count)  \
  extern "C" TAVO_EXPORT const tavo::firmware::ByteCode<count> prefix##_##id##_##name = \
      tavo::firmware::byte_code<count>(family, 0x##id, length);
#define TAVO_DUMP_ROW(family, prefix, id, name, flags, highest, length, count) \
  {0x##id, tavo::firmware::flags, highest, length, count, prefix##_##id##_##name.words},

// The three engine segments of a processor unit.
#define TAVO_DUMP_UNIT(X, f, p, dram, iram, stats, unit) \
  X(f, p, dram, ep_##unit##_dram, D, 0, 0x10000, 18)     \
  X(f, p, iram, ep_##unit##_iram, D, 0, 0x8000, 18)      \
  X(f, p, stats, ep_##unit##_stats, D, 0, 0x200, 14)
#define TAVO_DUMP_UNITS(X, f, p)                                  \
  TAVO_DUMP_UNIT(X, f, p, 0040, 0041, 0042, tpost)                \
  TAVO_DUMP_UNIT(X, f, p, 0048, 0049, 004A, tpre)                 \
  TAVO_DUMP_UNIT(X, f, p, 0050, 0051, 0052, rxulp0)               \
  TAVO_DUMP_UNIT(X, f, p, 0058, 0059, 005A, rxulp1)               \
  TAVO_DUMP_UNIT(X, f, p, 0060, 0061, 0062, txulp0)               \
  TAVO_DUMP_UNIT(X, f, p, 0068, 0069, 006A, txulp1)
// The registers every generation dumps first.
#define TAVO_DUMP_COMMON(X, f, p, ctx_length)            \
  X(f, p, 000D, pci_cfg, D, 0, 4096, 27)                 \
  X(f, p, 000E, vital_registers, D, 0, 0x400, 16)        \
  X(f, p, 0010, cause_ue, D, 0, 0x100, 12)               \
  X(f, p, 0020, csr, D, 0, 0x4000, 20)                   \
  X(f, p, 0024, ctx, Dz, 0, ctx_length, 24)              \
  X(f, p, 0026, cev, D, 0, 0x1000, 16)                   \
  X(f, p, 0028, dt, D, 0, 0x2000, 16)

#define TAVO_CV2_SEGMENTS(X)                     \
  TAVO_DUMP_COMMON(X, 2, cv2, 0x80000)           \
  TAVO_DUMP_UNITS(X, 2, cv2)                     \
  X(2, cv2, 0070, uc_stats, LD, 0, 0x44, 12)     \
  X(2, cv2, 0071, uc_stats, LD, 0, 0x44, 12)     \
  X(2, cv2, 0072, txp_stats, LD, 0, 0x100, 12)   \
  X(2, cv2, 0073, rxf_stats, LD, 0, 0x100, 12)   \
  X(2, cv2, 0088, ep_tpost_dram, D, 0, 0x10000, 18) \
  X(2, cv2, 008A, txpb_buffers, D, 0, 0x20000, 20) \
  X(2, cv2, 008C, pqs, D, 44, 0x110, 14)         \
  X(2, cv2, 00B0, txp_txds, D, 0, 0x4000, 16)    \
  X(2, cv2, 0100, ddr, Dz, 0, 32 * tavo::firmware::kMiB, 40) \
  X(2, cv2, 0120, read_flash, Dz, 0, 8 * tavo::firmware::kMiB, 57) \
  X(2, cv2, 0130, eeprom, D, 0, 0x8000, 16)

// The status registers CV3 and Moravel share after the engines.
#define TAVO_DUMP_STATS(X, f, p)                 \
  X(f, p, 0070, uc_stats, LD, 0, 0x80, 12)       \
  X(f, p, 0071, ptc_stats, LD, 0, 0x80, 12)      \
  X(f, p, 0072, txp_stats, LD, 0, 0x100, 12)     \
  X(f, p, 0073, rxf_stats, LD, 0, 0x100, 12)     \
  X(f, p, 0080, ndma_status, LD, 0, 0x40, 10)    \
  X(f, p, 0081, rdma_status, LD, 0, 0x40, 10)    \
  X(f, p, 0082, wdma_status, LD, 0, 0x40, 10)    \
  X(f, p, 0088, rxf_tables, D, 0, 0x2000, 16)    \
  X(f, p, 008A, txpb_buffers, D, 0, 0x20000, 20)

#define TAVO_CV3_SEGMENTS(X)                     \
  TAVO_DUMP_COMMON(X, 3, cv3, 0xA8000)           \
  TAVO_DUMP_UNITS(X, 3, cv3)                     \
  TAVO_DUMP_STATS(X, 3, cv3)                     \
  X(3, cv3, 008C, pqs, D, 27, 0x110, 14)         \
  X(3, cv3, 008E, pq2s, D, 0, 0x110, 14)         \
  X(3, cv3, 00B0, txp_txds, D, 0, 0x4000, 16)    \
  X(3, cv3, 00C8, qos_settings, D, 0, 0x100, 12) \
  X(3, cv3, 0100, ddr, Dz, 0, 64 * tavo::firmware::kMiB, 40) \
  X(3, cv3, 0120, read_flash, Dz, 0, 16 * tavo::firmware::kMiB, 57) \
  X(3, cv3, 0130, eeprom, D, 0, 0x8000, 16)

#define TAVO_MRV_SEGMENTS(X)                              \
  TAVO_DUMP_COMMON(X, 5, mrv, 0x140000)                   \
  X(5, mrv, 0038, ep_lltxulp_dram, D, 0, 0x10000, 18)     \
  X(5, mrv, 0039, ep_lltxulp_iram, D, 0, 0x8000, 18)      \
  X(5, mrv, 003A, ep_lltxulp_stats, D, 0, 0x200, 14)      \
  TAVO_DUMP_UNITS(X, 5, mrv)                              \
  X(5, mrv, 0063, txulp0_consel_states, N, 0, 0x2000, 16) \
  X(5, mrv, 006B, txulp1_consel_states, N, 0, 0x2000, 16) \
  TAVO_DUMP_STATS(X, 5, mrv)                              \
  X(5, mrv, 008C, pqs, D, 32, 0x110, 14)                  \
  X(5, mrv, 008E, pq2s, D, 0, 0x110, 14)                  \
  X(5, mrv, 0090, pmem_buffs, Dz, 0, 0x40000, 20)         \
  X(5, mrv, 00B0, txp_txds, D, 0, 0x4000, 16)             \
  X(5, mrv, 00B2, txp_counts, D, 0, 0x400, 12)            \
  X(5, mrv, 00B4, lltxp_ldma_vq, D, 0, 0x800, 12)         \
  X(5, mrv, 00C0, wcon_ram, D, 0, 0x4000, 16)             \
  X(5, mrv, 00C4, uc_tag_ram, Dz, 0, 0x10000, 16)         \
  X(5, mrv, 00C8, qos, D, 0, 0x100, 12)                   \
  X(5, mrv, 00CC, rcon_lltxd_sge_pfrag, D, 0, 0x2000, 16) \
  X(5, mrv, 00E0, loceth, D, 0, 0x1000, 14)               \
  X(5, mrv, 00E2, ptctags, D, 0, 0x1000, 14)              \
  X(5, mrv, 00E4, erxdata, D, 0, 0x2000, 14)              \
  X(5, mrv, 0100, ddr, Dz, 0, 128 * tavo::firmware::kMiB, 40) \
  X(5, mrv, 0120, read_flash, Dz, 0, 16 * tavo::firmware::kMiB, 57) \
  X(5, mrv, 0130, eeprom, Dz, 0, 0x8000, 16)              \
  X(5, mrv, 0140, arm_sysreg, D, 0, 0x400, 12)            \
  X(5, mrv, 0142, ddrregs, D, 0, 0x800, 12)               \
  X(5, mrv, 0150, netc_ram, z, 0, 0x20000, 16)

// The firmware's own dump tests: timing, flag selection, data patterns,
// odd and empty lengths, many instances, long programs, bad statuses.
#define TAVO_TEST_SEGMENTS(X)                                   \
  X(0x7E, test, 00D0, audit_delaytime, LD, 0, 0x100, 10)        \
  X(0x7E, test, 00D1, audit_liveonly, L, 0, 4, 22)              \
  X(0x7E, test, 00D2, audit_deadonly, D, 0, 4, 22)              \
  X(0x7E, test, 00D3, audit_data, LD, 0, 0x1000, 16)            \
  X(0x7E, test, 00D4, audit_oddlength, LD, 0, 4097, 12)         \
  X(0x7E, test, 00D6, audit_instances, LD, 4095, 4, 8)          \
  X(0x7E, test, 00D7, audit_smallwrites, LD, 0, 0x100, 40)      \
  X(0x7E, test, 00D8, audit_pcisizes, D, 0, 0x100, 24)          \
  X(0x7E, test, 00D9, audit_variables, LD, 0, 0x40, 30)         \
  X(0x7E, test, 00DA, audit_longcode, LD, 0, 0x40, 2048)        \
  X(0x7E, test, 00DB, audit_nodata, LD, 0, 0, 8)                \
  X(0x7E, test, 00DC, audit_badstatus, LD, 0, 0x10, 8)          \
  X(0x7E, test, 00DD, audit_lengthsstatuses, LD, 0, 64001, 12)

TAVO_CV2_SEGMENTS(TAVO_DUMP_CODE)
TAVO_CV3_SEGMENTS(TAVO_DUMP_CODE)
TAVO_MRV_SEGMENTS(TAVO_DUMP_CODE)
TAVO_TEST_SEGMENTS(TAVO_DUMP_CODE)

namespace tavo::firmware {
namespace {

constexpr Row kCv2Rows[] = {TAVO_CV2_SEGMENTS(TAVO_DUMP_ROW)};
constexpr Row kCv3Rows[] = {TAVO_CV3_SEGMENTS(TAVO_DUMP_ROW)};
constexpr Row kMrvRows[] = {TAVO_MRV_SEGMENTS(TAVO_DUMP_ROW)};
constexpr Row kTestRows[] = {TAVO_TEST_SEGMENTS(TAVO_DUMP_ROW)};
static_assert(sizeof kCv2Rows / sizeof(Row) == 36 && sizeof kCv3Rows / sizeof(Row) == 41 &&
              sizeof kMrvRows / sizeof(Row) == 58 && sizeof kTestRows / sizeof(Row) == 13);

}  // namespace
}  // namespace tavo::firmware

// Entries 0 to 337 of a template, each from its row or unused.
#define TAVO_E1(f, i) f(i),
#define TAVO_E10(f, i)                                                                                      \
  TAVO_E1(f, (i) + 0) TAVO_E1(f, (i) + 1) TAVO_E1(f, (i) + 2) TAVO_E1(f, (i) + 3) TAVO_E1(f, (i) + 4)       \
  TAVO_E1(f, (i) + 5) TAVO_E1(f, (i) + 6) TAVO_E1(f, (i) + 7) TAVO_E1(f, (i) + 8) TAVO_E1(f, (i) + 9)
#define TAVO_E100(f, i)                                                                                     \
  TAVO_E10(f, (i) + 0) TAVO_E10(f, (i) + 10) TAVO_E10(f, (i) + 20) TAVO_E10(f, (i) + 30)                    \
  TAVO_E10(f, (i) + 40) TAVO_E10(f, (i) + 50) TAVO_E10(f, (i) + 60) TAVO_E10(f, (i) + 70)                   \
  TAVO_E10(f, (i) + 80) TAVO_E10(f, (i) + 90)
#define TAVO_E300(f) TAVO_E100(f, 0) TAVO_E100(f, 100) TAVO_E100(f, 200)

#define TAVO_CV2_ENTRY(i) tavo::firmware::template_entry(tavo::firmware::kCv2Rows, 1, i)
#define TAVO_CV3_ENTRY(i) tavo::firmware::template_entry(tavo::firmware::kCv3Rows, 1, i)
#define TAVO_MRV_ENTRY(i) tavo::firmware::template_entry(tavo::firmware::kMrvRows, 1, i)
#define TAVO_TEST_ENTRY(i) tavo::firmware::template_entry(tavo::firmware::kTestRows, 0, i)

const tavo::CoreDumpSegmentTemplate cv2_template[306] = {
    TAVO_E300(TAVO_CV2_ENTRY) TAVO_E1(TAVO_CV2_ENTRY, 300) TAVO_E1(TAVO_CV2_ENTRY, 301) TAVO_E1(TAVO_CV2_ENTRY, 302)
        TAVO_E1(TAVO_CV2_ENTRY, 303) TAVO_E1(TAVO_CV2_ENTRY, 304) TAVO_E1(TAVO_CV2_ENTRY, 305)};
const tavo::CoreDumpSegmentTemplate cv3_template[306] = {
    TAVO_E300(TAVO_CV3_ENTRY) TAVO_E1(TAVO_CV3_ENTRY, 300) TAVO_E1(TAVO_CV3_ENTRY, 301) TAVO_E1(TAVO_CV3_ENTRY, 302)
        TAVO_E1(TAVO_CV3_ENTRY, 303) TAVO_E1(TAVO_CV3_ENTRY, 304) TAVO_E1(TAVO_CV3_ENTRY, 305)};
const tavo::CoreDumpSegmentTemplate mrv_template[338] = {
    TAVO_E300(TAVO_MRV_ENTRY) TAVO_E10(TAVO_MRV_ENTRY, 300) TAVO_E10(TAVO_MRV_ENTRY, 310)
        TAVO_E10(TAVO_MRV_ENTRY, 320) TAVO_E1(TAVO_MRV_ENTRY, 330) TAVO_E1(TAVO_MRV_ENTRY, 331)
            TAVO_E1(TAVO_MRV_ENTRY, 332) TAVO_E1(TAVO_MRV_ENTRY, 333) TAVO_E1(TAVO_MRV_ENTRY, 334)
                TAVO_E1(TAVO_MRV_ENTRY, 335) TAVO_E1(TAVO_MRV_ENTRY, 336) TAVO_E1(TAVO_MRV_ENTRY, 337)};
const tavo::CoreDumpSegmentTemplate test_template[223] = {
    TAVO_E100(TAVO_TEST_ENTRY, 0) TAVO_E100(TAVO_TEST_ENTRY, 100) TAVO_E10(TAVO_TEST_ENTRY, 200)
        TAVO_E10(TAVO_TEST_ENTRY, 210) TAVO_E1(TAVO_TEST_ENTRY, 220) TAVO_E1(TAVO_TEST_ENTRY, 221)
            TAVO_E1(TAVO_TEST_ENTRY, 222)};
