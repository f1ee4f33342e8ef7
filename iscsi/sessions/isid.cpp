// ISID qualifiers: unique across every Session of the tree. The Sessions
// are indexed by the qualifier they show, so neither a question nor a new
// session walks the tree: a Session is indexed when it is built and again
// whenever the library writes its ISIDQualifier (show_qualifier), and the
// index lets go of the Sessions the tree has deleted. The sessions of
// targets that wait count too, as their waits hold them; after another
// process's change every question follows them first
// (follow_waiting_sessions), as the tree's Sessions were followed when the
// call began. Every question is answered here, of both.
#include <ctype.h>
#include <stdlib.h>
#include <strings.h>

#include <array>
#include <bitset>
#include <unordered_map>
#include <vector>

#include "base/no_destructor.h"
#include "base/library_lock.h"
#include "iscsi/sessions/sessions_internal.h"
#include "tree/state_changes.h"
#include "tree/waiting.h"

using namespace tavo::sessions;

namespace {

constexpr uint32_t kNoneFree = 0xFFFF;
constexpr int32_t kShowsNone = -1;

// The stored ISIDQualifier text of a Session (never its handler: the index
// reads the tree only); null when the Session has none. Found among its
// dozen children rather than through the tree's name index, which formats
// every name it compares.
const char* isid_text(TavoNode* session) {
  for (TavoNode* c = tavo::tree::first_child(session); c != session; c = c->next)
    if (c->kind == TAVO_KIND_PROPERTY && (c->name[0] | 0x20) == 'i' && strcasecmp(c->name, "ISIDQualifier") == 0)
      return tavo::tree::property_record(c)->value;
  return nullptr;
}

// A stored qualifier: its hexadecimal digits read at once, anything else
// as parse_qualifier reads it.
uint16_t isid_value(const char* text) {
  uint32_t v = 0;
  int digits = 0;
  for (; digits < 8 && isxdigit(static_cast<unsigned char>(text[digits])); ++digits) {
    const char c = text[digits];
    v = v << 4 | static_cast<uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  }
  return digits > 0 && text[digits] == '\0' ? static_cast<uint16_t>(v) : parse_qualifier(text);
}

// The Sessions of the tree by the qualifier each shows. A Session that
// shows none makes every qualifier count as held.
class IsidIndex {
 public:
  void note(TavoNode* session) {
    const char* text = isid_text(session);
    note_as(session, text != nullptr ? isid_value(text) : kShowsNone);
  }
  void note_as(TavoNode* session, int32_t q) {
    // An entry left by a deleted Session whose node this one reuses is
    // replaced below; the others go when a question needs them gone, or
    // once they may outnumber the live ones.
    if (sessions_.size() >= 2 * pruned_size_ + 64) prune();
    auto [at, added] = sessions_.try_emplace(session, Entry{tavo::tree::node_ref(session), q});
    if (!added) {
      drop(at->second.qualifier);
      at->second = Entry{tavo::tree::node_ref(session), q};
    }
    hold(q);
  }
  bool held(uint32_t q) {
    prune();
    return shows_none_ > 0 || holders(q & 0xFFFF) > 0;
  }
  // Whether a Session other than this one holds q.
  bool held_apart_from(uint32_t q, TavoNode* session) {
    prune();
    const auto own = sessions_.find(session);
    const int32_t mine = own != sessions_.end() ? own->second.qualifier : kShowsNone - 1;
    const uint32_t none = shows_none_ - (mine == kShowsNone ? 1 : 0);
    return none > 0 || holders(q & 0xFFFF) - (mine == static_cast<int32_t>(q & 0xFFFF) ? 1 : 0) > 0;
  }
  void hold(int32_t q) {
    if (q == kShowsNone) {
      ++shows_none_;
      return;
    }
    const auto at = static_cast<size_t>(q);
    // Room up to the highest qualifier held, grown as sessions come.
    if (at / 64 >= held_bits_.size()) held_bits_.resize(at / 64 + 1);
    uint64_t& word = held_bits_[at / 64];
    const uint64_t bit = uint64_t{1} << (at % 64);
    if ((word & bit) != 0) ++more_[static_cast<uint16_t>(q)];
    word |= bit;
  }
  void drop(int32_t q) {
    if (q == kShowsNone) {
      --shows_none_;
      return;
    }
    if (const auto more = more_.find(static_cast<uint16_t>(q)); more != more_.end()) {
      if (--more->second == 0) more_.erase(more);
      return;
    }
    held_bits_[static_cast<size_t>(q) / 64] &= ~(uint64_t{1} << (q % 64));
  }
  // Nothing held any more, and the room goes (the library stops).
  void release() {
    std::unordered_map<TavoNode*, Entry>().swap(sessions_);
    std::unordered_map<uint16_t, uint32_t>().swap(more_);
    std::vector<uint64_t>().swap(held_bits_);
    shows_none_ = 0;
    pruned_size_ = 0;
  }
  // The lowest qualifier neither held, nor among the bits elsewhere(word)
  // gives of each word, nor in also_taken.
  template <typename F>
  uint32_t lowest_free(const std::bitset<65536>& also_taken, F&& elsewhere) {
    prune();
    if (shows_none_ > 0) return kNoneFree;
    for (uint32_t word = 0; word < 65536 / 64; ++word) {
      const uint64_t held = word < held_bits_.size() ? held_bits_[word] : 0;
      for (uint64_t free = ~(held | elsewhere(word)); free != 0; free &= free - 1) {
        const uint32_t q = word * 64 + static_cast<uint32_t>(__builtin_ctzll(free));
        if (q >= kNoneFree) return kNoneFree;
        if (!also_taken.test(q)) return q;
      }
    }
    return kNoneFree;
  }

