#include "core/inspect/canonical_rows.h"

#include "core/db/column_reader.h"
#include "core/db/database.h"
#include "core/db/growing_block.h"
#include "core/db/schema.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>
#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <sqlite3.h>
#include <string>
#include <thread>

namespace {

constexpr quint64 EveryByte = 0x0101010101010101ULL;
constexpr quint64 HighBits = 0x8080808080808080ULL;

// Of eight bytes read as one word: the high bit of each byte below `limit` (at most 0x80) or equal
// to `byte` is set, others may be too, and none is set where no byte is.
constexpr quint64 bytesBelow(quint64 word, uchar limit) {
    return (word - EveryByte * limit) & ~word & HighBits;
}
constexpr quint64 bytesEqual(quint64 word, uchar byte) {
    return bytesBelow(word ^ (EveryByte * byte), 1);
}

// Whether `found` finds anything in the bytes, eight at a time, the last few padded with a byte it
// does not find (a space).
template <class Found> bool hasBytes(QByteArrayView bytes, Found found) {
    qsizetype at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        quint64 word;
        std::memcpy(&word, bytes.data() + at, 8);
        if (found(word))
            return true;
    }
    if (at == bytes.size())
        return false;
    quint64 word = EveryByte * ' ';
    std::memcpy(&word, bytes.data() + at, size_t(bytes.size() - at));
    return found(word) != 0;
}

// Every cell of a million rows passes here.
bool isAscii(QByteArrayView bytes) {
    return !hasBytes(bytes, [](quint64 word) { return word & HighBits; });
}

// The UTF-8 of the text a cell's bytes read as: ASCII as it stands, anything else made a text and
// back, in `storage`.
QByteArrayView shownBytes(QByteArrayView raw, QByteArray* storage) {
    if (isAscii(raw))
        return raw;
    *storage = QString::fromUtf8(raw).toUtf8();
    return *storage;
}

QByteArrayView cellOf(sqlite3_stmt* statement, int column) {
    return {reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
            sqlite3_column_bytes(statement, column)};
}

// The walk both table readers run: each field cast to text, Null as empty.
QByteArray castSelect(const QString& table, const QStringList& fields, const QString& orderBy) {
    QStringList columns;
    for (const QString& field : fields)
        columns << QStringLiteral("IFNULL(CAST(%1 AS TEXT), '')").arg(sqlName(field));
    return QStringLiteral("SELECT %1 FROM %2%3")
        .arg(columns.join(QStringLiteral(", ")), sqlName(table), orderBy)
        .toUtf8();
}

// A statement on the database's own connection, finalized with the reader.
class TableWalk {
public:
    TableWalk(const Database& db, const QByteArray& sql)
        : m_db(db), m_engine(static_cast<sqlite3*>(db.engineHandle())) {
        if (!m_engine ||
            sqlite3_prepare_v2(m_engine, sql.constData(), -1, &m_statement, nullptr) != SQLITE_OK)
            m_statement = nullptr;
    }
    TableWalk(const TableWalk&) = delete;
    TableWalk& operator=(const TableWalk&) = delete;
    ~TableWalk() { sqlite3_finalize(m_statement); }
    sqlite3_stmt* statement() const { return m_statement; }
    // One step: true on a row; false at the end, or on a failure set in `error`.
    bool step(Result* error) {
        const int step = m_statement ? sqlite3_step(m_statement) : SQLITE_ERROR;
        if (step == SQLITE_ROW)
            return true;
        if (step != SQLITE_DONE)
            *error = failure();
        return false;
    }
    Result failure() const {
        return m_db.engineError(QStringLiteral("reading"), m_engine ? sqlite3_extended_errcode(m_engine) : -1,
                                m_engine ? QString::fromUtf8(sqlite3_errmsg(m_engine)) : QString());
    }

private:
    const Database& m_db;
    sqlite3* m_engine;
    sqlite3_stmt* m_statement = nullptr;
};

