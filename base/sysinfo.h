// Host name, ESX flavour, operating system, local time and distribution.
#pragma once

#include <stdint.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

// Host name into name[256]; 0, or 1 without name.
TAVO_EXPORT uint32_t TAVO_get_system_name(char* name);
// 2 ESXi, 3 any other ESX host.
TAVO_EXPORT uint32_t TAVO_get_esx_version(void);
// "VMWare ESX Server" into name[256] and the version from /etc/banner or
// /etc/vmware-release; 1 when neither exists.
TAVO_EXPORT uint32_t TAVO_get_os_info(uint32_t* major, uint32_t* minor, char* name);
// Local time now (month 1-12, four-digit year); unused is left alone;
// utc_bias is local time minus UTC in minutes. 0.
TAVO_EXPORT uint32_t TAVO_get_system_time(uint16_t* month, uint16_t* year, uint16_t* hour, uint16_t* day,
                                          uint16_t* second, uint16_t* minute, uint16_t* unused,
                                          int16_t* utc_bias);
// Code of the kernel release's distribution, or -1.
TAVO_EXPORT int32_t find_os_distribution(void);

TAVO_END_DECLS
