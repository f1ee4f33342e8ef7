// The field tables of the saved iSCSI files and what they drive: splitting,
// validating, comparing and writing lines.
#include "iscsi/common/saved_records.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <initializer_list>
#include <iterator>

#include "base/validate.h"
#include "iscsi/common/byte_scan.h"
#include "tree/status_texts.h"

namespace tavo::iscsi {
namespace {

constexpr Compare kExact = Compare::Exact;
constexpr Compare kNoCase = Compare::NoCase;

// The LogicalHBA key every line begins with.
constexpr FieldDef kKeyFields[] = {
    {Field::Controller, "Corvane", kNoCase, "Corvane"},
    {Field::Function, "iSCSIPhysicalHBA", kNoCase, "iSCSIPhysicalHBA"},
    {Field::Logical, "LogicalHBA", kNoCase, "LogicalHBA"},
};
constexpr FieldDef option(Field f, const char* name) { return {f, name, kNoCase, {}}; }
// The login options: the flags, digests and CHAP values, then the levels.
constexpr FieldDef kOptionsToSecret[] = {
    option(Field::InitialR2T, "InitialR2T"),
    option(Field::ImmediateData, "ImmediateData"),
    option(Field::HeaderDigest, "HeaderDigest"),
    option(Field::DataDigest, "DataDigest"),
    option(Field::AuthenticationMethod, "AuthenticationMethod"),
    option(Field::InitiatorCHAPName, "InitiatorCHAPName"),
    option(Field::InitiatorSecret, "InitiatorSecret"),
    option(Field::TargetCHAPName, "TargetCHAPName"),
    option(Field::TargetSecret, "TargetSecret"),
};
constexpr FieldDef kOptionLevels[] = {
    option(Field::CHAPParam, "CHAPParam"),
    option(Field::HeaderParam, "HeaderParam"),
    option(Field::DataParam, "DataParam"),
};

// The parts of a file's fields, in order, as one table.
template <size_t... N>
constexpr std::array<FieldDef, (N + ...)> joined(const FieldDef (&... parts)[N]) {
  std::array<FieldDef, (N + ...)> out{};
  size_t at = 0;
  ((std::copy(std::begin(parts), std::end(parts), out.begin() + at), at += N), ...);
  return out;
}

// savetgt.txt: a target's line for one of its portals (qualifier empty), or
// a persistent session's line (its ISID qualifier).
constexpr FieldDef kTargetPortal[] = {
    {Field::TargetName, "TargetISCSIName", kNoCase, {}},
    {Field::Address, "TargetIPAddress", kNoCase, {}},
    {Field::Port, "TargetPortNumber", Compare::Port, {}},
    {Field::Qualifier, "ISIDQualifier", kExact, {}},
    {Field::InitiatorName, "InitiatoriSCSIName", kNoCase, {}},
};
constexpr FieldDef kTargetType[] = {{Field::TargetType, "TargetType", kNoCase, {}}};
constexpr FieldDef kPersistence[] = {{Field::Persistence, "Persistence", kNoCase, {}}};
constexpr auto kTargetFields =
    joined(kKeyFields, kTargetPortal, kOptionsToSecret, kTargetType, kOptionLevels, kPersistence);

// savestp.txt: a send-target portal and its login options.
constexpr FieldDef kSendTargetPortal[] = {
    {Field::Address, "IPAddress", kNoCase, {}},
    {Field::Port, "PortNumber", Compare::Port, {}},
    {Field::MacAddress, "PortMacAddress", kNoCase, {}},
};
constexpr auto kPortalFields = joined(kKeyFields, kSendTargetPortal, kOptionsToSecret, kOptionLevels);

// intr_logopts.txt: the initiator's login options of one LogicalHBA.
constexpr auto kInitiatorFields = joined(kKeyFields, kOptionsToSecret, kOptionLevels);

// iscsi_pending.txt: a persistent session's note, its session line up to
// the initiator's name, and its change (a note of an older file has none).
constexpr FieldDef kNoteChange[] = {{Field::NoteChange, "NoteChange", kExact, {}}};
constexpr auto kPendingFields = joined(kKeyFields, kTargetPortal, kNoteChange);

static_assert(std::size(kTargetFields) == 22 && std::size(kPortalFields) == 18 && std::size(kInitiatorFields) == 15 &&
              std::size(kPendingFields) == 9);

// The places of the fields fs among defs.
template <size_t N>
constexpr uint32_t places(const std::array<FieldDef, N>& defs, std::initializer_list<Field> fs) {
  uint32_t mask = 0;
  for (const Field f : fs)
    for (size_t i = 0; i < N; ++i)
      if (defs[i].field == f) mask |= 1u << i;
  return mask;
}
constexpr Field kCon = Field::Controller, kFn = Field::Function, kLog = Field::Logical, kName = Field::TargetName,
                kAddr = Field::Address, kPort = Field::Port, kQual = Field::Qualifier;
// A LogicalHBA's lines; a target's; its lines of one portal; its own
// line (no qualifier) or a session's; a session's of one portal.
constexpr uint32_t kTargetLookups[] = {
    places(kTargetFields, {kCon, kFn, kLog}),
    places(kTargetFields, {kCon, kFn, kLog, kName}),
    places(kTargetFields, {kCon, kFn, kLog, kName, kAddr, kPort}),
    places(kTargetFields, {kCon, kFn, kLog, kName, kQual}),
    places(kTargetFields, {kCon, kFn, kLog, kName, kAddr, kPort, kQual}),
};
// A LogicalHBA's lines; a send-target portal's.
constexpr uint32_t kPortalLookups[] = {
    places(kPortalFields, {kCon, kFn, kLog}),
    places(kPortalFields, {kCon, kFn, kLog, kAddr, kPort}),
};
// A controller's lines; a LogicalHBA's.
constexpr uint32_t kInitiatorLookups[] = {
    places(kInitiatorFields, {kCon}),
    places(kInitiatorFields, {kCon, kFn, kLog}),
};
static_assert(kTargetLookups[4] == 0x7f && kPortalLookups[1] == 0x1f && kInitiatorLookups[1] == 0x7);

// The values of the last fields: a target's persistence, an option level.
constexpr std::string_view kPersistenceValues[] = {"True", "False"};
constexpr std::string_view kLevelValues[] = {"Prohibited", "Preferred"};

constexpr RecordDef kRecords[] = {
    {"/etc/config/QVL/tavo/savetgt.txt", kTargetFields, kTargetLookups, kPersistenceValues},
    {"/etc/config/QVL/tavo/savestp.txt", kPortalFields, kPortalLookups, kLevelValues},
    {"/etc/config/QVL/tavo/intr_logopts.txt", kInitiatorFields, kInitiatorLookups, kLevelValues},
    // A note is read only whole, with its line feed.
    {"/etc/config/QVL/tavo/iscsi_pending.txt", kPendingFields, {}, {}},
};
// Every kind of record, in the order of Saved.
constexpr size_t kRecordKinds = std::size(kRecords);

}  // namespace

const base::StatusFormat<const char*, size_t> kLineTooLong{
    TAVO_BAD_LENGTH, "The values would make a line of %s longer than %zu characters. Please give shorter values."};

const char* option_name(int i) { return kInitiatorFields[3 + i].name; }

bool option_in_authentication(int i) {
  const Field f = option_field(i);
  return f >= Field::AuthenticationMethod && f <= Field::CHAPParam;
}

int option_index(const char* name) {
  for (int i = 0; name != nullptr && i < kOptionCount; ++i)
    if (strcasecmp(option_name(i), name) == 0) return i;
  return -1;
}

const RecordDef& record_def(Saved s) { return kRecords[static_cast<int>(s)]; }

int position(Saved s, Field f) {
  // Asked for every field of every lookup: one table, made once.
  constexpr size_t kFields = static_cast<size_t>(Field::NoteChange) + 1;
  static const auto places = [] {
    std::array<std::array<int8_t, kFields>, kRecordKinds> t;
    for (size_t saved = 0; saved < kRecordKinds; ++saved) {
      auto& row = t[saved];
      row.fill(-1);
      const auto fields = kRecords[saved].fields;
      for (size_t i = fields.size(); i-- > 0;) row[static_cast<size_t>(fields[i].field)] = static_cast<int8_t>(i);
    }
    return t;
  }();
  const auto field = static_cast<size_t>(f);
  return field < kFields ? places[static_cast<size_t>(s)][field] : -1;
}

std::string_view ComparablePieces::port() {
  // A text that is no port number stays as it is; digits without a leading
  // zero read as themselves either way (no parse: ports are saved so).
  const bool digits =
      text_[0] != '0' && std::all_of(text_.begin(), text_.end(), [](char c) { return c >= '0' && c <= '9'; });
  uint32_t number = 0;
  if (digits || !port_number(text_, &number)) return text_;
  return {room_, static_cast<size_t>(std::to_chars(room_, std::end(room_), number).ptr - room_)};
}

void append_comparable(std::string* out, Compare compare, std::string_view text) {
  std::string_view piece;
  for (ComparablePieces pieces(compare, text); pieces.next(&piece);) out->append(piece);
}

bool same_comparable(Compare compare, std::string_view a, std::string_view b) {
  if (a == b) return true;
  ComparablePieces in_a(compare, a), in_b(compare, b);
  for (std::string_view piece_a, piece_b;;) {
    const bool more = in_a.next(&piece_a);
    if (more != in_b.next(&piece_b)) return false;
    if (!more) return true;
    if (piece_a != piece_b) return false;
  }
}

namespace {

constexpr uint64_t kHashMix = 0x9e3779b97f4a7c15u;
constexpr uint64_t kEveryByte = 0x0101010101010101u;

uint64_t hash_word(uint64_t h, uint64_t word) {
  h = (h ^ word) * kHashMix;
  return h ^ (h >> 32);
}

// Eight bytes of text, the first in the low byte.
uint64_t word_at(const char* p, size_t n) {
  uint64_t word = 0;
  if (std::endian::native == std::endian::little && n == 8) {
    memcpy(&word, p, 8);
    return word;
  }
  for (size_t i = 0; i < n; ++i) word |= static_cast<uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
  return word;
}

// Eight ASCII bytes in lower case at once; a word holding any other byte
// is folded a byte at a time, as ComparablePieces folds it.
uint64_t folded_word(const char* p, size_t n) {
  uint64_t word = word_at(p, n);
  if ((word & (0x80 * kEveryByte)) != 0) {
    char room[8];
    std::string_view piece;
    ComparablePieces pieces(Compare::NoCase, std::string_view(p, n));
    pieces.next(&piece);
    memcpy(room, piece.data(), n);
    return word_at(room, n);
  }
  // The high bit of each byte: from 'A' up, and above 'Z'.
  const uint64_t from_a = word + (0x80 - 'A') * kEveryByte, above_z = word + (0x80 - 'Z' - 1) * kEveryByte;
  return word | ((from_a & ~above_z & (0x80 * kEveryByte)) >> 2);
}

}  // namespace

uint64_t comparable_hash(Compare compare, std::string_view text) {
  // Eight bytes of the comparable text at a time; names folded as they
  // are read (every start-up hashes the key fields of every saved line).
  uint64_t h = 0xcbf29ce484222325u;
  if (compare == Compare::NoCase) {
    size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) h = hash_word(h, folded_word(text.data() + at, 8));
    if (at < text.size()) h = hash_word(h, folded_word(text.data() + at, text.size() - at));
    return (h ^ text.size()) * kHashMix;
  }
  size_t total = 0;
  std::string_view piece;
  for (ComparablePieces pieces(compare, text); pieces.next(&piece);) {
    total += piece.size();
    size_t at = 0;
    for (; at + 8 <= piece.size(); at += 8) h = hash_word(h, word_at(piece.data() + at, 8));
    if (at < piece.size()) h = hash_word(h, word_at(piece.data() + at, piece.size() - at));
  }
  return (h ^ total) * kHashMix;
}