// A length, seven bits a byte.
char* writeLength(char* at, quint32 length) {
    for (; length >= 0x80; length >>= 7)
        *at++ = char(0x80 | (length & 0x7f));
    *at++ = char(length);
    return at;
}

// A cell as blocks and batches keep it: its length, then its bytes.
void appendCell(GrowingBlock* out, QByteArrayView cell) {
    char length[5];
    out->append(QByteArrayView(length, writeLength(length, quint32(cell.size())) - length));
    out->append(cell);
}

// A row as batches keep it: its count of cells, then its cells. Written in room taken once: a
// string's append a cell took a third of reading a snapshot's rows ahead.
void appendRow(std::string* out, const Cells& row) {
    size_t room = 5;
    for (const QByteArrayView cell : row)
        room += 5 + size_t(cell.size());
    const size_t start = out->size();
    out->resize(start + room);
    char* at = writeLength(out->data() + start, quint32(row.size()));
    for (const QByteArrayView cell : row) {
        at = writeLength(at, quint32(cell.size()));
        std::memcpy(at, cell.data(), size_t(cell.size()));
        at += cell.size();
    }
    out->resize(size_t(at - out->data()));
}

quint32 readLength(const char** at) {
    quint32 length = 0;
    for (int shift = 0;; shift += 7) {
        const uchar byte = uchar(*(*at)++);
        length |= quint32(byte & 0x7f) << shift;
        if (byte < 0x80)
            return length;
    }
}

QByteArrayView readCell(const char** at) {
    const quint32 length = readLength(at);
    const QByteArrayView cell(*at, length);
    *at += length;
    return cell;
}

int compareStored(const char* a, const char* b, int count) {
    for (int f = 0; f < count; ++f)
        if (const int order = compareCells(readCell(&a), readCell(&b)); order != 0)
            return order;
    return 0;
}

// Rows read into one block of their bytes and sorted there: each row's place is ordered by the
// first eight bytes of its name (compared as a number) and, where they agree, by its cells.
class SortedPart {
public:
    // Reads the part's rows; false when they pass `maxBytes`.
    bool read(ColumnReader& rows, int count, qsizetype maxBytes) {
        QByteArray storage;
        while (rows.next()) {
            const qsizetype start = m_bytes.size();
            for (int f = 0; f < count; ++f)
                appendCell(&m_bytes, rows.utf8(f));
            // Told for the whole row at once (lengths of 128 and more count as not ASCII): a row
            // that is not ASCII is written again, each cell as the text it reads as.
            if (!isAscii(QByteArrayView(m_bytes.constData() + start, m_bytes.size() - start))) {
                m_bytes.truncate(start);
                for (int f = 0; f < count; ++f)
                    appendCell(&m_bytes, shownBytes(rows.utf8(f), &storage));
            }
            if (m_bytes.size() > maxBytes)
                return false;
            const char* name = m_bytes.constData() + start;
            m_order.push_back(entry(readCell(&name), quint32(start)));
        }
        return true;
    }
    void sort(int count) {
        std::sort(m_order.begin(), m_order.end(),
                  [this, count](const Entry& x, const Entry& y) { return before(x, *this, y, count); });
    }
    size_t size() const { return m_order.size(); }
    // Whether this part's row `at` comes before the other part's row `otherAt`.
    bool before(size_t at, const SortedPart& other, size_t otherAt, int count) const {
        return before(m_order[at], other, other.m_order[otherAt], count);
    }
    const char* row(size_t at) const { return m_bytes.constData() + m_order[at].at; }

private:
    struct Entry {
        quint32 keyHigh, keyLow; // the name's first eight bytes, zeros after its end
        quint32 at;              // where the row stands in the block
    };
    static Entry entry(QByteArrayView name, quint32 at) {
        uchar key[8] = {};
        std::memcpy(key, name.data(), size_t(std::min<qsizetype>(name.size(), 8)));
        const auto word = [&](int from) {
            return quint32(key[from]) << 24 | quint32(key[from + 1]) << 16 | quint32(key[from + 2]) << 8 |
                   quint32(key[from + 3]);
        };
        return {word(0), word(4), at};
    }
    bool before(const Entry& x, const SortedPart& other, const Entry& y, int count) const {
        if (x.keyHigh != y.keyHigh)
            return x.keyHigh < y.keyHigh;
        if (x.keyLow != y.keyLow)
            return x.keyLow < y.keyLow;
        return compareStored(m_bytes.constData() + x.at, other.m_bytes.constData() + y.at, count) < 0;
    }
    GrowingBlock m_bytes;
    GrowingArray<Entry> m_order;
};

