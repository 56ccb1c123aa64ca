#include "core/inspect/snapshot.h"

#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"
#include "core/exchange/output_file.h"
#include "core/exchange/package.h"
#include "core/inspect/canonical_rows.h"
#include "core/inspect/placement_export.h"
#include "core/placement/wheels.h"
#include "core/session/placement_session.h"
#include "core/vocabulary/vocabulary.h"

#include <QByteArrayMatcher>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <cstring>
#include <future>
#include <memory>

namespace {

const QStringList& catalogueFieldOrder() {
    using namespace schema::field;
    static const QStringList fields{
        IdPotential,     Type,      Summary,       CodeNo,  LowerWavelength, CenterWavelength,
        UpperWavelength, OpaqueFor, CustomerAdded, Producer};
    return fields;
}

const QStringList& favouriteFields() {
    static const QStringList fields{schema::field::IdPotential, schema::field::Type};
    return fields;
}

QString modeCaption(wheels::Mode mode) {
    return vocabulary::modeCaption(wheels::index(mode));
}

// What a set is, from its ID as the loaders read it.
QString kindOf(const QString& id) {
    using namespace schema::wheel;
    const QString number =
        wheels::wheelNumber(id) ? QStringLiteral(" %1").arg(*wheels::wheelNumber(id)) : QString();
    if (id.contains(Fcs) && id.contains(Emission))
        return QStringLiteral("FCS emission filter wheel") + number;
    if (id.contains(Emission))
        return QStringLiteral("emission filter wheel") + number;
    if (id.contains(FilterWheel))
        return QStringLiteral("filter cube turret") + number;
    if (id.contains(Mbs))
        return QStringLiteral("MBS changer");
    if (id.contains(Dbs))
        return QStringLiteral("DBS changer");
    if (id == MainSplitter)
        return QStringLiteral("main beam splitter changer");
    return QStringLiteral("secondary beam splitter changer") + number;
}

bool readIdentity(const Database& db, Snapshot::Identity* identity, Result* error) {
    auto system = db.openFirstRow(schema::table::AvailableSystems, error);
    if (!system)
        return false;
    const QStringList fields = db.fieldNames(schema::table::AvailableSystems);
    const auto text = [&](const QString& field) {
        return fields.contains(field, Qt::CaseInsensitive) ? system->text(field) : QString();
    };
    *identity = {text(schema::field::IdConfiguration), text(schema::field::IdStand),
                 text(schema::field::IdScanUnit), text(schema::field::IdFcsUnit)};
    return true;
}

// The snapshot's head as JSON texts, escaped as its rows are.
QString jsonText(const QString& text) {
    QByteArray quoted;
    appendJsonText(&quoted, text.toUtf8());
    return QString::fromUtf8(quoted);
}

QString jsonList(const QStringList& values) {
    std::vector<QByteArray> utf8;
    for (const QString& value : values)
        utf8.push_back(value.toUtf8());
    QByteArray list;
    appendJsonRow(&list, Cells(utf8.begin(), utf8.end()));
    return QString::fromUtf8(list);
}

QStringList fromJsonList(const QJsonValue& value) {
    QStringList list;
    for (const QJsonValue& item : value.toArray())
        list << item.toString();
    return list;
}

void difference(std::vector<Difference>* differences, const QString& where, const std::optional<QString>& a,
                const std::optional<QString>& b) {
    if (a != b)
        differences->push_back({where, a, b});
}

QByteArrayView cellAt(const Cells& row, int field) {
    return size_t(field) < row.size() ? row[size_t(field)] : QByteArrayView();
}

// The next row of the next name: the first row of a name stands for it (the canonical order puts
// it first), the others of the name are passed over. `name` holds the name of the row before.
bool nextNamed(RowReader& rows, Cells* row, QByteArray* name, bool first) {
    while (rows.next(row)) {
        const QByteArrayView named = cellAt(*row, 0);
        if (first || named != *name) {
            name->resize(named.size()); // the name's room is kept from row to row
            std::copy(named.begin(), named.end(), name->begin());
            return true;
        }
    }
    return false;
}

QString restOf(const Cells& row) {
    return textsOf(row).mid(1).join(QStringLiteral(" | "));
}

// Rows keyed by their first field, by the other fields' names; both in the canonical order, walked
// side by side. Their bytes are compared; a text is made only of what differs.
bool diffKeyedRows(std::vector<Difference>* differences, const QString& what, const QStringList& fieldsA,
                   RowReader& readerA, const QStringList& fieldsB, RowReader& readerB, Result* error) {
    const bool sameFields = fieldsA == fieldsB;
    Cells a;
    Cells b;
    QByteArray nameA;
    QByteArray nameB;
    bool hasA = nextNamed(readerA, &a, &nameA, true);
    bool hasB = nextNamed(readerB, &b, &nameB, true);
    while (hasA || hasB) {
        const int order = !hasB ? -1 : !hasA ? 1 : compareCells(nameA, nameB);
        const auto where = [&] {
            return QStringLiteral("%1 '%2'").arg(what, textOf(order <= 0 ? nameA : nameB));
        };
        if (order < 0) {
            differences->push_back({where(), restOf(a), std::nullopt});
        } else if (order > 0) {
            differences->push_back({where(), std::nullopt, restOf(b)});
        } else if (!sameFields || compareRows(a, b) != 0) {
            for (int field = 1; field < fieldsA.size(); ++field) {
                const int inB = int(fieldsB.indexOf(fieldsA[field]));
                difference(differences, where() + QLatin1Char(' ') + fieldsA[field], textOf(cellAt(a, field)),
                           inB < 0 ? std::nullopt : std::optional<QString>(textOf(cellAt(b, inB))));
            }
        }
        if (order <= 0)
            hasA = nextNamed(readerA, &a, &nameA, false);
        if (order >= 0)
            hasB = nextNamed(readerB, &b, &nameB, false);
    }
    for (const RowReader* reader : {&readerA, &readerB})
        if (reader->error().isError()) {
            *error = reader->error();
            return false;
        }
    return true;
}

// Each wheel's rows after its eighth, in stored order: the load reads eight and stops.
bool readRowsBeyond(const Database& db, QHash<QString, std::vector<Snapshot::Row>>* beyond, Result* error) {
    auto rows =
        db.openQuery(QStringLiteral("SELECT %1, %2, %3 FROM %4 ORDER BY rowid")
                         .arg(sqlName(schema::field::IdAvailable), sqlName(schema::field::Position),
                              sqlName(schema::field::IdPotential), sqlName(schema::table::FilterPlacement)),
                     {}, error);
    if (!rows)
        return false;
    QHash<QString, int> seen;
    for (; !rows->atEnd(); rows->next())
        if (++seen[rows->textAt(0)] > wheels::PositionsPerWheel)
            (*beyond)[rows->textAt(0)].push_back({rows->textAt(1), rows->textAt(2), QString()});
    return !rows->error().isError() || (*error = rows->error(), false);
}

std::unique_ptr<RowReader> rowsOf(const Snapshot& snapshot, bool favourites) {
    using namespace schema::table;
    if (snapshot.rowsIn) {
        if (favourites && !snapshot.rowsIn->hasTable(FavouriteFilters))
            return noRows();
        return tableRows(*snapshot.rowsIn, favourites ? FavouriteFilters : PotentialFilters,
                         favourites ? favouriteFields() : snapshot.catalogueFields);
    }
    if (!favourites && snapshot.catalogueAhead)
        return std::move(snapshot.catalogueAhead);
    const qint64 at = favourites ? snapshot.favouritesAt : snapshot.catalogueAt;
    if (at < 0)
        return noRows();
    return readAhead(
        fileRows(snapshot.rowsFile, at, favourites ? snapshot.favouritesLine : snapshot.catalogueLine));
}

} // namespace

