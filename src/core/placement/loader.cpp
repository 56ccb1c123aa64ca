#include "core/placement/loader.h"

#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"

#include <QHash>
#include <QSet>

namespace {

using wheels::Group;

// The first catalogue row of a name the load needs.
struct NamedRow {
    QString type; // null QString for a Null type
    QString code; // Null reads as empty
};

struct FavouriteRow {
    QString id;
    QString type;
};

// The sets of "Available FilterSets" sorted into the wheel buttons they stand for.
struct InstalledSets {
    std::array<QString, wheels::ButtonCount> setOfButton; // the first set that names each button
    bool emission = false;
    bool cubes = false;
    bool splitters = false;   // "HT" or "NT" sets; MBS and DBS alone do not count
    QStringList fcsSplitters; // the FCS unit's MBS and DBS sets, MBS first
};

QString typeText(const QVariant& value) {
    return value.isNull() ? QString() : value.toString();
}

// The steps both loaders share; the FCS unit's loader differs in which sets stand for which
// buttons, in its 13 wheels, and in ending silently on a placed filter missing from the catalogue.
class WheelLoader {
public:
    enum class Kind { AllWheels, FcsUnit };

    WheelLoader(Kind kind, Database& db, const LoadOptions& options, WheelBoard& board, PlacementState& state,
                Candidates& candidates)
        : m_kind(kind), m_db(db), m_options(options), m_board(board), m_state(state),
          m_candidates(candidates) {}

    LoadResult run();

private:
    int buttonCount() const { return m_kind == Kind::FcsUnit ? wheels::FcsButtonCount : wheels::ButtonCount; }
    bool readSets(InstalledSets* sets);
    void classifyForAllWheels(const QString& s, InstalledSets* sets);
    void classifyForFcsUnit(const QString& s, InstalledSets* sets);
    void assign(InstalledSets* sets, int button, const QString& set);
    bool enableByWheelNumber(InstalledSets* sets, LoadResult* result);
    bool readPlacements(const InstalledSets& sets);
    bool readFavourites();
    bool readCatalogue();
    bool findTypes(LoadResult* result);
    bool completeFavourites();
    bool buildCandidates();
    bool lookUpCodes();

