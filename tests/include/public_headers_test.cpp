#include <gtest/gtest.h>

extern "C" int tavo_c_client_compiles(void);

TEST(PublicHeaders, CompileAsC) { EXPECT_EQ(tavo_c_client_compiles(), 1); }
