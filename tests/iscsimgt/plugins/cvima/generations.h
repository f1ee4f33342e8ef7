// One adapter of each generation with an iSCSI function, for the HBA and
// network tests: CV2 and CV3 (IPv4 only), a Galtor of the second vendor on
// DHCP with a link-local IPv6 address, and a Moravel with static IPv6
// addresses and a second function whose link is down.
#pragma once

namespace tavo::test {

inline constexpr char kGenerations[] = R"(
controller 0 generation=cv2 serial=TM2C00000001 bus=2
controller 1 generation=cv3 serial=TM3C00000101 bus=3
controller 2 generation=galtor serial=TM4G00000202 bus=5 vendor=0xF1A1
controller 3 generation=moravel serial=TM5M00000303 bus=7
nic controller=0 function=0 port=0 name=vmnic0 mac=00:0e:1e:20:00:00
nic controller=1 function=0 port=0 name=vmnic1 mac=00:0e:1e:30:00:00
nic controller=2 function=0 port=0 name=vmnic2 mac=00:0e:1e:40:00:00
nic controller=3 function=0 port=0 name=vmnic3 mac=00:0e:1e:50:00:00
iscsi controller=0 function=2 port=0 device=0 vmhba=vmhba32 mac=00:0e:1e:20:00:02 ip=10.2.0.21 gateway=10.2.0.1
iscsi controller=1 function=2 port=0 device=1 vmhba=vmhba33 mac=00:0e:1e:30:00:02 ip=10.3.0.21 mask=255.255.0.0
iscsi controller=2 function=2 port=0 device=2 vmhba=vmhba34 mac=00:0e:1e:40:00:02 dhcp=on ip=172.16.5.40 ipv6-link-local=fe80::40
iscsi controller=3 function=4 port=0 device=4 vmhba=vmhba36 mac=00:0e:1e:50:00:04 ip=10.5.0.21 gateway=10.5.0.1 ipv6-link-local=fe80::21 ipv6=2001:db8::21 ipv6-gateway=2001:db8::1
iscsi controller=3 function=5 port=1 device=5 vmhba=vmhba37 mac=00:0e:1e:50:00:05 max-speed=6
port controller=3 port=1 link=down
release 6.5.0
)";

}  // namespace tavo::test
