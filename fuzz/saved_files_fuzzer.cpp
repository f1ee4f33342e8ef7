// Arbitrary saved iSCSI files through the line readers and the start-up
// check. The input holds savetgt.txt, savestp.txt and intr_logopts.txt
// separated by NUL bytes (a missing part: no file). After the check each
// file holds exactly the lines the line rules keep, their addresses in the
// form the tree takes, and a file that lost any line is kept whole beside it. End to end: files, locks and views per input.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "base/file_utils.h"
#include "base/validate.h"
#include "iscsi/common/saved_records.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/targets/targets.h"
#include "fuzz/fuzz_root.h"
#include "fuzz/fuzz_support.h"

namespace {

using tavo::iscsi::Saved;

std::string fuzz_root;

std::string fuzz_path(Saved s) { return fuzz_root + tavo::iscsi::record_def(s).path; }

std::string fuzz_read(const std::string& path) {
  std::string text;
  if (FILE* f = fopen(path.c_str(), "rb")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    fclose(f);
  }
  return text;
}

// The readers clients and the library use, on every line of the file.
void fuzz_readers(Saved s) {
  FILE* f = TAVO_file_open(tavo::iscsi::record_def(s).path, "r");
  uint32_t size = 0, lines = 0;
  tavo_dfree(TAVO_get_file_data(f, &size, &lines));
  TAVO_file_close(f);
  char keys[3][TAVO_VALUE_SIZE] = {"Corvane0", "iSCSIPhysicalHBA0", "LogicalHBA0"};
  static char fields[22][TAVO_VALUE_SIZE];
  tavo::iscsi::for_each_line(fuzz_read(fuzz_path(s)), [&](std::string_view line, bool) {
    TAVO_get_iscsi_data_from_file(std::string(line).c_str(), keys, fields, 22, 3);
  });
  const auto match = tavo::iscsi::key_matches(tavo::iscsi::LhbaKey{{keys[0], keys[1], keys[2]}});
  tavo::iscsi::with_view(s, [&](const tavo::iscsi::SavedView& view) {
    view.find(match);
    view.find(match, true);
  });
}

// The lines with each address as the tree's check writes it ("1.000..9" is
// 1.0.0.9); a text it refuses stays.
std::string taken_addresses(Saved s, const std::string& lines) {
  const int at = tavo::iscsi::position(s, tavo::iscsi::Field::Address);
  if (at < 0) return lines;
  std::string out;
  tavo::iscsi::for_each_line(lines, [&](std::string_view line, bool) {
    auto fields = tavo::iscsi::split_fields(line);
    std::string address(fields[static_cast<size_t>(at)]);
    char value[TAVO_VALUE_SIZE] = {};
    if (address.size() < sizeof value) {
      memcpy(value, address.data(), address.size());
      if (tavo_validate_ip(value) == TAVO_OK) address = value;
    }
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) out.push_back(',');
      out.append(i == static_cast<size_t>(at) ? std::string_view(address) : fields[i]);
    }
    out.push_back('\n');
  });
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_root = fuzz_install_root();
  if (tavo::files::make_dirs(fuzz_root + "/etc/config/QVL/tavo", 0755) != 0) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string parts[3];
  bool present[3] = {};
  for (int i = 0; i < 3 && (i == 0 || !input.empty()); ++i) {
    const size_t end = input.find('\0');
    parts[i] = input.substr(0, end);
    present[i] = true;
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    if (end == std::string_view::npos) break;
  }
  for (Saved s : tavo::iscsi::kAllSaved) {
    const int i = static_cast<int>(s);
    unlink(fuzz_path(s).c_str());
    unlink((fuzz_path(s) + ".corrupt").c_str());
    if (!present[i]) continue;
    FILE* f = fopen(fuzz_path(s).c_str(), "wb");
    if (f == nullptr) abort();
    fwrite(parts[i].data(), 1, parts[i].size(), f);
    fclose(f);
    fuzz_readers(s);
  }
  TAVO_check_for_corrupted_database();
  for (Saved s : tavo::iscsi::kAllSaved) {
    const int i = static_cast<int>(s);
    if (!present[i]) continue;
    // Which lines stay is the line rules' (saved_lines_fuzzer); here the
    // files must follow them.
    uint32_t dropped = 0;
    const std::string kept = tavo::iscsi::well_formed_lines(s, parts[i], &dropped);
    const std::string after = fuzz_read(fuzz_path(s));
    const std::string expected = taken_addresses(s, kept);
    const bool changed = dropped > 0 || expected != kept;
    FUZZ_CHECK(changed || after == parts[i]);  // nothing malformed or retyped: untouched
    FUZZ_CHECK(!changed || after == expected);
    FUZZ_CHECK(dropped == 0 || fuzz_read(fuzz_path(s) + ".corrupt").compare(0, parts[i].size(), parts[i]) == 0);
    fuzz_readers(s);
  }
  return 0;
}
