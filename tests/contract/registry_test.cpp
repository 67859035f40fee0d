// The registry of native addresses handed to Java as tokens, and the slot
// table under it. No JVM: this file also builds into registry_tests, which
// runs under LeakSanitizer and ThreadSanitizer.
#include "qvjdbc/registry.h"
#include "qvjdbc/slot_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <random>
#include <set>
#include <thread>
#include <vector>

namespace {

using qv::registry::Kind;
namespace reg = qv::registry;

constexpr Kind kKinds[] = {Kind::BoundColumns, Kind::BoundParams, Kind::PinnedStorage};

TEST(Registry, IssuedTokenLooksUpAndReleasesAsItsOwnKindOnly) {
    int objects[3];
    for (int k = 0; k < 3; ++k) {
        const Kind kind = kKinds[k];
        jint t = reg::issue(kind, &objects[k]);
        ASSERT_GT(t, 0) << "tokens are positive and never 0";
        EXPECT_EQ(reg::lookup(kind, t), &objects[k]);
        for (Kind other : kKinds)
            if (other != kind) {
                EXPECT_EQ(reg::lookup(other, t), nullptr) << "a token of one kind is no token of another";
                EXPECT_EQ(reg::release(other, t), nullptr);
            }
        EXPECT_EQ(reg::lookupAs<int>(kind, t), &objects[k]) << "still live after the refused releases";
        EXPECT_EQ(reg::release(kind, t), &objects[k]);
        EXPECT_EQ(reg::lookup(kind, t), nullptr) << "a released token is refused";
        EXPECT_EQ(reg::release(kind, t), nullptr) << "a second release is refused";
    }
}

TEST(Registry, ForgedTokensAreRefused) {
    int object = 0;
    const jint live = reg::issue(Kind::BoundParams, &object);
    ASSERT_NE(live, 0);
    std::set<jint> forged = {
        0, -1, INT32_MIN, INT32_MAX, live ^ 1, live + (1 << 20), live - (1 << 20), live & ((1 << 20) - 1)};
    std::mt19937 rng(12345);
    for (int i = 0; i < 10000; ++i) forged.insert(static_cast<jint>(rng()));
    forged.erase(live);
    for (jint t : forged)
        for (Kind kind : kKinds) {
            ASSERT_EQ(reg::lookup(kind, t), nullptr) << "token " << t;
            ASSERT_EQ(reg::release(kind, t), nullptr) << "token " << t;
        }
    EXPECT_EQ(reg::release(Kind::BoundParams, live), &object) << "the live token survived the forged releases";
}

TEST(Registry, NullAddressGetsNoToken) {
    EXPECT_EQ(reg::issue(Kind::BoundColumns, nullptr), 0);
}

TEST(Registry, ReusedSlotGetsANewTokenAndTheOldOneStaysDead) {
    int a = 0, b = 0;
    const jint first = reg::issue(Kind::BoundColumns, &a);
    ASSERT_NE(first, 0);
    ASSERT_EQ(reg::release(Kind::BoundColumns, first), &a);
    // Issue and release until the same slot (the low 20 bits) comes back.
    jint again = 0;
    int issues = 0;
    for (; issues < (1 << 21) && again == 0; ++issues) {
        jint t = reg::issue(Kind::BoundColumns, &b);
        ASSERT_NE(t, 0);
        if ((t & 0xFFFFF) == (first & 0xFFFFF))
            again = t;
        else
            ASSERT_EQ(reg::release(Kind::BoundColumns, t), &b);
    }
    ASSERT_NE(again, 0) << "the slot was never reused";
    EXPECT_GT(issues, static_cast<int>(qv::SlotTable<int>::kReuseAfter))
        << "a freed slot rests while others are free";
    EXPECT_NE(again, first);
    EXPECT_EQ(reg::lookup(Kind::BoundColumns, first), nullptr);
    EXPECT_EQ(reg::lookup(Kind::BoundColumns, again), &b);
    EXPECT_EQ(reg::release(Kind::BoundColumns, first), nullptr) << "the old token cannot free the new owner";
    EXPECT_EQ(reg::release(Kind::BoundColumns, again), &b);
}

// A token kept after its release (Java holding a freed array's token) must
// not come back as a live token of a later array: 100,000 issue and release
// cycles, each with the only free slot at hand, never hand it out again.
TEST(Registry, ReleasedTokenStaysRefusedThroughManyReuses) {
    int a = 0, b = 0;
    const jint stale = reg::issue(Kind::BoundParams, &a);
    ASSERT_NE(stale, 0);
    ASSERT_EQ(reg::release(Kind::BoundParams, stale), &a);
    for (int i = 0; i < 100000; ++i) {
        const jint t = reg::issue(Kind::BoundParams, &b);
        ASSERT_NE(t, 0);
        ASSERT_NE(t, stale) << "cycle " << i;
        ASSERT_EQ(reg::lookup(Kind::BoundParams, stale), nullptr) << "cycle " << i;
        ASSERT_EQ(reg::release(Kind::BoundParams, t), &b);
    }
    EXPECT_EQ(reg::release(Kind::BoundParams, stale), nullptr);
}

// Threads issue, look up and release at once; each keeps its own live tokens
// and checks that they lead to its own objects, and that its releases hand
// back its own objects.
TEST(Registry, ConcurrentIssueLookupAndReleaseKeepEveryTokenToItsOwner) {
    constexpr int kThreads = 4;
    constexpr int kOpsPerThread = 100000;
    constexpr size_t kLive = 16;
    std::atomic<int> faults{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &faults, &go] {
            std::vector<int> objects(kLive);
            std::vector<jint> tokens(kLive, 0);
            const Kind kind = kKinds[t % 3];
            std::mt19937 rng(static_cast<unsigned>(t) + 1);
            while (!go.load()) std::this_thread::yield();
            for (int op = 0; op < kOpsPerThread; ++op) {
                const size_t i = rng() % kLive;
                if (tokens[i] == 0) {
                    tokens[i] = reg::issue(kind, &objects[i]);
                    if (tokens[i] == 0) ++faults;
                } else if (rng() % 3 == 0) {
                    if (reg::release(kind, tokens[i]) != &objects[i]) ++faults;
                    tokens[i] = 0;
                } else if (reg::lookup(kind, tokens[i]) != &objects[i]) {
                    ++faults;
                }
            }
            for (size_t i = 0; i < kLive; ++i)
                if (tokens[i] != 0 && reg::release(kind, tokens[i]) != &objects[i]) ++faults;
        });
    go.store(true);
    for (auto& th : threads) th.join();
    EXPECT_EQ(faults.load(), 0);
}