 private:
  struct Entry {
    TavoNodeRef ref;
    int32_t qualifier;
  };
  // After any deletion in the tree, the Sessions it took go: each entry is
  // looked up by its reference, never through its (maybe freed) node.
  void prune() {
    const uint64_t deletions = tavo::tree::deletions();
    if (deletions == pruned_at_) return;
    pruned_at_ = deletions;
    const TavoHierarchy* h = hm_find_hierarchy_by_node(get_node(0));
    for (auto it = sessions_.begin(); it != sessions_.end();) {
      if (tavo::tree::ref_node(h, it->second.ref) == it->first) {
        ++it;
        continue;
      }
      drop(it->second.qualifier);
      it = sessions_.erase(it);
    }
    pruned_size_ = sessions_.size();
  }

  std::unordered_map<TavoNode*, Entry> sessions_;
  uint32_t holders(uint32_t q) const {
    if (q / 64 >= held_bits_.size() || (held_bits_[q / 64] >> (q % 64) & 1) == 0) return 0;
    const auto more = more_.find(static_cast<uint16_t>(q));
    return 1 + (more != more_.end() ? more->second : 0);
  }
  // Per qualifier up to the highest held, whether any Session holds it; the
  // few held by more than one, their holders beyond the first.
  std::vector<uint64_t> held_bits_;
  std::unordered_map<uint16_t, uint32_t> more_;
  uint32_t shows_none_ = 0;
  uint64_t pruned_at_ = 0;
  size_t pruned_size_ = 0;  // the entries the last prune left
};

IsidIndex& isid_index() {
  static tavo::base::NoDestructor<IsidIndex> index;
  return *index;
}

// A given qualifier text: any base, cut to 16 bits; nothing may follow it.
bool isid_parse(const char* text, uint32_t* qualifier) {
  char* end = nullptr;
  const unsigned long v = strtoul(text, &end, 0);
  if (end == text || *end != '\0') {
    sessions_status(8);
    return false;
  }
  *qualifier = static_cast<uint32_t>(v & 0xFFFF);
  return true;
}

// The first closed or failed Session of the target to the portal (with
// the given qualifier when one is given), and its qualifier; null for
// none.
TavoNode* isid_reusable(TavoNode* target, const char* address, const char* port, const uint32_t* qualifier,
                        uint32_t* held) {
  for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s)) {
    SessionView view;
    if (!session_view(s, &view) || !reusable_status(view.status) || !goes_to(view, address, port)) continue;
    if (qualifier != nullptr && view.qualifier != *qualifier) continue;
    *held = view.qualifier;
    return s;
  }
  return nullptr;
}

}  // namespace

