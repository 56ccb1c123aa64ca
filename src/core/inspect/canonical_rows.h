#pragma once

// A table's rows in the canonical order, one at a time: by each field's text in turn (Null as
// empty), their UTF-8 bytes compared. A row is a list of cells, each the UTF-8 of the text the
// program shows (bytes that are no UTF-8 read as that text), valid until the next row is read: a
// million rows are compared and written without a text made of any cell.

#include "core/db/result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QSet>
#include <QStringList>
#include <memory>
#include <vector>

class Database;
class QFile;

using Cells = std::vector<QByteArrayView>;

class RowReader {
public:
    virtual ~RowReader() = default;
    // False at the end or on a failure (error()).
    virtual bool next(Cells* row) = 0;
    // The rows not yet read as consecutive runs of about `rowsPerRun` each, to be read on threads
    // of their own and then taken in order; none where the rows can only be read one by one.
    virtual std::vector<std::unique_ptr<RowReader>> split(qsizetype /*rowsPerRun*/) { return {}; }
    const Result& error() const { return m_error; }

protected:
    Result m_error;
};

// A file's lines from one buffer filled a few MiB at a time and split by the library's search: read
// line by line through the file's own buffer, a million lines took a tenth of a second more. A line
// longer than a snapshot's may be comes in pieces, each marked as such.
class LineBuffer {
public:
    // A snapshot's line is at most a MiB.
    static constexpr qsizetype MaxLineBytes = qsizetype(1) << 20;
    LineBuffer() : m_bytes(4 * MaxLineBytes, Qt::Uninitialized) {}
    // The next line with its line end, valid until the next read; false at the end of the file.
    bool read(QFile& file, QByteArrayView* line, bool* tooLong);
    // Where in the file the next line begins (the file itself has read further).
    qint64 nextLineAt(const QFile& file) const;

private:
    void fill(QFile& file);
    QByteArray m_bytes;
    qsizetype m_begin = 0;
    qsizetype m_end = 0;
    bool m_atEnd = false;
};

// The canonical order of two cells (their bytes, then their lengths) and of two rows.
int compareCells(QByteArrayView a, QByteArrayView b);
int compareRows(const Cells& a, const Cells& b);
QString textOf(QByteArrayView utf8);
QStringList textsOf(const Cells& row);

// A database table's fields cast to text. Up to `memoryBytes` of them the rows are sorted in memory,
// in a block of their bytes; a larger table is sorted by the engine, which spills to a temporary file.
constexpr qsizetype SortedInMemoryBytes = qsizetype(512) << 20;
std::unique_ptr<RowReader> tableRows(const Database& db, const QString& table, const QStringList& fields,
                                     qsizetype memoryBytes = SortedInMemoryBytes);
// Rows given as texts (a wheel's), put in the canonical order.
std::unique_ptr<RowReader> listRows(const std::vector<QStringList>& rows);
// The rows of a snapshot file's list, a line each as 'show --format json' writes them, from the line
// after `line` at the byte `at`; a line that is no row, or out of the canonical order, is named.
// With `onlyNamed`, the rows of other names (UTF-8) may be passed over unread.
std::unique_ptr<RowReader> fileRows(const QString& path, qint64 at, int line,
                                    QSet<QByteArray> onlyNamed = {});
std::unique_ptr<RowReader> noRows();
// The same rows, read on a thread of their own up to `batchesAhead` batches of 4096 ahead of the
// caller's.
std::unique_ptr<RowReader> readAhead(std::unique_ptr<RowReader> rows, int batchesAhead = 4);

// A text as a JSON string, and a row as a JSON list of them: quotes, backslashes and control
// characters escaped, everything else as it stands.
void appendJsonText(QByteArray* out, QByteArrayView utf8);
void appendJsonRow(QByteArray* out, const Cells& row);