// The rows [from, to) of each of two sorted parts, merged: a part's row comes first unless the
// other part's row is before it. Any stretch of the merged order is such a run.
class MergedRun : public RowReader {
public:
    using Places = std::array<size_t, 2>;
    MergedRun(const SortedPart* parts, int count, Places from, Places to)
        : m_parts(parts), m_count(count), m_at(from), m_to(to) {}
    bool next(Cells* row) override {
        const bool ended[2] = {m_at[0] >= m_to[0], m_at[1] >= m_to[1]};
        if (ended[0] && ended[1])
            return false;
        const size_t part = ended[1] || (!ended[0] && !before(1, m_at[1], m_at[0])) ? 0 : 1;
        const char* at = m_parts[part].row(m_at[part]++);
        row->resize(size_t(m_count));
        for (int f = 0; f < m_count; ++f)
            (*row)[size_t(f)] = readCell(&at);
        return true;
    }
    std::vector<std::unique_ptr<RowReader>> split(qsizetype rowsPerRun) override {
        const size_t left = m_to[0] - m_at[0] + m_to[1] - m_at[1];
        const size_t runs = rowsPerRun > 0 ? left / size_t(rowsPerRun) : 0;
        std::vector<std::unique_ptr<RowReader>> split;
        if (runs < 2)
            return split;
        Places from = m_at;
        for (size_t run = 1; run <= runs; ++run) {
            const Places to = placesAfter(left * run / runs);
            split.push_back(std::make_unique<MergedRun>(m_parts, m_count, from, to));
            from = to;
        }
        m_at = m_to; // the runs read the rest
        return split;
    }

private:
    bool before(size_t part, size_t at, size_t otherAt) const {
        return m_parts[part].before(at, m_parts[1 - part], otherAt, m_count);
    }
    // Where each part stands once `taken` more rows have been merged: the most rows of the first
    // part whose last comes before the second part's next.
    Places placesAfter(size_t taken) const {
        const size_t left[2] = {m_to[0] - m_at[0], m_to[1] - m_at[1]};
        size_t low = taken > left[1] ? taken - left[1] : 0;
        size_t high = std::min(taken, left[0]);
        while (low < high) {
            const size_t first = (low + high + 1) / 2;
            if (!before(1, m_at[1] + taken - first, m_at[0] + first - 1))
                low = first;
            else
                high = first - 1;
        }
        return {m_at[0] + low, m_at[1] + taken - low};
    }
    const SortedPart* m_parts;
    int m_count;
    Places m_at;
    Places m_to;
};