namespace tavo::sessions {

namespace {
// Bit q of words (64 a word), none past their end.
bool isid_bit(const std::vector<uint64_t>& words, uint32_t q) {
  return q / 64 < words.size() && (words[q / 64] >> (q % 64) & 1) != 0;
}
}  // namespace

uint32_t lowest_free_qualifier(const std::bitset<65536>& also_taken) {
  follow_waiting_sessions();
  const std::vector<uint64_t>& waiting = waiting_qualifiers();
  return isid_index().lowest_free(
      also_taken, [&](uint32_t word) { return word < waiting.size() ? waiting[word] : uint64_t{0}; });
}

void release_qualifiers() { isid_index().release(); }

bool qualifier_held_apart_from(uint32_t qualifier, TavoNode* session) {
  follow_waiting_sessions();
  return isid_index().held_apart_from(qualifier, session) || isid_bit(waiting_qualifiers(), qualifier & 0xFFFF);
}

void note_session(TavoNode* session) {
  TAVO_LIBRARY_LOCK;
  if (session != nullptr) isid_index().note(session);
}

void note_waiting_session(TavoNode* session, uint16_t q) {
  TAVO_LIBRARY_LOCK;
  if (session != nullptr) isid_index().note_as(session, q);
}

uint32_t show_qualifier(TavoNode* session, uint16_t qualifier) {
  char text[TAVO_VALUE_SIZE];
  write_hex4(text, qualifier);
  const uint32_t r = set_prop_val(session, "ISIDQualifier", "%s", text);
  note_session(session);
  return r;
}

}  // namespace tavo::sessions

uint32_t check_for_isid_existence(uint32_t qualifier) {
  TAVO_LIBRARY_LOCK;
  follow_waiting_sessions();
  return isid_index().held(qualifier) || isid_bit(waiting_qualifiers(), qualifier & 0xFFFF) ? 1 : 0;
}

uint32_t generate_isid_qualifier(void) {
  TAVO_LIBRARY_LOCK;
  return lowest_free_qualifier({});
}

uint32_t TAVO_get_isid(TavoNode* target, const char* qualifier_text, const char* target_name,
                       const char* initiator_name, const char* address, const char* port, uint32_t* reused,
                       uint32_t* qualifier, TavoNode** reused_session) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr || target_name == nullptr || initiator_name == nullptr || address == nullptr ||
      port == nullptr || reused == nullptr || qualifier == nullptr || reused_session == nullptr)
    return 1;
  if (qualifier_text == nullptr || qualifier_text[0] == '\0') {
    if (TavoNode* s = isid_reusable(target, address, port, nullptr, qualifier)) {
      *reused = 1;
      *reused_session = s;
      return 0;
    }
    *qualifier = generate_isid_qualifier();
    pdebug(TAVO_LOG_BACKEND, 6, "%s: ISID qualifier %u generated\n", __func__, *qualifier);
    return 0;
  }
  // A given qualifier holds on a target's first login too, so a session
  // restored from its saved line keeps its qualifier.
  uint32_t given = 0;
  if (!isid_parse(qualifier_text, &given)) return 1;
  if (TavoNode* s = isid_reusable(target, address, port, &given, qualifier)) {
    *reused = 1;
    *reused_session = s;
    return 0;
  }
  if (check_for_isid_existence(given) != 0) {
    sessions_status(71);
    return 1;
  }
  *qualifier = given;
  return 0;
}
