#include "core/db/column_reader.h"
#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/growing_block.h"
#include "core/db/text_list.h"
#include "core/gate/write_gate.h"
#include "support/test_support.h"

#include <QRandomGenerator>
#include <QtTest>
#include <sqlite3.h>
#ifdef __linux__
#include <sys/mman.h>
#endif

class TestDatabase : public QObject {
    Q_OBJECT
private slots:
    void refusesWhatIsNotADatabase();
    void walksRowsInStoredOrderWithNull();
    void editsDeletesAndAddsOnlyTheCurrentRow();
    void bindsNamesAndReportsMissingTablesAndFields();
    void rollsBackAndExtendsTables();
    void compactTextListsKeepEveryText();
    void readsLargeTablesInTwoHalvesInRowOrder();
    void gateDecidesAsAWholeReadDoes();
    void gateRefusesATableTheLoadWouldLack();
};

namespace {
QString writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}
} // namespace

void TestDatabase::refusesWhatIsNotADatabase() {
    QTemporaryDir dir;
    Database db;
    Result error;

    QVERIFY(!db.open(QString(), &error));
    QCOMPARE(error.code, 3044);

    const QString inMissingFolder = dir.filePath("nowhere/System_Configurations.sqlite");
    QVERIFY(!db.open(inMissingFolder, &error));
    QCOMPARE(error.code, 3044);
    QVERIFY(error.description.contains(QDir::toNativeSeparators(inMissingFolder)));

    const QString missing = dir.filePath("missing #1.sqlite");
    QVERIFY(!db.open(missing, &error));
    QCOMPARE(error.code, 3024);
    QVERIFY(error.description.contains("missing #1.sqlite"));
    QVERIFY2(!QFile::exists(missing), "opening must never create the file");

    QVERIFY(!db.open(writeFile(dir.filePath("notes.txt"), "just some text\n"), &error));
    QCOMPARE(error.code, 3343);
    QVERIFY(!db.open(writeFile(dir.filePath("empty.sqlite"), QByteArray()), &error));
    QCOMPARE(error.code, 3343);
    QVERIFY(!db.open(
        writeFile(dir.filePath("torn.sqlite"), QByteArray("SQLite format 3\0", 16) + QByteArray(200, 'x')),
        &error));
    QCOMPARE(error.code, 3343);

    QByteArray jet("\0\1\0\0Standard Jet DB\0", 20);
    jet.append(QByteArray(2000, '\0'));
    QVERIFY(!db.open(writeFile(dir.filePath("System_Configurations.mdb"), jet), &error));
    QCOMPARE(error.code, 3343);
    QVERIFY(error.description.contains("Access"));
    QVERIFY(error.description.contains("System_Configurations.mdb"));
    QVERIFY(error.description.contains("filterctl import-mdb"));
    QVERIFY(!db.isOpen());

    // A '#' in the path must reach the right file, not a new one.
    const QString hashed = dir.filePath("site #2/System_Configurations.sqlite");
    QDir().mkpath(dir.filePath("site #2"));
    testing::createDatabase(hashed, {"CREATE TABLE t (a TEXT)", "INSERT INTO t VALUES ('here')"});
    QVERIFY2(db.open(hashed, &error), qPrintable(error.description));
    auto cursor = db.openTable("t", nullptr);
    QVERIFY(cursor && !cursor->atEnd());
    QCOMPARE(cursor->text("a"), QString("here"));
}

