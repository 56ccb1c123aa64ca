#pragma once

// What the Access reader process hands back, record by record, so that a table of any size passes
// through without being held whole: the file's format, then each table's columns, rows in stored
// order and counts.

#include <QDataStream>
#include <QString>
#include <QVariant>
#include <vector>

namespace accessdb {

// The largest Access file the reader takes (Access files end at 2 GiB; an installation's is a few MiB).
constexpr qint64 MaxAccessFileBytes = qint64(128) << 20;

// The address space the reader may take for a file: the program's own ~50 MiB, the file, and what
// libmdb needs beside it. A damaged file that makes libmdb allocate without end meets it in
// seconds.
constexpr qint64 readerMemoryLimit(qint64 fileBytes) {
    return (qint64(96) << 20) + 2 * fileBytes;
}

// The Access field types, as the conversion names them and chooses the SQLite column type.
enum class FieldKind : qint8 {
    YesNo,
    Byte,
    Integer,
    Long,
    Currency,
    Single,
    Double,
    Date,
    Binary,
    Text,
    Ole,
    Memo,
    ReplicationId,
    Decimal,
    Attachment,
    Other
};

struct AccessColumn {
    QString name;
    FieldKind kind = FieldKind::Other;
    qint32 size = 0; // characters of a text field, bytes of others
};

// One record of the stream; `tag` says which members it uses.
struct AccessRecord {
    enum Tag : qint8 {
        File = 'F',     // format: "JET3", "JET4", "ACE12" ...
        Table = 'T',    // name, columns
        Row = 'R',      // values, one a column: Null, qlonglong, double, QString or QByteArray
        TableEnd = 'E', // stored: the row count the table's definition holds
        Done = 'D',
        Failure = 'X' // text: why reading stopped
    };
    Tag tag = Failure;
    QString text;
    std::vector<AccessColumn> columns;
    QVariantList values;
    qint64 stored = 0;
};

inline QDataStream& operator<<(QDataStream& out, const AccessRecord& record) {
    out << qint8(record.tag);
    switch (record.tag) {
    case AccessRecord::File:
    case AccessRecord::Failure:
        out << record.text;
        break;
    case AccessRecord::Table:
        out << record.text << qint32(record.columns.size());
        for (const AccessColumn& column : record.columns)
            out << column.name << qint8(column.kind) << column.size;
        break;
    case AccessRecord::Row:
        out << record.values;
        break;
    case AccessRecord::TableEnd:
        out << record.stored;
        break;
    case AccessRecord::Done:
        break;
    }
    return out;
}

inline QDataStream& operator>>(QDataStream& in, AccessRecord& record) {
    qint8 tag = 0;
    in >> tag;
    record.tag = AccessRecord::Tag(tag);
    switch (record.tag) {
    case AccessRecord::File:
    case AccessRecord::Failure:
        in >> record.text;
        break;
    case AccessRecord::Table: {
        qint32 count = 0;
        in >> record.text >> count;
        record.columns.clear();
        for (qint32 c = 0; c < count && in.status() == QDataStream::Ok; ++c) {
            AccessColumn column;
            qint8 kind = 0;
            in >> column.name >> kind >> column.size;
            column.kind = FieldKind(kind);
            record.columns.push_back(column);
        }
        break;
    }
    case AccessRecord::Row:
        in >> record.values;
        break;
    case AccessRecord::TableEnd:
        in >> record.stored;
        break;
    case AccessRecord::Done:
        break;
    default:
        in.setStatus(QDataStream::ReadCorruptData);
    }
    return in;
}

} // namespace accessdb
