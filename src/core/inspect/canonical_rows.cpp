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
#include <atomic>
#include <cstring>
#include <sqlite3.h>
#include <string>

namespace {

bool isAscii(QByteArrayView bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
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

// A cell's length before its bytes, seven bits a byte.
void appendLength(std::string* out, quint32 length) {
    while (length >= 0x80) {
        out->push_back(char(0x80 | (length & 0x7f)));
        length >>= 7;
    }
    out->push_back(char(length));
}

QByteArrayView readCell(const char** at) {
    quint32 length = 0;
    for (int shift = 0;; shift += 7) {
        const uchar byte = uchar(*(*at)++);
        length |= quint32(byte & 0x7f) << shift;
        if (byte < 0x80)
            break;
    }
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
        std::string row;
        QByteArray storage;
        while (rows.next()) {
            row.clear();
            std::pair<size_t, size_t> name;
            for (int f = 0; f < count; ++f) {
                const QByteArrayView cell = shownBytes(rows.utf8(f), &storage);
                appendLength(&row, quint32(cell.size()));
                if (f == 0)
                    name = {row.size(), size_t(cell.size())};
                row.append(cell.data(), size_t(cell.size()));
            }
            if (m_bytes.size() + qsizetype(row.size()) > maxBytes)
                return false;
            m_order.push_back(entry(QByteArrayView(row).sliced(qsizetype(name.first), qsizetype(name.second)),
                                    quint32(m_bytes.size())));
            m_bytes.append(QByteArrayView(row));
        }
        return true;
    }
    void sort(int count) {
        std::sort(m_order.begin(), m_order.end(),
                  [this, count](const Entry& x, const Entry& y) { return before(x, *this, y, count); });
    }
    bool atEnd() const { return m_next >= m_order.size(); }
    // Whether this part's next row comes before the other's.
    bool headBefore(const SortedPart& other, int count) const {
        return before(m_order[m_next], other, other.m_order[other.m_next], count);
    }
    const char* take() { return m_bytes.constData() + m_order[m_next++].at; }

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
    std::vector<Entry, ReadyAllocator<Entry>> m_order;
    size_t m_next = 0;
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
    }
    bool tooLarge() const { return m_tooLarge; }
    bool next(Cells* row) override {
        if (m_error.isError() || (m_parts[0].atEnd() && m_parts[1].atEnd()))
            return false;
        const bool first =
            m_parts[1].atEnd() || (!m_parts[0].atEnd() && !m_parts[1].headBefore(m_parts[0], m_count));
        const char* at = m_parts[first ? 0 : 1].take();
        row->resize(size_t(m_count));
        for (int f = 0; f < m_count; ++f)
            (*row)[size_t(f)] = readCell(&at);
        return true;
    }

private:
    int m_count;
    SortedPart m_parts[2];
    bool m_tooLarge = false;
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

// A row as 'show --format json' writes it when no cell needs an escape: ["a", "b"], printable ASCII.
bool splitPlainRow(QByteArrayView line, Cells* row) {
    row->clear();
    if (line.size() < 2 || line.front() != '[' || line.back() != ']')
        return false;
    for (const char c : line)
        if (uchar(c) < 0x20 || uchar(c) >= 0x80 || c == '\\')
            return false;
    for (qsizetype at = 1;;) {
        if (line[at] != '"')
            return false;
        const auto* end =
            static_cast<const char*>(std::memchr(line.data() + at + 1, '"', size_t(line.size() - at - 1)));
        if (!end)
            return false;
        const qsizetype close = end - line.data();
        row->push_back(line.sliced(at + 1, close - at - 1));
        at = close + 1;
        if (at == line.size() - 1)
            return true;
        if (line.sliced(at).startsWith(", ") && at + 2 < line.size())
            at += 2;
        else
            return false;
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
        QByteArray read;
        QByteArrayView line;
        bool tooLong = false;
        do {
            if (!m_lines.read(m_file, &read, &tooLong))
                read = QByteArray(); // the file ends before its list does: no row
            line = QByteArrayView(read).trimmed();
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

// A cell as a JSON string at `out`, which has room for six bytes a byte and two: quotes,
// backslashes and control characters escaped, the rest copied.
char* writeJsonCell(char* out, QByteArrayView utf8) {
    static constexpr char Hex[] = "0123456789abcdef";
    *out++ = '"';
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

bool LineBuffer::read(QFile& file, QByteArray* line, bool* tooLong) {
    const qint64 size = file.readLine(m_bytes.data(), m_bytes.size());
    if (size <= 0)
        return false;
    *tooLong = size == m_bytes.size() - 1 && m_bytes[int(size) - 1] != '\n';
    *line = QByteArray::fromRawData(m_bytes.constData(), int(size));
    return true;
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
