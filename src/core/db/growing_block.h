#pragma once

// The bytes of a catalogue-sized text list: a block that grows to tens of MiB a row at a time.
// Once large it is memory mapped and grows where it is (the kernel moves the pages, nothing is
// copied), and its memory is made ready a MiB at a time instead of a page fault every 4 KiB: on
// a virtual machine, copying and faulting took a third of the service load at a million rows.
// Mapped memory comes in huge pages where the kernel gives them: even made ready in one call,
// each 4 KiB page cost about 7 µs there, so 30 MiB of lists took 58 ms against 13 ms.

#include <QByteArrayView>
#include <QtGlobal>
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

class GrowingBlock {
public:
    GrowingBlock() = default;
    GrowingBlock(const GrowingBlock& other);
    GrowingBlock(GrowingBlock&& other) noexcept { swap(other); }
    GrowingBlock& operator=(GrowingBlock other) noexcept {
        swap(other);
        return *this;
    }
    ~GrowingBlock();

    char* data() { return m_data; }
    const char* constData() const { return m_data; }
    qsizetype size() const { return m_size; }
    void append(QByteArrayView bytes) {
        if (bytes.size() <= 0)
            return;
        if (bytes.size() > m_writable - m_size)
            return appendGrowing(bytes);
        std::memcpy(m_data + m_size, bytes.data(), size_t(bytes.size()));
        m_size += bytes.size();
    }
    void remove(qsizetype start, qsizetype length);
    void truncate(qsizetype size) { m_size = std::min(m_size, size); }
    void swap(GrowingBlock& other) noexcept;
    bool operator==(const GrowingBlock& other) const;

private:
    void appendGrowing(QByteArrayView bytes);
    void makeRoom(qsizetype needed);
    void grow(qsizetype needed);
    void makeReady(qsizetype needed);

    char* m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
    qsizetype m_ready = 0;    // mapped memory made ready up to here
    qsizetype m_writable = 0; // what may be written without growing or making memory ready
    bool m_mapped = false;
};

// An array of plain values (the row ends of a million-row list, a sort's row order) kept in a
// growing block: it grows where it is and its memory is made ready as it fills. A vector's
// doubling made ready, and copied, up to twice what it held: 48 MiB for a million rows' order
// where 13 were used.
template <class T> class GrowingArray {
    static_assert(std::is_trivially_copyable_v<T>);
    static_assert(alignof(T) <= alignof(std::max_align_t)); // what the block's memory is aligned to

public:
    void push_back(const T& value) {
        m_block.append(QByteArrayView(reinterpret_cast<const char*>(&value), sizeof(T)));
    }
    void append(const GrowingArray& other) {
        m_block.append(QByteArrayView(other.m_block.constData(), other.m_block.size()));
    }
    void erase(size_t at) { m_block.remove(qsizetype(at * sizeof(T)), qsizetype(sizeof(T))); }
    size_t size() const { return size_t(m_block.size()) / sizeof(T); }
    T* begin() { return reinterpret_cast<T*>(m_block.data()); }
    T* end() { return begin() + size(); }
    const T* begin() const { return reinterpret_cast<const T*>(m_block.constData()); }
    const T* end() const { return begin() + size(); }
    T& operator[](size_t at) { return begin()[at]; }
    const T& operator[](size_t at) const { return begin()[at]; }
    void swap(GrowingArray& other) noexcept { m_block.swap(other.m_block); }
    bool operator==(const GrowingArray& other) const { return m_block == other.m_block; }

private:
    GrowingBlock m_block;
};
