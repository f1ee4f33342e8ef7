/* The IMA types as the host's iSCSI management framework lays them out.
 *
 * The host is a 32-bit process: every record here has its i386 layout
 * (64-bit members on 4-byte boundaries, wide characters of 4 bytes) in every
 * build, the 64-bit library's included, and the sizes and offsets the host
 * relies on are pinned below. IMA_GetLhbaProperties writes the host's
 * 1,180-byte IMA_LHBA_PROPERTIES, larger than the standard's record: a
 * caller passes one of that size.
 * Records of the host's own extensions carry the positions the host reads;
 * their words without a name of their own are arrays named by purpose. */
#ifndef CVIMA_IMA_H
#define CVIMA_IMA_H

#include <stddef.h>
#include <stdint.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

typedef uint8_t IMA_BYTE;
typedef uint16_t IMA_UINT16;
typedef uint32_t IMA_UINT32;
typedef uint32_t IMA_UINT;
typedef uint64_t IMA_UINT64;
typedef uint32_t IMA_BOOL;
typedef uint32_t IMA_STATUS;
typedef wchar_t IMA_WCHAR; /* one UTF-32 code point */
typedef IMA_UINT16 IMA_PORT_NUMBER;

#define IMA_TRUE 1
#define IMA_FALSE 0

/* Statuses. Bit 31 marks a failure; 0xC... are the caller's faults. */
#define IMA_STATUS_SUCCESS 0x00000000u
#define IMA_ERROR_FAILED 0x80000000u            /* no more specific status */
#define IMA_ERROR_NOT_SUPPORTED 0x80000001u
#define IMA_ERROR_CONVERSION_FAILED 0x80000004u /* UTF-8 / wide text */
#define IMA_ERROR_LOGOUT_REFUSED 0x80000101u    /* the session cannot be logged out */
#define IMA_ERROR_INVALID_PARAMETER 0xC0000000u
#define IMA_ERROR_INVALID_OBJECT_TYPE 0xC0000001u
#define IMA_ERROR_INCORRECT_OBJECT_TYPE 0xC0000002u
#define IMA_ERROR_OBJECT_NOT_FOUND 0xC0000003u
#define IMA_ERROR_NAME_TOO_LONG 0xC0000004u

typedef IMA_UINT32 IMA_OBJECT_TYPE;
enum {
  IMA_OBJECT_TYPE_UNKNOWN = 0,
  IMA_OBJECT_TYPE_PLUGIN = 1,
  IMA_OBJECT_TYPE_NODE = 2,
  IMA_OBJECT_TYPE_LHBA = 3,
  IMA_OBJECT_TYPE_PHBA = 4,
  IMA_OBJECT_TYPE_NETWORK_PORTAL = 5,
  IMA_OBJECT_TYPE_PORTAL_GROUP = 6,
  IMA_OBJECT_TYPE_LNP = 7,
  IMA_OBJECT_TYPE_PNP = 8,
  IMA_OBJECT_TYPE_TARGET = 9,
  IMA_OBJECT_TYPE_LU = 10,
  IMA_OBJECT_TYPE_DISCOVERY_ADDRESS = 11,
  IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET = 12,
  IMA_OBJECT_TYPE_CONNECTION = 13,
  IMA_OBJECT_TYPE_SESSION = 14
};

typedef IMA_UINT32 IMA_AUTHMETHOD;
enum { IMA_AUTHMETHOD_NONE = 0, IMA_AUTHMETHOD_CHAP = 1 };

typedef IMA_UINT32 IMA_DIGEST_TYPE;
enum { IMA_DIGEST_NONE = 0, IMA_DIGEST_CRC32C = 1 };

typedef IMA_UINT32 IMA_ISNS_DISCOVERY_METHOD;
enum {
  IMA_ISNS_DISCOVERY_METHOD_STATIC = 0,
  IMA_ISNS_DISCOVERY_METHOD_DHCP = 1,
  IMA_ISNS_DISCOVERY_METHOD_SLP = 2
};

/* Discovery method flags of a target. */
enum {
  IMA_TARGET_DISCOVERY_METHOD_STATIC = 1,
  IMA_TARGET_DISCOVERY_METHOD_SLP = 2,
  IMA_TARGET_DISCOVERY_METHOD_ISNS = 4,
  IMA_TARGET_DISCOVERY_METHOD_SENDTARGETS = 8
};

/* What a PHBA download carries; the plug-in passes every type alike. */
typedef IMA_UINT32 IMA_PHBA_DOWNLOAD_IMAGE_TYPE;
enum {
  IMA_DOWNLOAD_IMAGE_TYPE_FIRMWARE = 0,
  IMA_DOWNLOAD_IMAGE_TYPE_OPTION_ROM = 1,
  IMA_DOWNLOAD_IMAGE_TYPE_ALL = 2,
  IMA_DOWNLOAD_IMAGE_TYPE_BOOTCODE = 3
};

typedef IMA_UINT32 IMA_PHBA_STATUS;
enum { IMA_PHBA_STATUS_WORKING = 0, IMA_PHBA_STATUS_FAILED = 1 };

typedef IMA_UINT32 IMA_NETWORK_PORT_STATUS;
enum { IMA_NETWORK_PORT_STATUS_WORKING = 0, IMA_NETWORK_PORT_STATUS_DISCONNECTED = 4 };

#define IMA_NODE_NAME_LENGTH 224
#define IMA_NODE_ALIAS_LENGTH 256
#define IMA_HOST_NAME_LENGTH 256
typedef IMA_WCHAR IMA_NODE_NAME[IMA_NODE_NAME_LENGTH];
typedef IMA_WCHAR IMA_NODE_ALIAS[IMA_NODE_ALIAS_LENGTH];
typedef IMA_WCHAR IMA_HOST_NAME[IMA_HOST_NAME_LENGTH];

#pragma pack(push, 4)

/* The date and time as i386 libc lays out its broken-down time. */
typedef struct IMA_DATETIME {
  int32_t tm_sec, tm_min, tm_hour, tm_mday, tm_mon, tm_year, tm_wday, tm_yday, tm_isdst;
  int32_t tm_gmtoff;
  uint32_t tm_zone;
} IMA_DATETIME;