void TestDatabase::walksRowsInStoredOrderWithNull() {
    QTemporaryDir dir;
    const QString path = dir.filePath("db.sqlite");
    testing::createDatabase(path, {"CREATE TABLE [Set] ([ID Available] TEXT, [Status] TEXT)",
                                   "INSERT INTO [Set] VALUES ('B', NULL), ('A', ''), ('C', 'Do not use')",
                                   "CREATE TABLE Empty (a TEXT)",
                                   "CREATE TABLE Keyed ([ID] INTEGER PRIMARY KEY, [Name] TEXT)",
                                   "INSERT INTO Keyed VALUES (7, 'seven')"});
    Database db;
    QVERIFY(db.open(path, nullptr));
    Result error;
    auto empty = db.openTable("Empty", &error);
    QVERIFY2(empty && empty->atEnd() && !error.isError(), "an empty table is a table, not an error");
    QVERIFY(!empty->first());
    // A table's own key column keeps its name beside the row identity.
    auto keyed = db.openTable("Keyed", nullptr);
    QCOMPARE(keyed->text("ID"), QString("7"));
    QCOMPARE(keyed->rowid(), 7);
    QVERIFY(keyed->edit("Name", "sieben", nullptr));
    auto cursor = db.openTable("Set", nullptr);
    QVERIFY(cursor);
    QStringList ids;
    QList<bool> nulls;
    for (; !cursor->atEnd(); cursor->next()) {
        ids << cursor->text("ID Available");
        nulls << cursor->isNull("Status");
    }
    QCOMPARE(ids, QStringList({"B", "A", "C"}));
    QCOMPARE(nulls, QList<bool>({true, false, false}));
    QVERIFY(!cursor->error().isError());
    QVERIFY(cursor->first());
    QCOMPARE(cursor->text("ID Available"), QString("B"));
}

void TestDatabase::editsDeletesAndAddsOnlyTheCurrentRow() {
    QTemporaryDir dir;
    const QString path = dir.filePath("db.sqlite");
    // Identical rows and no key: an edit must still touch exactly one row.
    testing::createDatabase(path,
                            {"CREATE TABLE p ([ID Available] TEXT, [Position] INTEGER, [ID Potential] TEXT)",
                             "INSERT INTO p VALUES ('EF1', 1, 'None'), ('EF1', 1, 'None'), ('EF2', 1, 'X')"});
    Database db;
    QVERIFY(db.open(path, nullptr));
    auto cursor = db.openTable("p", nullptr);
    QVERIFY(cursor->next());
    QVERIFY(cursor->edit("ID Potential", "BP 'new'", nullptr));
    QCOMPARE(cursor->text("ID Potential"), QString("BP 'new'"));
    QVERIFY(cursor->next());
    QVERIFY(cursor->deleteRow(nullptr));
    QVERIFY(cursor->addRow({{"ID Available", "EF3"}, {"Position", 2}}, nullptr));
    Result error;
    QVERIFY(!cursor->addRow({{"No Such Field", 1}}, &error));
    QCOMPARE(error.code, 3265);

    QStringList rows;
    for (cursor->first(); !cursor->atEnd(); cursor->next())
        rows << cursor->text("ID Available") + "/" + cursor->text("ID Potential");
    QCOMPARE(rows, QStringList({"EF1/None", "EF1/BP 'new'", "EF3/"}));
}

void TestDatabase::bindsNamesAndReportsMissingTablesAndFields() {
    QTemporaryDir dir;
    const QString path = dir.filePath("db.sqlite");
    testing::createDatabase(
        path, {"CREATE TABLE [Potential Filters] ([ID Potential] TEXT, [Type] TEXT)",
               "INSERT INTO [Potential Filters] VALUES ('O''Brien BP', 'BP'), ('Other', 'LP')"});
    Database db;
    QVERIFY(db.open(path, nullptr));
    auto query =
        db.openQuery("SELECT * FROM [Potential Filters] WHERE [ID Potential] = ?", {"O'Brien BP"}, nullptr);
    QVERIFY(query && !query->atEnd());
    QCOMPARE(query->text("Type"), QString("BP"));
    QVERIFY(!query->next());
    QVERIFY(!query->edit("Type", "LP", nullptr));

    Result error;
    QVERIFY(!db.openTable("Favourite Filters", &error));
    QCOMPARE(error.code, 3078);
    QVERIFY(error.description.contains("'Favourite Filters'"));
    auto cursor = db.openTable("Potential Filters", nullptr);
    QVERIFY(cursor->value("Summary").isNull());
    QCOMPARE(cursor->error().code, 3265);
    QVERIFY(cursor->error().description.contains("'Summary'"));
    // A statement's failure names the table or field, never the statement's text.
    Result missing;
    QVERIFY(!db.openQuery("SELECT rowid AS [fc rowid], [Position] FROM [Gone] WHERE 1", {}, &missing));
    QCOMPARE(missing.code, 3078);
    QVERIFY2(missing.description.endsWith("has no table 'Gone'.") && !missing.description.contains("SELECT"),
             qPrintable(missing.description));
    QVERIFY(!db.exec("UPDATE [Potential Filters] SET [Nowhere] = 1", {}, &missing));
    QCOMPARE(missing.code, 3265);
    QVERIFY(!missing.description.contains("UPDATE"));
}

