#include "core/catalogue/catalogue_tables.h"

#include "core/db/column_reader.h"
#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"

#include <QSet>
#include <atomic>
#include <functional>
#include <thread>

namespace catalogue {

using wheels::Group;

QStringList acceptedTypes(int mode, int wheel) {
    using namespace schema::type;
    const auto group = wheels::editedGroup(mode, wheel);
    if (!group)
        return {};
    switch (*group) {
    case Group::EmissionCandidates:
        return {BandPass, LongPass, ShortPass};
    case Group::NfCandidates:
        return {Notch};
    case Group::Fw1Candidates:
        return {schema::type::Fw1};
    case Group::Fw2Candidates:
        return {schema::type::Fw2};
    case Group::Fw3Candidates:
        return {schema::type::Fw3};
    case Group::HftNtCandidates:
        return {MainSplitter, SecondarySplitter};
    case Group::NftCandidates:
        return {NotchSplitter};
    }
    return {};
}

std::vector<Group> newFilterGroups(int mode, int wheel) {
    const std::optional<wheels::Mode> known = wheels::modeAt(mode);
    if (!known)
        return {};
    switch (*known) {
    case wheels::Mode::EmissionFilters:
        if (wheel == wheels::NotchWheel)
            return {Group::NfCandidates};
        // The scan unit's emission wheels only; the FCS unit's wheels are not extended.
        if (wheel >= 0 && wheel < wheels::ButtonCount &&
            wheels::button(wheel).kind == wheels::SetKind::Emission)
            return {Group::EmissionCandidates};
        return {};
    case wheels::Mode::FilterCubes:
        return {Group::Fw1Candidates, Group::Fw2Candidates, Group::Fw3Candidates};
    case wheels::Mode::BeamSplitters:
        if (wheel == wheels::MainSplitter)
            return {Group::HftNtCandidates};
        return wheel == wheels::FirstNtSplitter ? std::vector<Group>{Group::NftCandidates}
                                                : std::vector<Group>{};
    }
    return {};
}

void CompactTypeList::append(const QString& type) {
    int known = m_types.indexOf(type);
    if (known < 0) {
        known = m_types.size();
        m_types << type;
    }
    m_index.push_back(quint16(known));
}

QString CompactTypeList::value(int position) const {
    return position >= 0 && position < size() ? m_types.at(m_index[size_t(position)]) : QString();
}

void CompactTypeList::removeAt(int position) {
    if (position >= 0 && position < size())
        m_index.erase(size_t(position));
}

void CompactTypeList::appendList(const CompactTypeList& other) {
    Q_ASSERT(other.m_types == m_types);
    m_index.append(other.m_index);
}

QStringList CompactTypeList::toStringList() const {
    QStringList texts;
    for (quint16 index : m_index)
        texts << m_types.at(index);
    return texts;
}

namespace {

struct FavouriteIds {
    TextList ids;
    Result error;
};

// The favourite list's names of the accepted types (and "None"), read on a connection of its own
// so that the read goes beside the catalogue's.
FavouriteIds readFavouriteIds(const QString& path, const QStringList& accepted) {
    FavouriteIds read;
    Database own;
    if (!own.open(path, &read.error, Database::Access::ReadOnly))
        return read;
    const std::vector<QByteArray> acceptedUtf8 = ColumnReader::utf8Values(accepted);
    const QByteArray noFilter = schema::NoFilter.toUtf8();
    ColumnReader favourites(own, schema::table::FavouriteFilters,
                            {schema::field::IdPotential, schema::field::Type});
    while (favourites.next()) {
        const QByteArrayView id = favourites.utf8(0);
        if (id == noFilter || favourites.indexIn(1, acceptedUtf8) >= 0)
            read.ids.appendUtf8(id);
    }
    read.error = favourites.error();
    return read;
}

// The catalogue's rows of the accepted types (and "None"): names, summaries and types. `besides`
// runs once, on the thread whose half ends first, where it takes no processor from the halves.
bool readCatalogueLists(const Database& db, const QStringList& accepted, FavouriteWindowLists* lists,
                        const std::function<void()>& besides, Result* error) {
    std::atomic<bool> besidesTaken{false};
    const auto runBesides = [&] {
        if (!besidesTaken.exchange(true))
            besides();
    };
    // The catalogue may have a million rows: it is read in two halves at once, each into lists of
    // its own, joined in row order.
    const QString blank = QStringLiteral(" ");
    const QStringList types = QStringList{blank} + accepted; // blank first, then each accepted type
    const std::vector<QByteArray> acceptedUtf8 = ColumnReader::utf8Values(accepted);
    struct alignas(64) Part { // on cache lines of its own: the threads write their part at every row
        TextList names, summaries;
        CompactTypeList types;
        bool empty = true;
    };
    Part parts[2] = {{{}, {}, CompactTypeList(types)}, {{}, {}, CompactTypeList(types)}};
    const auto readPart = [&](ColumnReader& catalogue, int number) {
        Part& part = parts[number];
        const QByteArrayView blankUtf8(" ");
        const QByteArray noFilter = schema::NoFilter.toUtf8();
        while (catalogue.next()) {
            part.empty = false;
            const int type = catalogue.indexIn(1, acceptedUtf8);
            const QByteArrayView id = catalogue.utf8(0);
            if (id == noFilter) {
                part.names.appendUtf8(id);
                part.summaries.appendUtf8(blankUtf8);
                part.types.appendAt(0);
            } else if (type >= 0) {
                const QByteArrayView summary = catalogue.utf8(2);
                part.names.appendUtf8(id);
                part.summaries.appendUtf8(summary.isNull() ? blankUtf8 : summary);
                part.types.appendAt(type + 1);
            }
        }
        runBesides();
    };
    const int read = ColumnReader::readInParts(
        db, schema::table::PotentialFilters,
        {schema::field::IdPotential, schema::field::Type, schema::field::Summary}, readPart, error);
    runBesides(); // when no part was read
    if (read == 0)
        return false;
    lists->names.swap(parts[0].names);
    lists->summaries.swap(parts[0].summaries);
    lists->types.swap(parts[0].types);
    if (read == 2) { // the two largest lists joined at once
        std::thread summaries([&] { lists->summaries.appendList(parts[1].summaries); });
        lists->names.appendList(parts[1].names);
        lists->types.appendList(parts[1].types);
        summaries.join();
    }
    lists->catalogueEmpty = parts[0].empty && parts[1].empty;
    return true;
}

} // namespace

bool readFavouriteWindowLists(const Database& db, const QStringList& accepted, FavouriteWindowLists* lists,
                              Result* error) {
    FavouriteIds favourites;
    const bool catalogueRead = readCatalogueLists(
        db, accepted, lists, [&] { favourites = readFavouriteIds(db.path(), accepted); }, error);
    // The favourites' failure is the one told.
    if (favourites.error.isError()) {
        if (error)
            *error = favourites.error;
        return false;
    }
    lists->salesList = std::move(favourites.ids);
    return catalogueRead;
}

bool ensureFavouriteTable(Database& db, Result* error) {
    if (db.hasTable(schema::table::FavouriteFilters))
        return true;
    Transaction transaction(db, error);
    return transaction.isActive() &&
           db.createTable(schema::table::FavouriteFilters, {schema::field::IdPotential, schema::field::Type},
                          error) &&
           db.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (?)")
                       .arg(sqlName(schema::table::FavouriteFilters), sqlName(schema::field::IdPotential)),
                   {schema::NoFilter}, error) &&
           transaction.commit(error);
}

