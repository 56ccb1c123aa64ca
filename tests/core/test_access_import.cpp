#include "support/test_support.h"

#include "core/access/access_import.h"
#include "core/db/cursor.h"
#include "core/db/database.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QtEndian>
#include <QtTest>

// Access files written by Access itself (Jet 3, Jet 4, ACE 12) converted through the reader
// process, cell by cell against MDB Tools' own export; damaged files end in a message and no file.
class TestAccessImport : public QObject {
    Q_OBJECT
private slots:
    void convertsRealFilesAsMdbExportReadsThem();
    void keepsEachKindOfValue();
    void refusesDamagedFilesAndWritesNothing();
};

using testing::digest;

namespace {

const QString Reference = testing::referenceFile(QStringLiteral("access"));

// One CSV cell of mdb-export: quoted for texts, dates and binaries, bare for numbers, empty and
// bare for Null.
struct ExportCell {
    QString text;
    bool quoted = false;
};

QList<QList<ExportCell>> parseCsv(const QString& csv) {
    QList<QList<ExportCell>> rows{{}};
    ExportCell cell;
    bool inQuotes = false;
    for (int i = 0; i < csv.size(); ++i) {
        const QChar c = csv[i];
        if (inQuotes) {
            if (c == '"' && i + 1 < csv.size() && csv[i + 1] == '"')
                cell.text += csv[++i];
            else if (c == '"')
                inQuotes = false;
            else
                cell.text += c;
        } else if (c == '"') {
            inQuotes = cell.quoted = true;
        } else if (c == ',' || c == '\n') {
            rows.last() << std::exchange(cell, {});
            if (c == '\n')
                rows << QList<ExportCell>{};
        } else {
            cell.text += c;
        }
    }
    rows.removeLast();  // after the last line break
    return rows.mid(1); // without the header
}

QList<QList<ExportCell>> mdbExport(const QString& file, const QString& table) {
    QProcess exporter;
    const QString format = QStringLiteral("%Y-%m-%d %H:%M:%S");
    exporter.start(QStringLiteral("mdb-export"), {"-b", "hex", "-D", format, "-T", format, file, table});
    exporter.waitForFinished(30000);
    return parseCsv(QString::fromUtf8(exporter.readAllStandardOutput()));
}

QList<QVariantList> convertedRows(const QString& path, const QString& table) {
    Database db;
    db.open(path, nullptr, Database::Access::ReadOnly);
    const int fields = int(db.fieldNames(table).size());
    QList<QVariantList> rows;
    auto cursor =
        db.openQuery(QStringLiteral("SELECT * FROM [%1] ORDER BY rowid").arg(table), QVariantList(), nullptr);
    for (; cursor && !cursor->atEnd(); cursor->next()) {
        QVariantList row;
        for (int i = 0; i < fields; ++i)
            row << cursor->valueAt(i);
        rows << row;
    }
    return rows;
}

// Whether the converted value is what mdb-export prints; MDB Tools prints a date outside
// 1899-12-30 .. 2700 as "1900-01-00", which the conversion reads right (checked apart).
bool sameValue(const QVariant& value, const ExportCell& cell) {
    if (!cell.quoted && cell.text.isEmpty())
        return value.isNull();
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray().toHex().toUpper() == cell.text.toLatin1();
    if (cell.quoted)
        return cell.text.startsWith(QLatin1String("1900-01-00")) || value.toString() == cell.text;
    // Numbers: singles print with 8 digits, currency with 4 decimals.
    const double expected = cell.text.toDouble();
    return qAbs(value.toDouble() - expected) <= 1e-6 * qMax(1.0, qAbs(expected));
}

} // namespace

void TestAccessImport::convertsRealFilesAsMdbExportReadsThem() {
    if (QStandardPaths::findExecutable(QStringLiteral("mdb-export")).isEmpty())
        QSKIP("mdb-export (Debian package mdbtools) is not installed");
    REQUIRE_REFERENCE(QDir(Reference).filePath("ASampleDatabase.accdb"));
    QTemporaryDir dir;
    const QList<std::tuple<QString, QString, int>> files{
        {"nwind.mdb", "JET3", 9}, {"DateTestDatabase.mdb", "JET4", 1}, {"ASampleDatabase.accdb", "ACE12", 1}};
    for (const auto& [name, format, tables] : files) {
        const QString source = QDir(Reference).filePath(name);
        const QByteArray before = digest(source);
        const QString target = dir.filePath(QFileInfo(name).completeBaseName() + ".sqlite");
        const accessdb::ImportReport report = accessdb::importAccessFile(source, target);
        QVERIFY2(report.ok(), qPrintable(report.error));
        QCOMPARE(report.format, format);
        QCOMPARE(int(report.tables.size()), tables);
        QCOMPARE(digest(source), before); // only read
        // Not an installation: every table it needs is named.
        QVERIFY(!report.holdsInstallation());
        QCOMPARE(report.missingTables.size(), 6);
        const QStringList lines = accessdb::reportLines(report);
        QVERIFY(
            lines.contains("problem: no table \"Available FilterPlacement\", which an installation holds"));
        qint64 cells = 0;
        for (const accessdb::TableCopy& table : report.tables) {
            QVERIFY(table.matches());
            const auto expected = mdbExport(source, table.name);
            const auto rows = convertedRows(target, table.name);
            // Same count and the same order: row n of the new file is the file's n-th stored row.
            QCOMPARE(rows.size(), expected.size());
            QCOMPARE(qint64(rows.size()), table.stored);
            for (int r = 0; r < rows.size(); ++r) {
                QCOMPARE(rows[r].size(), expected[r].size());
                for (int c = 0; c < rows[r].size(); ++c, ++cells)
                    QVERIFY2(sameValue(rows[r][c], expected[r][c]),
                             qPrintable(QString("%1 \"%2\" row %3 column %4: %5 against \"%6\"")
                                            .arg(name, table.name)
                                            .arg(r + 1)
                                            .arg(c + 1)
                                            .arg(rows[r][c].toString(), expected[r][c].text)));
            }
        }
        QVERIFY(cells > 0);
    }
}

