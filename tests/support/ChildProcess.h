#pragma once

// Work that must run in a process of its own: under a memory limit, with its peak memory measured, or
// stopped by a signal half-way.

#include <functional>
#include <string>

namespace filetest {

struct ChildOutcome {
    bool exited = false;   // ended normally (not by a signal)
    int signal = 0;        // the signal that ended it
    std::string text;      // what the work returned
    long long peakKb = -1; // how much the peak resident memory grew during the work, in KiB
};

// Runs `work` in a forked child. `prepare` runs first in the child (a limit to set, say) and is not
// measured.
ChildOutcome inChild(const std::function<std::string()>& work, const std::function<void()>& prepare = {});

// Whether this build runs under AddressSanitizer, which reserves address space no limit would allow.
constexpr bool underAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// What AddressSanitizer itself spends on an allocation of this many bytes, in KiB: a shadow byte for
// every eight, written when the allocation is made. Nothing without it.
constexpr long long addressSanitizerShadowKb(long long bytes) {
    return underAddressSanitizer() ? bytes / 8 / 1024 : 0;
}

// Limits the address space of the calling process to what it maps now plus `extraBytes`.
void limitAddressSpace(long long extraBytes);

} // namespace filetest
