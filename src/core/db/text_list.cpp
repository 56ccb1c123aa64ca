#include "core/db/text_list.h"

#include "core/db/growing_block.h"

#include <algorithm>
#include <cstring>

// On cache lines of its own: lists filled at once by two threads would otherwise share a line.
struct alignas(64) TextList::Data : QSharedData {
    GrowingBlock bytes;
    GrowingArray<quint32> ends; // where each text ends in bytes
    bool ascii = true;          // no text so far had a byte beyond ASCII

    qsizetype start(int row) const { return row > 0 ? ends[size_t(row) - 1] : 0; }
};

namespace {

bool isAscii(QByteArrayView utf8) {
    uchar any = 0; // no early exit: the loop is vectorised, and texts are short
    for (char c : utf8)
        any |= uchar(c);
    return (any & 0x80) == 0;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? char(c - ('a' - 'A')) : c;
}

// Where the lowered text may begin in [from, last]: its first byte in either case, found by the C
// library's vectorised memchr rather than a byte at a time.
class FirstByte {
public:
    FirstByte(char lowered) : m_lower(lowered), m_upper(upperAscii(lowered)) {}
    const char* next(const char* from, const char* last) const {
        if (from > last)
            return nullptr;
        const auto* lower = static_cast<const char*>(std::memchr(from, m_lower, size_t(last - from + 1)));
        if (m_upper == m_lower)
            return lower;
        const char* upperEnd = lower ? lower : last + 1;
        const auto* upper = static_cast<const char*>(std::memchr(from, m_upper, size_t(upperEnd - from)));
        return upper ? upper : lower;
    }

private:
    char m_lower;
    char m_upper;
};

bool restMatches(const char* at, const QByteArray& lowered) {
    for (qsizetype i = 1; i < lowered.size(); ++i)
        if (lowerAscii(at[i]) != lowered[i])
            return false;
    return true;
}

bool containsLowered(QByteArrayView text, const QByteArray& lowered) {
    if (lowered.isEmpty())
        return true;
    if (text.size() < lowered.size())
        return false;
    const FirstByte first(lowered[0]);
    const char* last = text.data() + text.size() - lowered.size();
    for (const char* at = first.next(text.data(), last); at; at = first.next(at + 1, last))
        if (restMatches(at, lowered))
            return true;
    return false;
}

} // namespace

TextList::TextList() : d(new Data) {}
TextList::TextList(std::initializer_list<QString> texts) : TextList() {
    for (const QString& text : texts)
        append(text);
}
TextList::TextList(const TextList&) = default;
TextList& TextList::operator=(const TextList&) = default;
TextList::~TextList() = default;

int TextList::size() const {
    return int(d->ends.size());
}

QByteArrayView TextList::utf8At(int row) const {
    const qsizetype start = d->start(row);
    return QByteArrayView(d->bytes.constData() + start, d->ends[size_t(row)] - start);
}

QString TextList::at(int row) const {
    return QString::fromUtf8(utf8At(row));
}

QString TextList::value(int row) const {
    return row >= 0 && row < size() ? at(row) : QString();
}

void TextList::append(const QString& text) {
    appendUtf8(text.toUtf8());
}

void TextList::appendUtf8(QByteArrayView utf8) {
    Data& data = *d;
    data.ascii = data.ascii && isAscii(utf8);
    data.bytes.append(utf8);
    data.ends.push_back(quint32(data.bytes.size()));
}

void TextList::appendList(const TextList& other) {
    Data& data = *d;
    const quint32 base = quint32(data.bytes.size());
    data.ascii = data.ascii && other.d->ascii;
    data.bytes.append(QByteArrayView(other.d->bytes.constData(), other.d->bytes.size()));
    const size_t count = other.d->ends.size(); // read by place: the list may be this one
    for (size_t row = 0; row < count; ++row)
        data.ends.push_back(base + other.d->ends[row]);
}

void TextList::removeAt(int row) {
    if (row < 0 || row >= size())
        return;
    Data& data = *d;
    const qsizetype start = data.start(row);
    const quint32 length = quint32(data.ends[size_t(row)] - start);
    data.bytes.remove(start, length);
    data.ends.erase(size_t(row));
    for (size_t later = size_t(row); later < data.ends.size(); ++later)
        data.ends[later] -= length;
}

void TextList::clear() {
    d = new Data;
}

