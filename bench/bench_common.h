// What every benchmark program shares: the SQL of the work, the values of the
// batch rows, the checksum every path must reproduce (Bench.java computes the
// same one), and the figures of one timed repetition.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace bench {

inline constexpr const char* kFetchSql = "SELECT i, b, d, s FROM bench_fetch";
inline constexpr const char* kInsertSql = "INSERT INTO bench_batch (i, b, d, s) VALUES (?, ?, ?, ?)";
inline constexpr const char* kBatchReadSql = "SELECT i, b, d, s FROM bench_batch";

// Row r of a batch (r from 0).
inline int64_t batchInt(long r) {
    return r;
}
inline int64_t batchBig(long r) {
    return r * 3000000007LL;
}
inline double batchDouble(long r) {
    return r * 0.5 + 0.25;
}
// "row <r> é€": text beyond ASCII, at most 20 characters.
inline std::u16string batchText(long r) {
    std::u16string s = u"row ";
    for (char c : std::to_string(r)) s += static_cast<char16_t>(c);
    return s + u" \u00e9\u20ac";
}

// Order-independent: the sum over rows of a hash of each row's values, with
// 64-bit wrapping arithmetic (Java's long gives the same bits).
struct Checksum {
    long rows = 0;
    uint64_t sum = 0;
    void row(int64_t i, int64_t b, double d, const uint16_t* s, long units) {
        uint64_t t = units < 0 ? ~0ull : 0;
        for (long k = 0; k < units; ++k) t = t * 31 + s[k];
        sum += static_cast<uint64_t>(i) + static_cast<uint64_t>(b) * 3 +
               static_cast<uint64_t>(static_cast<int64_t>(d * 4)) * 5 + t * 7;
        ++rows;
    }
    void add(const Checksum& o) {
        rows += o.rows;
        sum += o.sum;
    }
    long long value() const { return static_cast<long long>(sum); }
};

// Nanoseconds the calling thread spent runnable, waiting for a processor.
inline long long threadWaitNs() {
    FILE* f = std::fopen("/proc/thread-self/schedstat", "r");
    if (!f) return 0;
    unsigned long long run = 0, wait = 0;
    if (std::fscanf(f, "%llu %llu", &run, &wait) != 2) wait = 0;
    std::fclose(f);
    return static_cast<long long>(wait);
}

inline double processCpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// One timed repetition of the calling thread (threads of its own add their
// waiting with addWait).
struct Sample {
    std::chrono::steady_clock::time_point t0, t1;
    double cpu0 = 0, cpu1 = 0;
    long long wait0 = 0, wait1 = 0, extraWait = 0;
    static Sample start() {
        Sample s;
        s.wait0 = threadWaitNs();
        s.cpu0 = processCpu();
        s.t0 = std::chrono::steady_clock::now();
        return s;
    }
    Sample& stop() {
        t1 = std::chrono::steady_clock::now();
        cpu1 = processCpu();
        wait1 = threadWaitNs();
        return *this;
    }
    void addWait(long long ns) { extraWait += ns; }
    void print(long rows, long long checksum) const {
        std::printf("RESULT wall=%.4f cpu=%.4f wait=%.4f rows=%ld checksum=%lld\n",
                    std::chrono::duration<double>(t1 - t0).count(), cpu1 - cpu0, (wait1 - wait0 + extraWait) / 1e9,
                    rows, checksum);
        std::fflush(stdout);
    }
};

}  // namespace bench