void TestDatabase::rollsBackAndExtendsTables() {
    QTemporaryDir dir;
    const QString path = dir.filePath("db.sqlite");
    testing::createDatabase(path, {"CREATE TABLE p ([ID Potential] TEXT)", "INSERT INTO p VALUES ('a')"});
    Database db;
    QVERIFY(db.open(path, nullptr));
    {
        Transaction transaction(db, nullptr);
        auto cursor = db.openTable("p", nullptr);
        QVERIFY(cursor->edit("ID Potential", "changed", nullptr));
        // no commit: the guard rolls back
    }
    {
        auto cursor = db.openTable("p", nullptr);
        QCOMPARE(cursor->text("ID Potential"), QString("a"));
    }
    {
        Transaction transaction(db, nullptr);
        auto cursor = db.openTable("p", nullptr);
        QVERIFY(cursor->edit("ID Potential", "kept", nullptr));
        QVERIFY(transaction.commit(nullptr));
    }
    QVERIFY(db.createTable("Lists", {"ID Potential", "Type"}, nullptr));
    QVERIFY(db.addField("p", "Customer Added", Database::FieldType::YesNo, nullptr));
    QVERIFY(db.addField("p", "Producer", Database::FieldType::Text, nullptr));
    QCOMPARE(db.fieldNames("p"), QStringList({"ID Potential", "Customer Added", "Producer"}));
    QCOMPARE(db.fieldNames("Lists"), QStringList({"ID Potential", "Type"}));

    db.close();
    QVERIFY(db.open(path, nullptr));
    auto cursor = db.openTable("p", nullptr);
    QCOMPARE(cursor->text("ID Potential"), QString("kept"));
    QVERIFY(cursor->isNull("Customer Added"));
}