typedef struct IMA_OID {
  IMA_OBJECT_TYPE objectType;
  IMA_UINT32 ownerId;
  IMA_UINT64 objectSequenceNumber;
} IMA_OID;

/* Allocated by the plug-in as 4 + 16 x oidCount bytes; freed with IMA_FreeMemory. */
typedef struct IMA_OID_LIST {
  IMA_UINT oidCount;
  IMA_OID oids[1];
} IMA_OID_LIST;

typedef struct IMA_IP_ADDRESS {
  IMA_BOOL ipv4Address; /* 1: the first four bytes hold an IPv4 address */
  IMA_BYTE ipAddress[16];
} IMA_IP_ADDRESS;

typedef struct IMA_HOST_ID {
  IMA_BOOL hostnameInUse;
  union {
    IMA_HOST_NAME hostname;
    IMA_IP_ADDRESS ipAddress;
  } id;
} IMA_HOST_ID;

typedef struct IMA_TARGET_ADDRESS {
  IMA_HOST_ID hostnameIpAddress;
  IMA_PORT_NUMBER portNumber;
} IMA_TARGET_ADDRESS;

typedef struct IMA_STATIC_DISCOVERY_TARGET {
  IMA_NODE_NAME targetName;
  IMA_TARGET_ADDRESS targetAddress;
} IMA_STATIC_DISCOVERY_TARGET;

typedef struct IMA_MIN_MAX_VALUE {
  IMA_BOOL currentValueValid;
  IMA_BOOL settable;
  IMA_UINT32 currentValue;
  IMA_UINT32 defaultValue;
  IMA_UINT32 minimumValue;
  IMA_UINT32 maximumValue;
  IMA_UINT32 incrementValue;
} IMA_MIN_MAX_VALUE;

typedef struct IMA_BOOL_VALUE {
  IMA_BOOL currentValueValid;
  IMA_BOOL settable;
  IMA_BOOL currentValue;
  IMA_BOOL defaultValue;
} IMA_BOOL_VALUE;

/* --- Discovery --- */

typedef struct IMA_DISCOVERY_PROPERTIES {
  IMA_BOOL iSnsDiscoverySettable;
  IMA_BOOL iSnsDiscoveryEnabled;
  IMA_ISNS_DISCOVERY_METHOD iSnsDiscoveryMethod;
  IMA_HOST_ID iSnsHost;
  IMA_BOOL slpDiscoverySettable;
  IMA_BOOL slpDiscoveryEnabled;
  IMA_BOOL staticDiscoverySettable;
  IMA_BOOL staticDiscoveryEnabled;
  IMA_BOOL sendTargetsDiscoverySettable;
  IMA_BOOL sendTargetsDiscoveryEnabled;
  IMA_BYTE reserved[128];
} IMA_DISCOVERY_PROPERTIES;

typedef struct IMA_DISCOVERY_ADDRESS_PROPERTIES {
  IMA_OID associatedNodeOid;
  IMA_OID associatedLhbaOid;
  IMA_TARGET_ADDRESS discoveryAddress;
} IMA_DISCOVERY_ADDRESS_PROPERTIES;

/* The host's form carries the portal group tag after the address. */
typedef struct IMA_STATIC_DISCOVERY_TARGET_PROPERTIES {
  IMA_OID associatedNodeOid;
  IMA_OID associatedLhbaOid;
  IMA_STATIC_DISCOVERY_TARGET staticTarget;
  IMA_BOOL targetPortalGroupTagValid;
  IMA_UINT16 targetPortalGroupTag;
} IMA_STATIC_DISCOVERY_TARGET_PROPERTIES;

/* --- Targets, LUs, sessions, connections --- */

typedef struct IMA_TARGET_PROPERTIES {
  IMA_OID associatedNodeOid;
  IMA_OID associatedLhbaOid;
  IMA_NODE_NAME name;
  IMA_NODE_ALIAS alias;
  IMA_UINT32 discoveryMethodFlags;
  IMA_BOOL sendTargetsDiscoverySettable;
  IMA_BOOL sendTargetsDiscoveryEnabled;
  IMA_BYTE reserved[128];
} IMA_TARGET_PROPERTIES;

typedef struct IMA_LU_PROPERTIES {
  IMA_OID associatedTargetOid;
  IMA_UINT64 targetLun; /* the LUN's eight bytes in memory order, first byte first */
  IMA_BOOL exposedToOs;
  IMA_DATETIME timeExposedToOs;
  IMA_BOOL osDeviceNameValid;
  IMA_WCHAR osDeviceName[64];
  IMA_BOOL osParallelIdsValid;
  IMA_UINT32 osBusNumber;
  IMA_UINT32 osTargetId;
  IMA_UINT32 osLun;
  IMA_BYTE reserved[128];
} IMA_LU_PROPERTIES;

typedef struct IMA_SESSION_PROPERTIES {
  IMA_OID lhbaOid;
  IMA_OID targetOid;
  IMA_AUTHMETHOD authMethod; /* 0 none, 1 CHAP */
  IMA_BOOL dataPduInOrder;
  IMA_BOOL dataSequenceInOrder;
  IMA_UINT32 defaultTime2Retain;
  IMA_UINT32 defaultTime2Wait;
  IMA_UINT32 errorRecoveryLevel;
  IMA_UINT32 firstBurstLength;
  IMA_BOOL immediateData;
  IMA_BOOL initialR2T;
  IMA_BYTE isid[6];
  IMA_UINT32 maxBurstLength;
  IMA_UINT32 maxConnections;
  IMA_UINT32 maxOutstandingR2T;
  IMA_UINT16 targetPortalGroupTag;
  IMA_UINT16 tsih;
} IMA_SESSION_PROPERTIES;

typedef struct IMA_CONNECTION_PROPERTIES {
  IMA_OID sessionOid;
  IMA_UINT16 connectionId;
  IMA_DIGEST_TYPE dataDigest;
  IMA_DIGEST_TYPE headerDigest;
  IMA_BOOL ifMarker;
  IMA_UINT32 ifMarkInt;
  IMA_UINT32 maxRecvDataSegmentLength;
  IMA_UINT32 maxTransmitDataSegmentLength;
  IMA_BOOL ofMarker;
  IMA_UINT32 ofMarkInt;
} IMA_CONNECTION_PROPERTIES;

