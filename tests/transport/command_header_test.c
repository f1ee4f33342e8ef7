/* The wrapper declarations as a C client sees them: the header stays valid
 * C and each argument shape has the types its callers rely on. */
#include "transport/commands.h"

typedef uint32_t (*FixedNic)(uint32_t, void*, uint8_t, uint8_t);
typedef uint32_t (*FixedRouted)(uint32_t, void*, uint8_t, uint8_t, uint32_t);
typedef uint32_t (*CallerLength)(uint32_t, void*, uint16_t, uint8_t, uint8_t, uint32_t);
typedef uint32_t (*SizeQuery)(uint32_t, void*, uint16_t*, uint8_t, uint8_t);
typedef uint32_t (*ZerosRouted)(uint32_t, uint8_t, uint8_t, uint32_t);
typedef uint32_t (*PfList)(uint32_t, void*, uint8_t, uint8_t, uint32_t, int32_t);

static const FixedNic command_header_nic __attribute__((unused)) = ioctl_set_mac;
static const FixedNic command_header_record __attribute__((unused)) = ioctl_get_flash_dump;
static const FixedRouted command_header_caller __attribute__((unused)) = ioctl_get_mac_query;
static const FixedRouted command_header_protocol __attribute__((unused)) = ioctl_get_config_sign;
static const FixedRouted command_header_framed __attribute__((unused)) = ioctl_common_get_flow_control;
static const CallerLength command_header_length __attribute__((unused)) = ioctl_get_cv_conf;
static const SizeQuery command_header_size __attribute__((unused)) = ioctl_get_a_target_size;
static const ZerosRouted command_header_zeros __attribute__((unused)) = ioctl_clear_event_log;
static const PfList command_header_pf __attribute__((unused)) = ioctl_get_macaddress_list;
