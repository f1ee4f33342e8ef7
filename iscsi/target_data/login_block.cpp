// The login option block a login request carries, filled from a login
// option set over the library's defaults.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "base/library_lock.h"
#include "base/validate.h"
#include "iscsi/target_data/login_sets.h"
#include "iscsi/target_data/target_data.h"

namespace {

constexpr size_t kSecretSize = sizeof(IscsiLoginOptionsBlock{}.initiator_secret);

// One block per thread: callers copy it within the call that asked for it.
thread_local IscsiLoginOptionsBlock block_defaults;

// An option's place in a set.
constexpr int option_at(tavo::iscsi::Field f) {
  return static_cast<int>(f) - static_cast<int>(tavo::iscsi::Field::InitialR2T);
}

// A group's options as a read of each answers: one of the three saved
// sets read once, when first asked (every read failing when it cannot be
// read); another group's options through their own reads.
class BlockReads {
 public:
  // group has its Authentication group.
  BlockReads(TavoNode* group, TavoNode* authentication)
      : group_(group), authentication_(authentication), known_(tavo::target_data::known_set(group)) {}
  // 0 with the value, else the read's status and the empty text.
  uint32_t read(tavo::iscsi::Field f, char* value) {
    value[0] = '\0';
    if (!known_) {
      const int i = option_at(f);
      TavoNode* in = tavo::iscsi::option_in_authentication(i) ? authentication_ : group_;
      const uint32_t r = internal_get_property(in, tavo::iscsi::option_name(i), value);
      if (r != 0) value[0] = '\0';
      return r;
    }
    const tavo::target_data::LoginOptionSet* set = whole();
    if (set == nullptr) return 1;
    snprintf(value, TAVO_VALUE_SIZE, "%s", tavo::target_data::option(*set, f).c_str());
    return 0;
  }
  // One of the three saved sets, read; null for another group or a set
  // that cannot be read.
  const tavo::target_data::LoginOptionSet* whole() {
    if (known_ && state_ == State::Unread)
      state_ = tavo::target_data::login_option_set(group_, &set_) ? State::Read : State::Failed;
    return state_ == State::Read ? &set_ : nullptr;
  }