std::string comparable(Compare compare, std::string_view text) {
  std::string out;
  append_comparable(&out, compare, text);
  return out;
}

bool port_number(std::string_view text, uint32_t* out) {
  // Digits without a leading zero (as ports are saved) read as themselves
  // whatever the base: no copy, no parse.
  if (!text.empty() && text.size() <= 5 && (text[0] != '0' || text.size() == 1) &&
      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    uint32_t value = 0;
    for (const char c : text) value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value > 65535) return false;
    *out = value;
    return true;
  }
  // Any other text: the tree's own reading of an integer, on a terminated
  // copy.
  const std::string copy(text);
  long long value = 0;
  if (copy.find('\0') != std::string::npos || base::parse_number(copy.c_str(), &value) != 0 || value < 0 ||
      value > 65535)
    return false;
  *out = static_cast<uint32_t>(value);
  return true;
}

std::string decimal_port(std::string_view text) { return comparable(Compare::Port, text); }

size_t split_fields(std::string_view line, std::span<std::string_view> out) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  size_t n = 0, from = 0;
  const auto field_to = [&](size_t comma) {
    if (n < out.size()) out[n] = std::string_view(line.data() + from, comma - from);
    ++n;
    from = comma + 1;
    return true;
  };
  each_byte(line, ',', field_to);
  if (n == 0) return 0;  // no comma
  field_to(line.size());
  return n;
}

