// Timing for the benchmarks that compare an operation with a peer of the
// same bytes: calls are calibrated to about 10 ms, and operation and peer
// are timed in alternating rounds, so that a busy moment on the machine
// slows both rather than one; the best round of each counts.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>

namespace bench_timing {

// Keeps the compiler from dropping writes through p.
inline void barrier(void *p) { asm volatile("" : : "r"(p) : "memory"); }

constexpr int ROUNDS = 15;

using op_fn = std::function<void()>;

// Calls of op that take about 10 ms.
inline int calibrate(const op_fn &op) {
    using clock = std::chrono::steady_clock;
    for (int reps = 1;; reps *= 2) {
        auto t0 = clock::now();
        for (int i = 0; i < reps; i++) op();
        double ns = std::chrono::duration<double, std::nano>(clock::now() - t0).count();
        if (ns > 10e6 || reps >= (1 << 24)) return reps;
    }
}

inline double run_ns(const op_fn &op, int reps) {
    using clock = std::chrono::steady_clock;
    auto t0 = clock::now();
    for (int i = 0; i < reps; i++) op();
    return std::chrono::duration<double, std::nano>(clock::now() - t0).count() / reps;
}

// Nanoseconds per call of the operation and of its peer.
struct pair_ns {
    double op, peer;
};
inline pair_ns time_pair(const op_fn &op, const op_fn &peer) {
    int op_reps = calibrate(op), peer_reps = calibrate(peer);
    pair_ns best = {1e300, 1e300};
    for (int round = 0; round < ROUNDS; round++) {
        best.op = std::min(best.op, run_ns(op, op_reps));
        best.peer = std::min(best.peer, run_ns(peer, peer_reps));
    }
    return best;
}

}  // namespace bench_timing
