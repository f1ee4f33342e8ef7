// The records of the saved iSCSI files, one field table per file: the
// table drives how a line is read (which field holds what), written (every
// field in order, none holding the separator) and validated (field count
// and key fields), and how fields compare (names and addresses without
// case, ports by number, other numbers exactly).
#pragma once

#include <ctype.h>
#include <stdint.h>

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/status_registry.h"
#include "tree/tree.h"

namespace tavo::iscsi {

// savetgt.txt, savestp.txt, intr_logopts.txt; and iscsi_pending.txt, the
// notes of a persistent session's changes (a session line's first
// fields), which its own writer keeps: no view or batch reads it, and
// kAllSaved, the files they read, leaves it out.
enum class Saved : uint8_t { Targets, Portals, Initiator, Pending };
inline constexpr Saved kAllSaved[] = {Saved::Targets, Saved::Portals, Saved::Initiator};

// What a field holds. The twelve options follow in LoginOptionSet order.
enum class Field : uint8_t {
  Controller,
  Function,
  Logical,
  TargetName,
  Address,
  Port,
  Qualifier,
  InitiatorName,
  MacAddress,
  TargetType,
  Persistence,
  InitialR2T,
  ImmediateData,
  HeaderDigest,
  DataDigest,
  AuthenticationMethod,
  InitiatorCHAPName,
  InitiatorSecret,
  TargetCHAPName,
  TargetSecret,
  CHAPParam,
  HeaderParam,
  DataParam,
  // A note's last: what its change does, which tells what settles it.
  NoteChange,
};
inline constexpr int kOptionCount = 12;
// Room for the fields of a line of any of the files.
inline constexpr size_t kMaxFields = 32;
constexpr Field option_field(int i) { return static_cast<Field>(static_cast<int>(Field::InitialR2T) + i); }
// The option's property name ("InitialR2T" ...), and whether it lives in
// the Authentication group rather than the login-options group.
const char* option_name(int i);
bool option_in_authentication(int i);
// The option named (without case), or -1.
int option_index(const char* name);

// How a field compares: byte for byte, without case, or as a port number
// (written in decimal).
enum class Compare : uint8_t { Exact, NoCase, Port };

struct FieldDef {
  Field field;
  const char* name;      // the property or parameter it comes from
  Compare compare;
  std::string_view key_word;  // key fields: the word the text must hold (others: empty)
};

struct RecordDef {
  const char* path;  // fixed host path
  std::span<const FieldDef> fields;
  // The sets of fields (masks of places) the library looks lines up by:
  // indexed as the file is read, so no lookup walks the lines later. A set
  // not listed is indexed when first asked.
  std::span<const uint32_t> lookups;
  // The values the library writes in a line's last field: a write cut
  // inside one leaves a text that only begins it.
  std::span<const std::string_view> last_values;
};
const RecordDef& record_def(Saved s);
// The field's place (0-based) in the file's lines, or -1.
int position(Saved s, Field f);
// The text a field compares by: as it is, in lower case, or a port in
// decimal.
std::string comparable(Compare compare, std::string_view text);
// The same text appended to out.
void append_comparable(std::string* out, Compare compare, std::string_view text);
// Whether two texts of a field have the same comparable text.
bool same_comparable(Compare compare, std::string_view a, std::string_view b);
// A hash of the comparable text: texts that compare alike hash alike.
uint64_t comparable_hash(Compare compare, std::string_view text);

// The comparable text a piece at a time, without being built (lookups fold
// and hash every field they ask for): the one place that says how a text
// compares. The pieces follow from the comparable text alone: texts that
// compare alike give the same pieces.
class ComparablePieces {
 public:
  ComparablePieces(Compare compare, std::string_view text) : compare_(compare), text_(text) {}
  // The next piece; false once the text is given.
  bool next(std::string_view* piece) {
    if (from_ >= text_.size()) return false;
    if (compare_ == Compare::NoCase) {
      // Folded a stretch at a time into room of its own.
      const size_t n = text_.size() - from_ < sizeof room_ ? text_.size() - from_ : sizeof room_;
      for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text_[from_ + i]);
        room_[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c < 0x80 ? c : tolower(c));
      }
      *piece = std::string_view(room_, n);
      from_ += n;
      return true;
    }
    // A port in decimal, other texts as they are: whole.
    *piece = compare_ == Compare::Port ? port() : text_;
    from_ = text_.size();
    return true;
  }

 private:
  std::string_view port();

  Compare compare_;
  std::string_view text_;
  size_t from_ = 0;
  char room_[64];
};