// The table's rows read in two halves at once, each sorted in memory on its own thread, and merged
// as they are read: the engine's own sort of the same rows took four times as long.
class MemorySortedRows : public RowReader {
public:
    MemorySortedRows(const Database& db, const QString& table, const QStringList& fields, qsizetype maxBytes)
        : m_count(int(fields.size())) {
        std::atomic<bool> tooLarge{false};
        ColumnReader::readInParts(
            db, table, fields,
            [&](ColumnReader& rows, int part) {
                if (!m_parts[part].read(rows, m_count, maxBytes / 2))
                    tooLarge = true;
                else
                    m_parts[part].sort(m_count);
            },
            &m_error);
        m_tooLarge = tooLarge;
        m_merged = MergedRun(m_parts, m_count, {0, 0}, {m_parts[0].size(), m_parts[1].size()});
    }
    bool tooLarge() const { return m_tooLarge; }
    bool next(Cells* row) override { return !m_error.isError() && m_merged.next(row); }
    // Runs valid while this reader lives.
    std::vector<std::unique_ptr<RowReader>> split(qsizetype rowsPerRun) override {
        return m_error.isError() ? std::vector<std::unique_ptr<RowReader>>() : m_merged.split(rowsPerRun);
    }

private:
    int m_count;
    SortedPart m_parts[2];
    bool m_tooLarge = false;
    MergedRun m_merged{m_parts, 0, {0, 0}, {0, 0}}; // set once the parts are sorted
};

// A table too large to sort in memory, sorted by the engine on helper threads of its own (one per
// core, up to four).
class EngineSortedRows : public RowReader {
public:
    EngineSortedRows(const Database& db, const QString& table, const QStringList& fields)
        : m_count(int(fields.size())), m_walk(db, sortedSelect(db, table, fields)), m_storage(fields.size()) {
        if (!m_walk.statement())
            m_error = m_walk.failure();
    }
    bool next(Cells* row) override {
        if (m_error.isError() || !m_walk.step(&m_error))
            return false;
        row->resize(size_t(m_count));
        for (int f = 0; f < m_count; ++f)
            (*row)[size_t(f)] = shownBytes(cellOf(m_walk.statement(), f), &m_storage[size_t(f)]);
        return true;
    }

private:
    static QByteArray sortedSelect(const Database& db, const QString& table, const QStringList& fields) {
        if (auto* engine = static_cast<sqlite3*>(db.engineHandle()))
            sqlite3_exec(engine,
                         QByteArray("PRAGMA threads = " +
                                    QByteArray::number(qBound(1, QThread::idealThreadCount(), 4)))
                             .constData(),
                         nullptr, nullptr, nullptr);
        QStringList order;
        for (int f = 1; f <= fields.size(); ++f)
            order << QString::number(f);
        return castSelect(table, fields, QStringLiteral(" ORDER BY ") + order.join(QStringLiteral(", ")));
    }
    int m_count;
    TableWalk m_walk;
    std::vector<QByteArray> m_storage;
};

class ListRows : public RowReader {
public:
    explicit ListRows(const std::vector<QStringList>& rows) {
        for (const QStringList& texts : rows) {
            std::vector<QByteArray> row;
            for (const QString& text : texts)
                row.push_back(text.toUtf8());
            m_rows.push_back(std::move(row));
        }
        std::sort(m_rows.begin(), m_rows.end(),
                  [](const auto& a, const auto& b) { return compareRows(cellsOf(a), cellsOf(b)) < 0; });
    }
    bool next(Cells* row) override {
        if (m_next >= m_rows.size())
            return false;
        *row = cellsOf(m_rows[m_next++]);
        return true;
    }

private:
    static Cells cellsOf(const std::vector<QByteArray>& row) { return Cells(row.begin(), row.end()); }
    std::vector<std::vector<QByteArray>> m_rows;
    size_t m_next = 0;
};

class NoRows : public RowReader {
public:
    bool next(Cells*) override { return false; }
};

// Whether every byte is printable ASCII and no backslash, eight bytes at a time: a byte at a time,
// this was a third of reading a snapshot's line.
bool isPlainAscii(QByteArrayView bytes) {
    return !hasBytes(bytes, [](quint64 word) {
        return (word & HighBits) | bytesBelow(word, 0x20) | bytesEqual(word, '\\');
    });
}