bool readSnapshot(PlacementSession& session, Snapshot* snapshot, Result* error) {
    *snapshot = Snapshot();
    const Database& db = session.database();
    if (!readIdentity(db, &snapshot->identity, error))
        return false;
    QHash<QString, std::vector<Snapshot::Row>> beyond;
    if (!readRowsBeyond(db, &beyond, error))
        return false;
    for (const ExportedWheel& wheel : exportedWheels(db, session.installation())) {
        Snapshot::Wheel shown{wheel.availableId, kindOf(wheel.availableId), modeCaption(wheel.mode), {}, {}};
        for (int r = 0; r < wheel.filters.size(); ++r)
            shown.rows.push_back(
                {wheel.positions.value(r).toString(), wheel.filters[r], wheel.codes.value(r)});
        shown.beyond = beyond.value(wheel.availableId);
        snapshot->wheels.push_back(std::move(shown));
    }
    const QStringList present = db.fieldNames(schema::table::PotentialFilters);
    for (const QString& field : catalogueFieldOrder())
        if (present.contains(field, Qt::CaseInsensitive))
            snapshot->catalogueFields << field;
    snapshot->rowsIn = &db; // read as they are written or compared
    return true;
}

bool catalogueValuesOf(const Snapshot& snapshot, const QStringList& names, const QStringList& fields,
                       QHash<QString, QStringList>* values, Result* error) {
    if (snapshot.rowsIn) { // the engine picks the rows by name
        *values = catalogueValues(*snapshot.rowsIn, names, fields);
        return true;
    }
    values->clear();
    if (snapshot.catalogueAt < 0)
        return true;
    const QSet<QString> wanted(names.begin(), names.end());
    std::vector<int> column; // each field's place in the file's rows, or -1
    for (const QString& field : fields)
        column.push_back(int(snapshot.catalogueFields.indexOf(field)));
    QSet<QByteArray> wantedBytes;
    for (const QString& name : wanted)
        wantedBytes.insert(name.toUtf8());
    const std::unique_ptr<RowReader> rows =
        fileRows(snapshot.rowsFile, snapshot.catalogueAt, snapshot.catalogueLine, std::move(wantedBytes));
    Cells row;
    while (values->size() < wanted.size() && rows->next(&row)) {
        const QString name = textOf(cellAt(row, 0));
        if (!wanted.contains(name) || values->contains(name))
            continue;
        QStringList picked;
        for (int at : column)
            picked << (at < 0 ? QString() : textOf(cellAt(row, at)));
        values->insert(name, picked);
    }
    *error = rows->error();
    return error->ok();
}

