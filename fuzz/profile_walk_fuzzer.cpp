// The profile descriptor walker over arbitrary firmware answers: the input
// as a profile configuration reply (as long as it is, and in the whole
// get-form buffer) and as a capacity reply. Every descriptor visited must
// lie inside the answer and be at least as long as the walk requires, and
// the walk must stop at the count; each typed read of it must fit.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "transport/profile_records.h"

namespace {

void walk_check(bool ok) {
  if (!ok) abort();
}

// Reads every typed descriptor the walk visits, the way the readers do.
void walk_read(const uint8_t* d, size_t length) {
  tavo::ProfilePciFunctionDescriptor pf;
  tavo::ProfileNicDescriptor nic;
  tavo::ProfileIscsiDescriptor iscsi;
  tavo::ProfileFcoeDescriptor fcoe;
  tavo::ProfilePortDescriptor port;
  volatile uint32_t sink = 0;
  if (tavo::read_profile_descriptor(d, length, tavo::kProfilePciFunction, &pf))
    sink = sink + pf.pf_state + tavo::pf_number_of(pf.head.pf);
  if (tavo::read_profile_descriptor(d, length, tavo::kProfileNic, &nic)) sink = sink + nic.mac[5];
  if (tavo::read_profile_descriptor(d, length, tavo::kProfileIscsi, &iscsi)) sink = sink + iscsi.link;
  if (tavo::read_profile_descriptor(d, length, tavo::kProfileFcoe, &fcoe)) sink = sink + fcoe.link;
  if (tavo::read_profile_descriptor(d, length, tavo::kProfilePort, &port))
    sink = sink + tavo::count12_of(port.max_pf_count);
}

// Walks bytes (size exactly, on the heap so that a read past it is caught)
// in both forms.
void walk_both(const uint8_t* bytes, size_t size) {
  const uint8_t* end = bytes + size;
  size_t visited = 0;
  tavo::walk_profile_descriptors(bytes, size, [&](const uint8_t* d, size_t length) {
    walk_check(d >= bytes + 4 && length >= sizeof(tavo::ProfileResourceDescriptor) && length <= size_t(end - d) &&
               length == d[1]);
    walk_check(++visited <= tavo::profile_descriptor_count(bytes));
    walk_read(d, length);
    return true;
  });
  if (size < 4) return;
  visited = 0;
  const uint32_t count = tavo::profile_capacity_count(bytes);
  tavo::walk_descriptors(bytes, size, 4, count, 2, [&](const uint8_t* d, size_t length) {
    walk_check(length >= 2 && length <= size_t(end - d) && ++visited <= count);
    return true;
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[size == 0 ? 1 : size]);
  if (size != 0) memcpy(exact.get(), data, size);
  walk_both(exact.get(), size);
  // The same answer in the whole buffer the readers use, zero-padded or cut.
  auto whole = std::make_unique<tavo::ProfileConfigBuffer>();
  memset(whole.get(), 0, sizeof *whole);
  memcpy(whole.get(), data, size < sizeof *whole ? size : sizeof *whole);
  walk_both(reinterpret_cast<const uint8_t*>(whole.get()), sizeof *whole);
  return 0;
}
