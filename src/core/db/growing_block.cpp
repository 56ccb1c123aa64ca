#include "core/db/growing_block.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {
constexpr qsizetype MappedFrom = qsizetype(1) << 20;

// Memory is made ready a MiB ahead of the bytes, in one call each time.
constexpr qsizetype ReadyAhead = qsizetype(1) << 20;

#ifdef __linux__
// Mapped blocks are whole huge pages, at huge-page boundaries, and ask the kernel for huge pages:
// making a 4 KiB page ready costs about 7 µs on a virtual machine, a 2 MiB one little more.
constexpr size_t HugePage = size_t(2) << 20;

size_t wholeHugePages(size_t bytes) {
    return (bytes + HugePage - 1) & ~(HugePage - 1);
}

// `bytes` (whole huge pages) at a huge-page boundary: a larger mapping, trimmed at both ends.
char* mapAligned(size_t bytes) {
    void* mapped =
        mmap(nullptr, bytes + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    char* start = static_cast<char*>(mapped);
    char* aligned = reinterpret_cast<char*>((uintptr_t(start) + HugePage - 1) & ~uintptr_t(HugePage - 1));
    if (aligned > start)
        munmap(start, size_t(aligned - start));
    if (char* end = aligned + bytes; end < start + bytes + HugePage)
        munmap(end, size_t(start + bytes + HugePage - end));
#ifdef MADV_HUGEPAGE
    madvise(aligned, bytes, MADV_HUGEPAGE);
#endif
    return aligned;
}

// Grows a block from mapAligned where it is when the addresses after it are free; otherwise its
// pages move to the start of a new aligned block (the kernel moves them, nothing is copied).
char* remapAligned(char* data, size_t bytes, size_t grownBytes) {
    if (mremap(data, bytes, grownBytes, 0) != MAP_FAILED) {
#ifdef MADV_HUGEPAGE
        madvise(data, grownBytes, MADV_HUGEPAGE);
#endif
        return data;
    }
    char* grown = mapAligned(grownBytes);
    if (mremap(data, bytes, bytes, MREMAP_MAYMOVE | MREMAP_FIXED, grown) == MAP_FAILED) {
        munmap(grown, grownBytes);
        throw std::bad_alloc();
    }
    return grown;
}
#endif
} // namespace

GrowingBlock::GrowingBlock(const GrowingBlock& other) {
    append(QByteArrayView(other.m_data, other.m_size));
}

GrowingBlock::~GrowingBlock() {
#ifdef __linux__
    if (m_mapped) {
        munmap(m_data, size_t(m_capacity));
        return;
    }
#endif
    std::free(m_data);
}

// Bytes of this block itself (a list appended to itself) are found again where it has grown.
void GrowingBlock::appendGrowing(QByteArrayView bytes) {
    const bool own = m_data && bytes.data() >= m_data && bytes.data() < m_data + m_size;
    const qsizetype offset = own ? bytes.data() - m_data : 0;
    makeRoom(m_size + bytes.size());
    std::memcpy(m_data + m_size, own ? m_data + offset : bytes.data(), size_t(bytes.size()));
    m_size += bytes.size();
}

void GrowingBlock::makeRoom(qsizetype needed) {
    if (m_capacity < needed)
        grow(needed);
    if (m_mapped && m_ready < needed)
        makeReady(needed);
    m_writable = m_mapped ? m_ready : m_capacity;
}

void GrowingBlock::remove(qsizetype start, qsizetype length) {
    std::memmove(m_data + start, m_data + start + length, size_t(m_size - start - length));
    m_size -= length;
}

void GrowingBlock::swap(GrowingBlock& other) noexcept {
    std::swap(m_data, other.m_data);
    std::swap(m_size, other.m_size);
    std::swap(m_capacity, other.m_capacity);
    std::swap(m_ready, other.m_ready);
    std::swap(m_writable, other.m_writable);
    std::swap(m_mapped, other.m_mapped);
}

bool GrowingBlock::operator==(const GrowingBlock& other) const {
    return m_size == other.m_size && (m_size == 0 || std::memcmp(m_data, other.m_data, size_t(m_size)) == 0);
}

void GrowingBlock::grow(qsizetype needed) {
    qsizetype capacity = std::max<qsizetype>({needed, 2 * m_capacity, 256});
#ifdef __linux__
    if (capacity >= MappedFrom) {
        capacity = qsizetype(wholeHugePages(size_t(capacity)));
        if (m_mapped) {
            m_data = remapAligned(m_data, size_t(m_capacity), size_t(capacity));
        } else {
            char* mapped = mapAligned(size_t(capacity));
            std::memcpy(mapped, m_data, size_t(m_size));
            std::free(m_data);
            m_data = mapped;
            m_ready = m_size;
            m_mapped = true;
        }
        m_capacity = capacity;
        return;
    }
#endif
    void* grown = std::realloc(m_data, size_t(capacity));
    if (!grown)
        throw std::bad_alloc();
    m_data = static_cast<char*>(grown);
    m_capacity = capacity;
}

// The pages up to a MiB beyond `needed` in one call, rather than a fault each on first use: on a
// virtual machine a fault costs far more than the page.
void GrowingBlock::makeReady(qsizetype needed) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    constexpr uintptr_t Page = 4096;
    const qsizetype until = std::min(m_capacity, needed + ReadyAhead);
    char* first = reinterpret_cast<char*>((uintptr_t(m_data + m_ready) + Page - 1) & ~(Page - 1));
    char* last = reinterpret_cast<char*>(uintptr_t(m_data + until) & ~(Page - 1));
    if (first < last)
        madvise(first, size_t(last - first), MADV_POPULATE_WRITE);
#endif
    m_ready = std::max(m_ready, std::min(m_capacity, needed + ReadyAhead));
}
