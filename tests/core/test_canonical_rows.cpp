#include "support/test_support.h"

#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"
#include "core/inspect/canonical_rows.h"
#include "core/inspect/snapshot.h"
#include "core/session/placement_session.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QtTest>

// The canonical order of a catalogue, sorted in memory: the same rows as the table holds, in the
// order the engine would give them, and a snapshot written from them reads back as the installation.
class TestCanonicalRows : public QObject {
    Q_OBJECT
private slots:
    void sortsAnyCatalogueAsTheEngineWould();
    void escapesEveryByteAsJsonDoes();
};

using namespace testing;

namespace {

using Rows = std::vector<std::vector<QByteArray>>;

// Values of every kind a foreign catalogue may hold, as SQL: Null, numbers, blobs, texts with what
// JSON escapes, names sharing their first eight bytes, and (when asked) bytes that are no UTF-8.
QString randomValue(QRandomGenerator& random, bool withBadUtf8) {
    static const QStringList values{"NULL",
                                    "''",
                                    "42",
                                    "1.5",
                                    "-7",
                                    "X'00FF41'",
                                    "'BP 505-530'",
                                    "'LP 560'",
                                    "'BP 5'",
                                    "'LP 5'",
                                    "'Ünï µm'",
                                    "'Q\"t \\ b'",
                                    "'a' || char(1)",
                                    "'tab' || char(9) || 'x'",
                                    "'Filter number 0001'",
                                    "'Filter number 0002'",
                                    "'Filter number'",
                                    "CAST(X'410042' AS TEXT)",
                                    "'日本'",
                                    "'BP 505-530 '"};
    if (withBadUtf8 && random.bounded(20) == 0)
        return "CAST(X'41FF42' AS TEXT)";
    const QString value = values[random.bounded(int(values.size()))];
    // Many distinct names, many repeated ones.
    return random.bounded(3) == 0 ? value : QStringLiteral("'F %1'").arg(random.bounded(5000));
}

QString randomCatalogue(QRandomGenerator& random, int rows, bool withBadUtf8) {
    QStringList values;
    for (int row = 0; row < rows; ++row) {
        QStringList fields;
        for (int field = 0; field < 6; ++field)
            fields << randomValue(random, withBadUtf8);
        values << "(" + fields.join(", ") + ")";
    }
    return "INSERT INTO [Potential Filters] ([ID Potential], [Type], [Summary], [Veltrano Code No], "
           "[Customer "
           "Added], [Producer]) VALUES " +
           values.join(", ");
}

Rows readAll(RowReader& reader) {
    Rows rows;
    Cells row;
    while (reader.next(&row)) {
        std::vector<QByteArray> copied;
        for (const QByteArrayView cell : row)
            copied.push_back(cell.toByteArray());
        rows.push_back(std::move(copied));
    }
    return rows;
}

Cells cellsOf(const std::vector<QByteArray>& row) {
    return Cells(row.begin(), row.end());
}

// The table's rows as a plain query reads them, each cell the UTF-8 of the text it reads as.
Rows plainRows(const Database& db, const QStringList& fields) {
    QStringList columns;
    for (const QString& field : fields)
        columns << QStringLiteral("IFNULL(CAST(%1 AS TEXT), '')").arg(sqlName(field));
    auto query = db.openQuery("SELECT " + columns.join(", ") + " FROM [Potential Filters]", {}, nullptr);
    Rows rows;
    for (; query && !query->atEnd(); query->next()) {
        std::vector<QByteArray> row;
        for (int field = 0; field < fields.size(); ++field)
            row.push_back(query->textAt(field).toUtf8());
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

void TestCanonicalRows::sortsAnyCatalogueAsTheEngineWould() {
    QRandomGenerator random(44);
    for (int round = 0; round < 6; ++round) {
        Sandbox sandbox;
        // The first round is large enough to be read in two halves, merged as they are read.
        const int count = round == 0 ? 60000 : 200 + int(random.bounded(3000));
        const bool withBadUtf8 = round % 2 == 1;
        QStringList statements = demoStatements();
        // Placed filters whose first row holds the name as a blob, or stands last (in the second
        // half of a large catalogue): their codes are what a look-up by name gives.
        statements << "INSERT INTO [Potential Filters] ([ID Potential], [Type], [Veltrano Code No]) VALUES "
                      "(CAST('Blobbed' AS BLOB), 'LP', 'blob code'), ('Blobbed', 'LP', 'text code')";
        for (int done = 0; done < count; done += 1000)
            statements << randomCatalogue(random, std::min(1000, count - done), withBadUtf8);
        statements << "INSERT INTO [Potential Filters] ([ID Potential], [Type], [Veltrano Code No]) VALUES "
                      "('Late filter', 'BP', 'late code')";
        for (const auto& [position, name] : {std::pair(2, "Blobbed"), {3, "Late filter"}})
            if (round % 2 == 0 || position == 3)
                statements << QString("UPDATE [Available FilterPlacement] SET [ID Potential] = '%1' WHERE "
                                      "[ID Available] = 'EF1' AND [Position] = %2")
                                  .arg(name)
                                  .arg(position);
        const QString path = sandbox.install(statements);
        const QString context = QStringLiteral("round %1, %2 rows").arg(round).arg(count);

        PlacementSession session(startup::Variant::Service);
        session.setWriteFavourites(false);
        QVERIFY2(session.start(path).complete(), qPrintable(context));
        Snapshot snapshot;
        Result error;
        QVERIFY(readSnapshot(session, &snapshot, &error));
        const QStringList& fields = snapshot.catalogueFields;
        QCOMPARE(fields.size(), 10);

        const Rows sorted = readAll(*tableRows(session.database(), schema::table::PotentialFilters, fields));
        Rows expected = plainRows(session.database(), fields);
        std::sort(expected.begin(), expected.end(),
                  [](const auto& a, const auto& b) { return compareRows(cellsOf(a), cellsOf(b)) < 0; });
        QVERIFY2(sorted == expected, qPrintable(context));
        // Split into runs (as a snapshot is written, a run a thread), the rows are the same.
        for (const qsizetype rowsPerRun : {qsizetype(1), qsizetype(7), qsizetype(4096)}) {
            const auto reader = tableRows(session.database(), schema::table::PotentialFilters, fields);
            const auto runs = reader->split(rowsPerRun);
            Rows joined = runs.empty() ? readAll(*reader) : Rows();
            for (const auto& run : runs)
                for (auto& row : readAll(*run))
                    joined.push_back(std::move(row));
            QVERIFY2(joined == sorted, qPrintable(context + QString(", runs of %1").arg(rowsPerRun)));
        }
        // Where every text is UTF-8, the engine's own sort (a table past the memory bound) agrees.
        if (!withBadUtf8)
            QVERIFY2(readAll(*tableRows(session.database(), schema::table::PotentialFilters, fields, 0)) ==
                         sorted,
                     qPrintable(context));

        // Written as a snapshot and read back, a line at a time, it is the installation again.
        const QString json = sandbox.path("snapshot.json");
        QVERIFY(!writeSnapshotFile(snapshot, json).isError());
        Snapshot fromFile;
        QVERIFY2(readSnapshotFile(json, &fromFile, &error), qPrintable(error.description));
        std::vector<Difference> differences;
        // Its catalogue read ahead from the start serves the first comparison; a second reads it again.
        readCatalogueAhead(&fromFile);
        for (int comparison = 0; comparison < 2; ++comparison) {
            QVERIFY2(diffSnapshots(fromFile, snapshot, &differences, &error), qPrintable(error.description));
            if (!differences.empty())
                QFAIL(qPrintable(context + ": " + differences.front().text()));
        }
        // A session that loads no candidate lists (the commands' own) takes the same snapshot.
        PlacementSession wheelsOnly(startup::Variant::Service);
        wheelsOnly.setWriteFavourites(false);
        wheelsOnly.setCandidates(false);
        QVERIFY(wheelsOnly.start(path).complete());
        QVERIFY(wheelsOnly.installation().candidates[0].CandidateIds.size() <= 1);
        Snapshot light;
        QVERIFY(readSnapshot(wheelsOnly, &light, &error));
        QVERIFY(!writeSnapshotFile(light, sandbox.path("light.json")).isError());
        QCOMPARE(digest(sandbox.path("light.json")), digest(json));
        QFile file(json);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonArray catalogue = QJsonDocument::fromJson(file.readAll())["catalogue"].toArray();
        QCOMPARE(catalogue.size(), qsizetype(sorted.size()));
        for (qsizetype row = 0; row < catalogue.size(); ++row)
            for (int field = 0; field < fields.size(); ++field)
                QCOMPARE(catalogue[row].toArray()[field].toString().toUtf8(),
                         sorted[size_t(row)][size_t(field)]);

        // A snapshot cut off inside its catalogue is refused where it ends, also by a reader that
        // passes over the rows it does not ask for.
        file.seek(0);
        const QByteArray whole = file.readAll();
        const qsizetype cut = whole.indexOf("\n", whole.indexOf("\"catalogue\": [") + 40);
        const QString truncated = sandbox.path("truncated.json");
        QFile out(truncated);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(whole.left(cut + 1)) == cut + 1);
        out.close();
        Snapshot cutOff;
        QHash<QString, QStringList> values;
        QVERIFY(readSnapshotFile(truncated, &cutOff, &error));
        QVERIFY(!catalogueValuesOf(cutOff, {"no such filter"}, {"Type"}, &values, &error));
        QVERIFY2(error.description.contains("is no row of a snapshot"), qPrintable(error.description));
        // A favourite out of order is named by its line, counted past the catalogue's lines.
        QList<QByteArray> lines = whole.split('\n');
        const qsizetype opening = lines.indexOf("  \"favourites\": [");
        QVERIFY(opening > 0 && lines[opening + 1] != lines[opening + 2]);
        std::swap(lines[opening + 1], lines[opening + 2]);
        QFile swapped(sandbox.path("swapped.json"));
        QVERIFY(swapped.open(QIODevice::WriteOnly) && swapped.write(lines.join('\n')) > 0);
        swapped.close();
        Snapshot unordered;
        QVERIFY(readSnapshotFile(swapped.fileName(), &unordered, &error));
        QVERIFY(!diffSnapshots(unordered, snapshot, &differences, &error));
        QVERIFY2(error.description.contains(QString("line %1 is out of the order").arg(opening + 3)),
                 qPrintable(error.description));
    }
}

// Cells of every length around the eight bytes tested at once, each byte value at each place: the
// JSON text is what an escape a byte at a time gives.
void TestCanonicalRows::escapesEveryByteAsJsonDoes() {
    const auto byteAtATime = [](const QByteArray& cell) {
        QByteArray json = "\"";
        for (const char c : cell) {
            if (uchar(c) < 0x20)
                json += "\\u00" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
            else if (c == '"' || c == '\\')
                json += QByteArray("\\") + c;
            else
                json += c;
        }
        return json + "\"";
    };
    for (int length = 0; length <= 17; ++length)
        for (int at = 0; at < std::max(length, 1); ++at)
            for (int byte = 0; byte < 256; ++byte) {
                QByteArray cell(length, 'a');
                if (length > 0)
                    cell[at] = char(byte);
                QByteArray json;
                appendJsonText(&json, cell);
                QVERIFY2(json == byteAtATime(cell),
                         qPrintable(QString("length %1, byte %2 at %3").arg(length).arg(byte).arg(at)));
            }
}

QTEST_GUILESS_MAIN(TestCanonicalRows)
#include "test_canonical_rows.moc"
