#include "apps/filter-mdb-reader/mdb_libmdb.h"

#include "core/access/mdb_stream.h"

#include <QDate>
#include <QTime>

#include <cmath>
#include <cstdio>
#include <mdbtools.h>
#include <memory>

using accessdb::AccessRecord;
using accessdb::FieldKind;

namespace {

constexpr int RowOffsetMask = 0x1fff; // a row's start within its page, without the flags

const char* formatName(guint32 version) {
    switch (version) {
    case MDB_VER_JET3:
        return "JET3";
    case MDB_VER_JET4:
        return "JET4";
    case MDB_VER_ACCDB_2007:
        return "ACE12";
    case MDB_VER_ACCDB_2010:
        return "ACE14";
    case MDB_VER_ACCDB_2013:
        return "ACE15";
    case MDB_VER_ACCDB_2016:
        return "ACE16";
    default:
        return "ACE17";
    }
}

FieldKind kindOf(int type) {
    switch (type) {
    case MDB_BOOL:
        return FieldKind::YesNo;
    case MDB_BYTE:
        return FieldKind::Byte;
    case MDB_INT:
        return FieldKind::Integer;
    case MDB_LONGINT:
        return FieldKind::Long;
    case MDB_MONEY:
        return FieldKind::Currency;
    case MDB_FLOAT:
        return FieldKind::Single;
    case MDB_DOUBLE:
        return FieldKind::Double;
    case MDB_DATETIME:
        return FieldKind::Date;
    case MDB_BINARY:
        return FieldKind::Binary;
    case MDB_TEXT:
        return FieldKind::Text;
    case MDB_OLE:
        return FieldKind::Ole;
    case MDB_MEMO:
        return FieldKind::Memo;
    case MDB_REPID:
        return FieldKind::ReplicationId;
    case MDB_NUMERIC:
        return FieldKind::Decimal;
    case MDB_COMPLEX:
        return FieldKind::Attachment;
    default:
        return FieldKind::Other;
    }
}

// Days since 1899-12-30, the fraction the time of day (also for days before, where the number is
// negative but the fraction still counts forward).
QString dateText(double days) {
    const double whole = std::trunc(days);
    qint64 seconds = std::llround(std::fabs(days - whole) * 86400.0);
    const QDate date = QDate(1899, 12, 30).addDays(qint64(whole) + seconds / 86400);
    seconds %= 86400;
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') +
           QTime(0, 0).addSecs(int(seconds)).toString(QStringLiteral("HH:mm:ss"));
}

struct GFree {
    void operator()(void* p) const { g_free(p); }
};
using GText = std::unique_ptr<char, GFree>;

class TableReader {
public:
    TableReader(MdbHandle* mdb, MdbTableDef* table, QDataStream& out)
        : m_mdb(mdb), m_table(table), m_out(out) {}

    // False with `failure` set when a value passes the limits.
    bool readRows(QString* failure) {
        // OLE values are read through a bound buffer; nothing else is bound, so no value is
        // turned into text that is not asked for.
        m_oleBuffers.assign(m_table->num_cols, QByteArray());
        for (unsigned i = 0; i < m_table->num_cols; ++i) {
            auto* column = static_cast<MdbColumn*>(g_ptr_array_index(m_table->columns, i));
            if (column->col_type == MDB_OLE) {
                m_oleBuffers[i] = QByteArray(MaxMdbValueBytes, '\0');
                mdb_bind_column(m_table, int(i) + 1, m_oleBuffers[i].data(), nullptr);
            }
        }
        // Texts are converted into buffers of the bind size. Only for the rows: libmdb keeps a
        // buffer of that size for each property of a table's definition as well.
        mdb_set_bind_size(m_mdb, MaxMdbValueBytes);
        mdb_rewind_table(m_table);
        std::vector<MdbField> fields(m_table->num_cols);
        while (mdb_fetch_row(m_table)) {
            AccessRecord row;
            row.tag = AccessRecord::Row;
            if (!crackCurrentRow(fields))
                continue;
            for (unsigned i = 0; i < m_table->num_cols; ++i) {
                row.values.append(value(fields[i]));
                if (!m_failure.isEmpty()) {
                    mdb_set_bind_size(m_mdb, MDB_BIND_SIZE);
                    *failure = m_failure;
                    return false;
                }
            }
            m_out << row;
        }
        mdb_set_bind_size(m_mdb, MDB_BIND_SIZE);
        return true;
    }

private:
    // The row libmdb just read is still on its page: crack it again for what binding loses, Null.
    bool crackCurrentRow(std::vector<MdbField>& fields) {
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(m_mdb, int(m_table->cur_row) - 1, &start, &size) != 0)
            return false;
        return mdb_crack_row(m_table, start & RowOffsetMask, size, fields.data()) >= 0;
    }