namespace {

// Buffers what is written and hands it on in pieces: a million rows never stand in memory whole.
class JsonOut {
public:
    explicit JsonOut(const std::function<bool(const QByteArray&)>& write) : m_write(write) {}
    bool add(const QString& text) {
        m_buffer += text.toUtf8();
        return spill();
    }
    QByteArray& buffer() { return m_buffer; }
    // Written out once it has grown.
    bool spill() { return m_buffer.size() < (1 << 16) || flush(); }
    bool flush() {
        const bool written = m_buffer.isEmpty() || m_write(m_buffer);
        m_buffer.resize(0); // its room is kept for the next piece
        return written;
    }
    // What was buffered, then `bytes` as they stand.
    bool put(const QByteArray& bytes) { return flush() && (bytes.isEmpty() || m_write(bytes)); }

private:
    const std::function<bool(const QByteArray&)>& m_write;
    QByteArray m_buffer;
};

// A run's rows as JSON, each after a comma.
QByteArray runJson(RowReader* run) {
    QByteArray json;
    Cells row;
    while (run->next(&row)) {
        json.append(",\n    ");
        appendJsonRow(&json, row);
    }
    return json;
}

// Two runs at a time: the second is written as JSON on a thread of its own while this one writes
// the first and hands it on. On one thread, a million rows took 150 to 200 ms.
bool writeRuns(const std::vector<std::unique_ptr<RowReader>>& runs, JsonOut& out) {
    bool first = true;
    const auto put = [&](QByteArray json) {
        if (first && !json.isEmpty()) {
            json.remove(0, 1); // the list's first row has no comma before it
            first = false;
        }
        return out.put(json);
    };
    for (size_t run = 0; run < runs.size(); run += 2) {
        std::future<QByteArray> next;
        if (run + 1 < runs.size())
            next = std::async(std::launch::async | std::launch::deferred, runJson, runs[run + 1].get());
        bool written = put(runJson(runs[run].get()));
        if (next.valid()) {
            QByteArray json = next.get(); // waited for even when the first could not be written
            written = written && put(std::move(json));
        }
        if (!written)
            return false;
    }
    return true;
}

constexpr qsizetype RowsPerRun = 16384;

bool writeRows(RowReader& rows, JsonOut& out, Result* error) {
    const auto failed = [error] {
        *error = Result::make(dberr::BadFile, QStringLiteral("the snapshot could not be written"));
        return false;
    };
    if (const auto runs = rows.split(RowsPerRun); !runs.empty())
        return writeRuns(runs, out) || failed();
    Cells row;
    for (qint64 written = 0; rows.next(&row); ++written) {
        QByteArray& buffer = out.buffer();
        buffer.append(written ? ",\n    " : "\n    ");
        appendJsonRow(&buffer, row);
        if (!out.spill())
            return failed();
    }
    if (rows.error().isError())
        *error = rows.error();
    return !rows.error().isError();
}

} // namespace

