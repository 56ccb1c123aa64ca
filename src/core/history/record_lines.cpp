// The records of a long history as lines of text; see record_lines.h.

#include "core/history/record_lines.h"

#include "core/db/column_reader.h"
#include "core/db/cursor.h"
#include "core/history/history_file.h"

#include <algorithm>

namespace history {

namespace {

// Fields stand in a line between unit separators; one inside a field is shown as its picture.
constexpr char Separator = '\x1f';
const QByteArray SeparatorPicture = QByteArrayLiteral("\xe2\x90\x9f");
enum Field { Id, At, Who, Program, Summary, Undoes, FieldCount };

const QStringList ReadFields = {QStringLiteral("id"),    QStringLiteral("at"),      QStringLiteral("user"),
                                QStringLiteral("host"),  QStringLiteral("program"), QStringLiteral("summary"),
                                QStringLiteral("undoes")};

void appendField(QByteArray& line, QByteArrayView field) {
    if (!field.contains(Separator))
        line.append(field);
    else
        line.append(field.toByteArray().replace(Separator, SeparatorPicture));
}

// Id, at, user@host, program, summary, undoes: the fields in ReadFields' order.
template <class Value> void composeLine(QByteArray& line, Value value) {
    line.clear();
    appendField(line, value(0));
    line.append(Separator);
    appendField(line, value(1));
    line.append(Separator);
    appendField(line, value(2));
    line.append('@');
    appendField(line, value(3));
    for (int field = 4; field < 7; ++field) {
        line.append(Separator);
        appendField(line, value(field));
    }
}

// Complete records older than `before` (0: all).
QStringList conditions(const Database& db, qint64 before) {
    QStringList where = {completeRecords(db)};
    if (before > 0)
        where << QStringLiteral("id < %1").arg(before);
    where.removeAll(QString());
    return where;
}

} // namespace

class LinesReader {
public:
    // The newest `count`, through one query in descending order.
    static bool newest(const Database& db, const QStringList& where, int count, RecordLines* lines,
                       Result* error) {
        const QString sql =
            QStringLiteral("SELECT %1 FROM actions %2 ORDER BY id DESC LIMIT %3")
                .arg(ReadFields.join(QStringLiteral(", ")),
                     where.isEmpty() ? QString() : QStringLiteral("WHERE ") + where.join(" AND "))
                .arg(count);
        auto cursor = db.openQuery(sql, {}, error);
        if (!cursor)
            return false;
        RecordLines::Chunk chunk;
        QByteArray line;
        for (; !cursor->atEnd(); cursor->next()) {
            composeLine(line, [&](int field) { return cursor->textAt(field).toUtf8(); });
            chunk.lines.appendUtf8(line);
        }
        if (cursor->error().isError()) {
            if (error)
                *error = cursor->error();
            return false;
        }
        lines->m_chunks.push_back(std::move(chunk));
        return true;
    }

    // Every older one, in stored order, in two halves at once.
    static bool older(const Database& db, const QStringList& where, RecordLines* lines,
                      const std::atomic<bool>* stop, Result* error) {
        RecordLines::Chunk parts[2];
        const int read = ColumnReader::readInParts(
            db, QStringLiteral("actions"), ReadFields,
            [&](ColumnReader& rows, int part) {
                QByteArray line;
                for (int row = 0; rows.next(); ++row) {
                    if (stop && (row & 4095) == 0 && stop->load(std::memory_order_relaxed))
                        return;
                    composeLine(line, [&](int field) { return rows.utf8(field); });
                    parts[part].lines.appendUtf8(line);
                }
            },
            error, where.join(QStringLiteral(" AND ")));
        if (read == 0 || (stop && stop->load()))
            return false;
        for (int part = read - 1; part >= 0; --part) { // the newer half first
            parts[part].oldestFirst = true;
            if (!parts[part].lines.isEmpty())
                lines->m_chunks.push_back(std::move(parts[part]));
        }
        return true;
    }
};

int RecordLines::size() const {
    int count = 0;
    for (const Chunk& chunk : m_chunks)
        count += chunk.lines.size();
    return count;
}

QByteArrayView RecordLines::line(int row) const {
    for (const Chunk& chunk : m_chunks) {
        const int count = chunk.lines.size();
        if (row < count)
            return chunk.lines.utf8At(chunk.oldestFirst ? count - 1 - row : row);
        row -= count;
    }
    return {};
}

Record RecordLines::record(int row) const {
    std::vector<QByteArrayView> fields;
    QByteArrayView rest = line(row);
    for (qsizetype end; (end = rest.indexOf(Separator)) >= 0; rest = rest.sliced(end + 1))
        fields.push_back(rest.first(end));
    fields.push_back(rest);
    Record record;
    if (fields.size() != size_t(FieldCount))
        return record;
    const QString who = QString::fromUtf8(fields[Who]);
    const qsizetype at = who.lastIndexOf(QLatin1Char('@'));
    record.id = fields[Id].toLongLong();
    record.at = QString::fromUtf8(fields[At]);
    record.user = who.left(at);
    record.host = who.mid(at + 1);
    record.program = QString::fromUtf8(fields[Program]);
    record.summary = QString::fromUtf8(fields[Summary]);
    record.undoes = fields[Undoes].toLongLong();
    return record;
}

qint64 RecordLines::id(int row) const {
    const QByteArrayView text = line(row);
    const qsizetype end = text.indexOf(Separator);
    return (end < 0 ? text : text.first(end)).toLongLong();
}

void RecordLines::appendOlder(RecordLines older) {
    for (Chunk& chunk : older.m_chunks)
        m_chunks.push_back(std::move(chunk));
}

std::vector<int> RecordLines::find(const QString& text, const std::vector<int>* among) const {
    std::vector<int> rows;
    int base = 0;
    for (const Chunk& chunk : m_chunks) {
        const int count = chunk.lines.size();
        const TextList::Finder finder(chunk.lines, text);
        const auto listRow = [&](int row) { return chunk.oldestFirst ? count - 1 - row : row; };
        if (among) {
            const auto from = std::lower_bound(among->begin(), among->end(), base);
            for (auto it = from; it != among->end() && *it < base + count; ++it)
                if (finder.matches(listRow(*it - base)))
                    rows.push_back(*it);
        } else {
            std::vector<int> found = finder.allRows();
            if (chunk.oldestFirst)
                std::reverse(found.begin(), found.end());
            for (int row : found)
                rows.push_back(base + listRow(row));
        }
        base += count;
    }
    return rows;
}

bool RecordLines::holds(const Record& record, const QString& text) {
    const QByteArray fields[] = {QByteArray::number(record.id),
                                 record.at.toUtf8(),
                                 record.user.toUtf8(),
                                 record.host.toUtf8(),
                                 record.program.toUtf8(),
                                 record.summary.toUtf8(),
                                 record.undoes ? QByteArray::number(record.undoes) : QByteArray()};
    QByteArray line;
    composeLine(line, [&](int field) { return fields[field]; });
    static const TextList none;
    return TextList::Finder(none, text).contains(line);
}

bool readRecordLines(const QString& historyPath, qint64 before, int count, RecordLines* lines,
                     const std::atomic<bool>* stop, Result* error) {
    *lines = RecordLines();
    Database db;
    if (!openForReading(historyPath, &db, error))
        return !error || !error->isError();
    const QStringList where = conditions(db, before);
    return count > 0 ? LinesReader::newest(db, where, count, lines, error)
                     : LinesReader::older(db, where, lines, stop, error);
}

} // namespace history