 private:
  enum class State { Unread, Read, Failed };
  TavoNode* group_;
  TavoNode* authentication_;
  bool known_;
  State state_ = State::Unread;
  tavo::target_data::LoginOptionSet set_;
};

// A CHAP name into its 256-byte field; its length.
uint16_t block_name(const char* text, char* field) {
  const size_t n = strnlen(text, 255);
  memset(field, 0, 256);
  memcpy(field, text, n);
  return static_cast<uint16_t>(n);
}

// A secret into its 16-byte field: "0x" and hexadecimal digits give a byte
// per pair (a last odd digit dropped), any other text its bytes. Longer
// secrets are cut to the field, in bytes and in length.
uint16_t block_secret(const char* text, uint8_t* field) {
  memset(field, 0, kSecretSize);
  const size_t length = strlen(text);
  if (length >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    const size_t bytes = (length - 2) / 2 < kSecretSize ? (length - 2) / 2 : kSecretSize;
    convert_hex_to_bin(text + 2, static_cast<int32_t>(bytes * 2), field);
    return static_cast<uint16_t>(bytes);
  }
  const size_t bytes = length < kSecretSize ? length : kSecretSize;
  memcpy(field, text, bytes);
  return static_cast<uint16_t>(bytes);
}

// The CHAP part from its five texts.
void block_chap_texts(const char* method, const char* initiator_name, const char* initiator_secret,
                      const char* target_name, const char* target_secret, IscsiLoginOptionsBlock* block) {
  const bool mutual = strcasecmp(method, "Mutual CHAP") == 0;
  if (mutual || strcasecmp(method, "One-Way CHAP") == 0) block->chap = 1;
  if (mutual) block->mutual_chap = 1;
  block->initiator_chap_name_length = block_name(initiator_name, block->initiator_chap_name);
  block->initiator_secret_length = block_secret(initiator_secret, block->initiator_secret);
  block->target_chap_name_length = block_name(target_name, block->target_chap_name);
  block->target_secret_length = block_secret(target_secret, block->target_secret);
}

using tavo::iscsi::Field;

constexpr Field kChapFields[] = {Field::AuthenticationMethod, Field::InitiatorCHAPName, Field::InitiatorSecret,
                                 Field::TargetCHAPName, Field::TargetSecret};

// The CHAP part from its five options; a failed read gives the empty text.
void block_chap(BlockReads& reads, IscsiLoginOptionsBlock* block) {
  char texts[5][TAVO_VALUE_SIZE];
  for (int i = 0; i < 5; ++i) reads.read(kChapFields[i], texts[i]);
  block_chap_texts(texts[0], texts[1], texts[2], texts[3], texts[4], block);
}

// A flag bit: set when value reads `on` (without case).
void block_flag_text(const char* value, const char* on, uint8_t* byte, uint8_t bit) {
  if (strcasecmp(value, on) == 0)
    *byte |= bit;
  else
    *byte &= static_cast<uint8_t>(~bit);
}

// A flag bit from an option. A failed read answers its status, the block
// unchanged.
uint32_t block_flag(BlockReads& reads, Field f, const char* on, uint8_t* byte, uint8_t bit) {
  char value[TAVO_VALUE_SIZE];
  const uint32_t r = reads.read(f, value);
  if (r == 0) block_flag_text(value, on, byte, bit);
  return r;
}

// A digest byte: 1 for "CRC32C" when wanted, else 0.
uint32_t block_digest(BlockReads& reads, Field f, uint8_t* byte, bool wanted) {
  if (!wanted) {
    *byte = 0;
    return 0;
  }
  char value[TAVO_VALUE_SIZE];
  const uint32_t r = reads.read(f, value);
  if (r == 0) *byte = strcasecmp(value, "CRC32C") == 0 ? 1 : 0;
  return r;
}

uint32_t block_flags(BlockReads& reads, IscsiLoginOptionsBlock* block) {
  uint32_t r = block_flag(reads, Field::InitialR2T, "Yes", &block->flags, 1u << 0);
  return r != 0 ? r : block_flag(reads, Field::ImmediateData, "Yes", &block->flags, 1u << 1);
}

TavoNode* block_authentication(TavoNode* group) { return internal_get_node(group, "Authentication", TAVO_KIND_GROUP); }

// An option's value among a set's twelve.
const char* block_value(const tavo::target_data::LoginOptionSet& values, tavo::iscsi::Field f) {
  return tavo::target_data::option(values, f).c_str();
}

// The block from a set's values, as block_fill reads them one by one (mode
// 3: the CHAP part alone).
void block_from_values(const tavo::target_data::LoginOptionSet& v, IscsiLoginOptionsBlock* block, uint32_t mode,
                       bool header, bool data, bool chap) {
  if (chap)
    block_chap_texts(block_value(v, Field::AuthenticationMethod), block_value(v, Field::InitiatorCHAPName),
                     block_value(v, Field::InitiatorSecret), block_value(v, Field::TargetCHAPName),
                     block_value(v, Field::TargetSecret), block);
  if (mode == 3) return;
  block->data_digest = data && strcasecmp(block_value(v, Field::DataDigest), "CRC32C") == 0 ? 1 : 0;
  block->header_digest = header && strcasecmp(block_value(v, Field::HeaderDigest), "CRC32C") == 0 ? 1 : 0;
  block_flag_text(block_value(v, Field::InitialR2T), "Yes", &block->flags, 1u << 0);
  block_flag_text(block_value(v, Field::ImmediateData), "Yes", &block->flags, 1u << 1);
}

// The block from a group's options: the CHAP part, then (unless mode 3)
// the digests as their flags ask and the two flag bits.
uint32_t block_fill(TavoNode* group, IscsiLoginOptionsBlock* block, uint32_t mode, bool header, bool data,
                    bool chap) {
  TavoNode* authentication = block_authentication(group);
  if (authentication == nullptr || block == nullptr || mode > 3) return 1;
  if (mode == 1) return 0;
  BlockReads reads(group, authentication);
  if (const tavo::target_data::LoginOptionSet* set = reads.whole()) {
    block_from_values(*set, block, mode, header, data, chap);
    return 0;
  }
  if (chap) block_chap(reads, block);
  if (mode == 3) return 0;
  uint32_t r = block_digest(reads, Field::DataDigest, &block->data_digest, data);
  if (r == 0) r = block_digest(reads, Field::HeaderDigest, &block->header_digest, header);
  return r != 0 ? r : block_flags(reads, block);
}

}  // namespace

