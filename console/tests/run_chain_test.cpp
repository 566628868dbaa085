// The run chain: the carts to go back to.
#include "console_state.h"
#include "zorva_run_chain.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class RunChain : public ::testing::Test {
  protected:
    console_state console;
    void SetUp() override { reset_run_chain(); }
    void TearDown() override { reset_run_chain(); }
};

TEST_F(RunChain, PushAndPopInStackOrder) {
    std::snprintf(pstate.pending_parameter, sizeof pstate.pending_parameter, "first param");
    add_run_chain_item("a.zv", "back to a", 0);
    pstate.pending_parameter[0] = 0;
    add_run_chain_item("b.zv", "back to b", 0);
    EXPECT_EQ(run_chain_items, 2);
    EXPECT_STREQ(get_run_chain_filename(), "b.zv");
    EXPECT_STREQ(get_run_chain_label(), "back to b");
    EXPECT_STREQ(get_run_chain_param_str(), "");
    pop_run_chain();
    EXPECT_STREQ(get_run_chain_filename(), "a.zv");
    EXPECT_STREQ(get_run_chain_param_str(), "first param");
    pop_run_chain();
    EXPECT_EQ(run_chain_items, 0);
}

TEST_F(RunChain, EmptyChain) {
    pop_run_chain();
    run_chain_cancel_pending();
    run_chain_confirm_pending();
    EXPECT_EQ(run_chain_items, 0);
    EXPECT_EQ(get_run_chain_label(), nullptr);
    EXPECT_EQ(get_run_chain_filename(), nullptr);
    EXPECT_EQ(get_run_chain_param_str(), nullptr);
}

TEST_F(RunChain, FieldsAreCut) {
    std::string long_label(40, 'l'), long_name(300, 'n'), long_param(1100, 'p');
    std::snprintf(pstate.pending_parameter, sizeof pstate.pending_parameter, "%s", long_param.c_str());
    add_run_chain_item(long_name.c_str(), long_label.c_str(), 0);
    EXPECT_EQ(std::string(get_run_chain_label()), long_label.substr(0, 31));
    EXPECT_EQ(std::string(get_run_chain_filename()), long_name.substr(0, 255));
    EXPECT_EQ(std::string(get_run_chain_param_str()), long_param.substr(0, 1024));
    add_run_chain_item(nullptr, nullptr, 0);
    EXPECT_STREQ(get_run_chain_label(), "");
}

TEST_F(RunChain, AtMost2047Entries) {
    for (int i = 0; i < 2048; i++) add_run_chain_item(std::to_string(i).c_str(), "x", 0);
    EXPECT_EQ(run_chain_items, 2047);
    EXPECT_STREQ(get_run_chain_filename(), "2046");
    reset_run_chain();
    EXPECT_EQ(run_chain_items, 0);
}

TEST_F(RunChain, PendingEntries) {
    add_run_chain_item("kept.zv", "k", 0);
    add_run_chain_item("waiting.zv", "w", 1);
    run_chain_cancel_pending();
    EXPECT_STREQ(get_run_chain_filename(), "kept.zv");
    run_chain_cancel_pending();   // not pending: stays
    EXPECT_STREQ(get_run_chain_filename(), "kept.zv");
    add_run_chain_item("confirmed.zv", "c", 1);
    run_chain_confirm_pending();
    run_chain_cancel_pending();
    EXPECT_STREQ(get_run_chain_filename(), "confirmed.zv");
    EXPECT_EQ(run_chain_items, 2);
}

}  // namespace
