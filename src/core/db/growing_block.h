#pragma once

// The bytes of a catalogue-sized text list: a block that grows to tens of MiB a row at a time.
// Once large it is memory mapped and grows where it is (the kernel moves the pages, nothing is
// copied), and its memory is made ready a MiB at a time instead of a page fault every 4 KiB: on
// a virtual machine, copying and faulting took a third of the service load at a million rows.
// Mapped memory comes in huge pages where the kernel gives them: even made ready in one call,
// each 4 KiB page cost about 7 µs there, so 30 MiB of lists took 58 ms against 13 ms.

#include <QByteArrayView>
#include <QtGlobal>
#include <cstddef>

class GrowingBlock {
public:
    GrowingBlock() = default;
    GrowingBlock(const GrowingBlock& other);
    GrowingBlock& operator=(const GrowingBlock&) = delete;
    ~GrowingBlock();

    const char* constData() const { return m_data; }
    qsizetype size() const { return m_size; }
    void append(QByteArrayView bytes);
    void remove(qsizetype start, qsizetype length);
    bool operator==(const GrowingBlock& other) const;

private:
    void grow(qsizetype needed);
    void makeReady(qsizetype needed);

    char* m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
    qsizetype m_ready = 0; // mapped memory made ready up to here
    bool m_mapped = false;
};

// Memory for a large array (the row ends of a million-row list) taken whole from the kernel and
// made ready in one call, for the same reason: a fault a page costs more than the page.
void* allocateReady(std::size_t bytes);
void releaseReady(void* memory, std::size_t bytes);

template <class T> struct ReadyAllocator {
    using value_type = T;
    ReadyAllocator() = default;
    template <class U> ReadyAllocator(const ReadyAllocator<U>&) {}
    T* allocate(std::size_t count) { return static_cast<T*>(allocateReady(count * sizeof(T))); }
    void deallocate(T* memory, std::size_t count) { releaseReady(memory, count * sizeof(T)); }
    template <class U> bool operator==(const ReadyAllocator<U>&) const { return true; }
    template <class U> bool operator!=(const ReadyAllocator<U>&) const { return false; }
};