typedef struct IMA_CONNECTION_STATUS {
  IMA_BOOL destinationValid;
  IMA_IP_ADDRESS destination;
  IMA_BOOL redirectedDestinationValid;
  IMA_IP_ADDRESS redirectedDestination;
  IMA_BOOL sourceValid;
  IMA_IP_ADDRESS source;
  IMA_UINT32 state;
} IMA_CONNECTION_STATUS;

/* --- Node, HBAs and the plug-in --- */

typedef struct IMA_NODE_PROPERTIES {
  IMA_BOOL runningInInitiatorMode;
  IMA_BOOL runningInTargetMode;
  IMA_BOOL nameValid;
  IMA_NODE_NAME name;
  IMA_BOOL aliasValid;
  IMA_NODE_ALIAS alias;
  IMA_BOOL nameAndAliasSettable;
  IMA_BYTE reserved[64];
} IMA_NODE_PROPERTIES;

/* The host's extended form fills ten words of the reserved bytes. */
typedef struct IMA_PHBA_PROPERTIES {
  IMA_WCHAR vendor[64];
  IMA_WCHAR model[256];
  IMA_WCHAR description[256];
  IMA_WCHAR serialNumber[64];
  IMA_WCHAR hardwareVersion[256];
  IMA_WCHAR asicVersion[256];
  IMA_WCHAR firmwareVersion[256];
  IMA_WCHAR optionRomVersion[256];
  IMA_WCHAR driverName[256];
  IMA_WCHAR driverVersion[256];
  IMA_UINT32 supportedMultipathTypes;
  IMA_UINT32 supportedConnectionTypes;
  IMA_UINT32 maximumCdbLength;
  IMA_BOOL isPhbaBootCapable;
  IMA_BOOL isPhbaBootEnabled;
  IMA_BOOL isInitiator;
  IMA_BOOL isTarget;
  IMA_BOOL isDataPduInOrderSupported;
  IMA_BOOL isDataSequenceInOrderSupported;
  union {
    IMA_BYTE reserved[128];
    IMA_UINT32 hostWords[10];
  } extension;
} IMA_PHBA_PROPERTIES;

/* The host's form: the standard's words, five words of its own, then
 * reserved bytes. */
typedef struct IMA_LHBA_PROPERTIES {
  IMA_WCHAR osDeviceName[256];
  IMA_BOOL luExposingSupported;
  IMA_BOOL isDestroyable;
  IMA_BOOL staleDataRemovable;
  IMA_UINT32 staleDataSize;
  IMA_BOOL initiatorAuthMethodsSettable;
  IMA_BOOL targetAuthMethodsSettable;
  IMA_UINT32 hostWords[5];
  IMA_BYTE reserved[112];
} IMA_LHBA_PROPERTIES;

typedef struct IMA_PLUGIN_PROPERTIES {
  IMA_UINT32 supportedImaVersion;
  IMA_WCHAR vendor[256];
  IMA_WCHAR implementationVersion[256];
  IMA_WCHAR fileName[256];
  IMA_DATETIME buildTime;
  IMA_BOOL lhbasCanBeCreatedAndDestroyed;
  IMA_BYTE reserved[64];
} IMA_PLUGIN_PROPERTIES;

/* --- Authentication --- */

/* The host keeps the secret's length and the CHAP level (1 Prohibited,
 * 2 Discouraged, 3 Preferred, 4 Required) after the secret. */
typedef struct IMA_CHAP_INITIATOR_AUTHPARMS {
  IMA_UINT32 retries;
  IMA_BYTE name[512];
  IMA_UINT32 nameLength;
  IMA_UINT32 minValueLength;
  IMA_UINT32 maxValueLength;
  IMA_BYTE challengeSecret[256];
  IMA_UINT32 challengeSecretLength;
  IMA_UINT32 chapLevel;
  IMA_BYTE reserved[504];
} IMA_CHAP_INITIATOR_AUTHPARMS;

typedef struct IMA_SRP_INITIATOR_AUTHPARMS {
  IMA_BYTE userName[512];
  IMA_UINT32 userNameLength;
  IMA_BYTE reserved[512];
} IMA_SRP_INITIATOR_AUTHPARMS;

typedef struct IMA_KRB5_INITIATOR_AUTHPARMS {
  IMA_BYTE clientKey[1024];
  IMA_UINT32 clientKeyLength;
  IMA_BYTE reserved[2048];
} IMA_KRB5_INITIATOR_AUTHPARMS;

typedef struct IMA_SPKM_INITIATOR_AUTHPARMS {
  IMA_BYTE privateKey[4096];
  IMA_UINT32 privateKeyLength;
  IMA_BYTE publicKey[4096];
  IMA_UINT32 publicKeyLength;
  IMA_BYTE reserved[4096];
} IMA_SPKM_INITIATOR_AUTHPARMS;

typedef union IMA_INITIATOR_AUTHPARMS {
  IMA_CHAP_INITIATOR_AUTHPARMS chapParms;
  IMA_SRP_INITIATOR_AUTHPARMS srpParms;
  IMA_KRB5_INITIATOR_AUTHPARMS kerberosParms;
  IMA_SPKM_INITIATOR_AUTHPARMS spkmParms;
} IMA_INITIATOR_AUTHPARMS;

/* The host's list of parameter sets: a count, then the sets. */
typedef struct IMA_INITIATOR_AUTHPARMS_LIST {
  IMA_UINT32 count;
  IMA_INITIATOR_AUTHPARMS parms[1];
} IMA_INITIATOR_AUTHPARMS_LIST;

/* --- Network portals, ports and IP settings --- */

typedef struct IMA_LNP_PROPERTIES {
  IMA_BYTE macAddress[6];
  IMA_BOOL macAddressSettable;
  IMA_BYTE reserved[32];
} IMA_LNP_PROPERTIES;

typedef struct IMA_NETWORK_PORTAL_PROPERTIES {
  IMA_IP_ADDRESS ipAddress;
  IMA_OID associatedLnp;
  IMA_BYTE reserved[32];
} IMA_NETWORK_PORTAL_PROPERTIES;

/* The host's extended call writes an empty wide text of 8 characters at
 * the start of the reserved bytes. */
