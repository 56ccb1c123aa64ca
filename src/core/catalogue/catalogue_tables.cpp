#include "core/catalogue/catalogue_tables.h"

#include "core/db/column_reader.h"
#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"

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
    switch (mode) {
    case wheels::EmissionFilters:
        if (wheel == wheels::NotchWheel)
            return {Group::NfCandidates};
        // The scan unit's emission wheels only; the FCS unit's wheels are not extended.
        if (wheel >= 0 && wheel < wheels::ButtonCount &&
            wheels::button(wheel).kind == wheels::SetKind::Emission)
            return {Group::EmissionCandidates};
        return {};
    case wheels::FilterCubes:
        return {Group::Fw1Candidates, Group::Fw2Candidates, Group::Fw3Candidates};
    case wheels::BeamSplitters:
        if (wheel == wheels::MainSplitter)
            return {Group::HftNtCandidates};
        return wheel == wheels::FirstNtSplitter ? std::vector<Group>{Group::NftCandidates}
                                                : std::vector<Group>{};
    default:
        return {};
    }
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
        m_index.erase(m_index.begin() + position);
}

QStringList CompactTypeList::toStringList() const {
    QStringList texts;
    for (quint16 index : m_index)
        texts << m_types.at(index);
    return texts;
}

bool readFavouriteWindowLists(const Database& db, const QStringList& accepted, FavouriteWindowLists* lists,
                              DbError* error) {
    ColumnReader favourites(db, schema::table::FavouriteFilters,
                            {schema::field::IdPotential, schema::field::Type});
    while (favourites.next()) {
        const QString id = favourites.text(0);
        if (id == schema::NoFilter || accepted.contains(favourites.text(1)))
            lists->salesList << id;
    }
    ColumnReader catalogue(db, schema::table::PotentialFilters,
                           {schema::field::IdPotential, schema::field::Type, schema::field::Summary});
    lists->catalogueEmpty = true;
    const QString blank = QStringLiteral(" ");
    const QByteArrayView blankUtf8(" ");
    const QByteArray noFilter = schema::NoFilter.toUtf8();
    // The types are compared as the engine holds them; the accepted texts themselves are listed.
    std::vector<QByteArray> acceptedUtf8;
    for (const QString& type : accepted)
        acceptedUtf8.push_back(type.toUtf8());
    while (catalogue.next()) {
        lists->catalogueEmpty = false;
        const int type = catalogue.indexIn(1, acceptedUtf8);
        const QByteArrayView id = catalogue.utf8(0);
        if (id == noFilter) {
            lists->names.appendUtf8(id);
            lists->summaries.appendUtf8(blankUtf8);
            lists->types.append(blank);
        } else if (type >= 0) {
            const QByteArrayView summary = catalogue.utf8(2);
            lists->names.appendUtf8(id);
            lists->summaries.appendUtf8(summary.isNull() ? blankUtf8 : summary);
            lists->types.append(accepted[type]);
        }
    }
    for (const ColumnReader* reader : {&favourites, &catalogue})
        if (reader->error().isError()) {
            if (error)
                *error = reader->error();
            return false;
        }
    return true;
}

bool ensureFavouriteTable(Database& db, DbError* error) {
    if (db.hasTable(schema::table::FavouriteFilters))
        return true;
    Transaction transaction(db, error);
    return db.createTable(schema::table::FavouriteFilters, {schema::field::IdPotential, schema::field::Type},
                          error) &&
           db.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (?)")
                       .arg(sqlName(schema::table::FavouriteFilters), sqlName(schema::field::IdPotential)),
                   {schema::NoFilter}, error) &&
           transaction.commit(error);
}

bool addFavourite(Database& db, const QString& name, const QString& type, DbError* error) {
    return db.exec(QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?, ?)")
                       .arg(sqlName(schema::table::FavouriteFilters), sqlName(schema::field::IdPotential),
                            sqlName(schema::field::Type)),
                   {name, type}, error);
}

bool deleteFirstNamed(Database& db, const QString& table, const QString& name, bool* found, DbError* error) {
    *found = false;
    if (!db.hasTable(table))
        return fail(error, dberr::TableNotFound,
                    QStringLiteral("The database '%1' has no table '%2'.").arg(db.fileName(), table));
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

bool isPlaced(const Database& db, const QString& name, bool* placed, DbError* error) {
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

} // namespace catalogue