std::vector<std::string_view> split_fields(std::string_view line) {
  std::vector<std::string_view> fields(static_cast<size_t>(std::count(line.begin(), line.end(), ',')) + 1);
  fields.resize(split_fields(line, fields));
  return fields;
}

bool well_formed(Saved s, std::span<const std::string_view> fields) {
  const auto defs = record_def(s).fields;
  if (fields.size() != defs.size()) return false;
  // Asked of every line read: the places that hold a key word, found once.
  static const auto worded = [] {
    std::array<uint32_t, kRecordKinds> t{};
    for (size_t saved = 0; saved < kRecordKinds; ++saved) {
      const auto all = kRecords[saved].fields;
      for (size_t i = 0; i < all.size(); ++i)
        if (!all[i].key_word.empty()) t[saved] |= 1u << i;
    }
    return t;
  }();
  for (uint32_t rest = worded[static_cast<size_t>(s)]; rest != 0; rest &= rest - 1) {
    const auto i = static_cast<size_t>(std::countr_zero(rest));
    if (!fields[i].starts_with(defs[i].key_word) && fields[i].find(defs[i].key_word) == std::string_view::npos)
      return false;
  }
  return true;
}

bool cut_short(Saved s, std::string_view line) {
  if (line.find('\0') != std::string_view::npos) return true;
  std::string_view fields[kMaxFields + 1];
  const size_t n = split_fields(line, fields);
  const RecordDef& def = record_def(s);
  if (n < def.fields.size()) return true;
  if (n > def.fields.size()) return false;
  // Its last field whole is no cut: no value the library writes begins
  // another.
  const std::string_view last = fields[n - 1];
  return std::any_of(def.last_values.begin(), def.last_values.end(), [&](std::string_view value) {
    return last.size() < value.size() && strncasecmp(last.data(), value.data(), last.size()) == 0;
  });
}