void TestDatabase::compactTextListsKeepEveryText() {
    TextList list{"None", "LP 505", "", "Grün 520", "BP 450-490", "LP 505"};
    const TextList shared = list;
    list.removeAt(2);
    list << "KP 700";
    // A copy keeps what it had; the list itself lost the empty text and gained the last.
    QCOMPARE(shared.toStringList(), QStringList({"None", "LP 505", "", "Grün 520", "BP 450-490", "LP 505"}));
    QCOMPARE(list.toStringList(),
             QStringList({"None", "LP 505", "Grün 520", "BP 450-490", "LP 505", "KP 700"}));
    QCOMPARE(list.indexOf("LP 505"), 1);
    QCOMPARE(list.indexOf("LP 505", 2), 4);
    QCOMPARE(list.value(99), QString());
    const QHash<QString, int> first = list.firstRows({"LP 505", "KP 700", "Gone"});
    QCOMPARE(first.value("LP 505"), 1);
    QCOMPARE(first.value("KP 700"), 5);
    QVERIFY(!first.contains("Gone"));

    // Finding ignores case as QString does, for plain ASCII lists and for others.
    const auto rowsWith = [](const TextList& texts, const QString& typed) {
        QList<int> rows;
        const TextList::Finder finder(texts, typed);
        for (int row = 0; row < texts.size(); ++row)
            if (finder.matches(row))
                rows << row;
        return rows;
    };
    const TextList ascii{"None", "LP 505", "bp 505-550", "KP 700"};
    QCOMPARE(rowsWith(ascii, "p 5"), QList<int>({1, 2}));
    QCOMPARE(rowsWith(ascii, "P 505-"), QList<int>({2}));
    QCOMPARE(rowsWith(ascii, "ü"), QList<int>());
    QCOMPARE(rowsWith(list, "GRÜN"), QList<int>({2}));
    QCOMPARE(rowsWith(list, "lp 50"), QList<int>({1, 4}));

    // An index keeps each text once and finds it after growing well past its first table.
    TextIndex index;
    for (int i = 0; i < 1000; ++i)
        QCOMPARE(index.insert(QString("BP %1").arg(i).toUtf8()), i);
    QCOMPARE(index.insert("BP 7"), 7);
    QCOMPARE(index.size(), 1000);
    QCOMPARE(index.find("BP 999"), 999);
    QCOMPARE(index.find("BP 1000"), -1);
    QCOMPARE(index.find(""), -1);
    QCOMPARE(index.texts().at(42), QString("BP 42"));

    // Lists grown well past the size where their block is mapped and grows in place (a MiB) keep
    // every text through copies, removals and joins; generated from a fixed seed.
    QRandomGenerator random(20261206);
    TextList big;
    QStringList model;
    for (int i = 0; i < 150000; ++i) {
        const QString text = QString("F%1-").arg(i) + QString(random.bounded(40), QChar(u'a' + i % 26));
        big << text;
        model << text;
        if (i == 70000) { // a copy made midway stays as it was
            const TextList midway = big;
            big << "after";
            model << "after";
            QCOMPARE(midway.size(), 70001);
            QCOMPARE(midway.last(), model[70000]);
        }
    }
    big.removeAt(3);
    model.removeAt(3);
    TextList joined{"None"};
    joined.appendList(big);
    QCOMPARE(joined.size(), model.size() + 1);
    for (int row = 0; row < model.size(); row += 997)
        QCOMPARE(joined.at(row + 1), model[row]);
    QCOMPARE(joined.last(), model.last());
    QVERIFY(big.toStringList() == model);
    QVERIFY(TextList(big) == big);
    // A list appended to itself reads its own bytes where they stand once it has grown.
    TextList twice = big;
    twice.appendList(twice);
    QCOMPARE(twice.size(), 2 * model.size());
    for (int row = 0; row < model.size(); row += 997)
        QCOMPARE(twice.at(model.size() + row), model[row]);
    QVERIFY(big.toStringList() == model);

#ifdef __linux__
    // A mapped block whose next addresses are taken moves its pages, keeping its bytes.
    GrowingBlock block;
    QByteArray expected;
    const auto appendRun = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const QByteArray piece = QByteArray::number(expected.size()) + ';';
            block.append(piece);
            expected += piece;
        }
    };
    appendRun(200000); // past a MiB: mapped, two MiB at a two-MiB boundary
    constexpr uintptr_t TwoMiB = uintptr_t(2) << 20;
    void* const after =
        reinterpret_cast<void*>((uintptr_t(block.constData() + block.size()) + TwoMiB - 1) & ~(TwoMiB - 1));
    void* blocker = mmap(after, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    QVERIFY(blocker == after);
    const char* before = block.constData();
    appendRun(400000);
    QVERIFY(block.constData() != before);
    QVERIFY(QByteArrayView(block.constData(), block.size()) == expected);
    munmap(blocker, 4096);
#endif
}

