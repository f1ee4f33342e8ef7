// Arbitrary boot regions, as the flash could hand them back, through the
// region parser and every copy operation: a region whose records do not
// fill its TLV length is refused by each of them; any other gives copies
// that are regions again, with the records each operation promises. A
// session record made of the input's tail builds a boot-target record
// that must itself parse. In memory: no tree, no simulator.
//
// Input: the region (header and records); its last 1164 bytes, zero
// padded, also serve as the session's record.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "base/memory.h"
#include "fuzz/fuzz_support.h"
#include "iscsi/sessions/sessions_internal.h"

namespace {

using tavo::IscsiRegion;
using tavo::sessions::Region;
using Bytes = std::vector<uint8_t>;

// The record types of a well-formed region, by a walk of its own.
Bytes types_of(const IscsiRegion* r) {
  Bytes types;
  const auto* b = reinterpret_cast<const uint8_t*>(r);
  const size_t end = sizeof *r + r->tlv_length;
  for (size_t at = sizeof *r; at < end;) {
    FUZZ_CHECK(end - at >= 3);
    const size_t length = b[at + 1] | b[at + 2] << 8;
    FUZZ_CHECK(length <= end - at - 3);
    types.push_back(b[at]);
    at += 3 + length;
  }
  return types;
}

// A copy: null exactly when the input was refused; else a region again,
// its header kept, with no record of the types it must have lost.
void check_copy(const IscsiRegion* in, bool well, const IscsiRegion* out, std::initializer_list<uint8_t> gone) {
  if (!well || out == nullptr) {
    // Only a copy too large for one write may be refused besides.
    FUZZ_CHECK(!well ? out == nullptr : in->tlv_length > 32000);
    return;
  }
  FUZZ_CHECK(out->word0 == in->word0 && memcmp(out->words8, in->words8, sizeof in->words8) == 0);
  FUZZ_CHECK(tavo::sessions::region_well_formed(out, sizeof *out + out->tlv_length));
  for (uint8_t t : types_of(out)) FUZZ_CHECK(std::find(gone.begin(), gone.end(), t) == gone.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < sizeof(IscsiRegion)) return 0;
  // As the read hands it over: never more records than bytes were read.
  Region region(static_cast<IscsiRegion*>(tavo_dmalloc(size)));
  memcpy(region.get(), data, size);
  const bool whole = tavo::sessions::region_well_formed(region.get(), size);
  region->tlv_length = std::min<uint32_t>(region->tlv_length, static_cast<uint32_t>(size - sizeof(IscsiRegion)));
  const bool well = tavo::sessions::region_well_formed(region.get(), size);
  FUZZ_CHECK(!whole || well);
  const IscsiRegion* r = region.get();

  tavo::FirmwareSessionRecord session{};
  const size_t tail = std::min(size, sizeof session);
  memcpy(&session, data + size - tail, tail);

  Region stripped(TAVO_remove_pad_tlv(r));
  check_copy(r, well, stripped.get(), {tavo::kTlvPad});
  Region padded(TAVO_add_pad_tlv(stripped ? stripped.get() : r));
  if (stripped) {
    check_copy(r, well, padded.get(), {});
    if (padded) FUZZ_CHECK(padded->tlv_length % 4 == 0);
  }
  for (uint32_t mode = 1; mode <= 3; ++mode) {
    Region kept(TAVO_remove_boot_tlv(r, &session, mode));
    check_copy(r, well, kept.get(),
               mode == 1 ? std::initializer_list<uint8_t>{3, 4} : std::initializer_list<uint8_t>{});
    if (kept) FUZZ_CHECK(kept->tlv_length <= r->tlv_length);
  }
  Region without(TAVO_delete_initiator_chap_tlv(r));
  check_copy(r, well, without.get(), {2, 3});
  Region with(TAVO_add_initiator_chap_tlv(r, &session));
  if (with) FUZZ_CHECK(well && tavo::sessions::region_well_formed(with.get(), sizeof(IscsiRegion) + with->tlv_length));

  // A boot-target record of the session: a record of its own length, found
  // again by its qualifier once appended.
  tavo::base::Counted<tavo::BootTargetTlv> tlv(TAVO_create_TLV(&session, nullptr, 1, 1));
  if (tlv && stripped) {
    const size_t n = 3 + size_t{tlv->head.length};
    Bytes bytes(sizeof(IscsiRegion) + stripped->tlv_length + n);
    memcpy(bytes.data(), stripped.get(), sizeof(IscsiRegion) + stripped->tlv_length);
    memcpy(bytes.data() + sizeof(IscsiRegion) + stripped->tlv_length, tlv.get(), n);
    auto* joined = reinterpret_cast<IscsiRegion*>(bytes.data());
    joined->tlv_length += static_cast<uint32_t>(n);
    FUZZ_CHECK(tavo::sessions::region_well_formed(joined, bytes.size()));
    FUZZ_CHECK(tavo::sessions::region_boot_target(joined, tlv->isid_qualifier) != 0);
  }
  if (well) {
    volatile size_t sink = tavo::sessions::region_mpio(r) + tavo::sessions::region_boot_target(r, 0x1234);
    (void)sink;
  }
  return 0;
}