int TextList::indexOf(const QString& text, int from) const {
    const QByteArray utf8 = text.toUtf8();
    for (int row = std::max(0, from); row < size(); ++row)
        if (utf8At(row) == utf8)
            return row;
    return -1;
}

QHash<QString, int> TextList::firstRows(const QStringList& wanted) const {
    QHash<QByteArray, QString> missing;
    for (const QString& text : wanted)
        missing.insert(text.toUtf8(), text);
    QHash<QString, int> found;
    for (int row = 0; row < size() && !missing.isEmpty(); ++row) {
        const auto text = missing.constFind(QByteArray::fromRawData(utf8At(row).data(), utf8At(row).size()));
        if (text == missing.cend())
            continue;
        found.insert(*text, row);
        missing.erase(text);
    }
    return found;
}

QStringList TextList::toStringList() const {
    QStringList texts;
    texts.reserve(size());
    for (int row = 0; row < size(); ++row)
        texts << at(row);
    return texts;
}

bool TextList::operator==(const TextList& other) const {
    return d->ends == other.d->ends && d->bytes == other.d->bytes;
}

TextList::Finder::Finder(const TextList& list, const QString& text)
    : m_list(list), m_text(text), m_lowerUtf8(text.toLower().toUtf8()), m_bytewise(isAscii(m_lowerUtf8)) {}

// An ASCII text is compared byte by byte with any row: no byte of a longer UTF-8 sequence is ASCII.
// Anything else can only be in a row that is not ASCII.
bool TextList::Finder::matches(int row) const {
    return (m_bytewise || !m_list.d->ascii) && contains(m_list.utf8At(row));
}

bool TextList::Finder::contains(QByteArrayView utf8) const {
    if (m_bytewise)
        return containsLowered(utf8, m_lowerUtf8);
    return !isAscii(utf8) && QString::fromUtf8(utf8).contains(m_text, Qt::CaseInsensitive);
}

std::vector<int> TextList::Finder::allRows() const {
    std::vector<int> rows;
    const int count = m_list.size();
    if (!m_bytewise || m_lowerUtf8.isEmpty()) {
        for (int row = 0; row < count; ++row)
            if (matches(row))
                rows.push_back(row);
        return rows;
    }
    // One pass over the whole block: the first byte is looked for across rows, and a row is left
    // as soon as it matches.
    const Data& data = *m_list.d;
    const char* block = data.bytes.constData();
    const qsizetype length = m_lowerUtf8.size();
    if (data.bytes.size() < length)
        return rows;
    const FirstByte first(m_lowerUtf8[0]);
    const char* last = block + data.bytes.size() - length;
    int row = 0;
    for (const char* at = first.next(block, last); at;) {
        const qsizetype offset = at - block;
        while (data.ends[size_t(row)] <= offset)
            ++row;
        if (offset + length <= data.ends[size_t(row)] && restMatches(at, m_lowerUtf8)) {
            rows.push_back(row);
            at = first.next(block + data.ends[size_t(row)], last);
        } else {
            at = first.next(at + 1, last);
        }
    }
    return rows;
}

int TextIndex::slotOf(QByteArrayView utf8, size_t hash) const {
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const int entry = m_slots[slot];
        if (entry < 0 || (m_hashes[size_t(entry)] == hash && m_texts.utf8At(entry) == utf8))
            return int(slot);
    }
}

int TextIndex::find(QByteArrayView utf8) const {
    if (m_slots.empty())
        return -1;
    return m_slots[size_t(slotOf(utf8, qHash(utf8)))];
}

int TextIndex::insert(QByteArrayView utf8) {
    // Kept at most half full, so that a probe ends soon.
    if (size_t(size()) * 2 >= m_slots.size())
        rehash(std::max<size_t>(64, m_slots.size() * 2));
    const size_t hash = qHash(utf8);
    const int slot = slotOf(utf8, hash);
    if (m_slots[size_t(slot)] >= 0)
        return m_slots[size_t(slot)];
    m_slots[size_t(slot)] = size();
    m_hashes.push_back(hash);
    m_texts.appendUtf8(utf8);
    return size() - 1;
}

void TextIndex::rehash(size_t slotCount) {
    m_slots.assign(slotCount, -1);
    for (int entry = 0; entry < size(); ++entry) {
        size_t slot = m_hashes[size_t(entry)] & (slotCount - 1);
        while (m_slots[slot] >= 0)
            slot = (slot + 1) & (slotCount - 1);
        m_slots[slot] = entry;
    }
}
