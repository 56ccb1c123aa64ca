#pragma once

// The bytes of a catalogue-sized text list: a block that grows to tens of MiB a row at a time.
// Once large it is memory mapped and grows where it is (the kernel moves the pages, nothing is
// copied), and its memory is made ready a MiB at a time instead of a page fault every 4 KiB: on
// a virtual machine, copying and faulting took a third of the service load at a million rows.

#include <QByteArrayView>
#include <QtGlobal>

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