    Kind m_kind;
    Database& m_db;
    const LoadOptions& m_options;
    WheelBoard& m_board;
    PlacementState& m_state;
    Candidates& m_candidates;
    // Only the names the load needs are looked up, so a large catalogue is walked once and not
    // kept: the placed filters, and in user mode the favourites.
    QHash<QString, std::optional<NamedRow>> m_named;
    bool m_catalogueEmpty = true;
    Candidates m_catalogueCandidates; // service mode: built during the walk
    bool m_hasFavouriteTable = false;
    std::vector<FavouriteRow> m_favourites;
    DbError m_error;
};

LoadResult WheelLoader::run() {
    InstalledSets sets;
    LoadResult result;
    if (!readSets(&sets) || !enableByWheelNumber(&sets, &result))
        return result.outcome == LoadResult::Outcome::Fatal ? result : LoadResult::stopped(m_error);
    if (!readPlacements(sets) || !readFavourites() || !readCatalogue())
        return LoadResult::stopped(m_error);
    if (!findTypes(&result))
        return result;
    if (!completeFavourites() || !buildCandidates())
        return LoadResult::stopped(m_error);
    if (!m_options.serviceMode && !lookUpCodes())
        return LoadResult::stopped(m_error);
    return result;
}

void WheelLoader::assign(InstalledSets* sets, int button, const QString& set) {
    if (sets->setOfButton[button].isEmpty())
        sets->setOfButton[button] = set;
}

bool WheelLoader::readSets(InstalledSets* sets) {
    auto cursor = m_db.openFirstRow(schema::table::FilterSets, &m_error);
    if (!cursor)
        return false;
    for (int button = 0; button < buttonCount(); ++button)
        m_board.buttons[button].enabled = false;
    for (; !cursor->atEnd(); cursor->next()) {
        if (!schema::isUsableStatus(cursor->value(schema::field::Status)))
            continue;
        const QString s = cursor->text(schema::field::IdAvailable);
        if (m_kind == Kind::FcsUnit)
            classifyForFcsUnit(s, sets);
        else
            classifyForAllWheels(s, sets);
    }
    if (m_kind == Kind::FcsUnit) {
        sets->setOfButton[9] = sets->fcsSplitters.value(0);
        sets->setOfButton[10] = sets->fcsSplitters.value(1);
    }
    m_error = cursor->error();
    return !m_error.isError();
}

// A set without a wheel number in its button range names no button and is left out.
std::optional<int> numberUpTo(const QString& s, int last) {
    const auto number = wheels::wheelNumber(s);
    return number && *number <= last ? number : std::nullopt;
}

void WheelLoader::classifyForAllWheels(const QString& s, InstalledSets* sets) {
    using namespace schema::wheel;
    if (s.contains(Emission) && !s.contains(Fcs))
        if (const auto number = numberUpTo(s, 5)) {
            sets->emission = true;
            assign(sets, *number - 1, s);
        }
    if (s.contains(Fcs) && s.contains(Emission))
        if (const auto number = numberUpTo(s, 3))
            assign(sets, *number + 14, s);
    if (s.contains(FilterWheel))
        if (const auto number = numberUpTo(s, 4)) {
            sets->cubes = true;
            assign(sets, *number + 4, s);
        }
    if (s.contains(Mbs)) {
        sets->setOfButton[13] = s; // a later MBS set replaces an earlier one
        m_board.buttons[13].visible = m_board.buttons[13].enabled = true;
    }
    if (s.contains(Dbs)) {
        sets->setOfButton[14] = s;
        m_board.buttons[14].visible = m_board.buttons[14].enabled = true;
    }
    if (s == MainSplitter) {
        sets->splitters = true;
        assign(sets, 9, s);
        m_board.buttons[9].enabled = true;
        m_board.buttons[9].caption = QStringLiteral("HFT");
        m_board.buttons[10].caption = QStringLiteral("NT1");
    }
    if (s.contains(SecondarySplitter))
        if (const auto number = numberUpTo(s, 3)) {
            sets->splitters = true;
            assign(sets, *number + 9, s);
        }
}

void WheelLoader::classifyForFcsUnit(const QString& s, InstalledSets* sets) {
    using namespace schema::wheel;
    if (s.contains(Fcs) && s.contains(Emission))
        if (const auto number = numberUpTo(s, 5)) {
            sets->emission = true;
            assign(sets, *number - 1, s);
        }
    if (s.contains(FilterWheel))
        if (const auto number = numberUpTo(s, 4)) {
            sets->cubes = true;
            assign(sets, *number + 4, s);
        }
    if (s.contains(Mbs)) {
        // Moving the first member to the end puts the MBS set first after a DBS set.
        sets->fcsSplitters << s;
        sets->fcsSplitters.move(0, sets->fcsSplitters.size() - 1);
        m_board.buttons[9].enabled = true;
        m_board.buttons[9].caption = QStringLiteral("MBS");
        m_board.buttons[10].caption = QStringLiteral("DBS");
        for (int button = 11; button <= 14; ++button)
            m_board.buttons[button].visible = false;
    }
    if (s.contains(Dbs))
        sets->fcsSplitters << s;
}

bool WheelLoader::enableByWheelNumber(InstalledSets* sets, LoadResult* result) {
    m_board.modeEnabled[0] = sets->emission;
    for (int button = 0; button <= 4; ++button)
        m_board.buttons[button].enabled = !sets->setOfButton[button].isEmpty();
    m_board.modeEnabled[1] = sets->cubes;
    // The FCS unit's loader refuses a stand without turrets whatever the scan unit.
    const bool marlin = m_kind == Kind::AllWheels && m_options.marlin;
    if (!sets->cubes && !m_options.serviceMode && !marlin) {
        *result = LoadResult::fatal(NoFilterWheelsMessage);
        return false;
    }
    for (int button = 5; button <= 8; ++button)
        m_board.buttons[button].enabled = !sets->setOfButton[button].isEmpty();
    if (m_kind == Kind::FcsUnit) {
        m_board.modeEnabled[2] = !sets->fcsSplitters.isEmpty();
        // The DBS changer has button 10, which the design hides until a loader finds its wheel.
        if (sets->fcsSplitters.size() == 2)
            m_board.buttons[10].visible = m_board.buttons[10].enabled = true;
        return true;
    }
    m_board.modeEnabled[2] = sets->splitters;
    for (int button = 10; button <= 12; ++button)
        if (!sets->setOfButton[button].isEmpty())
            m_board.buttons[button].visible = m_board.buttons[button].enabled = true;
    for (int button = 15; button <= 17; ++button)
        if (!sets->setOfButton[button].isEmpty())
            m_board.buttons[button].visible = m_board.buttons[button].enabled = true;
    return true;
}

bool WheelLoader::readPlacements(const InstalledSets& sets) {
    m_state.clear();
    const bool anyInstalled = std::any_of(m_board.buttons.begin(), m_board.buttons.end(),
                                          [](const WheelButton& b) { return b.enabled; });
    QHash<QString, QStringList> rowsOfSet; // set ID -> its first eight filters
    if (anyInstalled) {
        auto cursor = m_db.openFirstRow(schema::table::FilterPlacement, &m_error);
        if (!cursor)
            return false;
        for (; !cursor->atEnd(); cursor->next()) {
            QStringList& wheel = rowsOfSet[cursor->text(schema::field::IdAvailable)];
            if (wheel.size() < wheels::PositionsPerWheel)
                wheel << cursor->text(schema::field::IdPotential);
        }
        if ((m_error = cursor->error()).isError())
            return false;
    }
    for (int button = 0; button < buttonCount(); ++button) {
        if (!m_board.buttons[button].enabled) {
            m_state.WheelFilters.emplace_back(std::nullopt);
            m_state.WheelAvailableIds << QString();
            m_state.knownRows.emplace_back();
            continue;
        }
        const QString& set = sets.setOfButton[button];
        m_state.WheelFilters.emplace_back(rowsOfSet.value(set));
        m_state.WheelAvailableIds << set;
        m_state.knownRows.push_back(rowsOfSet.value(set));
    }
    return true;
}

bool WheelLoader::readFavourites() {
    m_hasFavouriteTable = m_db.hasTable(schema::table::FavouriteFilters);
    if (!m_hasFavouriteTable)
        return true;
    auto cursor = m_db.openTable(schema::table::FavouriteFilters, &m_error);
    if (!cursor)
        return false;
    const int id = cursor->column(schema::field::IdPotential);
    const int type = cursor->column(schema::field::Type);
    for (; !cursor->atEnd() && !cursor->error().isError(); cursor->next())
        m_favourites.push_back({cursor->textAt(id), typeText(cursor->valueAt(type))});
    m_error = cursor->error();
    return !m_error.isError();
}

bool WheelLoader::readCatalogue() {
    m_named.insert(schema::NoFilter, std::nullopt);
    for (const auto& filters : m_state.WheelFilters)
        for (const QString& name : filters.value_or(QStringList()))
            m_named.insert(name, std::nullopt);
    if (!m_options.serviceMode)
        for (const FavouriteRow& favourite : m_favourites)
            m_named.insert(favourite.id, std::nullopt);
    for (CandidateList& group : m_catalogueCandidates)
        group.append(schema::NoFilter, QString());

    auto cursor = m_db.openTable(schema::table::PotentialFilters, &m_error);
    if (!cursor)
        return false;
    const int id = cursor->column(schema::field::IdPotential);
    const int type = cursor->column(schema::field::Type);
    const int code = cursor->column(schema::field::CodeNo);
    if ((m_error = cursor->error()).isError())
        return false;
    for (; !cursor->atEnd(); cursor->next()) {
        m_catalogueEmpty = false;
        const QString name = cursor->textAt(id);
        const QString rowType = typeText(cursor->valueAt(type));
        const QString rowCode = cursor->textAt(code);
        if (m_options.serviceMode)
            if (const auto group = wheels::groupOfType(rowType))
                candidatesOf(m_catalogueCandidates, *group).append(name, rowCode);
        const auto named = m_named.find(name);
        if (named != m_named.end() && !*named)
            *named = NamedRow{rowType, rowCode};
    }
    m_error = cursor->error();
    return !m_error.isError();
}

bool WheelLoader::findTypes(LoadResult* result) {
    for (const auto& filters : m_state.WheelFilters) {
        if (!filters) {
            m_state.WheelTypes.emplace_back(std::nullopt);
            continue;
        }
        QStringList types;
        for (const QString& name : *filters) {
            const std::optional<NamedRow>& row = m_named.value(name);
            if (!row) {
                // The FCS unit's loader walks past the catalogue's end and stops without a word.
                *result =
                    m_kind == Kind::FcsUnit
                        ? LoadResult::stopped(DbError::make(dberr::QueryFailed, missingFilterMessage(name)))
                        : LoadResult::fatal(missingFilterMessage(name));
                return false;
            }
            types << row->type;
        }
        m_state.WheelTypes.emplace_back(types);
    }
    return true;
}

bool WheelLoader::completeFavourites() {
    if (!m_hasFavouriteTable) {
        Transaction create(m_db, &m_error);
        if (!m_db.createTable(schema::table::FavouriteFilters,
                              {schema::field::IdPotential, schema::field::Type}, &m_error) ||
            !m_db.exec(
                QStringLiteral("INSERT INTO %1 VALUES (?, ?)").arg(sqlName(schema::table::FavouriteFilters)),
                {schema::NoFilter, QStringLiteral(" ")}, &m_error) ||
            !create.commit(&m_error))
            return false;
        m_favourites.push_back({schema::NoFilter, QStringLiteral(" ")});
    }
    auto cursor = m_db.openTable(schema::table::FavouriteFilters, &m_error);
    if (!cursor)
        return false;
    QSet<QString> names;
    for (const FavouriteRow& favourite : m_favourites)
        names.insert(favourite.id);

    Transaction transaction(m_db, &m_error);
    for (size_t wheel = 0; wheel < m_state.WheelFilters.size(); ++wheel) {
        if (!m_state.WheelFilters[wheel])
            continue;
        const QStringList& filters = *m_state.WheelFilters[wheel];
        for (int slot = 0; slot < filters.size(); ++slot) {
            if (m_favourites.empty()) { // a search of an empty table fails
                m_error = m_db.emptyTableError(schema::table::FavouriteFilters);
                return false;
            }
            if (names.contains(filters[slot]))
                continue;
            const QString& type = m_state.WheelTypes[wheel]->at(slot);
            if (!cursor->addRow({{schema::field::IdPotential, filters[slot]},
                                 {schema::field::Type, type.isNull() ? QVariant() : QVariant(type)}},
                                &m_error))
                return false;
            m_favourites.push_back({filters[slot], type});
            names.insert(filters[slot]);
        }
    }
    cursor.reset();
    return transaction.commit(&m_error);
}

bool WheelLoader::buildCandidates() {
    for (CandidateList& group : m_candidates) {
        group = CandidateList();
        group.append(schema::NoFilter, QString());
    }
    if (m_options.serviceMode ? m_catalogueEmpty : m_favourites.empty()) {
        m_error = m_db.emptyTableError(m_options.serviceMode ? schema::table::PotentialFilters
                                                             : schema::table::FavouriteFilters);
        return false;
    }
    if (m_options.serviceMode) {
        m_candidates = std::move(m_catalogueCandidates);
        return true;
    }
    for (const FavouriteRow& row : m_favourites)
        if (const auto group = wheels::groupOfType(row.type))
            candidatesOf(m_candidates, *group).CandidateIds << row.id;
    return true;
}

bool WheelLoader::lookUpCodes() {
    // The favourite list has no code numbers: each group takes them from the first catalogue row of
    // each name, in the order of its names, and stops at the first name the catalogue lacks.
    for (CandidateList& group : m_candidates)
        group.CandidateCodes.clear();
    if (m_catalogueEmpty) {
        m_error = m_db.emptyTableError(schema::table::PotentialFilters);
        return false;
    }
    for (CandidateList& group : m_candidates) {
        for (const QString& id : group.CandidateIds) {
            const std::optional<NamedRow>& row = m_named.value(id);
            if (!row)
                break;
            group.CandidateCodes << row->code;
        }
    }
    return true;
}

} // namespace

QString missingFilterMessage(const QString& name) {
    return QStringLiteral("Error in table 'Potential Filters' ! No ") + name + QStringLiteral(" - Filter !");
}

LoadResult loadAllWheels(Database& db, const LoadOptions& options, WheelBoard& board, PlacementState& state,
                         Candidates& candidates) {
    return WheelLoader(WheelLoader::Kind::AllWheels, db, options, board, state, candidates).run();
}

LoadResult loadFcsWheels(Database& db, const LoadOptions& options, WheelBoard& board, PlacementState& state,
                         Candidates& candidates) {
    return WheelLoader(WheelLoader::Kind::FcsUnit, db, options, board, state, candidates).run();
}