void TestAccessImport::keepsEachKindOfValue() {
    REQUIRE_REFERENCE(QDir(Reference).filePath("DateTestDatabase.mdb"));
    QTemporaryDir dir;
    const QString nwind = dir.filePath("nwind.sqlite");
    QVERIFY(accessdb::importAccessFile(QDir(Reference).filePath("nwind.mdb"), nwind).ok());
    Database db;
    QVERIFY(db.open(nwind, nullptr, Database::Access::ReadOnly));
    const auto single = [&db](const QString& sql) {
        auto cursor = db.openQuery(sql, QVariantList(), nullptr);
        return cursor && !cursor->atEnd() ? cursor->textAt(0) : QString("(none)");
    };
    // A Jet 3 table name in the file's code page, Null dates, yes/no, currency, a picture.
    QVERIFY(db.hasTable(QString::fromUtf8("Umsätze")));
    QCOMPARE(single("SELECT count(*) FROM Orders WHERE ShippedDate IS NULL"), QString("21"));
    QCOMPARE(single("SELECT group_concat(DISTINCT typeof(Discontinued)) FROM Products"), QString("integer"));
    QCOMPARE(single("SELECT count(*) FROM Products WHERE Discontinued = 1"), QString("8"));
    // Currency has numeric affinity: whole amounts are kept as integers.
    QCOMPARE(single("SELECT group_concat(typeof(UnitPrice) || ' ' || UnitPrice) FROM Products "
                    "WHERE ProductID IN (4, 5)"),
             QString("integer 22,real 21.35"));
    QCOMPARE(single("SELECT typeof(Picture) FROM Categories LIMIT 1"), QString("blob"));
    QCOMPARE(single("SELECT group_concat(type, ',') FROM pragma_table_info('Products')"),
             QString("INTEGER,TEXT,INTEGER,INTEGER,TEXT,CURRENCY,INTEGER,INTEGER,INTEGER,BOOLEAN"));
    QCOMPARE(single("SELECT group_concat(type, ',') FROM pragma_table_info('Categories')"),
             QString("INTEGER,TEXT,TEXT,BLOB"));

    // Dates past MDB Tools' own export: the year 9999 and before 1900.
    const QString dates = dir.filePath("dates.sqlite");
    QVERIFY(accessdb::importAccessFile(QDir(Reference).filePath("DateTestDatabase.mdb"), dates).ok());
    QVERIFY(db.open(dates, nullptr, Database::Access::ReadOnly));
    QCOMPARE(single("SELECT DateTimeCol FROM DateTest WHERE IDCol = 2"), QString("9999-01-01 00:00:00"));
    QCOMPARE(single("SELECT DateCol FROM DateTest WHERE IDCol = 3"), QString("1899-01-01 00:00:00"));
    QCOMPARE(single("SELECT LongTextCol FROM DateTest WHERE IDCol = 6"), QString("New line\r\nin field"));

    // A second conversion beside the first never overwrites it.
    QCOMPARE(accessdb::convertedName(dir.filePath("nwind.mdb")), dir.filePath("nwind (2).sqlite"));
    const accessdb::ImportReport again =
        accessdb::importAccessFile(QDir(Reference).filePath("nwind.mdb"), dates);
    QVERIFY(again.error.contains("exists already, and is never overwritten"));
    QVERIFY(db.hasTable("DateTest"));
}

