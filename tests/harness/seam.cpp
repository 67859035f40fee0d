#include "seam.h"

#include <gtest/gtest.h>

namespace qvt::seam {

std::vector<Call>& log() {
    static std::vector<Call> calls;
    return calls;
}

Scope::Scope() {
    log().clear();
#define QVT_INSTALL(ord, entry)                        \
    Stub<& qv::DriverTable::entry>::handler = nullptr; \
    Stub<& qv::DriverTable::entry>::ordinal = ord;     \
    Stub<& qv::DriverTable::entry>::name = #entry;     \
    qv::drv.entry = &Stub<&qv::DriverTable::entry>::call;
    QV_ALL_ENTRIES(QVT_INSTALL)
#undef QVT_INSTALL
}

Scope::~Scope() {
    qv::drv = qv::kDriverExports;
#define QVT_RESET(ord, entry) Stub<& qv::DriverTable::entry>::handler = nullptr;
    QV_ALL_ENTRIES(QVT_RESET)
#undef QVT_RESET
    log().clear();
}

std::size_t Scope::count(const std::string& name) const {
    std::size_t n = 0;
    for (const Call& c : log())
        if (c.name == name) ++n;
    return n;
}

const Call& Scope::last(const std::string& name) const {
    for (auto it = log().rbegin(); it != log().rend(); ++it)
        if (it->name == name) return *it;
    ADD_FAILURE() << "no call of " << name;
    static const Call none{0, "", std::vector<uint64_t>(16, 0)};
    return none;
}

std::vector<Call> Scope::callsTo(const std::string& name) const {
    std::vector<Call> v;
    for (const Call& c : log())
        if (c.name == name) v.push_back(c);
    return v;
}

}  // namespace qvt::seam