bool lhba_key(TavoNode* node, LhbaKey* out) {
  static constexpr const char* kGroups[] = {"Corvane", "iSCSIPhysicalHBA", "LogicalHBA"};
  for (int i = 0; i < 3; ++i) {
    const int32_t number = tree::instance_number(tree::group_above(node, kGroups[i]));
    if (number < 0) return false;
    char digits[16];
    const char* end = std::to_chars(digits, std::end(digits), number).ptr;
    out->text[i].assign(kGroups[i]).append(digits, static_cast<size_t>(end - digits));
  }
  return true;
}

bool matches(Saved s, std::span<const std::string_view> fields, std::span<const Match> match) {
  for (const Match& m : match) {
    const int at = position(s, m.field);
    if (at < 0 || static_cast<size_t>(at) >= fields.size() ||
        !same_comparable(record_def(s).fields[at].compare, fields[at], m.value))
      return false;
  }
  return true;
}

std::vector<Match> key_matches(const LhbaKey& key, std::initializer_list<Match> more) {
  // Each text copied once, into room made once.
  std::vector<Match> m;
  m.reserve(3 + more.size());
  m.push_back({Field::Controller, key.text[0]});
  m.push_back({Field::Function, key.text[1]});
  m.push_back({Field::Logical, key.text[2]});
  m.insert(m.end(), more);
  return m;
}