    QVariant value(const MdbField& field) {
        auto* column = static_cast<MdbColumn*>(g_ptr_array_index(m_table->columns, field.colnum));
        void* page = m_mdb->pg_buf;
        const int at = field.start;
        if (column->col_type == MDB_BOOL) // stored in the Null mask itself
            return qlonglong(field.is_null ? 0 : 1);
        if (field.is_null)
            return QVariant();
        switch (column->col_type) {
        case MDB_BYTE:
            return qlonglong(mdb_get_byte(page, at));
        case MDB_INT:
            return qlonglong(qint16(mdb_get_int16(page, at)));
        case MDB_LONGINT:
        case MDB_COMPLEX:
            return qlonglong(qint32(mdb_get_int32(page, at)));
        case MDB_FLOAT:
            return double(mdb_get_single(page, at));
        case MDB_DOUBLE:
            return mdb_get_double(page, at);
        case MDB_DATETIME:
            return date(mdb_get_double(page, at), column);
        case MDB_MONEY:
            return number(GText(mdb_money_to_string(m_mdb, at)));
        case MDB_NUMERIC:
            return number(GText(mdb_numeric_to_string(m_mdb, at, column->col_scale, column->col_prec)));
        case MDB_BINARY:
            return bytes(QByteArray(static_cast<const char*>(page) + at, std::max(field.siz, 0)), column);
        case MDB_OLE:
            return ole(column, field);
        default:
            return text(GText(mdb_col_to_string(m_mdb, page, at, column->col_type, field.siz)), column);
        }
    }

    // Access stores the years 100 to 9999; a date outside them is bytes of a damaged page.
    QVariant date(double days, const MdbColumn* column) {
        constexpr double FirstDay = -657434; // 100-01-01
        constexpr double LastDay = 2958466;  // 10000-01-01
        if (!std::isfinite(days) || std::trunc(days) < FirstDay || days >= LastDay) {
            m_failure =
                QStringLiteral("the file is damaged: a date of field \"%1\" in table \"%2\" lies outside "
                               "the years 100 to 9999 that Access stores")
                    .arg(QString::fromUtf8(column->name), QString::fromUtf8(m_table->name));
            return QVariant();
        }
        return dateText(days);
    }

    static QVariant number(const GText& text) {
        bool ok = false;
        const double value = QByteArray(text.get()).toDouble(&ok);
        return ok ? QVariant(value) : QVariant(QString::fromUtf8(text.get()));
    }

    QVariant text(const GText& text, const MdbColumn* column) {
        const QByteArray utf8(text.get());
        // libmdb cuts a text at its bind size: one that fills it may have been cut.
        if (utf8.size() >= MaxMdbValueBytes - 1)
            return tooLong(column);
        return QString::fromUtf8(utf8);
    }

    QVariant bytes(QByteArray value, const MdbColumn* column) {
        if (value.size() >= MaxMdbValueBytes)
            return tooLong(column);
        return value;
    }

    QVariant ole(MdbColumn* column, const MdbField& field) {
        if (field.siz < MDB_MEMO_OVERHEAD)
            return QByteArray();
        size_t size = 0;
        void* data = mdb_ole_read_full(m_mdb, column, &size);
        QByteArray value(static_cast<const char*>(data), data ? qsizetype(size) : 0);
        free(data);
        return bytes(value, column);
    }

    QVariant tooLong(const MdbColumn* column) {
        m_failure = QStringLiteral("a value of field \"%1\" in table \"%2\" is longer than %3 MiB")
                        .arg(QString::fromUtf8(column->name), QString::fromUtf8(m_table->name))
                        .arg(MaxMdbValueBytes >> 20);
        return QVariant();
    }

    MdbHandle* m_mdb;
    MdbTableDef* m_table;
    QDataStream& m_out;
    std::vector<QByteArray> m_oleBuffers;
    QString m_failure;
};

void fail(QDataStream& out, const QString& why) {
    AccessRecord record;
    record.tag = AccessRecord::Failure;
    record.text = why;
    out << record;
}

// Access allows 255 fields of the known types; anything else is a damaged definition, and reading
// rows by it would only produce garbage.
QString damagedDefinition(MdbTableDef* table) {
    const QString name = QString::fromUtf8(table->name);
    if (table->num_cols > 255)
        return QStringLiteral("the file is damaged: table \"%1\" would have %2 fields")
            .arg(name)
            .arg(table->num_cols);
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        if (kindOf(column->col_type) == FieldKind::Other)
            return QStringLiteral("the file is damaged: field \"%1\" of table \"%2\" has no known type (%3)")
                .arg(QString::fromUtf8(column->name), name)
                .arg(column->col_type);
    }
    return QString();
}