// A row as 'show --format json' writes it when no cell needs an escape: ["a", "b"], printable ASCII.
bool splitPlainRow(QByteArrayView line, Cells* row) {
    row->clear();
    if (line.size() < 2 || line.front() != '[' || line.back() != ']' || !isPlainAscii(line))
        return false;
    const char* at = line.data() + 1;
    const char* const last = line.data() + line.size() - 1; // the closing bracket
    for (;;) {
        if (*at != '"')
            return false;
        const char* close = at + 1;
        while (close < last && *close != '"') // cells are short: a byte at a time beats a call
            ++close;
        if (close == last)
            return false;
        row->emplace_back(at + 1, close - at - 1);
        at = close + 1;
        if (at == last)
            return true;
        if (last - at < 2 || at[0] != ',' || at[1] != ' ')
            return false;
        at += 2;
    }
}

class FileRows : public RowReader {
public:
    FileRows(const QString& path, qint64 at, int line, QSet<QByteArray> names)
        : m_file(path), m_line(line), m_names(std::move(names)) {
        if (!m_file.open(QIODevice::ReadOnly) || !m_file.seek(at))
            m_error = Result::make(dberr::BadFile, QStringLiteral("it cannot be read again"));
    }
    bool next(Cells* row) override {
        if (m_error.isError() || m_done)
            return false;
        QByteArrayView line;
        bool tooLong = false;
        do {
            if (!m_lines.read(m_file, &line, &tooLong))
                line = QByteArrayView(); // the file ends before its list does: no row
            line = line.trimmed();
            ++m_line;
        } while (!line.isEmpty() && !tooLong && isPassedOver(line));
        if (line.startsWith(']')) {
            m_done = true;
            return false;
        }
        Slot& slot = m_slots[m_current];
        if (tooLong || !parse(line.endsWith(',') ? line.chopped(1) : line, &slot))
            return refuse(
                QStringLiteral("line %1 is no row of a snapshot (a list of texts on one line, as 'show "
                               "--format json' writes it)"));
        if (m_read && compareRows(slot.cells, m_slots[1 - m_current].cells) < 0)
            return refuse(QStringLiteral("line %1 is out of the order 'show --format json' writes rows in"));
        *row = slot.cells;
        m_read = true;
        m_current = 1 - m_current;
        return true;
    }

private:
    // A row's bytes, kept while the next row is read and compared with it.
    struct Slot {
        QByteArray line;
        std::vector<QByteArray> decoded;
        Cells cells;
    };
    static bool parse(QByteArrayView text, Slot* slot) {
        slot->line.resize(text.size()); // its room is kept from row to row
        std::copy(text.begin(), text.end(), slot->line.begin());
        if (splitPlainRow(slot->line, &slot->cells))
            return true;
        QJsonParseError parsed;
        const QJsonDocument document = QJsonDocument::fromJson(slot->line, &parsed);
        slot->decoded.clear();
        for (const QJsonValue& value : document.array())
            slot->decoded.push_back(value.toString().toUtf8());
        slot->cells.assign(slot->decoded.begin(), slot->decoded.end());
        return parsed.error == QJsonParseError::NoError && document.isArray() && !slot->cells.empty();
    }
    bool isPassedOver(QByteArrayView line) const {
        if (m_names.isEmpty() || !line.startsWith("[\""))
            return false;
        const auto* end =
            static_cast<const char*>(std::memchr(line.data() + 2, '"', size_t(line.size() - 2)));
        if (!end)
            return false;
        const QByteArrayView name(line.data() + 2, end - line.data() - 2);
        return !name.contains('\\') && !m_names.contains(QByteArray::fromRawData(name.data(), name.size()));
    }
    bool refuse(const QString& why) {
        m_error = Result::make(dberr::BadFile, why.arg(m_line));
        return false;
    }
    QFile m_file;
    LineBuffer m_lines;
    int m_line;
    QSet<QByteArray> m_names;
    bool m_done = false;
    Slot m_slots[2];
    int m_current = 0;
    bool m_read = false;
};