typedef struct IMA_PNP_PROPERTIES {
  IMA_OID associatedPhbaOid;
  IMA_BYTE macAddress[6];
  IMA_BOOL macAddressSettable;
  IMA_UINT32 maximumTransferRate;
  IMA_UINT32 currentTransferRate;
  IMA_UINT32 maximumFrameSize;
  IMA_BYTE reserved[64];
} IMA_PNP_PROPERTIES;

typedef struct IMA_IP_PROPERTIES {
  IMA_BOOL ipConfigurationMethodSettable;
  IMA_BOOL dhcpConfigurationEnabled;
  IMA_BOOL subnetMaskSettable;
  IMA_BOOL subnetMaskValid;
  IMA_IP_ADDRESS subnetMask;
  IMA_BOOL defaultGatewaySettable;
  IMA_BOOL defaultGatewayValid;
  IMA_IP_ADDRESS defaultGateway;
  IMA_BOOL primaryDnsServerAddressSettable;
  IMA_BOOL primaryDnsServerAddressValid;
  IMA_IP_ADDRESS primaryDnsServerAddress;
  IMA_BOOL alternateDnsServerAddressSettable;
  IMA_BOOL alternateDnsServerAddressValid;
  IMA_IP_ADDRESS alternateDnsServerAddress;
  IMA_BYTE reserved[64];
} IMA_IP_PROPERTIES;

/* The host's extended IP properties: six IPv4 words, the mask, two words,
 * the gateway, fifteen IPv6 words and the IPv6 gateway. */
typedef struct IMA_EXTENDED_IP_PROPERTIES {
  IMA_UINT32 ipv4Words[6];
  IMA_IP_ADDRESS subnetMask;
  IMA_BOOL defaultGatewaySettable;
  IMA_BOOL defaultGatewayValid;
  IMA_IP_ADDRESS defaultGateway;
  IMA_UINT32 ipv6Words[15];
  IMA_IP_ADDRESS ipv6DefaultGateway;
  IMA_BYTE reserved[184];
} IMA_EXTENDED_IP_PROPERTIES;

/* The host's record of a portal's addresses: the IPv4 address and up to
 * three IPv6 addresses with their prefix length and state. */
typedef struct IMA_IPV6_PORTAL_ADDRESS {
  IMA_BYTE address[16];
  IMA_UINT32 prefixLength;
  IMA_UINT32 state;
} IMA_IPV6_PORTAL_ADDRESS;

typedef struct IMA_PORTAL_ADDRESSES {
  IMA_BYTE ipv4Address[4];
  IMA_UINT32 ipv6Count;
  IMA_IPV6_PORTAL_ADDRESS ipv6[3];
} IMA_PORTAL_ADDRESSES;

/* One address key of a target portal as the host lays it out (the
 * standard's address and port, each word followed by the host's own), in
 * the host's list (a count, then the keys). */
typedef struct IMA_ADDRESS_KEY {
  IMA_IP_ADDRESS ipAddress;
  IMA_BOOL portNumberValid;
  IMA_PORT_NUMBER portNumber;
  IMA_BOOL portalGroupTagValid;
  IMA_UINT16 portalGroupTag;
} IMA_ADDRESS_KEY;

typedef struct IMA_ADDRESS_KEYS {
  IMA_UINT32 addressKeyCount;
  IMA_ADDRESS_KEY addressKeys[1];
} IMA_ADDRESS_KEYS;

typedef struct IMA_ARP_REDIRECT_PROPERTIES {
  IMA_UINT32 words[4];
} IMA_ARP_REDIRECT_PROPERTIES;

typedef struct IMA_DIGEST_PROPERTIES {
  IMA_UINT32 words[2];
} IMA_DIGEST_PROPERTIES;

typedef struct IMA_MARKER_VALUE {
  IMA_UINT32 words[4];
} IMA_MARKER_VALUE;

#pragma pack(pop)

#ifdef __cplusplus
#define CVIMA_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define CVIMA_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
#define CVIMA_AT(type, member, offset) CVIMA_ASSERT(offsetof(type, member) == (offset), #type "." #member)
#define CVIMA_SIZE(type, size) CVIMA_ASSERT(sizeof(type) == (size), #type)