bool writeSnapshotJson(const Snapshot& snapshot, const std::function<bool(const QByteArray&)>& write,
                       Result* error) {
    JsonOut out(write);
    const Snapshot::Identity& id = snapshot.identity;
    out.add(QStringLiteral("{\n  \"installation\": {\"configuration\": %1, \"stand\": %2, \"scanUnit\": %3, "
                           "\"fcsUnit\": %4},\n  \"wheels\": [")
                .arg(jsonText(id.configuration), jsonText(id.stand), jsonText(id.scanUnit),
                     jsonText(id.fcsUnit)));
    for (size_t w = 0; w < snapshot.wheels.size(); ++w) {
        const Snapshot::Wheel& wheel = snapshot.wheels[w];
        QString json = QStringLiteral("%1\n    {\"id\": %2, \"kind\": %3, \"mode\": %4, \"positions\": [")
                           .arg(w ? QStringLiteral(",") : QString(), jsonText(wheel.id), jsonText(wheel.kind),
                                jsonText(wheel.mode));
        for (size_t r = 0; r < wheel.rows.size(); ++r)
            json += QStringLiteral("%1\n      {\"position\": %2, \"filter\": %3, \"code\": %4}")
                        .arg(r ? QStringLiteral(",") : QString(), jsonText(wheel.rows[r].position),
                             jsonText(wheel.rows[r].filter), jsonText(wheel.rows[r].code));
        json += QStringLiteral("\n    ]");
        // Only a wheel that has them carries the key: the usual snapshot stays as it was.
        if (!wheel.beyond.empty()) {
            json += QStringLiteral(", \"beyond\": [");
            for (size_t r = 0; r < wheel.beyond.size(); ++r)
                json += QStringLiteral("%1\n      {\"position\": %2, \"filter\": %3}")
                            .arg(r ? QStringLiteral(",") : QString(), jsonText(wheel.beyond[r].position),
                                 jsonText(wheel.beyond[r].filter));
            json += QStringLiteral("\n    ]");
        }
        out.add(json + QStringLiteral("}"));
    }
    out.add(QStringLiteral("\n  ],\n  \"catalogueFields\": %1,\n  \"catalogue\": [")
                .arg(jsonList(snapshot.catalogueFields)));
    if (!writeRows(*rowsOf(snapshot, false), out, error))
        return false;
    out.add(QStringLiteral("\n  ],\n  \"favourites\": ["));
    if (!writeRows(*rowsOf(snapshot, true), out, error))
        return false;
    out.add(QStringLiteral("\n  ]\n}\n"));
    if (out.flush())
        return true;
    *error = Result::make(dberr::BadFile, QStringLiteral("the snapshot could not be written"));
    return false;
}

Result writeSnapshotFile(const Snapshot& snapshot, const QString& path) {
    Result error;
    const Result whole = output::writeWhole(path, [&](const QString& temporaryPath) {
        QFile part(temporaryPath);
        return part.open(QIODevice::WriteOnly) &&
               writeSnapshotJson(
                   snapshot, [&part](const QByteArray& piece) { return part.write(piece) == piece.size(); },
                   &error) &&
               part.flush();
    });
    return error.isError() ? error : whole;
}