// Rows read on a thread of their own, a few batches ahead of the caller: a snapshot's lines are read
// and split while the rows before them are compared. A batch holds its rows' bytes (each row its
// count of cells, then its cells, a length before each); the caller's row points into the batch it
// came from, which is given back to the reading thread at the next row after it.
class ReadAheadRows : public RowReader {
public:
    ReadAheadRows(std::unique_ptr<RowReader> rows, int batchesAhead)
        : m_batchesAhead(size_t(std::max(1, batchesAhead))), m_rows(std::move(rows)) {
        m_thread = std::thread([this] { produce(); });
    }
    ReadAheadRows(const ReadAheadRows&) = delete;
    ReadAheadRows& operator=(const ReadAheadRows&) = delete;
    ~ReadAheadRows() override {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stopped = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    bool next(Cells* row) override {
        while (m_rowsLeft == 0)
            if (!takeBatch()) {
                m_error = m_rows->error(); // written before the last batch was handed over
                return false;
            }
        --m_rowsLeft;
        row->resize(readLength(&m_at));
        for (QByteArrayView& cell : *row)
            cell = readCell(&m_at);
        return true;
    }

private:
    static constexpr int RowsPerBatch = 4096;
    static constexpr size_t BytesPerBatch = size_t(4) << 20; // a snapshot's line may be a MiB
    struct Batch {
        std::string bytes;
        int rows = 0;
        bool last = false;
    };
    void produce() {
        Cells row;
        for (bool more = true; more;) {
            Batch batch = freeBatch();
            while (batch.rows < RowsPerBatch && batch.bytes.size() < BytesPerBatch &&
                   (more = m_rows->next(&row))) {
                appendRow(&batch.bytes, row);
                ++batch.rows;
            }
            batch.last = !more;
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopped || m_full.size() < m_batchesAhead; });
            if (m_stopped)
                return;
            m_full.push_back(std::move(batch));
            lock.unlock();
            m_changed.notify_all();
        }
    }
    Batch freeBatch() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        Batch batch;
        if (!m_free.empty()) {
            batch = std::move(m_free.back());
            m_free.pop_back();
        }
        batch.bytes.clear(); // its room is kept from batch to batch
        batch.rows = 0;
        return batch;
    }
    bool takeBatch() {
        if (m_current.last)
            return false;
        std::unique_lock<std::mutex> lock(m_mutex);
        m_free.push_back(std::move(m_current));
        m_changed.wait(lock, [this] { return !m_full.empty(); });
        m_current = std::move(m_full.front());
        m_full.pop_front();
        lock.unlock();
        m_changed.notify_all();
        m_rowsLeft = m_current.rows;
        m_at = m_current.bytes.data();
        return true;
    }
    const size_t m_batchesAhead;
    std::unique_ptr<RowReader> m_rows;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_full;
    std::vector<Batch> m_free;
    bool m_stopped = false;
    Batch m_current;
    int m_rowsLeft = 0;
    const char* m_at = nullptr;
    std::thread m_thread;
};

// A cell as a JSON string at `out`, which has room for six bytes a byte and two: quotes,
// backslashes and control characters escaped, the rest copied.
char* writeJsonCell(char* out, QByteArrayView utf8) {
    static constexpr char Hex[] = "0123456789abcdef";
    *out++ = '"';
    const bool plain = !hasBytes(utf8, [](quint64 word) {
        return bytesBelow(word, 0x20) | bytesEqual(word, '"') | bytesEqual(word, '\\');
    });
    if (plain) { // almost every cell: copied whole
        out = std::copy_n(utf8.data(), utf8.size(), out);
        *out++ = '"';
        return out;
    }
    for (const char c : utf8) {
        const uchar byte = uchar(c);
        if (byte >= 0x20 && byte != '"' && byte != '\\') {
            *out++ = c;
        } else if (byte >= 0x20) {
            *out++ = '\\';
            *out++ = c;
        } else {
            out = std::copy_n("\\u00", 4, out);
            *out++ = Hex[byte >> 4];
            *out++ = Hex[byte & 0xf];
        }
    }
    *out++ = '"';
    return out;
}

} // namespace