// A table whose pages lie past the end of the file: libmdb would read nothing there and go on, so
// a truncated file would convert as a smaller one.
QString pagesPastEnd(MdbHandle* mdb, MdbTableDef* table, qint64 fileSize) {
    if (!table->usage_map || table->map_sz == 0 || mdb->fmt->pg_size <= 0)
        return QString();
    const qint64 pages = fileSize / mdb->fmt->pg_size;
    constexpr int MostPages = 1 << 22; // more than a 2 GiB file holds
    int seen = 0;
    // The search answers 0 (never a data page) when there is no further page, and a negative
    // number when the map itself cannot be read (its map page past the end, an unknown kind).
    gint32 page = mdb_map_find_next(mdb, table->usage_map, unsigned(table->map_sz), 0);
    for (; page > 0 && seen++ < MostPages;
         page = mdb_map_find_next(mdb, table->usage_map, unsigned(table->map_sz), guint32(page)))
        if (page >= pages)
            return QStringLiteral(
                       "the file is damaged: table \"%1\" lies on page %2, past the file's %3 pages")
                .arg(QString::fromUtf8(table->name))
                .arg(page)
                .arg(pages);
    if (page < 0)
        return QStringLiteral("the file is damaged: the page map of table \"%1\" cannot be read")
            .arg(QString::fromUtf8(table->name));
    return QString();
}

// The catalogue read whole: every row its own definition counts, on pages the file holds.
QString damagedCatalogue(MdbHandle* mdb, qint64 fileSize) {
    MdbCatalogEntry objects{};
    objects.mdb = mdb;
    objects.object_type = MDB_TABLE;
    objects.table_pg = 2; // where every Jet and ACE file keeps it
    std::snprintf(objects.object_name, sizeof objects.object_name, "MSysObjects");
    MdbTableDef* table = mdb_read_table(&objects);
    if (!table)
        return QStringLiteral("the file is damaged: its list of tables cannot be read");
    QString damage = pagesPastEnd(mdb, table, fileSize);
    if (damage.isEmpty() && mdb->num_catalog < table->num_rows)
        damage = QStringLiteral(
                     "the file is damaged: its list of objects holds %1 entries, %2 of them can be read")
                     .arg(table->num_rows)
                     .arg(mdb->num_catalog);
    mdb_free_tabledef(table);
    return damage;
}

// One user table: its columns, its rows in stored order, and the count its definition holds.
bool readTable(MdbHandle* mdb, MdbCatalogEntry* entry, qint64 fileSize, QDataStream& out) {
    MdbTableDef* table = mdb_read_table(entry);
    if (!table || !mdb_read_columns(table)) {
        fail(out, QStringLiteral("the definition of table \"%1\" cannot be read")
                      .arg(QString::fromUtf8(entry->object_name)));
        if (table)
            mdb_free_tabledef(table);
        return false;
    }
    if (const QString damage = damagedDefinition(table) + pagesPastEnd(mdb, table, fileSize);
        !damage.isEmpty()) {
        fail(out, damage);
        mdb_free_tabledef(table);
        return false;
    }
    AccessRecord head;
    head.tag = AccessRecord::Table;
    head.text = QString::fromUtf8(table->name);
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        head.columns.push_back({QString::fromUtf8(column->name), kindOf(column->col_type), column->col_size});
    }
    out << head;
    QString failure;
    TableReader reader(mdb, table, out);
    const bool read = reader.readRows(&failure);
    if (read) {
        AccessRecord end;
        end.tag = AccessRecord::TableEnd;
        end.stored = table->num_rows;
        out << end;
    } else {
        fail(out, failure);
    }
    mdb_free_tabledef(table);
    return read;
}

} // namespace

void readAccessWithLibmdb(QByteArray file, QDataStream& out) {
    MdbHandle* mdb = mdb_open_buffer(file.data(), size_t(file.size()), MDB_NOFLAGS);
    if (!mdb) {
        fail(out, QStringLiteral("it is not an Access database file MDB Tools can read"));
        return;
    }
    AccessRecord format;
    format.tag = AccessRecord::File;
    format.text = QString::fromLatin1(formatName(mdb->f->jet_version));
    out << format;
    if (!mdb_read_catalog(mdb, MDB_ANY)) {
        fail(out, QStringLiteral("its list of tables cannot be read"));
        mdb_close(mdb);
        return;
    }
    if (const QString damage = damagedCatalogue(mdb, file.size()); !damage.isEmpty()) {
        fail(out, damage);
        mdb_close(mdb);
        return;
    }
    bool complete = true;
    for (unsigned i = 0; complete && i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
            complete = readTable(mdb, entry, file.size(), out);
    }
    if (complete) {
        AccessRecord done;
        done.tag = AccessRecord::Done;
        out << done;
    }
    mdb_close(mdb);
}