/* Every member of every record at its i386 offset, and every size. */
CVIMA_SIZE(IMA_WCHAR, 4);
CVIMA_SIZE(IMA_BOOL, 4);
CVIMA_SIZE(IMA_UINT64, 8);
CVIMA_AT(IMA_DATETIME, tm_sec, 0);
CVIMA_AT(IMA_DATETIME, tm_min, 4);
CVIMA_AT(IMA_DATETIME, tm_hour, 8);
CVIMA_AT(IMA_DATETIME, tm_mday, 12);
CVIMA_AT(IMA_DATETIME, tm_mon, 16);
CVIMA_AT(IMA_DATETIME, tm_year, 20);
CVIMA_AT(IMA_DATETIME, tm_wday, 24);
CVIMA_AT(IMA_DATETIME, tm_yday, 28);
CVIMA_AT(IMA_DATETIME, tm_isdst, 32);
CVIMA_AT(IMA_DATETIME, tm_gmtoff, 36);
CVIMA_AT(IMA_DATETIME, tm_zone, 40);
CVIMA_SIZE(IMA_DATETIME, 44);
CVIMA_AT(IMA_OID, objectType, 0);
CVIMA_AT(IMA_OID, ownerId, 4);
CVIMA_AT(IMA_OID, objectSequenceNumber, 8);
CVIMA_SIZE(IMA_OID, 16);
CVIMA_AT(IMA_OID_LIST, oidCount, 0);
CVIMA_AT(IMA_OID_LIST, oids, 4);
CVIMA_SIZE(IMA_OID_LIST, 20);
CVIMA_AT(IMA_IP_ADDRESS, ipv4Address, 0);
CVIMA_AT(IMA_IP_ADDRESS, ipAddress, 4);
CVIMA_SIZE(IMA_IP_ADDRESS, 20);
CVIMA_AT(IMA_HOST_ID, hostnameInUse, 0);
CVIMA_AT(IMA_HOST_ID, id.hostname, 4);
CVIMA_AT(IMA_HOST_ID, id.ipAddress, 4);
CVIMA_SIZE(IMA_HOST_ID, 1028);
CVIMA_AT(IMA_TARGET_ADDRESS, hostnameIpAddress, 0);
CVIMA_AT(IMA_TARGET_ADDRESS, portNumber, 1028);
CVIMA_SIZE(IMA_TARGET_ADDRESS, 1032);
CVIMA_AT(IMA_STATIC_DISCOVERY_TARGET, targetName, 0);
CVIMA_AT(IMA_STATIC_DISCOVERY_TARGET, targetAddress, 896);
CVIMA_SIZE(IMA_STATIC_DISCOVERY_TARGET, 1928);
CVIMA_AT(IMA_MIN_MAX_VALUE, currentValueValid, 0);
CVIMA_AT(IMA_MIN_MAX_VALUE, settable, 4);
CVIMA_AT(IMA_MIN_MAX_VALUE, currentValue, 8);
CVIMA_AT(IMA_MIN_MAX_VALUE, defaultValue, 12);
CVIMA_AT(IMA_MIN_MAX_VALUE, minimumValue, 16);
CVIMA_AT(IMA_MIN_MAX_VALUE, maximumValue, 20);
CVIMA_AT(IMA_MIN_MAX_VALUE, incrementValue, 24);
CVIMA_SIZE(IMA_MIN_MAX_VALUE, 28);
CVIMA_AT(IMA_BOOL_VALUE, currentValueValid, 0);
CVIMA_AT(IMA_BOOL_VALUE, settable, 4);
CVIMA_AT(IMA_BOOL_VALUE, currentValue, 8);
CVIMA_AT(IMA_BOOL_VALUE, defaultValue, 12);
CVIMA_SIZE(IMA_BOOL_VALUE, 16);
CVIMA_AT(IMA_DISCOVERY_PROPERTIES, iSnsDiscoverySettable, 0);
CVIMA_AT(IMA_DISCOVERY_PROPERTIES, iSnsDiscoveryEnabled, 4);
CVIMA_AT(IMA_DISCOVERY_PROPERTIES, iSnsDiscoveryMethod, 8);
CVIMA_AT(IMA_DISCOVERY_PROPERTIES, iSnsHost, 12);
CVIMA_AT(IMA_DISCOVERY_PROPERTIES, slpDiscoverySettable, 1040);
CVIMA_AT(IMA_DISCOVERY_PROPERTIES, slpDiscoveryEnabled, 1044);
CVIMA_AT(IMA_DISCOVERY_PROPERTIES, staticDiscoverySettable, 1048);
CVIMA_AT(IMA_DISCOVERY_PROPERTIES, staticDiscoveryEnabled, 1052);
CVIMA_AT(IMA_DISCOVERY_PROPERTIES, sendTargetsDiscoverySettable, 1056);
CVIMA_AT(IMA_DISCOVERY_PROPERTIES, sendTargetsDiscoveryEnabled, 1060);
CVIMA_AT(IMA_DISCOVERY_PROPERTIES, reserved, 1064);
CVIMA_SIZE(IMA_DISCOVERY_PROPERTIES, 1192);
CVIMA_AT(IMA_DISCOVERY_ADDRESS_PROPERTIES, associatedNodeOid, 0);
CVIMA_AT(IMA_DISCOVERY_ADDRESS_PROPERTIES, associatedLhbaOid, 16);
CVIMA_AT(IMA_DISCOVERY_ADDRESS_PROPERTIES, discoveryAddress.hostnameIpAddress.hostnameInUse, 32);
CVIMA_AT(IMA_DISCOVERY_ADDRESS_PROPERTIES, discoveryAddress.hostnameIpAddress.id.ipAddress.ipv4Address, 36);
CVIMA_AT(IMA_DISCOVERY_ADDRESS_PROPERTIES, discoveryAddress.hostnameIpAddress.id.ipAddress.ipAddress, 40);
CVIMA_AT(IMA_DISCOVERY_ADDRESS_PROPERTIES, discoveryAddress.portNumber, 1060);
CVIMA_SIZE(IMA_DISCOVERY_ADDRESS_PROPERTIES, 1064);
CVIMA_AT(IMA_STATIC_DISCOVERY_TARGET_PROPERTIES, associatedNodeOid, 0);
CVIMA_AT(IMA_STATIC_DISCOVERY_TARGET_PROPERTIES, associatedLhbaOid, 16);
CVIMA_AT(IMA_STATIC_DISCOVERY_TARGET_PROPERTIES, staticTarget.targetName, 32);
CVIMA_AT(IMA_STATIC_DISCOVERY_TARGET_PROPERTIES, staticTarget.targetAddress, 928);
CVIMA_AT(IMA_STATIC_DISCOVERY_TARGET_PROPERTIES, staticTarget.targetAddress.hostnameIpAddress.id.ipAddress.ipv4Address, 932);
CVIMA_AT(IMA_STATIC_DISCOVERY_TARGET_PROPERTIES, staticTarget.targetAddress.hostnameIpAddress.id.ipAddress.ipAddress, 936);
CVIMA_AT(IMA_STATIC_DISCOVERY_TARGET_PROPERTIES, staticTarget.targetAddress.portNumber, 1956);
CVIMA_AT(IMA_STATIC_DISCOVERY_TARGET_PROPERTIES, targetPortalGroupTagValid, 1960);
CVIMA_AT(IMA_STATIC_DISCOVERY_TARGET_PROPERTIES, targetPortalGroupTag, 1964);
CVIMA_SIZE(IMA_STATIC_DISCOVERY_TARGET_PROPERTIES, 1968);
CVIMA_AT(IMA_TARGET_PROPERTIES, associatedNodeOid, 0);
CVIMA_AT(IMA_TARGET_PROPERTIES, associatedLhbaOid, 16);
CVIMA_AT(IMA_TARGET_PROPERTIES, name, 32);
CVIMA_AT(IMA_TARGET_PROPERTIES, alias, 928);
CVIMA_AT(IMA_TARGET_PROPERTIES, discoveryMethodFlags, 1952);
CVIMA_AT(IMA_TARGET_PROPERTIES, sendTargetsDiscoverySettable, 1956);
CVIMA_AT(IMA_TARGET_PROPERTIES, sendTargetsDiscoveryEnabled, 1960);
CVIMA_AT(IMA_TARGET_PROPERTIES, reserved, 1964);
CVIMA_SIZE(IMA_TARGET_PROPERTIES, 2092);
CVIMA_AT(IMA_LU_PROPERTIES, associatedTargetOid, 0);
CVIMA_AT(IMA_LU_PROPERTIES, targetLun, 16);
CVIMA_AT(IMA_LU_PROPERTIES, exposedToOs, 24);
CVIMA_AT(IMA_LU_PROPERTIES, timeExposedToOs, 28);
CVIMA_AT(IMA_LU_PROPERTIES, osDeviceNameValid, 72);
CVIMA_AT(IMA_LU_PROPERTIES, osDeviceName, 76);
CVIMA_AT(IMA_LU_PROPERTIES, osParallelIdsValid, 332);
CVIMA_AT(IMA_LU_PROPERTIES, osBusNumber, 336);
CVIMA_AT(IMA_LU_PROPERTIES, osTargetId, 340);
CVIMA_AT(IMA_LU_PROPERTIES, osLun, 344);
CVIMA_AT(IMA_LU_PROPERTIES, reserved, 348);
CVIMA_SIZE(IMA_LU_PROPERTIES, 476);
CVIMA_AT(IMA_SESSION_PROPERTIES, lhbaOid, 0);
CVIMA_AT(IMA_SESSION_PROPERTIES, targetOid, 16);
CVIMA_AT(IMA_SESSION_PROPERTIES, authMethod, 32);
CVIMA_AT(IMA_SESSION_PROPERTIES, dataPduInOrder, 36);
CVIMA_AT(IMA_SESSION_PROPERTIES, dataSequenceInOrder, 40);
CVIMA_AT(IMA_SESSION_PROPERTIES, defaultTime2Retain, 44);
CVIMA_AT(IMA_SESSION_PROPERTIES, defaultTime2Wait, 48);
CVIMA_AT(IMA_SESSION_PROPERTIES, errorRecoveryLevel, 52);
CVIMA_AT(IMA_SESSION_PROPERTIES, firstBurstLength, 56);
CVIMA_AT(IMA_SESSION_PROPERTIES, immediateData, 60);
CVIMA_AT(IMA_SESSION_PROPERTIES, initialR2T, 64);
CVIMA_AT(IMA_SESSION_PROPERTIES, isid, 68);
CVIMA_AT(IMA_SESSION_PROPERTIES, maxBurstLength, 76);
CVIMA_AT(IMA_SESSION_PROPERTIES, maxConnections, 80);
CVIMA_AT(IMA_SESSION_PROPERTIES, maxOutstandingR2T, 84);
CVIMA_AT(IMA_SESSION_PROPERTIES, targetPortalGroupTag, 88);
CVIMA_AT(IMA_SESSION_PROPERTIES, tsih, 90);
CVIMA_SIZE(IMA_SESSION_PROPERTIES, 92);
CVIMA_AT(IMA_CONNECTION_PROPERTIES, sessionOid, 0);
CVIMA_AT(IMA_CONNECTION_PROPERTIES, connectionId, 16);
CVIMA_AT(IMA_CONNECTION_PROPERTIES, dataDigest, 20);
CVIMA_AT(IMA_CONNECTION_PROPERTIES, headerDigest, 24);
CVIMA_AT(IMA_CONNECTION_PROPERTIES, ifMarker, 28);
CVIMA_AT(IMA_CONNECTION_PROPERTIES, ifMarkInt, 32);
CVIMA_AT(IMA_CONNECTION_PROPERTIES, maxRecvDataSegmentLength, 36);
CVIMA_AT(IMA_CONNECTION_PROPERTIES, maxTransmitDataSegmentLength, 40);
CVIMA_AT(IMA_CONNECTION_PROPERTIES, ofMarker, 44);
CVIMA_AT(IMA_CONNECTION_PROPERTIES, ofMarkInt, 48);
CVIMA_SIZE(IMA_CONNECTION_PROPERTIES, 52);
CVIMA_AT(IMA_CONNECTION_STATUS, destinationValid, 0);
CVIMA_AT(IMA_CONNECTION_STATUS, destination, 4);
CVIMA_AT(IMA_CONNECTION_STATUS, redirectedDestinationValid, 24);
CVIMA_AT(IMA_CONNECTION_STATUS, redirectedDestination, 28);
CVIMA_AT(IMA_CONNECTION_STATUS, sourceValid, 48);
CVIMA_AT(IMA_CONNECTION_STATUS, source, 52);
CVIMA_AT(IMA_CONNECTION_STATUS, state, 72);
CVIMA_SIZE(IMA_CONNECTION_STATUS, 76);
CVIMA_AT(IMA_NODE_PROPERTIES, runningInInitiatorMode, 0);
CVIMA_AT(IMA_NODE_PROPERTIES, runningInTargetMode, 4);
CVIMA_AT(IMA_NODE_PROPERTIES, nameValid, 8);
CVIMA_AT(IMA_NODE_PROPERTIES, name, 12);
CVIMA_AT(IMA_NODE_PROPERTIES, aliasValid, 908);
CVIMA_AT(IMA_NODE_PROPERTIES, alias, 912);
CVIMA_AT(IMA_NODE_PROPERTIES, nameAndAliasSettable, 1936);
CVIMA_AT(IMA_NODE_PROPERTIES, reserved, 1940);
CVIMA_SIZE(IMA_NODE_PROPERTIES, 2004);
CVIMA_AT(IMA_PHBA_PROPERTIES, vendor, 0);
CVIMA_AT(IMA_PHBA_PROPERTIES, model, 256);
CVIMA_AT(IMA_PHBA_PROPERTIES, description, 1280);
CVIMA_AT(IMA_PHBA_PROPERTIES, serialNumber, 2304);
CVIMA_AT(IMA_PHBA_PROPERTIES, hardwareVersion, 2560);
CVIMA_AT(IMA_PHBA_PROPERTIES, asicVersion, 3584);
CVIMA_AT(IMA_PHBA_PROPERTIES, firmwareVersion, 4608);
CVIMA_AT(IMA_PHBA_PROPERTIES, optionRomVersion, 5632);
CVIMA_AT(IMA_PHBA_PROPERTIES, driverName, 6656);
CVIMA_AT(IMA_PHBA_PROPERTIES, driverVersion, 7680);
CVIMA_AT(IMA_PHBA_PROPERTIES, supportedMultipathTypes, 8704);
CVIMA_AT(IMA_PHBA_PROPERTIES, supportedConnectionTypes, 8708);
CVIMA_AT(IMA_PHBA_PROPERTIES, maximumCdbLength, 8712);
CVIMA_AT(IMA_PHBA_PROPERTIES, isPhbaBootCapable, 8716);
CVIMA_AT(IMA_PHBA_PROPERTIES, isPhbaBootEnabled, 8720);
CVIMA_AT(IMA_PHBA_PROPERTIES, isInitiator, 8724);
CVIMA_AT(IMA_PHBA_PROPERTIES, isTarget, 8728);
CVIMA_AT(IMA_PHBA_PROPERTIES, isDataPduInOrderSupported, 8732);
CVIMA_AT(IMA_PHBA_PROPERTIES, isDataSequenceInOrderSupported, 8736);
CVIMA_AT(IMA_PHBA_PROPERTIES, extension.reserved, 8740);
CVIMA_AT(IMA_PHBA_PROPERTIES, extension.hostWords, 8740);
CVIMA_SIZE(IMA_PHBA_PROPERTIES, 8868);
CVIMA_AT(IMA_LHBA_PROPERTIES, osDeviceName, 0);
CVIMA_AT(IMA_LHBA_PROPERTIES, luExposingSupported, 1024);
CVIMA_AT(IMA_LHBA_PROPERTIES, isDestroyable, 1028);
CVIMA_AT(IMA_LHBA_PROPERTIES, staleDataRemovable, 1032);
CVIMA_AT(IMA_LHBA_PROPERTIES, staleDataSize, 1036);
CVIMA_AT(IMA_LHBA_PROPERTIES, initiatorAuthMethodsSettable, 1040);
CVIMA_AT(IMA_LHBA_PROPERTIES, targetAuthMethodsSettable, 1044);
CVIMA_AT(IMA_LHBA_PROPERTIES, hostWords, 1048);
CVIMA_AT(IMA_LHBA_PROPERTIES, reserved, 1068);
CVIMA_SIZE(IMA_LHBA_PROPERTIES, 1180);
CVIMA_AT(IMA_PLUGIN_PROPERTIES, supportedImaVersion, 0);
CVIMA_AT(IMA_PLUGIN_PROPERTIES, vendor, 4);
CVIMA_AT(IMA_PLUGIN_PROPERTIES, implementationVersion, 1028);
CVIMA_AT(IMA_PLUGIN_PROPERTIES, fileName, 2052);
CVIMA_AT(IMA_PLUGIN_PROPERTIES, buildTime, 3076);
CVIMA_AT(IMA_PLUGIN_PROPERTIES, lhbasCanBeCreatedAndDestroyed, 3120);
CVIMA_AT(IMA_PLUGIN_PROPERTIES, reserved, 3124);
CVIMA_SIZE(IMA_PLUGIN_PROPERTIES, 3188);
CVIMA_AT(IMA_CHAP_INITIATOR_AUTHPARMS, retries, 0);
CVIMA_AT(IMA_CHAP_INITIATOR_AUTHPARMS, name, 4);
CVIMA_AT(IMA_CHAP_INITIATOR_AUTHPARMS, nameLength, 516);
CVIMA_AT(IMA_CHAP_INITIATOR_AUTHPARMS, minValueLength, 520);
CVIMA_AT(IMA_CHAP_INITIATOR_AUTHPARMS, maxValueLength, 524);
CVIMA_AT(IMA_CHAP_INITIATOR_AUTHPARMS, challengeSecret, 528);
CVIMA_AT(IMA_CHAP_INITIATOR_AUTHPARMS, challengeSecretLength, 784);
CVIMA_AT(IMA_CHAP_INITIATOR_AUTHPARMS, chapLevel, 788);
CVIMA_AT(IMA_CHAP_INITIATOR_AUTHPARMS, reserved, 792);
CVIMA_SIZE(IMA_CHAP_INITIATOR_AUTHPARMS, 1296);
CVIMA_AT(IMA_SRP_INITIATOR_AUTHPARMS, userName, 0);
CVIMA_AT(IMA_SRP_INITIATOR_AUTHPARMS, userNameLength, 512);
CVIMA_AT(IMA_SRP_INITIATOR_AUTHPARMS, reserved, 516);
CVIMA_SIZE(IMA_SRP_INITIATOR_AUTHPARMS, 1028);
CVIMA_AT(IMA_KRB5_INITIATOR_AUTHPARMS, clientKey, 0);
CVIMA_AT(IMA_KRB5_INITIATOR_AUTHPARMS, clientKeyLength, 1024);
CVIMA_AT(IMA_KRB5_INITIATOR_AUTHPARMS, reserved, 1028);
CVIMA_SIZE(IMA_KRB5_INITIATOR_AUTHPARMS, 3076);
CVIMA_AT(IMA_SPKM_INITIATOR_AUTHPARMS, privateKey, 0);
CVIMA_AT(IMA_SPKM_INITIATOR_AUTHPARMS, privateKeyLength, 4096);
CVIMA_AT(IMA_SPKM_INITIATOR_AUTHPARMS, publicKey, 4100);
CVIMA_AT(IMA_SPKM_INITIATOR_AUTHPARMS, publicKeyLength, 8196);
CVIMA_AT(IMA_SPKM_INITIATOR_AUTHPARMS, reserved, 8200);
CVIMA_SIZE(IMA_SPKM_INITIATOR_AUTHPARMS, 12296);
CVIMA_AT(IMA_INITIATOR_AUTHPARMS, chapParms, 0);
CVIMA_AT(IMA_INITIATOR_AUTHPARMS, srpParms, 0);
CVIMA_AT(IMA_INITIATOR_AUTHPARMS, kerberosParms, 0);
CVIMA_AT(IMA_INITIATOR_AUTHPARMS, spkmParms, 0);
CVIMA_SIZE(IMA_INITIATOR_AUTHPARMS, 12296);
CVIMA_AT(IMA_INITIATOR_AUTHPARMS_LIST, count, 0);
CVIMA_AT(IMA_INITIATOR_AUTHPARMS_LIST, parms, 4);
CVIMA_SIZE(IMA_INITIATOR_AUTHPARMS_LIST, 12300);
CVIMA_AT(IMA_LNP_PROPERTIES, macAddress, 0);
CVIMA_AT(IMA_LNP_PROPERTIES, macAddressSettable, 8);
CVIMA_AT(IMA_LNP_PROPERTIES, reserved, 12);
CVIMA_SIZE(IMA_LNP_PROPERTIES, 44);
CVIMA_AT(IMA_NETWORK_PORTAL_PROPERTIES, ipAddress, 0);
CVIMA_AT(IMA_NETWORK_PORTAL_PROPERTIES, associatedLnp, 20);
CVIMA_AT(IMA_NETWORK_PORTAL_PROPERTIES, reserved, 36);
CVIMA_SIZE(IMA_NETWORK_PORTAL_PROPERTIES, 68);
CVIMA_AT(IMA_PNP_PROPERTIES, associatedPhbaOid, 0);
CVIMA_AT(IMA_PNP_PROPERTIES, macAddress, 16);
CVIMA_AT(IMA_PNP_PROPERTIES, macAddressSettable, 24);
CVIMA_AT(IMA_PNP_PROPERTIES, maximumTransferRate, 28);
CVIMA_AT(IMA_PNP_PROPERTIES, currentTransferRate, 32);
CVIMA_AT(IMA_PNP_PROPERTIES, maximumFrameSize, 36);
CVIMA_AT(IMA_PNP_PROPERTIES, reserved, 40);
CVIMA_SIZE(IMA_PNP_PROPERTIES, 104);
CVIMA_AT(IMA_IP_PROPERTIES, ipConfigurationMethodSettable, 0);
CVIMA_AT(IMA_IP_PROPERTIES, dhcpConfigurationEnabled, 4);
CVIMA_AT(IMA_IP_PROPERTIES, subnetMaskSettable, 8);
CVIMA_AT(IMA_IP_PROPERTIES, subnetMaskValid, 12);
CVIMA_AT(IMA_IP_PROPERTIES, subnetMask, 16);
CVIMA_AT(IMA_IP_PROPERTIES, defaultGatewaySettable, 36);
CVIMA_AT(IMA_IP_PROPERTIES, defaultGatewayValid, 40);
CVIMA_AT(IMA_IP_PROPERTIES, defaultGateway, 44);
CVIMA_AT(IMA_IP_PROPERTIES, primaryDnsServerAddressSettable, 64);
CVIMA_AT(IMA_IP_PROPERTIES, primaryDnsServerAddressValid, 68);
CVIMA_AT(IMA_IP_PROPERTIES, primaryDnsServerAddress, 72);
CVIMA_AT(IMA_IP_PROPERTIES, alternateDnsServerAddressSettable, 92);
CVIMA_AT(IMA_IP_PROPERTIES, alternateDnsServerAddressValid, 96);
CVIMA_AT(IMA_IP_PROPERTIES, alternateDnsServerAddress, 100);
CVIMA_AT(IMA_IP_PROPERTIES, reserved, 120);
CVIMA_SIZE(IMA_IP_PROPERTIES, 184);
CVIMA_AT(IMA_EXTENDED_IP_PROPERTIES, ipv4Words, 0);
CVIMA_AT(IMA_EXTENDED_IP_PROPERTIES, subnetMask, 24);
CVIMA_AT(IMA_EXTENDED_IP_PROPERTIES, defaultGatewaySettable, 44);
CVIMA_AT(IMA_EXTENDED_IP_PROPERTIES, defaultGatewayValid, 48);
CVIMA_AT(IMA_EXTENDED_IP_PROPERTIES, defaultGateway, 52);
CVIMA_AT(IMA_EXTENDED_IP_PROPERTIES, ipv6Words, 72);
CVIMA_AT(IMA_EXTENDED_IP_PROPERTIES, ipv6DefaultGateway, 132);
CVIMA_AT(IMA_EXTENDED_IP_PROPERTIES, reserved, 152);
CVIMA_SIZE(IMA_EXTENDED_IP_PROPERTIES, 336);
CVIMA_AT(IMA_IPV6_PORTAL_ADDRESS, address, 0);
CVIMA_AT(IMA_IPV6_PORTAL_ADDRESS, prefixLength, 16);
CVIMA_AT(IMA_IPV6_PORTAL_ADDRESS, state, 20);
CVIMA_SIZE(IMA_IPV6_PORTAL_ADDRESS, 24);
CVIMA_AT(IMA_PORTAL_ADDRESSES, ipv4Address, 0);
CVIMA_AT(IMA_PORTAL_ADDRESSES, ipv6Count, 4);
CVIMA_AT(IMA_PORTAL_ADDRESSES, ipv6, 8);
CVIMA_SIZE(IMA_PORTAL_ADDRESSES, 80);
CVIMA_AT(IMA_ADDRESS_KEY, ipAddress, 0);
CVIMA_AT(IMA_ADDRESS_KEY, portNumberValid, 20);
CVIMA_AT(IMA_ADDRESS_KEY, portNumber, 24);
CVIMA_AT(IMA_ADDRESS_KEY, portalGroupTagValid, 28);
CVIMA_AT(IMA_ADDRESS_KEY, portalGroupTag, 32);
CVIMA_SIZE(IMA_ADDRESS_KEY, 36);
CVIMA_AT(IMA_ADDRESS_KEYS, addressKeyCount, 0);
CVIMA_AT(IMA_ADDRESS_KEYS, addressKeys, 4);
CVIMA_SIZE(IMA_ADDRESS_KEYS, 40);
CVIMA_AT(IMA_ARP_REDIRECT_PROPERTIES, words, 0);
CVIMA_SIZE(IMA_ARP_REDIRECT_PROPERTIES, 16);
CVIMA_AT(IMA_DIGEST_PROPERTIES, words, 0);
CVIMA_SIZE(IMA_DIGEST_PROPERTIES, 8);
CVIMA_AT(IMA_MARKER_VALUE, words, 0);
CVIMA_SIZE(IMA_MARKER_VALUE, 16);

TAVO_END_DECLS

#endif