// How soon a value can come back: a slot is reissued only once more than
// kReuseAfter slots are free, oldest first, so one value returns only after
// its slot has gone round all generations.
TEST(SlotTable, AValueComesBackOnlyAfterEveryGenerationOfItsSlot) {
    static auto* table = new qv::SlotTable<int>();
    using T = qv::SlotTable<int>;
    const uint32_t first = table->issue(1, [](int&) {});
    ASSERT_TRUE(table->release(first, 1, [](int&) {}));
    uint64_t issues = 0, sameSlot = 0;
    uint32_t v = 0;
    do {
        v = table->issue(1, [](int&) {});
        ASSERT_NE(v, 0u);
        ++issues;
        if ((v & T::kIndexMask) == (first & T::kIndexMask)) ++sameSlot;
        ASSERT_TRUE(table->release(v, 1, [](int&) {}));
    } while (v != first && issues < 20000000);
    EXPECT_EQ(v, first) << "generations wrap in the end";
    EXPECT_EQ(sameSlot, uint64_t{T::kMaxGeneration});
    EXPECT_GE(issues, uint64_t{T::kMaxGeneration} * (T::kReuseAfter + 1));
}

TEST(SlotTable, FullTableIssuesZero) {
    // Built once and never destroyed, like the tables of the library.
    static auto* table = new qv::SlotTable<int>();
    const uint32_t capacity = qv::SlotTable<int>::kIndexMask + 1;
    uint32_t last = 0;
    for (uint32_t i = 0; i < capacity; ++i) {
        last = table->issue(1, [i](int& p) { p = static_cast<int>(i); });
        ASSERT_NE(last, 0u) << "slot " << i;
    }
    EXPECT_EQ(table->issue(1, [](int&) {}), 0u);
    EXPECT_EQ(*table->lookup(last, 1), static_cast<int>(capacity - 1));
    // A released slot can be issued again.
    int taken = -1;
    EXPECT_TRUE(table->release(last, 1, [&taken](int& p) { taken = p; }));
    EXPECT_EQ(taken, static_cast<int>(capacity - 1));
    EXPECT_NE(table->issue(1, [](int&) {}), 0u);
}

}  // namespace