bool field_text_ok(std::string_view text) {
  // A plain loop: find_first_of asks memchr once per character.
  for (const char c : text)
    if (c == ',' || c == '\n' || c == '\r') return false;
  return true;
}

RecordValues::RecordValues(Saved s) : saved_(s), values_(record_def(s).fields.size()) {}

RecordValues::RecordValues(Saved s, std::span<const std::string_view> fields) : RecordValues(s) {
  for (size_t i = 0; i < fields.size() && i < values_.size(); ++i) values_[i].assign(fields[i]);
}

RecordValues& RecordValues::set(Field f, std::string_view value) {
  const int at = position(saved_, f);
  if (at >= 0) values_[at].assign(value);
  return *this;
}

RecordValues& RecordValues::set_key(const LhbaKey& key) {
  return set(Field::Controller, key.text[0]).set(Field::Function, key.text[1]).set(Field::Logical, key.text[2]);
}

RecordValues& RecordValues::set_options(std::span<const std::string> options) {
  for (int i = 0; i < kOptionCount && static_cast<size_t>(i) < options.size(); ++i) set(option_field(i), options[i]);
  return *this;
}

std::string_view RecordValues::get(Field f) const {
  const int at = position(saved_, f);
  return at < 0 ? std::string_view() : std::string_view(values_[at]);
}

bool RecordValues::format(std::string* line) const {
  const auto defs = record_def(saved_).fields;
  line->clear();
  line->reserve(kMaxSavedLine / 4);
  for (size_t i = 0; i < defs.size(); ++i) {
    if (!field_text_ok(values_[i])) {
      tree::validation_status(TAVO_INVALID_VALUE, defs[i].name, 0, 0);
      return false;
    }
    if (i > 0) line->push_back(',');
    // A port is saved in decimal, however it was given; no value copied.
    if (defs[i].compare == Compare::Port)
      append_comparable(line, Compare::Port, values_[i]);
    else
      line->append(values_[i]);
  }
  if (line->size() > kMaxSavedLine) {
    kLineTooLong.set(record_def(saved_).path, kMaxSavedLine);
    return false;
  }
  line->push_back('\n');
  return true;
}

std::string well_formed_lines(Saved s, std::string_view text, uint32_t* dropped) {
  std::string kept;
  uint32_t number = 0;
  for_each_line(text, [&](std::string_view line, bool whole) {
    ++number;
    if (line.empty()) return;
    std::string_view room[kMaxFields + 1];  // a line of more fields than any file's is malformed
    const size_t n = split_fields(line, room);
    if (line.size() <= kMaxSavedLine && n <= std::size(room) && (whole || !cut_short(s, line)) &&
        well_formed(s, std::span<const std::string_view>(room, n))) {
      kept.append(line);
      kept.push_back('\n');
      return;
    }
    ++*dropped;
    pdebug(TAVO_LOG_BACKEND, 2, "%s:tokens = %d, line %u of %s corrupted. So dropping it.\n",
           "TAVO_check_for_corrupted_database", static_cast<int>(n == 0 ? 0 : n - 1), number,
           record_def(s).path);
  });
  return kept;
}

}  // namespace tavo::iscsi
