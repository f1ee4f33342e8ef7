#include "base/validate.h"

#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "base/last_status.h"
#include "tree/persist.h"
#include "tree/tree.h"

namespace {

struct ValidateCase {
  const char* value;
  uint8_t type;
  const char* list;
  int32_t minimum;
  int32_t maximum;
  uint32_t expected;
};

std::string with_blank_after(const char* s) { return std::string(s) + " "; }

TEST(TavoValidate, AnswersPerTypeAndValue) {
  const std::string t33(33, 'a');
  const std::string t32(32, 'a');
  const ValidateCase cases[] = {
      // type 0: length range, both bounds inclusive
      {"", TAVO_TYPE_TEXT, "", 1, 32, 8},
      {t33.c_str(), TAVO_TYPE_TEXT, "", 1, 32, 8},
      {t32.c_str(), TAVO_TYPE_TEXT, "", 1, 32, 0},
      {"a", TAVO_TYPE_TEXT, "", 1, 32, 0},
      // type 1: integers with automatic base
      {"4094", TAVO_TYPE_INTEGER, "", 0, 4094, 0},
      {" 12", TAVO_TYPE_INTEGER, "", 0, 4094, 0},
      {"4095", TAVO_TYPE_INTEGER, "", 0, 4094, 7},
      {"-1", TAVO_TYPE_INTEGER, "", 0, 4094, 7},
      {"12 ", TAVO_TYPE_INTEGER, "", 0, 4094, 6},
      {"", TAVO_TYPE_INTEGER, "", 0, 4094, 6},
      {"abc", TAVO_TYPE_INTEGER, "", 0, 4094, 6},
      {"08", TAVO_TYPE_INTEGER, "", 0, 4094, 6},
      {"0x10", TAVO_TYPE_INTEGER, "", 16, 16, 0},
      {"010", TAVO_TYPE_INTEGER, "", 8, 8, 0},
      {"0x1F", TAVO_TYPE_INTEGER, "", 31, 31, 0},
      {" ", TAVO_TYPE_INTEGER, "", 0, 4094, 6},
      {"-", TAVO_TYPE_INTEGER, "", 0, 4094, 6},
      {"0x", TAVO_TYPE_INTEGER, "", 0, 4094, 6},
      {"2147483648", TAVO_TYPE_INTEGER, "", INT32_MIN, INT32_MAX, 7},
      {"-2147483648", TAVO_TYPE_INTEGER, "", INT32_MIN, INT32_MAX, 0},
      {"99999999999999999999999", TAVO_TYPE_INTEGER, "", INT32_MIN, INT32_MAX, 7},
      // type 4: list entries, ignoring case, blanks kept
      {"3", TAVO_TYPE_LIST, "0,1,2,3,4,5,6", 0, 0, 0},
      {"7", TAVO_TYPE_LIST, "0,1,2,3,4,5,6", 0, 0, 6},
      {" 3", TAVO_TYPE_LIST, "0,1,2,3,4,5,6", 0, 0, 6},
      {"enabled", TAVO_TYPE_LIST, "Enabled,Disabled", 0, 0, 0},
      {"Disabled", TAVO_TYPE_LIST, "Enabled, Disabled", 0, 0, 6},
      {"", TAVO_TYPE_LIST, "a,,b", 0, 0, 0},
      {"", TAVO_TYPE_LIST, "a,b,", 0, 0, 0},
      {"", TAVO_TYPE_LIST, "", 0, 0, 0},
      {"a", TAVO_TYPE_LIST, "", 0, 0, 6},
      // type 2: IPv4
      {"192.168.1.10", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 0},
      {"0.0.0.0", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"255.255.255.255", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"127.0.0.1", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"255.1.1.1", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"1.2.3", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"1.2.3.4.", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"1.2.3.4 ", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"256.1.1.1", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"1..2.3", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 0},
      {"10.100.200.250x", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"010.100.200.2501", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      // type 2: IPv6 refusals
      {"::1", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"::", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"1::2::3", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"1:2:3:4::5:6:7:8", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"12345::1", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"1:2:3:4:5:6:12345", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"1:2:3:4:5:6:7:8:9", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"1:2:3", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"g::1", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      {"1:::2", TAVO_TYPE_IP_ADDRESS, "", 0, 0, 6},
      // type 3: contiguous masks
      {"255.255.255.0", TAVO_TYPE_SUBNET_MASK, "", 0, 0, 0},
      {"255.255.255.255", TAVO_TYPE_SUBNET_MASK, "", 0, 0, 0},
      {"128.0.0.0", TAVO_TYPE_SUBNET_MASK, "", 0, 0, 0},
      {"0.0.0.0", TAVO_TYPE_SUBNET_MASK, "", 0, 0, 6},
      {"255.0.255.0", TAVO_TYPE_SUBNET_MASK, "", 0, 0, 6},
      {"0.255.255.255", TAVO_TYPE_SUBNET_MASK, "", 0, 0, 6},
      {"255.255.255.0.0", TAVO_TYPE_SUBNET_MASK, "", 0, 0, 6},
      {"255.255.256.0", TAVO_TYPE_SUBNET_MASK, "", 0, 0, 6},
      {"255.255.255.0x", TAVO_TYPE_SUBNET_MASK, "", 0, 0, 0},
      {"255.255.0", TAVO_TYPE_SUBNET_MASK, "", 0, 0, 6},
      {"255.255.255.255.0", TAVO_TYPE_SUBNET_MASK, "", 0, 0, 6},
      // types above 4 are not checked
      {"anything", 5, "", 0, 0, 0},
      {"", 200, "", 5, 1, 0},
  };
  for (const auto& c : cases) {
    char buf[256] = {};
    snprintf(buf, sizeof buf, "%s", c.value);
    EXPECT_EQ(tavo_validate(buf, c.list, c.type, c.minimum, c.maximum), c.expected)
        << "type " << int(c.type) << " value '" << c.value << "'";
  }
  char buf[256];
  snprintf(buf, sizeof buf, "%s", with_blank_after("255.255.255.0").c_str());
  EXPECT_EQ(tavo_validate(buf, "", TAVO_TYPE_SUBNET_MASK, 0, 0), 0u);
}

// An accepted address is kept in the one form the firmware answers: IPv6
// full, IPv4 plain dotted decimal (the blanks, signs and leading zeros its
// parts let through gone).
TEST(TavoValidate, RewritesAddressesToTheirPlainForm) {
  const struct {
    const char* in;
    const char* full;
  } cases[] = {
      {"fe80::1", "FE80:0000:0000:0000:0000:0000:0000:0001"},
      {"FE80::", "FE80:0000:0000:0000:0000:0000:0000:0000"},
      {"1:2:3:4:5:6:7:", "0001:0002:0003:0004:0005:0006:0007:0000"},
      {"1:2:3:4:5:6:7:0", "0001:0002:0003:0004:0005:0006:0007:0000"},
      {"1::2:0:0:0:3", "0001:0000:0000:0002:0000:0000:0000:0003"},
      {"1:2:3:4:5:6::8", "0001:0002:0003:0004:0005:0006:0000:0008"},
      {"abcd:EF01:2345:6789:abcd:ef01:2345:6789", "ABCD:EF01:2345:6789:ABCD:EF01:2345:6789"},
      {"1::2:", "0001:0000:0000:0000:0000:0000:0002:0000"},
      {"192.168.1.10", "192.168.1.10"},
      {" 10.9.0.1", "10.9.0.1"},
      {"\t\n10.9.0.1", "10.9.0.1"},
      {"10. 9.\v0.1", "10.9.0.1"},
      {"+10.9.-0.1", "10.9.0.1"},
      {"010.09.000.1", "10.9.0.1"},
      {"1..2.3", "1.0.2.3"},
  };
  for (const auto& c : cases) {
    char buf[256] = {};
    snprintf(buf, sizeof buf, "%s", c.in);
    EXPECT_EQ(tavo_validate(buf, "", TAVO_TYPE_IP_ADDRESS, 0, 0), 0u) << c.in;
    EXPECT_STREQ(buf, c.full) << c.in;
    if (strchr(c.in, ':') == nullptr) continue;
    char again[40];
    snprintf(again, sizeof again, "%s", c.in);
    EXPECT_EQ(validateIPv6Address(again), 0u);
    EXPECT_STREQ(again, c.full);
  }
  char empty[40] = "";
  EXPECT_EQ(validateIPv6Address(empty), 6u);
  char ipv4[40] = "10.1.1.1";
  EXPECT_EQ(validateIPv6Address(ipv4), 6u);
}

TEST(ValidateIPAddress, AppliesTheModeRules) {
  const struct {
    const char* text;
    uint32_t mode;
    uint32_t expected;
  } cases[] = {
      {"10.1.1.1", 1, 1},     {"10.1.1", 1, 0},        {"10..1.1", 1, 0},       {"1.2.3.4.", 1, 0},
      {"1.2.3.4.5", 1, 0},    {"1.2.a.4", 1, 0},       {"1.2.-3.4", 1, 0},      {"", 1, 0},
      {"256.1.1.1", 4, 0},    {"0.0.0.0", 0, 0},       {"0.0.0.1", 0, 1},       {"255.255.255.255", 0, 1},
      {"0.0.0.0", 1, 0},      {"255.255.255.255", 1, 0}, {"127.0.0.1", 1, 0},   {"255.0.0.1", 1, 0},
      {"0.0.1.1", 2, 0},      {"0.1.1.1", 2, 1},       {"10.1.1.0", 2, 0},      {"10.1.1.255", 2, 0},
      {"127.1.1.1", 2, 0},    {"10.1.1.1", 2, 1},      {"224.1.1.1", 3, 0},     {"247.1.1.1", 3, 0},
      {"248.1.1.1", 3, 1},    {"223.1.1.1", 3, 1},     {"10.1.1.0", 3, 1},      {"10.1.1.255", 3, 0},
      {"0.0.1.1", 3, 0},      {"0.0.0.0", 4, 1},       {"255.255.255.255", 4, 1}, {"0.0.0.0", 9, 1},
      {"255.255.240.0", 5, 1}, {"255.240.240.0", 5, 0}, {"255.254.254.0", 5, 0}, {"255.255.255.255", 5, 1},
      {"0.0.0.0", 5, 0},      {"128.0.0.0", 5, 1},     {"255.253.0.0", 5, 0},   {"0.255.0.0", 5, 0},
      // judged on the first 15 characters only
      {"100.100.100.1001", 1, 1}, {"100.100.100.10.", 1, 0},
  };
  for (const auto& c : cases) {
    uint8_t o[4] = {};
    EXPECT_EQ(validateIPAddress(c.text, o, c.mode), c.expected) << c.text << " mode " << c.mode;
  }
  uint8_t o[4] = {9, 9, 9, 9};
  EXPECT_EQ(validateIPAddress(".1.2.3", o, 1), 1u);
  EXPECT_EQ(o[0], 0);
  EXPECT_EQ(o[1], 1);
  EXPECT_EQ(o[2], 2);
  EXPECT_EQ(o[3], 3);
  EXPECT_EQ(validateIPAddress(nullptr, o, 1), 0u);
}

TEST(ValidateMACAddress, ReadsSixGroups) {
  const struct {
    const char* text;
    uint32_t expected;
  } cases[] = {
      {"00:11:22:33:44:55", 1},   {"00-11-22-33-44-55", 1},    {"00:11-22:33-44:55", 1},
      {"0:1:2:3:4:5", 1},         {"00:11:22:33:44", 0},       {"0:1:2:3:4:5:", 0},
      {"00:11:22:33:44:55:66", 1}, {"00:11:22:33:44:55:", 1},  {"", 0},
      {"00:11:22:33:44:5 ", 0},   {"0G:11:22:33:44:55", 0},    {"000:11:22:33:44:5", 0},
      {"0:1:2:3:4:123", 0},       {"00:11:22:33:44:55:6", 1},  {"00:0e:1e:aa:bb:0g", 0},
      {"00:0e:1e:aa:bb:z0", 0},   {"00:11:22:33:44:55:zz", 1},  // past the 17th character
  };
  for (const auto& c : cases) {
    uint8_t mac[6] = {};
    EXPECT_EQ(validateMACAddress(c.text, mac), c.expected) << c.text;
  }
  uint8_t mac[6] = {};
  ASSERT_EQ(validateMACAddress("0a:1B:22:33:44:ff", mac), 1u);
  const uint8_t want[6] = {0x0a, 0x1b, 0x22, 0x33, 0x44, 0xff};
  EXPECT_EQ(memcmp(mac, want, 6), 0);
}

TEST(ValidateISCSIName, LowersCaseAndRefusesWithStatus30) {
  char copy[224];
  tavo_set_last_status(0, "");
  EXPECT_EQ(validateISCSIName("iqn.2001-04.COM.Example:Storage-1", copy), 0u);
  EXPECT_STREQ(copy, "iqn.2001-04.com.example:storage-1");
  EXPECT_EQ(tavo_last_status_code, 0u);

  const std::string longest(223, 'a');
  EXPECT_EQ(validateISCSIName(longest.c_str(), copy), 0u);
  EXPECT_EQ(std::string(copy), longest);

  const std::string refused[] = {"iqn.a b", "iqn.a_b", "", std::string(224, 'a'), std::string(225, 'a')};
  for (const auto& name : refused) {
    tavo_set_last_status(0, "");
    EXPECT_EQ(validateISCSIName(name.c_str(), copy), 1u) << name.size();
    EXPECT_EQ(tavo_last_status_code, 30u);
    EXPECT_STREQ(tavo_last_status_string, "Invalid iSCSI name. Please use valid iSCSI name as per RFC 3722.");
  }
  EXPECT_EQ(validateISCSIName(nullptr, copy), 1u);
  EXPECT_EQ(validateISCSIName("iqn.x", nullptr), 1u);
}

TEST(Ipv6Text, BytesToTextAndBack) {
  const struct {
    uint16_t groups[8];
    const char* text;
  } cases[] = {
      {{0, 0, 0, 0, 0, 0, 0, 0}, ""},
      {{0, 0, 0, 0, 0, 0, 0, 1}, "0::1"},
      {{0xfe80, 0, 0, 0, 0, 0, 0, 0}, "fe80::"},
      {{1, 0, 0, 2, 0, 0, 0, 3}, "1::2:0:0:0:3"},
      {{1, 2, 3, 4, 5, 6, 7, 0}, "1:2:3:4:5:6:7:0"},
      {{0x0a05, 1, 2, 3, 4, 5, 6, 7}, "a05:1:2:3:4:5:6:7"},
      {{1, 0, 3, 4, 5, 6, 7, 8}, "1::3:4:5:6:7:8"},
      {{0xfe80, 0, 0, 0, 0, 0, 0, 1}, "fe80::1"},
      {{0x1234, 0xabcd, 0xffff, 0x10, 0x100, 0, 0, 0}, "1234:abcd:ffff:10:100::"},
  };
  for (const auto& c : cases) {
    uint8_t bytes[16];
    for (int i = 0; i < 8; ++i) {
      bytes[2 * i] = static_cast<uint8_t>(c.groups[i] >> 8);
      bytes[2 * i + 1] = static_cast<uint8_t>(c.groups[i]);
    }
    char text[40];
    memset(text, 'x', sizeof text);
    U8IPv6ToStr(bytes, text);
    EXPECT_STREQ(text, c.text);
    // Back through the check and StrToU8IPv6 to the same bytes.
    char full[40];
    snprintf(full, sizeof full, "%s", text);
    if (full[0] != '\0') {
      ASSERT_EQ(validateIPv6Address(full), 0u) << text;
    }
    uint8_t back[16];
    memset(back, 0xAA, sizeof back);
    StrToU8IPv6(full, back);
    EXPECT_EQ(memcmp(back, bytes, 16), 0) << c.text;
  }
  uint8_t bytes[16];
  memset(bytes, 0x55, sizeof bytes);
  StrToU8IPv6("", bytes);
  const uint8_t zero[16] = {};
  EXPECT_EQ(memcmp(bytes, zero, 16), 0);
  // More than 32 digits never write past the 16 bytes.
  uint8_t guarded[17];
  guarded[16] = 0x77;
  StrToU8IPv6("FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF", guarded);
  EXPECT_EQ(guarded[15], 0xFF);
  EXPECT_EQ(guarded[16], 0x77);
}

TEST(Ipv6Text, AddressRecordToText) {
  uint8_t v6[16] = {0xfe, 0x80};
  v6[15] = 1;
  char text[40];
  ipaddr_to_string(v6, text, 0x10);
  EXPECT_STREQ(text, "FE80:0000:0000:0000:0000:0000:0000:0001");
  ipaddr_to_string(v6, text, 0x100);  // only the low eight bits count
  EXPECT_STREQ(text, "0.0.0.0");
  ipaddr_to_string(v6, text, 0);
  EXPECT_STREQ(text, "0.0.0.0");
  ipaddr_to_string(v6, text, 0x08);
  EXPECT_STREQ(text, "0.0.0.0");
  const struct {
    uint8_t bytes[4];
    const char* text;
  } v4s[] = {{{192, 168, 1, 10}, "192.168.1.10"},
             {{0, 0, 0, 0}, "0.0.0.0"},
             {{255, 100, 99, 9}, "255.100.99.9"},
             {{10, 200, 101, 110}, "10.200.101.110"}};
  for (const auto& c : v4s) {
    uint8_t v4[16] = {};
    memcpy(v4, c.bytes, 4);
    ipaddr_to_string(v4, text, 0x11);
    EXPECT_STREQ(text, c.text);
  }
  const uint8_t zero[16] = {};
  ipaddr_to_string(zero, text, 0x20);
  EXPECT_STREQ(text, "");
}

TEST(Conversions, DigitsHexAndBits) {
  const struct {
    const char* text;
    int32_t base;
    uint32_t value;
  } digits[] = {{"ff", 16, 255}, {"FF", 16, 255}, {"0G", 16, 0}, {"", 16, 0}, {"1z", 36, 71},
                {"12x", 10, 12}, {":", 16, 10},   {"?", 16, 15}, {"@", 16, 0}, {"777", 8, 511}};
  for (const auto& d : digits) {
    char scratch[8];
    snprintf(scratch, sizeof scratch, "%s", d.text);
    EXPECT_EQ(convert(scratch, d.base), d.value) << d.text;
  }

  uint8_t bytes[4] = {9, 9, 9, 9};
  EXPECT_EQ(convert_hex_to_bin("0aFfG11G", 8, bytes), 0);
  EXPECT_EQ(bytes[0], 0x0a);
  EXPECT_EQ(bytes[1], 0xff);
  EXPECT_EQ(bytes[2], 0);
  EXPECT_EQ(bytes[3], 1);
  uint8_t odd[2] = {9, 9};
  EXPECT_EQ(convert_hex_to_bin("123", 3, odd), 0);
  EXPECT_EQ(odd[0], 0x12);
  EXPECT_EQ(odd[1], 9);
  EXPECT_EQ(convert_hex_to_bin(nullptr, 2, odd), -1);
  EXPECT_EQ(convert_hex_to_bin("12", 2, nullptr), -1);

  EXPECT_EQ(is_hex("0aF9", 4), 1);
  EXPECT_EQ(is_hex("0aG9", 4), 0);
  EXPECT_EQ(is_hex("0aG9", 2), 1);
  EXPECT_EQ(is_hex("ab", 3), 0);
  EXPECT_EQ(is_hex("zz", 0), 1);

  char mac[18];
  EXPECT_EQ(TAVO_convert_mac_addr("00-11-22-33-44-55", '-', mac, ':'), 0u);
  EXPECT_STREQ(mac, "00:11:22:33:44:55");
  EXPECT_EQ(TAVO_convert_mac_addr(nullptr, '-', mac, ':'), 1u);

  char ip[] = "10..20.30.40";
  uint32_t parts[4];
  EXPECT_EQ(tavo_getip(ip, parts), 0u);
  EXPECT_EQ(parts[0], 10u);
  EXPECT_EQ(parts[1], 20u);
  EXPECT_EQ(parts[2], 30u);
  EXPECT_EQ(parts[3], 40u);

  uint32_t bits[32];
  EXPECT_EQ(tavo_bin(255, 128, 1, 0, bits), 0u);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(bits[i], 1u);
  EXPECT_EQ(bits[8], 1u);
  for (int i = 9; i < 16; ++i) EXPECT_EQ(bits[i], 0u);
  EXPECT_EQ(bits[23], 1u);
  for (int i = 24; i < 32; ++i) EXPECT_EQ(bits[i], 0u);

  uint8_t src[16];
  for (int i = 0; i < 16; ++i) src[i] = static_cast<uint8_t>(200 + i);
  uint8_t dst8[16];
  uint32_t dst32[16];
  copy_U8IP(dst8, src);
  copy_U32IP(dst32, src);
  EXPECT_EQ(memcmp(dst8, src, 16), 0);
  EXPECT_EQ(dst32[15], 215u);

  EXPECT_EQ(ULShl(1, 32), 0u);
  EXPECT_EQ(ULShl(1, 31), 0x80000000u);
  EXPECT_EQ(ULShr(0x80000000u, 31), 1u);
  EXPECT_EQ(ULShr(0x80000000u, 40), 0u);
  EXPECT_EQ(ULShr(5, 0), 5u);
}

}  // namespace

// Every helper that takes a caller's text into a buffer of fixed size
// measures it first: a text one past the limit and one of 100 KiB are
// refused (or cut) before a byte is written past the buffer, the longest
// text that fits is taken. Each buffer is exactly its size on the heap, so
// that ASan sees a byte written past it.
TEST(TavoValidate, OverLongTextsAreRefusedBeforeAnyCopy) {
  const std::string huge(100 * 1024, 'a');
  const std::string mac_fits = "00-11-22-33-44-55";
  const std::string name_fits = "iqn.2026-12.com.example:" + std::string(223 - 24, 'x');
  // over: the answer to a longer text; kept: what is left in the
  // destination then (untouched, or the first field cut to fit).
  enum Kept { kUntouched, kCut, kAny };
  struct Row {
    const char* what;
    size_t destination;
    std::function<uint32_t(const std::string&, char*)> call;
    std::string fits;
    size_t fits_length;
    uint32_t over;
    Kept kept;
  } rows[] = {
      {"TAVO_convert_mac_addr", TAVO_MAC_TEXT_LENGTH + 1,
       [](const std::string& s, char* d) { return TAVO_convert_mac_addr(s.c_str(), '-', d, ':'); }, mac_fits,
       mac_fits.size(), 1, kUntouched},
      {"validateISCSIName", 224, [](const std::string& s, char* d) { return validateISCSIName(s.c_str(), d); },
       name_fits, name_fits.size(), 1, kUntouched},
      {"tavo_internal_list_add", TAVO_VALUE_SIZE,
       [](const std::string& s, char* d) {
         d[0] = '\0';
         return tavo_internal_list_add(d, s.c_str(), 0);
       },
       std::string(TAVO_VALUE_SIZE - 1, 'l'), TAVO_VALUE_SIZE - 1, 1, kAny},
      {"get_field", 16, [](const std::string& s, char* d) { return get_field(s.c_str(), ',', d, 16); },
       std::string(15, 'f') + ",rest", 15, 0, kCut},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    std::vector<char> taken(r.destination, '#');
    EXPECT_EQ(r.call(r.fits, taken.data()), 0u);
    EXPECT_EQ(strnlen(taken.data(), r.destination), r.fits_length);
    for (const std::string& over : {std::string(r.destination, 'a'), huge}) {
      std::vector<char> refused(r.destination, '#');
      EXPECT_EQ(r.call(over, refused.data()), r.over) << over.size();
      if (r.kept == kUntouched) {
        EXPECT_EQ(refused, std::vector<char>(r.destination, '#')) << over.size();
      } else if (r.kept == kCut) {
        EXPECT_EQ(std::string(refused.data()), std::string(r.destination - 1, 'a'));
      }
    }
  }
  // The texts the validators look at through a window of their own.
  EXPECT_EQ(validateMACAddress(huge.c_str(), nullptr), 0u);
  EXPECT_EQ(validateIPAddress(("10.1.1.1" + huge).c_str(), nullptr, 0), 0u);
  // The last status keeps what fits of a longer text, and hands back no
  // more than its size.
  tavo_set_last_status(7, huge.c_str());
  std::vector<char> status(TAVO_STATUS_TEXT_SIZE, '#');
  uint32_t code = 0;
  tavo_get_last_status(&code, status.data());
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(strnlen(status.data(), TAVO_STATUS_TEXT_SIZE), TAVO_STATUS_TEXT_SIZE - 1u);
}
