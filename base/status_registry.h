// Every status text the library leaves, each registered once. A layer or
// branch keeps one table of the codes it leaves, each with its one text,
// and names its wordings: the further texts of a code whose text depends on
// the check that leaves it (6 "Invalid Value. Valid values are 1 or 2."),
// and the formats a check fills in. Tables and wordings register
// themselves at load from the files that hold them, so a lower layer finds
// the texts of a higher one; a code's text is found by its code alone.
// Registration happens before any call and lasts to the end of the process
// (a status left while it exits keeps its text); afterwards everything here
// is read-only.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <span>
#include <type_traits>

#include "base/last_status.h"

namespace tavo::base {

struct StatusText {
  uint32_t code;
  const char* text;
};

// A table of codes with their texts; written at namespace scope beside its
// rows (owner names the table in a test's failure).
class StatusTable {
 public:
  StatusTable(const char* owner, std::span<const StatusText> rows);
  StatusTable(const StatusTable&) = delete;
  StatusTable& operator=(const StatusTable&) = delete;

  const char* owner() const { return owner_; }
  std::span<const StatusText> rows() const { return rows_; }
  const StatusTable* next() const { return next_; }

 private:
  const char* owner_;
  std::span<const StatusText> rows_;
  StatusTable* next_;
};

// A wording: named where it is left, never found by its code; written at
// namespace scope in its owner's table file.
class Wording {
 public:
  Wording(const Wording&) = delete;
  Wording& operator=(const Wording&) = delete;

  uint32_t code() const { return code_; }
  const char* text() const { return text_; }
  const Wording* next() const { return next_; }

 protected:
  Wording(uint32_t code, const char* text);

 private:
  uint32_t code_;
  const char* text_;
  Wording* next_;
};

// A text left as it is.
class StatusWording : public Wording {
 public:
  StatusWording(uint32_t code, const char* text) : Wording(code, text) {}
  void set() const { tavo_set_last_status(code(), text()); }
};

namespace detail {

// Whether a value of this type fills the conversion ('z': %zu). constexpr,
// not consteval: clang 14 emits the consteval constructor below and would
// then reference a function it never emitted.
template <typename Value>
constexpr bool format_takes(char conversion) {
  if constexpr (std::is_same_v<Value, const char*>)
    return conversion == 's';
  else if constexpr (std::is_same_v<Value, int>)
    return conversion == 'd';
  else if constexpr (std::is_same_v<Value, unsigned> || std::is_same_v<Value, size_t>)
    return (conversion == 'u' && std::is_same_v<Value, unsigned>) ||
           (conversion == 'z' && std::is_same_v<Value, size_t>);
  else
    static_assert(sizeof(Value) == 0, "a status format takes texts, int, unsigned and size_t");
}

// A printf format whose conversions are, in order, filled by Values (%s,
// %d, %u, %zu); any other stops the build.
template <typename... Values>
struct CheckedFormat {
  const char* text;
  consteval CheckedFormat(const char* format) : text(format) {
    char found[sizeof...(Values) + 1] = {};
    size_t n = 0;
    for (const char* p = format; *p != '\0'; ++p) {
      if (*p != '%') continue;
      if (*++p == '%') continue;
      if (*p == '\0') throw "a status format ends in '%'";
      if (n == sizeof...(Values)) throw "a status format has more conversions than values";
      found[n++] = *p == 'z' && p[1] == 'u' ? (++p, 'z') : *p;
    }
    if (n != sizeof...(Values)) throw "a status format has fewer conversions than values";
    size_t i = 0;
    if (!(format_takes<Values>(found[i++]) && ...)) throw "a status format's conversions differ from its values";
  }
};

}  // namespace detail

// A printf format of the values a check fills in.
template <typename... Values>
class StatusFormat : public Wording {
  static_assert(sizeof...(Values) > 0, "a text without values is a StatusWording");

 public:
  StatusFormat(uint32_t code, detail::CheckedFormat<std::type_identity_t<Values>...> format)
      : Wording(code, format.text) {}
  void set(Values... values) const { set_under(code(), values...); }
  // The same text under another code (a failed validation the tree words
  // as an invalid value).
  void set_under(uint32_t code, Values... values) const { set_last_status_fmt(code, text(), values...); }
};

// The text registered for code, or null.
const char* status_text(uint32_t code);
// Leaves code with its registered text ("" for none) in the last status.
void set_status(uint32_t code);

// The registered tables and wordings, latest first; for the check that no
// code or text is registered twice.
const StatusTable* first_status_table();
const Wording* first_wording();

}  // namespace tavo::base
