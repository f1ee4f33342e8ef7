// Parameter help texts that the definitions of several iSCSI branches use.
#pragma once

namespace tavo::iscsi {

inline constexpr char kInstanceHelp[] =
    "This parameter accepts string input and converts it to an equivalent number and uses that as an instance "
    "number.";

}  // namespace tavo::iscsi