bool LineBuffer::read(QFile& file, QByteArrayView* line, bool* tooLong) {
    for (;;) {
        const QByteArrayView unread(m_bytes.constData() + m_begin, m_end - m_begin);
        const auto* newline =
            static_cast<const char*>(std::memchr(unread.data(), '\n', size_t(unread.size())));
        const qsizetype length = newline ? newline - unread.data() + 1 : unread.size();
        *tooLong = length > MaxLineBytes + 1 || (!newline && length > MaxLineBytes);
        if (*tooLong || newline || (m_atEnd && length > 0)) {
            *line = unread.first(std::min(length, MaxLineBytes + 1));
            m_begin += line->size();
            return true;
        }
        if (m_atEnd)
            return false;
        fill(file);
    }
}

qint64 LineBuffer::nextLineAt(const QFile& file) const {
    return file.pos() - (m_end - m_begin);
}

void LineBuffer::fill(QFile& file) {
    std::memmove(m_bytes.data(), m_bytes.constData() + m_begin, size_t(m_end - m_begin));
    m_end -= m_begin;
    m_begin = 0;
    const qint64 read = file.read(m_bytes.data() + m_end, m_bytes.size() - m_end);
    m_atEnd = read <= 0;
    m_end += std::max<qint64>(read, 0);
}

int compareCells(QByteArrayView a, QByteArrayView b) {
    const qsizetype common = std::min(a.size(), b.size());
    if (const int order = common ? std::memcmp(a.data(), b.data(), size_t(common)) : 0; order != 0)
        return order;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

int compareRows(const Cells& a, const Cells& b) {
    for (size_t f = 0; f < std::min(a.size(), b.size()); ++f)
        if (const int order = compareCells(a[f], b[f]); order != 0)
            return order;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

QString textOf(QByteArrayView utf8) {
    return QString::fromUtf8(utf8);
}

QStringList textsOf(const Cells& row) {
    QStringList texts;
    for (const QByteArrayView cell : row)
        texts << textOf(cell);
    return texts;
}

std::unique_ptr<RowReader> tableRows(const Database& db, const QString& table, const QStringList& fields,
                                     qsizetype memoryBytes) {
    auto sorted = std::make_unique<MemorySortedRows>(db, table, fields, memoryBytes);
    if (!sorted->tooLarge())
        return sorted;
    sorted.reset();
    return std::make_unique<EngineSortedRows>(db, table, fields);
}

std::unique_ptr<RowReader> listRows(const std::vector<QStringList>& rows) {
    return std::make_unique<ListRows>(rows);
}

std::unique_ptr<RowReader> fileRows(const QString& path, qint64 at, int line, QSet<QByteArray> onlyNamed) {
    return std::make_unique<FileRows>(path, at, line, std::move(onlyNamed));
}

std::unique_ptr<RowReader> readAhead(std::unique_ptr<RowReader> rows, int batchesAhead) {
    return std::make_unique<ReadAheadRows>(std::move(rows), batchesAhead);
}

std::unique_ptr<RowReader> noRows() {
    return std::make_unique<NoRows>();
}

void appendJsonText(QByteArray* out, QByteArrayView utf8) {
    const qsizetype start = out->size();
    out->resize(start + utf8.size() * 6 + 2);
    out->resize(writeJsonCell(out->data() + start, utf8) - out->constData());
}

void appendJsonRow(QByteArray* out, const Cells& row) {
    qsizetype room = 2;
    for (const QByteArrayView cell : row)
        room += cell.size() * 6 + 4;
    const qsizetype start = out->size();
    out->resize(start + room);
    char* at = out->data() + start;
    *at++ = '[';
    for (size_t f = 0; f < row.size(); ++f) {
        if (f > 0)
            at = std::copy_n(", ", 2, at);
        at = writeJsonCell(at, row[f]);
    }
    *at++ = ']';
    out->resize(at - out->constData());
}
