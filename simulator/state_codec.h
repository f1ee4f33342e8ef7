// The bytes of the adapters' state as the root keeps it (adapter_state.cpp):
// plain records are copied as they lie, texts and containers carry their
// sizes, and the simulator's own structs are written field by field. Their
// fields are named once, by a structured binding: a field added to one of
// them stops the build here until it is named too. Reads are bounded and
// answer false on bytes that do not parse.
#pragma once

#include <stdint.h>
#include <string.h>

#include <array>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "simulator/iscsi_state.h"
#include "simulator/network_state.h"
#include "simulator/nic_state.h"
#include "simulator/topology.h"

namespace tavo::sim::state {

struct Writer {
  std::string& out;  // appended to
  void raw(const void* p, size_t n) {
    if (n > 0) out.append(static_cast<const char*>(p), n);
  }
};

struct Reader {
  std::string_view in;
  bool ok = true;
  bool raw(void* p, size_t n) {
    if (!ok || in.size() < n) return ok = false;
    if (n > 0) memcpy(p, in.data(), n);
    in.remove_prefix(n);
    return true;
  }
  // A value of a fixed size: copied inline, not by a call (a session holds
  // a score of them).
  template <typename T>
  bool fixed(T* v) {
    if (!ok || in.size() < sizeof(T)) return ok = false;
    memcpy(v, in.data(), sizeof(T));
    in.remove_prefix(sizeof(T));
    return true;
  }
  // A count of at most what the bytes left could hold, each at least one.
  bool count(uint32_t* n) { return fixed(n) && (*n <= in.size() || (ok = false)); }
};

// The simulator's structs, each field named once (see above).
template <typename S, typename F>
  requires std::is_same_v<std::remove_const_t<S>, SimSession>
void fields(S& s, F&& f) {
  auto& [a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22, a23,
         a24, a25] = s;
  f(a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22, a23, a24,
    a25);
}

// The iSCSI state but its sessions and target ids (items of their own),
// the sessions a command reached and what target records answer from.
template <typename S, typename F>
  requires std::is_same_v<std::remove_const_t<S>, SimIscsi>
void fields(S& s, F&& f) {
  auto& [sessions, a2, target_ids, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, reached, reached_all,
         reached_targets, target_records] = s;
  (void)sessions, (void)target_ids, (void)reached, (void)reached_all, (void)reached_targets, (void)target_records;
  f(a2, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16);
}

template <typename S, typename F>
  requires std::is_same_v<std::remove_const_t<S>, SimNetwork>
void fields(S& s, F&& f) {
  auto& [a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22, a23,
         a24, a25, a26] = s;
  f(a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22, a23, a24,
    a25, a26);
}

template <typename S, typename F>
  requires std::is_same_v<std::remove_const_t<S>, SimNicState>
void fields(S& s, F&& f) {
  auto& [a1, a2, a3, a4, a5, a6, a7, a8] = s;
  f(a1, a2, a3, a4, a5, a6, a7, a8);
}

template <typename S, typename F>
  requires std::is_same_v<std::remove_const_t<S>, SimVf>
void fields(S& s, F&& f) {
  auto& [a1, a2, a3, a4] = s;
  f(a1, a2, a3, a4);
}

template <typename S, typename F>
  requires std::is_same_v<std::remove_const_t<S>, SimPort>
void fields(S& s, F&& f) {
  auto& [a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22, a23,
         a24, a25, a26, a27, a28, a29, a30, a31, a32, a33, a34, a35, a36, a37, a38, a39, a40, a41, a42, a43, a44, a45,
         a46, a47] = s;
  f(a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22, a23, a24,
    a25, a26, a27, a28, a29, a30, a31, a32, a33, a34, a35, a36, a37, a38, a39, a40, a41, a42, a43, a44, a45, a46, a47);
}

template <typename T>
concept HasFields = requires(T& t) { fields(t, [](auto&...) {}); };

// Copied as they lie: numbers and the firmware's packed records, whose
// every byte is a value (no padding to differ between equal states).
template <typename T>
concept Plain = std::is_trivially_copyable_v<T> && std::has_unique_object_representations_v<T> && !HasFields<T>;

template <typename T>
struct IsVector : std::false_type {};
template <typename T>
struct IsVector<std::vector<T>> : std::true_type {};
template <typename T>
struct IsMap : std::false_type {};
template <typename K, typename V>
struct IsMap<std::map<K, V>> : std::true_type {};
template <typename T>
struct IsSet : std::false_type {};
template <typename K>
struct IsSet<std::set<K>> : std::true_type {};
template <typename T>
struct IsPair : std::false_type {};
template <typename A, typename B>
struct IsPair<std::pair<A, B>> : std::true_type {};

template <typename T>
void put(Writer& w, const T& v);
template <typename T>
bool get(Reader& r, T& v);

template <typename T>
void put(Writer& w, const T& v) {
  if constexpr (std::is_same_v<T, bool>) {
    const uint8_t b = v ? 1 : 0;
    w.raw(&b, 1);
  } else if constexpr (std::is_enum_v<T> || Plain<T>) {
    w.raw(&v, sizeof v);
  } else if constexpr (std::is_same_v<T, std::string>) {
    const auto n = static_cast<uint32_t>(v.size());
    w.raw(&n, sizeof n);
    w.raw(v.data(), v.size());
  } else if constexpr (IsVector<T>::value || IsMap<T>::value || IsSet<T>::value) {
    const auto n = static_cast<uint32_t>(v.size());
    w.raw(&n, sizeof n);
    using E = typename T::value_type;
    if constexpr (IsVector<T>::value && Plain<E>)
      w.raw(v.data(), v.size() * sizeof(E));
    else
      for (const auto& e : v) put(w, e);
  } else if constexpr (IsPair<T>::value) {
    put(w, v.first);
    put(w, v.second);
  } else if constexpr (HasFields<const T>) {
    fields(v, [&w](const auto&... f) { (put(w, f), ...); });
  } else {
    static_assert(sizeof(T) == 0, "no form for this type's bytes");
  }
}

template <typename T>
bool get(Reader& r, T& v) {
  if constexpr (std::is_same_v<T, bool>) {
    uint8_t b = 0;
    if (!r.fixed(&b) || b > 1) return r.ok = false;
    v = b == 1;
  } else if constexpr (std::is_enum_v<T> || Plain<T>) {
    r.fixed(&v);
  } else if constexpr (std::is_same_v<T, std::string>) {
    uint32_t n = 0;
    if (r.count(&n)) {
      v.assign(r.in.data(), n);
      r.in.remove_prefix(n);
    }
  } else if constexpr (IsVector<T>::value) {
    uint32_t n = 0;
    if (!r.count(&n)) return false;
    using E = typename T::value_type;
    if constexpr (Plain<E>) {
      if (r.in.size() / sizeof(E) < n) return r.ok = false;
      v.resize(n);
      r.raw(v.data(), n * sizeof(E));
    } else {
      v.clear();
      for (uint32_t i = 0; i < n && r.ok; ++i) get(r, v.emplace_back());
    }
  } else if constexpr (IsMap<T>::value || IsSet<T>::value) {
    uint32_t n = 0;
    if (!r.count(&n)) return false;
    v.clear();
    for (uint32_t i = 0; i < n && r.ok; ++i) {
      std::remove_const_t<typename T::key_type> key{};
      if constexpr (IsMap<T>::value) {
        typename T::mapped_type value{};
        if (get(r, key) && get(r, value)) v.emplace(std::move(key), std::move(value));
      } else if (get(r, key)) {
        v.insert(std::move(key));
      }
    }
  } else if constexpr (IsPair<T>::value) {
    get(r, v.first) && get(r, v.second);
  } else if constexpr (HasFields<T>) {
    fields(v, [&r](auto&... f) { (get(r, f) && ...); });
  } else {
    static_assert(sizeof(T) == 0, "no form for this type's bytes");
  }
  return r.ok;
}

}  // namespace tavo::sim::state
