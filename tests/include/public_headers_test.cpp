#include <gtest/gtest.h>

// The public header's declarations beside the library's own: a signature
// that differs from the exported one does not compile.
#include "firmware/flash_update.h"
#include "tavo/tavo.h"
#include "transport/devices.h"
#include "tree/tree.h"

extern "C" int tavo_c_client_compiles(void);

TEST(PublicHeaders, CompileAsC) { EXPECT_EQ(tavo_c_client_compiles(), 1); }