// A port number as the tree reads an integer (automatic base, a sign:
// "0xCBC" and "+3260" are 3260), from 0 to 65535; false for any other text.
bool port_number(std::string_view text, uint32_t* out);
// The port in decimal; a text that is no port number stays as it is.
std::string decimal_port(std::string_view text);

// Calls fn(line, complete) for every line of text, without its line feed;
// complete is false for a last line that lacks one.
template <typename Fn>
void for_each_line(std::string_view text, Fn&& fn) {
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\n', start);
    const bool complete = end != std::string_view::npos;
    fn(text.substr(start, complete ? end - start : std::string_view::npos), complete);
    start = complete ? end + 1 : text.size();
  }
}

// The fields of a line: split at every comma, empty ones included, without
// the line feed that ends the last. No comma: no fields.
std::vector<std::string_view> split_fields(std::string_view line);
// The same into out, no allocation: the count of fields, which may exceed
// out.size() (only the first out.size() are set then).
size_t split_fields(std::string_view line, std::span<std::string_view> out);
// A line of the file's format: the right number of fields and the key
// words in the key fields.
bool well_formed(Saved s, std::span<const std::string_view> fields);
// Whether a last line that lacks its line feed may be what a write of the
// library left when the power cut it short: it holds a NUL (bytes the disk
// never got), fewer fields than the file's lines, or a last field that
// only begins a value the library writes there (",Tru" of ",True"). Such a
// line is no line of the file; any other reads as a whole line.
bool cut_short(Saved s, std::string_view line);

// The LogicalHBA key of a node: the instance numbers of the Corvane,
// iSCSIPhysicalHBA and LogicalHBA groups above it (node included).
struct LhbaKey {
  std::array<std::string, 3> text;  // "Corvane<c>", "iSCSIPhysicalHBA<p>", "LogicalHBA<l>"
};
bool lhba_key(TavoNode* node, LhbaKey* out);

// A field value to match: the field and its text.
struct Match {
  Field field;
  std::string value;
};
// Whether the well-formed fields hold every match (the field's comparison).
bool matches(Saved s, std::span<const std::string_view> fields, std::span<const Match> match);
// The key's three matches followed by more.
std::vector<Match> key_matches(const LhbaKey& key, std::initializer_list<Match> more = {});

// The longest line the files hold, without its line feed.
inline constexpr size_t kMaxSavedLine = 1022;
// 8 for values that would make a line longer (the file, kMaxSavedLine).
extern const base::StatusFormat<const char*, size_t> kLineTooLong;

// The values of one line, set by field and written in the table's order.
class RecordValues {
 public:
  explicit RecordValues(Saved s);
  // The values of a well-formed line.
  RecordValues(Saved s, std::span<const std::string_view> fields);
  RecordValues& set(Field f, std::string_view value);
  RecordValues& set_key(const LhbaKey& key);
  // The twelve options in LoginOptionSet order.
  RecordValues& set_options(std::span<const std::string> options);
  std::string_view get(Field f) const;
  // The line with its line feed; false, with status 6 "<field>: Invalid
  // value.", when a value holds a comma or a line break, and with status 8
  // when the line would be longer than kMaxSavedLine.
  bool format(std::string* line) const;

 private:
  Saved saved_;
  std::vector<std::string> values_;
};
// Whether a text can be a field of a saved line (no comma, no line break).
bool field_text_ok(std::string_view text);

// What the start-up check keeps of a file's text: its well-formed lines
// (a last one cut short is none), each with its line feed, in order.
// Counts (and logs) the lines dropped.
std::string well_formed_lines(Saved s, std::string_view text, uint32_t* dropped);

}  // namespace tavo::iscsi