QString snapshotText(const Snapshot& snapshot) {
    const Snapshot::Identity& id = snapshot.identity;
    QString text = QStringLiteral("installation %1 | %2 | scan unit %3 | FCS unit %4\n")
                       .arg(id.configuration, id.stand, id.scanUnit, id.fcsUnit);
    for (const Snapshot::Wheel& wheel : snapshot.wheels) {
        text += QStringLiteral("wheel %1: %2 (%3)\n").arg(wheel.id, wheel.kind, wheel.mode);
        for (const Snapshot::Row& row : wheel.rows)
            text += QStringLiteral("%1 %2  %3%4\n")
                        .arg(wheel.id, row.position.isEmpty() ? QStringLiteral("(Null)") : row.position,
                             row.filter, row.code.isEmpty() ? QString() : QStringLiteral("  ") + row.code);
    }
    return text;
}

namespace {

// The identity, the wheels and the catalogue's fields: the part of a snapshot before its rows.
bool parseHead(const QByteArray& head, Snapshot* snapshot, Result* error) {
    QJsonParseError parsed;
    const QJsonDocument document =
        QJsonDocument::fromJson(head + QByteArrayLiteral("\"catalogue\": []}"), &parsed);
    const QJsonObject root = document.object();
    if (parsed.error != QJsonParseError::NoError || !root.contains(QStringLiteral("wheels"))) {
        *error =
            Result::make(dberr::BadFile, parsed.error != QJsonParseError::NoError
                                             ? QStringLiteral("its JSON breaks off at line %1 (%2)")
                                                   .arg(head.left(parsed.offset).count('\n') + 1)
                                                   .arg(parsed.errorString())
                                             : QStringLiteral("it is not a snapshot of an installation"));
        return false;
    }
    const QJsonObject id = root.value(QStringLiteral("installation")).toObject();
    snapshot->identity = {
        id.value(QStringLiteral("configuration")).toString(), id.value(QStringLiteral("stand")).toString(),
        id.value(QStringLiteral("scanUnit")).toString(), id.value(QStringLiteral("fcsUnit")).toString()};
    for (const QJsonValue& value : root.value(QStringLiteral("wheels")).toArray()) {
        const QJsonObject wheel = value.toObject();
        Snapshot::Wheel read{wheel.value(QStringLiteral("id")).toString(),
                             wheel.value(QStringLiteral("kind")).toString(),
                             wheel.value(QStringLiteral("mode")).toString(),
                             {},
                             {}};
        for (const QJsonValue& position : wheel.value(QStringLiteral("beyond")).toArray())
            read.beyond.push_back({position.toObject().value(QStringLiteral("position")).toString(),
                                   position.toObject().value(QStringLiteral("filter")).toString(),
                                   QString()});
        for (const QJsonValue& position : wheel.value(QStringLiteral("positions")).toArray()) {
            const QJsonObject row = position.toObject();
            read.rows.push_back({row.value(QStringLiteral("position")).toString(),
                                 row.value(QStringLiteral("filter")).toString(),
                                 row.value(QStringLiteral("code")).toString()});
        }
        snapshot->wheels.push_back(std::move(read));
    }
    snapshot->catalogueFields = fromJsonList(root.value(QStringLiteral("catalogueFields")));
    return true;
}

// Reads lines up to the one that opens `key`'s rows, keeping those before it, and leaves the file at
// the line after it; false at the end of the file.
bool findRows(QFile& file, const QByteArray& key, int* line, QByteArray* before) {
    const QByteArray opening = '"' + key + QByteArrayLiteral("\": [");
    LineBuffer lines;
    QByteArrayView text;
    bool tooLong = false;
    bool whole = true; // the piece read begins a line
    while (lines.read(file, &text, &tooLong)) {
        *line += whole;
        if (whole && !tooLong && text.trimmed() == opening)
            return file.seek(lines.nextLineAt(file));
        whole = !tooLong;
        before->append(text);
        if (before->size() > LineBuffer::MaxLineBytes * 16)
            return false;
    }
    return false;
}

// The line ends among `bytes`, found by the library's search (a count byte by byte is several times
// slower over a snapshot's 85 MB).
int lineEnds(QByteArrayView bytes) {
    int count = 0;
    const char* end = bytes.data() + bytes.size();
    for (const char* at = bytes.data(); at < end; ++count) {
        at = static_cast<const char*>(std::memchr(at, '\n', size_t(end - at)));
        if (!at)
            break;
        ++at;
    }
    return count;
}

// The same for rows after a list of a million: the file read in large pieces, and only the lines
// that hold the opening looked at, a search instead of a read line by line. A line longer than any
// row of a snapshot is passed over whole, as a line read in pieces is.
bool skipToRows(QFile& file, const QByteArray& key, int* line) {
    const QByteArray opening = '"' + key + QByteArrayLiteral("\": [");
    const QByteArrayMatcher matcher(opening);
    constexpr qint64 Piece = qint64(1) << 20;
    QByteArray lines; // from a line's start
    qint64 linesAt = file.pos();
    bool inLongLine = false;
    for (;;) {
        QByteArray piece = file.read(Piece);
        const bool atEnd = piece.isEmpty();
        if (inLongLine) {
            const qsizetype newline = piece.indexOf('\n');
            linesAt += newline < 0 ? piece.size() : newline + 1;
            if (newline < 0 && atEnd)
                return false;
            if (newline < 0)
                continue;
            *line += 1;
            piece.remove(0, newline + 1);
            inLongLine = false;
        }
        lines += piece;
        const qsizetype complete = atEnd ? lines.size() : lines.lastIndexOf('\n') + 1;
        for (qsizetype hit = matcher.indexIn(lines); hit >= 0 && hit < complete;
             hit = matcher.indexIn(lines, hit + 1)) {
            const qsizetype start = hit == 0 ? 0 : lines.lastIndexOf('\n', hit - 1) + 1;
            const qsizetype newline = lines.indexOf('\n', hit);
            const qsizetype end = newline < 0 ? lines.size() : newline + 1;
            if (end - start <= LineBuffer::MaxLineBytes &&
                QByteArrayView(lines).sliced(start, end - start).trimmed() == opening) {
                *line += lineEnds(QByteArrayView(lines).first(start)) + 1;
                return file.seek(linesAt + end);
            }
        }
        if (atEnd)
            return false;
        *line += lineEnds(QByteArrayView(lines).first(complete));
        lines.remove(0, complete);
        linesAt += complete;
        if (lines.size() > LineBuffer::MaxLineBytes) {
            linesAt += lines.size();
            lines.clear();
            inLongLine = true;
        }
    }
}

} // namespace