void TestDatabase::readsLargeTablesInTwoHalvesInRowOrder() {
    QTemporaryDir dir;
    const QString path = dir.filePath("db.sqlite");
    // Rowids far from 1, and a few rows stored out of their rowid order.
    testing::createDatabase(
        path, {"CREATE TABLE [Potential Filters] ([ID Potential] TEXT, [Type] TEXT)",
               "INSERT INTO [Potential Filters] (rowid, [ID Potential], [Type]) "
               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60000) "
               "SELECT 1000000000000 + i * 2, 'F ' || i, 'BP' FROM n",
               "INSERT INTO [Potential Filters] (rowid, [ID Potential], [Type]) VALUES (1000000000001, 'F "
               "0', NULL)"});
    Database db;
    QVERIFY(db.open(path, nullptr));
    const auto readAll = [&](int* parts, Result* error) {
        QStringList read[2];
        *parts = ColumnReader::readInParts(
            db, "Potential Filters", {"ID Potential", "Type"},
            [&](ColumnReader& rows, int part) {
                while (rows.next())
                    read[part] << rows.text(0) + "/" + rows.text(1);
            },
            error);
        return read[0] + read[1];
    };
    // A walk keeps a small cache of pages; the connection's own size is set again afterwards.
    const auto cacheSize = [&] {
        return db.openQuery("PRAGMA cache_size", QVariantList(), nullptr)->valueAt(0).toInt();
    };
    QVERIFY(db.exec("PRAGMA cache_size = 1234", QVariantList(), nullptr));
    int parts = 0;
    Result error;
    const QStringList halves = readAll(&parts, &error);
    QCOMPARE(cacheSize(), 1234);
    QCOMPARE(parts, 2);
    QCOMPARE(halves.size(), 60001);
    QCOMPARE(halves.first(), QString("F 0/"));
    QCOMPARE(halves.at(30000), QString("F 30000/BP"));
    QCOMPARE(halves.last(), QString("F 60000/BP"));

    // Another program's write lock: the read waits as any read does, then tells of the lock.
    {
        Database other;
        QVERIFY(other.open(path, nullptr));
        QVERIFY(other.exec("BEGIN EXCLUSIVE", QVariantList(), nullptr));
        QCOMPARE(readAll(&parts, &error), QStringList());
        QCOMPARE(parts, 0);
        QCOMPARE(error.code, dberr::Locked);
        QVERIFY(other.exec("ROLLBACK", QVariantList(), nullptr));
    }

    // Inside a transaction the connection's own changes count: one connection reads them all.
    {
        Transaction transaction(db, nullptr);
        QVERIFY(db.exec("UPDATE [Potential Filters] SET [Type] = 'LP' WHERE rowid = 1000000120000",
                        QVariantList(), nullptr));
        QStringList changed = halves;
        changed.last() = "F 60000/LP";
        QCOMPARE(readAll(&parts, &error), changed);
        QCOMPARE(parts, 1);
    }

    // A write-ahead log lets writers in between two readers: the table is then read whole.
    QVERIFY(db.exec("PRAGMA journal_mode = WAL", QVariantList(), nullptr));
    QCOMPARE(readAll(&parts, &error), halves);
    QCOMPARE(parts, 1);

    ColumnReader::readInParts(
        db, "Potential Filters", {"Summary"}, [](ColumnReader& rows, int) { QVERIFY(!rows.next()); }, &error);
    QCOMPARE(error.code, dberr::FieldNotFound);
}

