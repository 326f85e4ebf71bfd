#include "Bitmap.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <sys/mman.h>
#include <utility>
#include <vector>

namespace pixmora {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool AddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool AddressSanitizer = true;
#else
constexpr bool AddressSanitizer = false;
#endif
#else
constexpr bool AddressSanitizer = false;
#endif

constexpr std::size_t HugePage = std::size_t(2) << 20;

using Mappings = std::vector<std::pair<std::uint8_t*, std::size_t>>; // start, length

// The released mappings kept for reuse, the oldest first.
struct KeptBuffers {
    std::mutex mutex;
    int limit = 0;
    Mappings buffers;
};

KeptBuffers& keptBuffers() {
    static KeptBuffers kept;
    return kept;
}

// Outside the lock: unmapping takes a while.
void unmapAll(const Mappings& mappings) {
    for (const auto& [start, length] : mappings)
        ::munmap(start, length);
}

// A kept mapping of `length` bytes, or nullptr. The kept ones of other lengths are unmapped then: the
// pictures have changed size, and they would only hold memory.
std::uint8_t* takeKept(std::size_t length) {
    KeptBuffers& kept = keptBuffers();
    std::uint8_t* found = nullptr;
    Mappings dropped;
    {
        std::lock_guard lock(kept.mutex);
        if (kept.buffers.empty())
            return nullptr;
        for (auto it = kept.buffers.begin(); it != kept.buffers.end(); ++it)
            if (it->second == length) {
                found = it->first;
                kept.buffers.erase(it);
                break;
            }
        if (!found)
            dropped.swap(kept.buffers);
    }
    unmapAll(dropped);
    return found;
}

} // namespace

void Bitmap::keepReleasedBuffers(int count) {
    KeptBuffers& kept = keptBuffers();
    Mappings dropped;
    {
        std::lock_guard lock(kept.mutex);
        kept.limit = std::max(count, 0);
        if (kept.buffers.size() > static_cast<std::size_t>(kept.limit)) {
            const auto excess = kept.buffers.end() - kept.limit;
            dropped.assign(kept.buffers.begin(), excess);
            kept.buffers.erase(kept.buffers.begin(), excess);
        }
    }
    unmapAll(dropped);
}

// Every fresh page costs a fault when it is first written, and a fault per 4 KiB weighs on a large
// picture (on a virtual machine it can outweigh the work on the pixels). Large buffers are therefore
// mapped on huge-page boundaries and marked for huge pages: one fault per 2 MiB. They still come zero
// and untouched. Under AddressSanitizer they stay on the heap, where it watches every access.
Bitmap::Buffer Bitmap::allocate(std::size_t bytes) {
    if (!AddressSanitizer && bytes >= HugePage) {
        const std::size_t length = (bytes + HugePage - 1) & ~(HugePage - 1);
        if (std::uint8_t* reused = takeKept(length)) {
            std::memset(reused, 0, bytes);
            return Buffer(reused, Release{length});
        }
        void* mapped =
            ::mmap(nullptr, length + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            throw std::bad_alloc();
        const auto start = reinterpret_cast<std::uintptr_t>(mapped);
        const std::uintptr_t aligned = (start + HugePage - 1) & ~(HugePage - 1);
        if (aligned > start)
            ::munmap(mapped, aligned - start);
        if (start + HugePage > aligned)
            ::munmap(reinterpret_cast<void*>(aligned + length), start + HugePage - aligned);
        ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
        return Buffer(reinterpret_cast<std::uint8_t*>(aligned), Release{length});
    }
    // A picture without pixels still gets a buffer, so that its rows are valid pointers.
    auto* pixels = static_cast<std::uint8_t*>(std::calloc(bytes == 0 ? 1 : bytes, 1));
    if (!pixels)
        throw std::bad_alloc();
    return Buffer(pixels, Release{0});
}

std::ptrdiff_t Bitmap::strideFor(int width) {
    if (width < 0 || width > MaxSide)
        return -1;
    return (static_cast<std::ptrdiff_t>(width) * 3 + 3) & ~std::ptrdiff_t(3);
}

Bitmap::Bitmap(int width, int height) {
    if (width < 0 || height < 0 || width > MaxSide || height > MaxSide)
        throw std::length_error("picture size out of range");
    m_width = width;
    m_height = height;
    m_stride = strideFor(width);
    m_bytes = static_cast<std::size_t>(m_stride) * static_cast<std::size_t>(height);
    m_data = allocate(m_bytes);
}

Bitmap::Bitmap(const Bitmap& other) : Bitmap() {
    *this = other;
}

Bitmap::Bitmap(Bitmap&& other) noexcept
    : m_width(std::exchange(other.m_width, 0)), m_height(std::exchange(other.m_height, 0)),
      m_stride(std::exchange(other.m_stride, 0)), m_bytes(std::exchange(other.m_bytes, 0)),
      m_data(std::move(other.m_data)) {}

Bitmap& Bitmap::operator=(const Bitmap& other) {
    if (this == &other)
        return *this;
    if (m_bytes != other.m_bytes || !m_data) {
        m_data = other.m_data ? allocate(other.m_bytes) : Buffer();
        m_bytes = other.m_bytes;
    }
    if (m_bytes != 0)
        std::memcpy(m_data.get(), other.m_data.get(), m_bytes);
    m_width = other.m_width;
    m_height = other.m_height;
    m_stride = other.m_stride;
    return *this;
}

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
    m_width = std::exchange(other.m_width, 0);
    m_height = std::exchange(other.m_height, 0);
    m_stride = std::exchange(other.m_stride, 0);
    m_bytes = std::exchange(other.m_bytes, 0);
    m_data = std::move(other.m_data);
    return *this;
}

void Bitmap::Release::operator()(std::uint8_t* p) const noexcept {
    if (mapped == 0) {
        std::free(p);
        return;
    }
    KeptBuffers& kept = keptBuffers();
    {
        std::lock_guard lock(kept.mutex);
        if (kept.buffers.size() < static_cast<std::size_t>(kept.limit)) {
            kept.buffers.emplace_back(p, mapped);
            return;
        }
    }
    ::munmap(p, mapped);
}

bool operator==(const Bitmap& a, const Bitmap& b) {
    if (a.m_width != b.m_width || a.m_height != b.m_height)
        return false;
    for (int y = 0; y < a.m_height; ++y)
        if (std::memcmp(a.row(y), b.row(y), a.rowBytes()) != 0)
            return false;
    return true;
}

} // namespace pixmora