void readCatalogueAhead(Snapshot* snapshot) {
    constexpr int BatchesAhead = 64;
    if (!snapshot->rowsIn && snapshot->catalogueAt >= 0)
        snapshot->catalogueAhead = readAhead(
            fileRows(snapshot->rowsFile, snapshot->catalogueAt, snapshot->catalogueLine), BatchesAhead);
}

bool isSnapshotFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.peek(64).trimmed().startsWith('{');
}

bool readSnapshotFile(const QString& path, Snapshot* snapshot, Result* error) {
    *snapshot = Snapshot();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = Result::make(dberr::BadFile, QStringLiteral("it cannot be read"));
        return false;
    }
    if (file.size() > Snapshot::MaxFileBytes) {
        *error = Result::make(dberr::BadFile, QStringLiteral("it is larger than the %1 MiB a snapshot may be")
                                                  .arg(Snapshot::MaxFileBytes >> 20));
        return false;
    }
    QByteArray head;
    int line = 0;
    if (!findRows(file, QByteArrayLiteral("catalogue"), &line, &head)) {
        *error =
            Result::make(dberr::BadFile, QStringLiteral("it is not a snapshot of an installation (it holds "
                                                        "no catalogue as 'show --format json' writes it)"));
        return false;
    }
    if (!parseHead(head, snapshot, error))
        return false;
    snapshot->rowsFile = path;
    snapshot->catalogueAt = file.pos();
    snapshot->catalogueLine = line;
    if (skipToRows(file, QByteArrayLiteral("favourites"), &line)) {
        snapshot->favouritesAt = file.pos();
        snapshot->favouritesLine = line;
    }
    return true;
}