void tavo::target_data::login_block(const LoginOptionSet& set, IscsiLoginOptionsBlock* block, bool chap, bool header,
                                    bool data) {
  *block = *get_default_login_options();
  block_from_values(set, block, 0, header, data, chap);
}

IscsiLoginOptionsBlock* get_default_login_options(void) {
  IscsiLoginOptionsBlock& b = block_defaults;
  memset(&b, 0, sizeof b);
  b.flags = 0x0F;
  b.first_burst_length = 8192;
  b.max_burst_length = 262144;
  b.max_connections = 1;
  b.max_outstanding_r2t = 1;
  b.default_time2wait = 2;
  b.default_time2retain = 20;
  b.max_recv_data_segment_length = 65536;
  b.second_data_segment_length = 65536;
  b.tcp_window_size = 16000;
  b.initiator_secret[0] = ' ';
  b.target_secret[0] = ' ';
  return &b;
}

uint32_t update_chap_details(TavoNode* options, IscsiLoginOptionsBlock* block, uint32_t use_chap) {
  TAVO_LIBRARY_LOCK;
  TavoNode* authentication = block_authentication(options);
  if (authentication == nullptr || block == nullptr) return 1;
  BlockReads reads(options, authentication);
  if (use_chap == 1) block_chap(reads, block);
  return block_flags(reads, block);
}

uint32_t update_header_digest_details(TavoNode* options, IscsiLoginOptionsBlock* block, uint32_t use_digest) {
  TAVO_LIBRARY_LOCK;
  TavoNode* authentication = block_authentication(options);
  if (authentication == nullptr || block == nullptr) return 1;
  BlockReads reads(options, authentication);
  return block_digest(reads, Field::HeaderDigest, &block->header_digest, use_digest == 1);
}

uint32_t update_data_digest_details(TavoNode* options, IscsiLoginOptionsBlock* block, uint32_t use_digest) {
  TAVO_LIBRARY_LOCK;
  TavoNode* authentication = block_authentication(options);
  if (authentication == nullptr || block == nullptr) return 1;
  BlockReads reads(options, authentication);
  return block_digest(reads, Field::DataDigest, &block->data_digest, use_digest == 1);
}

uint32_t get_login_options(TavoNode* options, IscsiLoginOptionsBlock* block, uint32_t mode) {
  TAVO_LIBRARY_LOCK;
  return block_fill(options, block, mode, true, true, true);
}

uint32_t conditional_get_login_options(TavoNode* options, IscsiLoginOptionsBlock* block, uint32_t mode,
                                       uint32_t header_flag, uint32_t data_flag, uint32_t chap_flag) {
  TAVO_LIBRARY_LOCK;
  return block_fill(options, block, mode, header_flag == 1, data_flag == 1, chap_flag == 1);
}

uint32_t copy_login_options(TavoNode* destination, TavoNode* source, uint32_t mode) {
  TAVO_LIBRARY_LOCK;
  TavoNode* to = block_authentication(destination);
  TavoNode* from = block_authentication(source);
  if (mode > 3 || to == nullptr || from == nullptr) return 1;
  BlockReads reads(source, from);
  char value[TAVO_VALUE_SIZE];
  for (const Field f : kChapFields)
    if (reads.read(f, value) == 0) set_prop_val(to, tavo::iscsi::option_name(option_at(f)), "%s", value);
  if (mode == 3) return 0;
  if (reads.read(Field::InitialR2T, value) == 0) internal_set_property(destination, "InitialR2T", value);
  const bool stored = strcmp(destination->name, "TargetLoginOptions") == 0;
  for (const Field f : {Field::ImmediateData, Field::DataDigest, Field::HeaderDigest}) {
    if (reads.read(f, value) != 0) continue;
    const char* name = tavo::iscsi::option_name(option_at(f));
    if (stored)
      set_prop_val(destination, name, "%s", value);
    else
      internal_set_property(destination, name, value);
  }
  return 0;
}