namespace {

QSet<QString> faultKeys(const QString& path) {
    Database db;
    db.open(path, nullptr, Database::Access::ReadOnly);
    std::vector<gate::Fault> faults;
    if (gate::loadFaults(db, &faults).isError())
        return {QStringLiteral("unreadable")};
    QSet<QString> keys;
    for (const gate::Fault& fault : faults)
        keys.insert(fault.key);
    return keys;
}

bool runRaw(const QString& path, const QStringList& statements) {
    sqlite3* engine = nullptr;
    bool ran = sqlite3_open(path.toUtf8().constData(), &engine) == SQLITE_OK;
    for (const QString& statement : statements)
        ran = ran &&
              sqlite3_exec(engine, statement.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(engine);
    return ran;
}

} // namespace

// Generated: one connection writes round after round while another program changes the file
// between them. Whatever the writes and changes, the gate (which keeps the catalogue's names
// between writes) refuses exactly the writes that a whole read of the file before and after finds
// adding a fault.
void TestDatabase::gateDecidesAsAWholeReadDoes() {
    testing::Sandbox sandbox;
    const QString path = sandbox.install(testing::demoStatements());
    const QString copy = sandbox.path("copy.sqlite");
    const QStringList names = {"LP 560", "BP 505-530", "KP 685", "HFT 405/488", "XQ 999", "None", ""};
    QRandomGenerator random(40);
    const auto name = [&] { return names[random.bounded(int(names.size()))]; };
    const auto quoted = [](const QString& text) { return "'" + QString(text).replace("'", "''") + "'"; };
    const auto placing = [&] {
        return QString("UPDATE [Available FilterPlacement] SET [ID Potential] = %1 WHERE rowid = %2")
            .arg(quoted(name()))
            .arg(1 + random.bounded(40));
    };
    // Names that are no text (Null, a blob of a name) are never equal to a placed name.
    const auto cataloguing = [&] {
        switch (random.bounded(6)) {
        case 4:
            return QString("INSERT INTO [Potential Filters] ([ID Potential], [Type]) VALUES (NULL, 'LP')");
        case 5:
            return QString(
                       "INSERT INTO [Potential Filters] ([ID Potential], [Type]) VALUES (CAST(%1 AS BLOB), "
                       "'LP')")
                .arg(quoted(name()));
        case 0:
            return QString("INSERT INTO [Potential Filters] ([ID Potential], [Type]) VALUES (%1, 'LP')")
                .arg(quoted(name()));
        case 1:
            return random.bounded(4)
                       ? QString("UPDATE [Potential Filters] SET [Type] = [Type] WHERE rowid = 1")
                       : QString("DELETE FROM [Potential Filters]");
        default:
            return QString("DELETE FROM [Potential Filters] WHERE [ID Potential] = %1").arg(quoted(name()));
        }
    };
    // The connection mostly places filters; now and then it changes the catalogue or the favourites.
    const auto someStatement = [&] {
        const int kind = random.bounded(10);
        return kind < 8    ? placing()
               : kind == 8 ? cataloguing()
                           : QString("UPDATE [Favourite Filters] SET [Type] = 'x' WHERE rowid = 1");
    };
    Database db;
    QVERIFY(db.open(path, nullptr));
    int refusals = 0;
    for (int round = 0; round < 200; ++round) {
        if (random.bounded(2) == 0) // another program's change between two writes
            QVERIFY(runRaw(path, {random.bounded(3) ? cataloguing() : placing()}));
        QStringList statements;
        for (int i = random.bounded(1, 4); i > 0; --i)
            statements << someStatement();
        const QSet<QString> before = faultKeys(path);
        QFile::remove(copy);
        QVERIFY(QFile::copy(path, copy) && runRaw(copy, statements));
        const QSet<QString> after = faultKeys(copy);
        const bool adds = !QSet<QString>(after).subtract(before).isEmpty();
        Result error;
        Transaction write(db, &error);
        QVERIFY2(write.isActive(), qPrintable(error.description));
        for (const QString& statement : statements)
            QVERIFY(db.exec(statement, {}, &error));
        const bool committed = write.commit(&error);
        QVERIFY2(
            committed == !adds,
            qPrintable(QString("round %1: %2\n%3").arg(round).arg(statements.join("; "), error.description)));
        refusals += committed ? 0 : 1;
        if (!committed) // put the catalogue back now and then, so that later rounds can fail again
            QVERIFY(runRaw(
                path, {"DELETE FROM [Potential Filters] WHERE [ID Potential] = 'LP 560'",
                       "INSERT INTO [Potential Filters] ([ID Potential], [Type]) VALUES ('LP 560', 'LP')"}));
    }
    QVERIFY2(refusals > 10 && refusals < 190, qPrintable(QString::number(refusals)));
}

// A write that would leave a table the start reads missing, empty, or a view in its place is refused
// with words naming it.
void TestDatabase::gateRefusesATableTheLoadWouldLack() {
    testing::Sandbox sandbox;
    const QString path = sandbox.install(testing::demoStatements());
    Database db;
    QVERIFY(db.open(path, nullptr));
    const auto refusal = [&](const QStringList& statements) {
        Result error;
        Transaction write(db, &error);
        for (const QString& statement : statements)
            if (!db.exec(statement, {}, &error))
                return "not run: " + error.description;
        return write.commit(&error) ? QString() : error.description;
    };
    QCOMPARE(
        refusal({"DELETE FROM [Available FilterSets]"}),
        QString("'Available FilterSets' would be empty: the load would end there. Nothing was written."));
    QCOMPARE(refusal({"ALTER TABLE [System Versions] RENAME TO [Old Versions]",
                      "CREATE VIEW [System Versions] AS SELECT * FROM [Old Versions]"}),
             QString("'System Versions' would be missing: the program could not load. Nothing was written."));
    QCOMPARE(refusal({"DELETE FROM [Favourite Filters]"}),
             QString("'Favourite Filters' would be empty: the load would end there. Nothing was written."));
    QCOMPARE(refusal({"DROP TABLE [Favourite Filters]"}), QString()); // the first load makes it again
    // A fault another program made before the write is not the write's.
    QVERIFY(runRaw(path, {"DELETE FROM [Available FilterSets]"}));
    QCOMPARE(refusal({"UPDATE [Available FilterPlacement] SET [ID Potential] = 'LP 560' WHERE rowid = 2"}),
             QString());
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "test_database.moc"
