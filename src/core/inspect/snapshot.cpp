#include "core/inspect/snapshot.h"

#include "core/db/column_reader.h"
#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"
#include "core/inspect/placement_export.h"
#include "core/placement/wheels.h"
#include "core/session/placement_session.h"
#include "core/vocabulary/vocabulary.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace {

constexpr char Separator = 0x1F;

const QStringList& catalogueFieldOrder() {
    using namespace schema::field;
    static const QStringList fields{
        IdPotential,     Type,      Summary,       CodeNo,  LowerWavelength, CenterWavelength,
        UpperWavelength, OpaqueFor, CustomerAdded, Producer};
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

// A table's fields joined a row, read in two halves at once for a large table.
bool readRows(const Database& db, const QString& table, const QStringList& fields, QByteArrayList* rows,
              Result* error) {
    QByteArrayList parts[2];
    const int read = ColumnReader::readInParts(
        db, table, fields,
        [&parts, &fields](ColumnReader& reader, int part) {
            while (reader.next()) {
                qsizetype size = fields.size() - 1;
                for (int field = 0; field < fields.size(); ++field)
                    size += reader.utf8(field).size();
                QByteArray row;
                row.reserve(size); // one allocation a row
                row.append(reader.utf8(0));
                for (int field = 1; field < fields.size(); ++field)
                    row.append(Separator).append(reader.utf8(field));
                parts[part].append(std::move(row));
            }
        },
        error);
    *rows = parts[0] + parts[1];
    return read > 0;
}

QByteArrayList sortedRows(QByteArrayList rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

QStringList fieldsOf(const QByteArray& row) {
    QStringList fields;
    for (const QByteArray& field : row.split(Separator))
        fields << QString::fromUtf8(field);
    return fields;
}

// The name, as a view into the row: a million keys cost no allocation.
QByteArrayView keyOf(const QByteArray& row) {
    const qsizetype end = row.indexOf(Separator);
    return end < 0 ? QByteArrayView(row) : QByteArrayView(row).first(end);
}

// Writes JSON text without building a document: a catalogue of a million rows stays a stream.
QString jsonText(const QString& text) {
    QString quoted = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\') + c;
        else if (c.unicode() < 0x20)
            quoted += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            quoted += c;
    }
    return quoted + QLatin1Char('"');
}

QString jsonList(const QStringList& values) {
    QStringList quoted;
    for (const QString& value : values)
        quoted << jsonText(value);
    return QLatin1Char('[') + quoted.join(QStringLiteral(", ")) + QLatin1Char(']');
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

// Rows keyed by their first field (the first row of a key), by the other fields' names. A row equal
// byte for byte to its key's row costs no more than a look-up.
void diffKeyedRows(std::vector<Difference>* differences, const QString& what, const QStringList& fieldsA,
                   const QByteArrayList& allA, const QStringList& fieldsB, const QByteArrayList& allB) {
    // Installations copied from one another keep their rows in the same order: rows equal at the
    // same place are the same, and only the others are looked up by key.
    QByteArrayList rowsA;
    QByteArrayList rowsB;
    const qsizetype common = std::min(allA.size(), allB.size());
    for (qsizetype row = 0; row < common; ++row)
        if (fieldsA != fieldsB || allA[row] != allB[row]) {
            rowsA.append(allA[row]);
            rowsB.append(allB[row]);
        }
    rowsA.append(allA.mid(common));
    rowsB.append(allB.mid(common));
    QHash<QByteArrayView, qsizetype> byKeyB;
    byKeyB.reserve(rowsB.size());
    for (qsizetype row = rowsB.size(); row-- > 0;) // backwards, so that the first row of a key stays
        byKeyB.insert(keyOf(rowsB[row]), row);
    QSet<QByteArrayView> seen;
    seen.reserve(rowsA.size());
    const bool sameFields = fieldsA == fieldsB;
    for (const QByteArray& row : rowsA) {
        const QByteArrayView key = keyOf(row);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        const auto other = byKeyB.constFind(key);
        if (other != byKeyB.constEnd() && sameFields && rowsB[*other] == row)
            continue;
        const QString where = QStringLiteral("%1 '%2'").arg(what, QString::fromUtf8(key.data(), key.size()));
        const QStringList fields = fieldsOf(row);
        if (other == byKeyB.constEnd()) {
            differences->push_back({where, fields.mid(1).join(QStringLiteral(" | ")), std::nullopt});
            continue;
        }
        const QStringList otherFields = fieldsOf(rowsB[*other]);
        for (int field = 1; field < fieldsA.size(); ++field) {
            const int inB = int(fieldsB.indexOf(fieldsA[field]));
            difference(differences, where + QLatin1Char(' ') + fieldsA[field], fields.value(field),
                       inB < 0 ? std::nullopt : std::optional<QString>(otherFields.value(inB)));
        }
    }
    for (const QByteArray& row : rowsB) {
        const QByteArrayView key = keyOf(row);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        differences->push_back(
            {QStringLiteral("%1 '%2'").arg(what, QString::fromUtf8(key.data(), key.size())), std::nullopt,
             fieldsOf(row).mid(1).join(QStringLiteral(" | "))});
    }
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
    if (!readRows(db, schema::table::PotentialFilters, snapshot->catalogueFields, &snapshot->catalogue,
                  error))
        return false;
    return !db.hasTable(schema::table::FavouriteFilters) ||
           readRows(db, schema::table::FavouriteFilters, {schema::field::IdPotential, schema::field::Type},
                    &snapshot->favourites, error);
}

QByteArray snapshotJson(const Snapshot& snapshot) {
    const Snapshot::Identity& id = snapshot.identity;
    QString json =
        QStringLiteral("{\n  \"installation\": {\"configuration\": %1, \"stand\": %2, \"scanUnit\": %3, "
                       "\"fcsUnit\": %4},\n  \"wheels\": [")
            .arg(jsonText(id.configuration), jsonText(id.stand), jsonText(id.scanUnit), jsonText(id.fcsUnit));
    for (size_t w = 0; w < snapshot.wheels.size(); ++w) {
        const Snapshot::Wheel& wheel = snapshot.wheels[w];
        json += QStringLiteral("%1\n    {\"id\": %2, \"kind\": %3, \"mode\": %4, \"positions\": [")
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
        json += QStringLiteral("}");
    }
    json += QStringLiteral("\n  ],\n  \"catalogueFields\": %1,\n  \"catalogue\": [")
                .arg(jsonList(snapshot.catalogueFields));
    const QByteArrayList catalogue = sortedRows(snapshot.catalogue);
    for (qsizetype row = 0; row < catalogue.size(); ++row)
        json +=
            (row ? QStringLiteral(",\n    ") : QStringLiteral("\n    ")) + jsonList(fieldsOf(catalogue[row]));
    json += QStringLiteral("\n  ],\n  \"favourites\": [");
    const QByteArrayList favourites = sortedRows(snapshot.favourites);
    for (qsizetype row = 0; row < favourites.size(); ++row)
        json += (row ? QStringLiteral(",\n    ") : QStringLiteral("\n    ")) +
                jsonList(fieldsOf(favourites[row]));
    json += QStringLiteral("\n  ]\n}\n");
    return json.toUtf8();
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

bool parseSnapshotJson(const QByteArray& json, Snapshot* snapshot, Result* error) {
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parsed);
    const QJsonObject root = document.object();
    if (parsed.error != QJsonParseError::NoError || !root.contains(QStringLiteral("wheels"))) {
        *error =
            Result::make(dberr::BadFile, parsed.error != QJsonParseError::NoError
                                             ? QStringLiteral("its JSON breaks off at character %1 (%2)")
                                                   .arg(parsed.offset)
                                                   .arg(parsed.errorString())
                                             : QStringLiteral("it is not a snapshot of an installation"));
        return false;
    }
    *snapshot = Snapshot();
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
    for (const QJsonValue& row : root.value(QStringLiteral("catalogue")).toArray())
        snapshot->catalogue << fromJsonList(row).join(QChar(Separator)).toUtf8();
    for (const QJsonValue& row : root.value(QStringLiteral("favourites")).toArray())
        snapshot->favourites << fromJsonList(row).join(QChar(Separator)).toUtf8();
    return true;
}

QString Difference::text() const {
    if (!a)
        return QStringLiteral("%1: only in B (%2)").arg(where, *b);
    if (!b)
        return QStringLiteral("%1: only in A (%2)").arg(where, *a);
    return vocabulary::changeLine(where, *a, *b);
}

std::vector<Difference> diffSnapshots(const Snapshot& a, const Snapshot& b) {
    std::vector<Difference> differences;
    const Snapshot::Identity& ia = a.identity;
    const Snapshot::Identity& ib = b.identity;
    difference(&differences, QStringLiteral("installation ID Configuration"), ia.configuration,
               ib.configuration);
    difference(&differences, QStringLiteral("installation ID Stand"), ia.stand, ib.stand);
    difference(&differences, QStringLiteral("installation ID Scan Unit"), ia.scanUnit, ib.scanUnit);
    difference(&differences, QStringLiteral("installation ID FCS Unit"), ia.fcsUnit, ib.fcsUnit);
    // Wheels and their rows, keyed by "ID Available" and "Position".
    const auto rowsOf = [](const Snapshot::Wheel& wheel) {
        QByteArrayList rows;
        for (const Snapshot::Row& row : wheel.rows)
            rows << (row.position + QChar(Separator) + row.filter).toUtf8();
        return rows;
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
        diffKeyedRows(&rows, wheel.id, filterField, rowsOf(wheel), filterField, rowsOf(*other));
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
    diffKeyedRows(&differences, QStringLiteral("catalogue"), a.catalogueFields, a.catalogue,
                  b.catalogueFields, b.catalogue);
    diffKeyedRows(&differences, QStringLiteral("favourite"),
                  {schema::field::IdPotential, schema::field::Type}, a.favourites,
                  {schema::field::IdPotential, schema::field::Type}, b.favourites);
    return differences;
}