QString Difference::text() const {
    if (!a)
        return QStringLiteral("%1: only in B (%2)").arg(where, *b);
    if (!b)
        return QStringLiteral("%1: only in A (%2)").arg(where, *a);
    return vocabulary::changeLine(where, *a, *b);
}

bool diffSnapshots(const Snapshot& a, const Snapshot& b, std::vector<Difference>* found, Result* error) {
    std::vector<Difference>& differences = *found;
    differences.clear();
    const Snapshot::Identity& ia = a.identity;
    const Snapshot::Identity& ib = b.identity;
    difference(&differences, QStringLiteral("installation ID Configuration"), ia.configuration,
               ib.configuration);
    difference(&differences, QStringLiteral("installation ID Stand"), ia.stand, ib.stand);
    difference(&differences, QStringLiteral("installation ID Scan Unit"), ia.scanUnit, ib.scanUnit);
    difference(&differences, QStringLiteral("installation ID FCS Unit"), ia.fcsUnit, ib.fcsUnit);
    // Wheels and their rows, keyed by "ID Available" and "Position"; a repeated "Position" stands
    // for its first row, as the windows show it.
    const auto positionsOf = [](const Snapshot::Wheel& wheel) {
        std::vector<QStringList> rows;
        QSet<QString> positions;
        for (const Snapshot::Row& row : wheel.rows)
            if (!positions.contains(row.position)) {
                positions.insert(row.position);
                rows.push_back({row.position, row.filter});
            }
        return listRows(rows);
    };
    QHash<QString, const Snapshot::Wheel*> wheelsB;
    for (const Snapshot::Wheel& wheel : b.wheels)
        wheelsB.insert(wheel.id, &wheel);
    QSet<QString> seen;
    const QStringList filterField{schema::field::Position, schema::field::IdPotential};
    for (const Snapshot::Wheel& wheel : a.wheels) {
        seen.insert(wheel.id);
        const Snapshot::Wheel* other = wheelsB.value(wheel.id);
        if (!other) {
            differences.push_back({QStringLiteral("wheel %1").arg(wheel.id), wheel.kind, std::nullopt});
            continue;
        }
        std::vector<Difference> rows;
        if (!diffKeyedRows(&rows, wheel.id, filterField, *positionsOf(wheel), filterField,
                           *positionsOf(*other), error))
            return false;
        for (Difference& row : rows) // "EF1 '2' ID Potential" reads "EF1 2"
            row.where = QStringLiteral("%1 %2").arg(wheel.id, row.where.section(QLatin1Char('\''), 1, 1));
        differences.insert(differences.end(), rows.begin(), rows.end());
        // The rows after the eighth, by their place in the table.
        for (size_t r = 0; r < std::max(wheel.beyond.size(), other->beyond.size()); ++r) {
            const auto shown = [](const std::vector<Snapshot::Row>& rows,
                                  size_t i) -> std::optional<QString> {
                if (i >= rows.size())
                    return std::nullopt;
                return QStringLiteral("\"Position\" %1 %2").arg(rows[i].position, rows[i].filter);
            };
            difference(&differences, QStringLiteral("%1 row %2 (not shown)").arg(wheel.id).arg(r + 9),
                       shown(wheel.beyond, r), shown(other->beyond, r));
        }
    }
    for (const Snapshot::Wheel& wheel : b.wheels)
        if (!seen.contains(wheel.id))
            differences.push_back({QStringLiteral("wheel %1").arg(wheel.id), std::nullopt, wheel.kind});
    // One list's rows at a time: each table's rows stand sorted in memory while they are compared.
    if (!diffKeyedRows(&differences, QStringLiteral("catalogue"), a.catalogueFields, *rowsOf(a, false),
                       b.catalogueFields, *rowsOf(b, false), error))
        return false;
    return diffKeyedRows(&differences, QStringLiteral("favourite"), favouriteFields(), *rowsOf(a, true),
                         favouriteFields(), *rowsOf(b, true), error);
}
