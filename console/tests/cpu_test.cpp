// Charging CPU: the frame's counters, whole 1024s passed on to the count
// hook, refunds and the charge counter.
#include "console_state.h"
#include "lauxlib.h"
#include "lua.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

void no_hook(lua_State *, lua_Debug *) {}

class Cpu : public ::testing::Test {
  protected:
    console_state console;
    lua_State *L = luaL_newstate();
    void SetUp() override {
        L0 = L;
        // The hook's count starts again at 1024 instructions.
        lua_sethook(L, no_hook, LUA_MASKCOUNT, 1024);
    }
    void TearDown() override {
        L0 = nullptr;
        lua_close(L);
    }
};

TEST(CpuWithoutAScript, OnlyReturnsTheCharge) {
    console_state console;
    EXPECT_EQ(spend_cpu(5), 5);
    EXPECT_EQ(spend_cpu(0), 1);
    EXPECT_EQ(spend_cpu(-9), 1);
    EXPECT_EQ(refund_cpu(-3), -3);
    EXPECT_EQ(spend_cpu(5000), 5000);
    EXPECT_EQ(pstate.total_cpu, 0);
    EXPECT_EQ(pstate.frame_cpu, 0);
    EXPECT_EQ(pstate.spend_remainder, 0);
    EXPECT_EQ(pstate.frame_charge, 0);
}

TEST_F(Cpu, ChargesGrowTheCountersAndWhole1024sMoveTheHook) {
    EXPECT_EQ(spend_cpu(1000), 1000);
    EXPECT_EQ(pstate.total_cpu, 1000);
    EXPECT_EQ(pstate.frame_cpu, 1000);
    EXPECT_EQ(pstate.frame_charge, 1000);
    EXPECT_EQ(pstate.spend_remainder, 1000);
    EXPECT_EQ(lua_get_cpu(L), 1024);

    // 1000 + 2100 = 3100: three whole 1024s go to the hook, 28 stay.
    EXPECT_EQ(spend_cpu(2100), 1024 - 3);
    EXPECT_EQ(pstate.spend_remainder, 28);
    EXPECT_EQ(pstate.total_cpu, 3100);
    EXPECT_EQ(lua_get_cpu(L), 1024 - 3);

    // Charges of 0 or less count as 1.
    spend_cpu(0);
    spend_cpu(-100);
    EXPECT_EQ(pstate.total_cpu, 3102);
}

TEST_F(Cpu, TheHookIsNeverMovedPastTheNextInstruction) {
    EXPECT_EQ(spend_cpu(0x400000), 1);
    EXPECT_EQ(lua_get_cpu(L), 1);
    EXPECT_EQ(pstate.spend_remainder, 0);
}

TEST_F(Cpu, RefundsLowerTheCountersAndCarryOver) {
    EXPECT_EQ(refund_cpu(-3), -3);
    EXPECT_EQ(pstate.total_cpu, -3);
    EXPECT_EQ(pstate.frame_cpu, -3);
    EXPECT_EQ(pstate.frame_charge, 0);   // only charges count there
    EXPECT_EQ(pstate.spend_remainder, -3);
    // The next 1024 leave the remainder at 1021: nothing is passed on.
    EXPECT_EQ(spend_cpu(1024), 1024);
    EXPECT_EQ(pstate.spend_remainder, 1021);
    EXPECT_EQ(lua_get_cpu(L), 1024);
    EXPECT_EQ(refund_cpu(3), 1024 - 1);   // refund_cpu charges positive units too
    EXPECT_EQ(pstate.frame_charge, 1027);
}

TEST_F(Cpu, SpendCpu0CanIgnoreRefunds) {
    EXPECT_EQ(spend_cpu_0(-5, 1), 0);
    EXPECT_EQ(pstate.total_cpu, 0);
    EXPECT_EQ(spend_cpu_0(-5, 0), -5);
    EXPECT_EQ(pstate.total_cpu, -5);
    EXPECT_EQ(spend_cpu_0(0, 1), 0);   // no minimum of 1 here
    EXPECT_EQ(spend_cpu_0(7, 1), 7);
    EXPECT_EQ(pstate.total_cpu, 2);
}

TEST_F(Cpu, CountersStopAtTheirLimitsInsteadOfWrapping) {
    pstate.total_cpu = INT_MAX - 10;
    pstate.frame_charge = INT_MAX - 10;
    spend_cpu(1000);
    EXPECT_EQ(pstate.total_cpu, INT_MAX);
    EXPECT_EQ(pstate.frame_charge, INT_MAX);
    EXPECT_EQ(pstate.frame_cpu, 1000);
}

}  // namespace