void TestAccessImport::refusesDamagedFilesAndWritesNothing() {
    for (const char* name : {"nwind.mdb", "ASampleDatabase.accdb", "DateTestDatabase.mdb"})
        REQUIRE_REFERENCE(QDir(Reference).filePath(name));
    QTemporaryDir dir;
    QFile original(QDir(Reference).filePath("nwind.mdb"));
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray nwind = original.readAll();
    QRandomGenerator random(20261206);
    QByteArray noise(400000, '\0');
    random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    QList<std::pair<QString, QByteArray>> damaged{{"truncated.mdb", nwind.left(100000)},
                                                  {"random.mdb", nwind.left(32) + noise},
                                                  {"headed.mdb", nwind.left(8192) + noise}};
    // Bytes changed at random all over the tables: each read ends in a conversion or a message.
    for (int n = 0; n < 12; ++n) {
        QByteArray changed = nwind;
        for (int i = 0; i < 200; ++i)
            changed[4096 + random.bounded(changed.size() - 4096)] = char(random.bounded(256));
        damaged << std::pair{QString("changed-%1.mdb").arg(n), changed};
    }
    int refused = 0;
    for (const auto& [name, bytes] : damaged) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        const QString target = dir.filePath(name + ".sqlite");
        const accessdb::ImportReport report = accessdb::importAccessFile(file.fileName(), target);
        if (report.ok()) {
            QVERIFY(QFile::exists(target));
            continue;
        }
        ++refused;
        QVERIFY2(report.error.startsWith(QString("'%1' cannot be converted: ").arg(file.fileName())),
                 qPrintable(report.error));
        QVERIFY(report.error.endsWith("Nothing was written."));
        QVERIFY(!QFile::exists(target));
    }
    QVERIFY(refused >= 3);
    // Cut short, each reference file is damaged: its tables lie on pages it no longer holds.
    for (const auto& [name, size] : {std::pair{"nwind.mdb", 20000}, std::pair{"ASampleDatabase.accdb", 50000},
                                     std::pair{"DateTestDatabase.mdb", 50000}}) {
        QFile whole(QDir(Reference).filePath(name));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        QFile cut(dir.filePath(QString("cut-") + name));
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(whole.read(size));
        cut.close();
        const QString target = cut.fileName() + ".sqlite";
        const accessdb::ImportReport report = accessdb::importAccessFile(cut.fileName(), target);
        QVERIFY2(!report.ok() && report.error.contains("the file is damaged"), qPrintable(report.error));
        QVERIFY(!QFile::exists(target));
    }
    // A date the file cannot hold (2021-12-02 made day 1e9): damaged, said so, nothing written.
    {
        QFile whole(QDir(Reference).filePath("DateTestDatabase.mdb"));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        QByteArray bytes = whole.readAll();
        const auto doubleBytes = [](double value) {
            QByteArray raw(8, '\0');
            qToLittleEndian(value, raw.data());
            return raw;
        };
        const qsizetype at = bytes.indexOf(doubleBytes(44532.0));
        QVERIFY(at > 0);
        bytes.replace(at, 8, doubleBytes(1e9));
        QFile far(dir.filePath("far-date.mdb"));
        QVERIFY(far.open(QIODevice::WriteOnly));
        far.write(bytes);
        far.close();
        const accessdb::ImportReport report =
            accessdb::importAccessFile(far.fileName(), far.fileName() + ".sqlite");
        QVERIFY2(report.error.contains("lies outside the years 100 to 9999 that Access stores"),
                 qPrintable(report.error));
        QVERIFY(!QFile::exists(far.fileName() + ".sqlite"));
    }
    // Dates changed at random are never carried outside the years Access stores.
    QFile dates(QDir(Reference).filePath("DateTestDatabase.mdb"));
    QVERIFY(dates.open(QIODevice::ReadOnly));
    const QByteArray dateTest = dates.readAll();
    const QRegularExpression year(QStringLiteral("^(-?\\d+)-\\d\\d-\\d\\d "));
    for (int n = 0; n < 12; ++n) {
        QByteArray changed = dateTest;
        for (int i = 0; i < 20; ++i)
            changed[4096 + random.bounded(changed.size() - 4096)] = char(random.bounded(256));
        const QString file = dir.filePath(QString("dates-%1.mdb").arg(n));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(changed);
        out.close();
        if (!accessdb::importAccessFile(file, file + ".sqlite").ok())
            continue;
        Database converted;
        QVERIFY(converted.open(file + ".sqlite", nullptr, Database::Access::ReadOnly));
        QStringList tables;
        for (auto names =
                 converted.openQuery("SELECT name FROM sqlite_master WHERE type = 'table'", {}, nullptr);
             names && !names->atEnd(); names->next())
            tables << names->textAt(0);
        for (const QString& table : tables)
            for (auto rows = converted.openTable(table, nullptr); rows && !rows->atEnd(); rows->next())
                for (int column = 0; column < converted.fieldNames(table).size(); ++column)
                    if (const auto found = year.match(rows->textAt(column)); found.hasMatch())
                        QVERIFY2(found.captured(1).toInt() >= 100 && found.captured(1).toInt() <= 9999,
                                 qPrintable(rows->textAt(column)));
    }
    // No temporary file is left behind by any of them.
    QCOMPARE(QDir(dir.path()).entryList({"*.part"}, QDir::Files | QDir::Hidden), QStringList());

    const QString sqlite = dir.filePath("demo.sqlite");
    testing::createDatabase(sqlite, testing::smallInstallation());
    QVERIFY(accessdb::importAccessFile(sqlite, dir.filePath("x.sqlite"))
                .error.contains("it is not a Microsoft Access database file"));
}

QTEST_GUILESS_MAIN(TestAccessImport)
#include "test_access_import.moc"