bool addFavourite(Database& db, const QString& name, const QString& type, Result* error) {
    return db.exec(QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?, ?)")
                       .arg(sqlName(schema::table::FavouriteFilters), sqlName(schema::field::IdPotential),
                            sqlName(schema::field::Type)),
                   {name, type}, error);
}

bool deleteFirstNamed(Database& db, const QString& table, const QString& name, bool* found, Result* error) {
    *found = false;
    if (!db.requireTable(table, error))
        return false;
    // The engine finds the first row of the name; the catalogue is not walked row by row here.
    auto first = db.openQuery(QStringLiteral("SELECT rowid FROM %1 WHERE %2 = ? ORDER BY rowid LIMIT 1")
                                  .arg(sqlName(table), sqlName(schema::field::IdPotential)),
                              {name}, error);
    if (!first)
        return false;
    if (first->atEnd())
        return true;
    *found = true;
    const qint64 rowid = first->valueAt(0).toLongLong();
    first.reset();
    return db.exec(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(sqlName(table)), {rowid}, error);
}

bool isPlaced(const Database& db, const QString& name, bool* placed, Result* error) {
    *placed = false;
    auto cursor =
        db.openQuery(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? LIMIT 1")
                         .arg(sqlName(schema::table::FilterPlacement), sqlName(schema::field::IdPotential)),
                     {name}, error);
    if (!cursor)
        return false;
    *placed = !cursor->atEnd();
    return true;
}

bool missingFromCatalogue(const Database& db, const QStringList& names, QStringList* missing, Result* error) {
    missing->clear();
    QStringList wanted = names;
    wanted.removeDuplicates();
    // Bound values per statement stay well under the engine's limit.
    constexpr int Chunk = 500;
    QSet<QString> found;
    for (int first = 0; first < wanted.size(); first += Chunk) {
        const QStringList part = wanted.mid(first, Chunk);
        QVariantList values;
        for (const QString& name : part)
            values << name;
        QStringList marks(part.size(), QStringLiteral("?"));
        auto cursor =
            db.openQuery(QStringLiteral("SELECT DISTINCT %1 FROM %2 WHERE %1 IN (%3)")
                             .arg(sqlName(schema::field::IdPotential),
                                  sqlName(schema::table::PotentialFilters), marks.join(QLatin1Char(','))),
                         values, error);
        if (!cursor)
            return false;
        for (; !cursor->atEnd(); cursor->next())
            found.insert(cursor->textAt(0));
        if (cursor->error().isError()) {
            *error = cursor->error();
            return false;
        }
    }
    for (const QString& name : std::as_const(wanted))
        if (!found.contains(name))
            *missing << name;
    return true;
}

bool namesCompareAsBytes(const Database& db) {
    Result error;
    auto schema =
        db.openQuery(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ? "
                                    "COLLATE NOCASE"),
                     {schema::table::PotentialFilters}, &error);
    return schema && !schema->atEnd() &&
           !schema->textAt(0).contains(QLatin1String("COLLATE"), Qt::CaseInsensitive);
}

} // namespace catalogue
