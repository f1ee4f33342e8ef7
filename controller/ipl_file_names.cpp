// The IPL file-name table: the first part of the IPL file name that a
// controller reports only by number (its revision is appended). Rows 1-113
// are CV3 IPL numbers 1-113, rows 114-151 Moravel IPL numbers 256-293;
// row 0 is a placeholder that is never selected.
#include "controller/ipl_file_names.h"

namespace {

struct IplFileNameTable {
  char rows[tavo::controller::kIplFileNameRows][35];
};

// "CV3IPL005_" for CV3 row 5, "MRVIPL256_" for Moravel row 114.
constexpr IplFileNameTable ipl_file_name_table() {
  IplFileNameTable t{};
  const char placeholder[] = "Unknown";
  for (size_t i = 0; i < sizeof placeholder; ++i) t.rows[0][i] = placeholder[i];
  for (size_t row = 1; row < tavo::controller::kIplFileNameRows; ++row) {
    const bool cv3 = row <= 113;
    const size_t number = cv3 ? row : row + 142;
    const char* prefix = cv3 ? "CV3IPL" : "MRVIPL";
    char* out = t.rows[row];
    for (size_t i = 0; i < 6; ++i) out[i] = prefix[i];
    out[6] = static_cast<char>('0' + number / 100);
    out[7] = static_cast<char>('0' + number / 10 % 10);
    out[8] = static_cast<char>('0' + number % 10);
    out[9] = '_';
  }
  return t;
}

constexpr IplFileNameTable kIplFileNames = ipl_file_name_table();
static_assert(kIplFileNames.rows[5][8] == '5' && kIplFileNames.rows[114][6] == '2');

}  // namespace

namespace tavo::controller {

const char* ipl_file_name(size_t row) { return row < kIplFileNameRows ? kIplFileNames.rows[row] : nullptr; }

}  // namespace tavo::controller
