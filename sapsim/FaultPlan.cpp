#include "FaultPlan.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sapsim {

namespace {

constexpr int kMaxPlanned = 16;

struct Plan {
    bool read = false;
    int count = 0;
    std::uint64_t calls[kMaxPlanned] = {};
    FailMode modes[kMaxPlanned] = {};
    std::uint64_t made = 0; // calls so far
};

Plan &TheFaultPlan() {
    static Plan plan;
    return plan;
}

bool Starts(const char *text, const char *word) { return std::strncmp(text, word, std::strlen(word)) == 0; }

// Read without allocating: the plan must work when memory is short as well.
void ReadPlan(Plan &plan) {
    plan.read = true;
    const char *calls = std::getenv("SAPSIM_FAIL_CALL");
    if (calls == nullptr) return;
    const char *mode = std::getenv("SAPSIM_FAIL_MODE");
    FailMode fallback = mode != nullptr && Starts(mode, "abort") ? FailMode::Abort : FailMode::Return;
    const char *at = calls;
    while (*at != '\0' && plan.count < kMaxPlanned) {
        std::uint64_t number = 0;
        bool digits = false;
        while (*at >= '0' && *at <= '9') {
            number = number * 10 + static_cast<std::uint64_t>(*at - '0');
            digits = true;
            ++at;
        }
        FailMode entryMode = fallback;
        if (*at == ':') {
            ++at;
            if (Starts(at, "abort")) entryMode = FailMode::Abort;
            if (Starts(at, "return")) entryMode = FailMode::Return;
            while (*at != '\0' && *at != ',')
                ++at;
        }
        if (digits && number > 0) {
            plan.calls[plan.count] = number;
            plan.modes[plan.count] = entryMode;
            ++plan.count;
        }
        while (*at != '\0' && *at != ',')
            ++at;
        if (*at == ',') ++at;
    }
}

} // namespace

std::optional<FailMode> PlannedFailure(const char *operation) noexcept {
    Plan &plan = TheFaultPlan();
    if (!plan.read) ReadPlan(plan);
    std::uint64_t call = ++plan.made;
    for (int i = 0; i < plan.count; ++i) {
        if (plan.calls[i] != call) continue;
        std::fprintf(stderr, "sapsim: failing call %llu (%s) by %s\n", static_cast<unsigned long long>(call),
                     operation, plan.modes[i] == FailMode::Abort ? "abort" : "return");
        std::fflush(stderr);
        return plan.modes[i];
    }
    return std::nullopt;
}

} // namespace sapsim
