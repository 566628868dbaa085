// Worker threads: they run, report through a state word the main thread
// polls, and keep running after their handle is destroyed.
#include "tamu.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

std::atomic<int> state{0};
std::atomic<int> release{0};
std::atomic<int> runs{0};

// Polls for up to about five seconds.
bool wait_for_state(int wanted) {
    for (int i = 0; i < 1000 && state.load() != wanted; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return state.load() == wanted;
}

void worker_sets_done() {
    int running = 1;
    state.compare_exchange_strong(running, 2);
}

void worker_waits_for_release() {
    state = 1;
    for (int i = 0; i < 1000 && !release.load(); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    state = release.load() ? 2 : 3;
}

void worker_counts() { runs.fetch_add(1); }

TEST(Threads, WorkerWritesTheStateWordTheMainThreadPolls) {
    state = 1;
    cthread *thread = tamu_create_thread(worker_sets_done);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(thread->reserved, 0);
    EXPECT_NE(thread->platform, nullptr);
    EXPECT_TRUE(wait_for_state(2));
    tamu_destroy_thread(thread);
}

TEST(Threads, WorkerRunsOnAfterItsHandleIsDestroyed) {
    state = 0;
    release = 0;
    cthread *thread = tamu_create_thread(worker_waits_for_release);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(wait_for_state(1));
    tamu_destroy_thread(thread);   // detaches; does not wait
    EXPECT_EQ(state.load(), 1);
    release = 1;
    EXPECT_TRUE(wait_for_state(2));
}

TEST(Threads, ManyShortWorkersEachRunOnce) {
    runs = 0;
    for (int i = 0; i < 32; i++) {
        cthread *thread = tamu_create_thread(worker_counts);
        ASSERT_NE(thread, nullptr);
        tamu_destroy_thread(thread);   // often before the worker has started
    }
    for (int i = 0; i < 1000 && runs.load() < 32; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(runs.load(), 32);
}

TEST(Threads, NullArgumentsAreIgnored) {
    EXPECT_EQ(tamu_create_thread(nullptr), nullptr);
    tamu_destroy_thread(nullptr);
}

}  // namespace
