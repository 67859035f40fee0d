// The seam through which a contract test scripts the driver's answers and
// records the arguments it received.
//
// While a seam::Scope lives, every entry of qv::drv is replaced by a
// recording stub: each call is appended to the scope's log (ordinal, name,
// every argument as 64 bits: pointers as addresses, signed integers
// sign-extended, unsigned ones zero-extended) and then answered by the
// handler the test installed for that entry, or with 0 (SQL_SUCCESS) and no
// output written when there is none. The scope restores the driver's own
// entries when it ends. One scope at a time, on the test's thread.
//
//   qvt::seam::Scope seam;
//   seam.on<&qv::DriverTable::SQLGetInfo>(
//       [](SQLHDBC, SQLUSMALLINT, SQLPOINTER v, SQLSMALLINT, SQLSMALLINT*) {
//           *static_cast<SQLUSMALLINT*>(v) = 65535; return SQLRETURN(SQL_SUCCESS); });
//   ... call an entry point ...
//   EXPECT_EQ(seam.count("SQLGetInfo"), 1u);
//   EXPECT_EQ(seam.last("SQLGetInfo").args[1], 77u);
#pragma once

#include "qvjdbc/driver.h"

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace qvt::seam {

struct Call {
    int ordinal;
    std::string name;
    std::vector<uint64_t> args;
};

template <typename T>
uint64_t toBits(T v) {
    if constexpr (std::is_pointer_v<T>)
        return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(v));
    else if constexpr (std::is_signed_v<T>)
        return static_cast<uint64_t>(static_cast<int64_t>(v));
    else
        return static_cast<uint64_t>(v);
}

std::vector<Call>& log();

template <auto Member>
struct Stub;
template <typename R, typename... A, R (*qv::DriverTable::*Member)(A...)>
struct Stub<Member> {
    static inline std::function<R(A...)> handler;
    static inline int ordinal = 0;
    static inline const char* name = "";
    static R call(A... a) {
        log().push_back(Call{ordinal, name, {toBits(a)...}});
        if (handler) return handler(a...);
        return R{};
    }
};

class Scope {
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    // Installs the handler of one entry, e.g. on<&qv::DriverTable::SQLFetch>(f).
    template <auto Member, typename F>
    void on(F f) {
        Stub<Member>::handler = f;
    }
    // Lets one entry reach the real driver again while the scope lives.
    template <auto Member>
    void passThrough() {
        qv::drv.*Member = qv::kDriverExports.*Member;
    }

    const std::vector<Call>& calls() const { return log(); }
    std::size_t count(const std::string& name) const;
    // The last call of that entry (fails the test when there is none).
    const Call& last(const std::string& name) const;
    std::vector<Call> callsTo(const std::string& name) const;
    void clear() { log().clear(); }
};

}  // namespace qvt::seam
