#include "core/placement/loader.h"

#include "core/gate/write_gate.h"

#include "core/catalogue/catalogue_tables.h"
#include "core/db/column_reader.h"
#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"
#include "core/gate/write_gate.h"

#include <QHash>
#include <QSet>

namespace {

using wheels::Group;

// The type codes the load knows, compared as the engine holds them and shared, not made per row.
const QStringList& knownTypes() {
    using namespace schema::type;
    static const QStringList types{BandPass,          LongPass,          ShortPass,         Notch,
                                   schema::type::Fw1, schema::type::Fw2, schema::type::Fw3, MainSplitter,
                                   SecondarySplitter, NotchSplitter};
    return types;
}

const std::vector<QByteArray>& knownTypesUtf8() {
    static const std::vector<QByteArray> utf8 = ColumnReader::utf8Values(knownTypes());
    return utf8;
}

// The candidate group of each known type, in the same order.
const std::vector<std::optional<Group>>& knownTypeGroups() {
    static const std::vector<std::optional<Group>> groups = [] {
        std::vector<std::optional<Group>> byType;
        for (const QString& type : knownTypes())
            byType.push_back(wheels::groupOfType(type));
        return byType;
    }();
    return groups;
}

// The names a load needs (the placed filters, in user mode the favourites too) and what the first
// catalogue row of each says. The walk looks the engine's bytes up, so a catalogue row that is not
// needed costs no text, and a hundred thousand favourites cost no allocation each.
class NeededRows {
public:
    void add(QByteArrayView name) {
        if (m_names.insert(name) == int(m_rows.size()))
            m_rows.emplace_back();
    }
    int find(QByteArrayView name) const { return m_names.find(name); }
    int size() const { return int(m_rows.size()); }
    bool isFound(int entry) const { return m_rows[size_t(entry)].found; }
    void setFound(int entry, const QString& type, QByteArrayView code, bool textName) {
        Row& row = m_rows[size_t(entry)];
        row.found = true;
        row.textName = textName;
        if (!type.isNull()) {
            row.type = int(m_types.indexOf(type));
            if (row.type < 0) {
                row.type = int(m_types.size());
                m_types << type;
            }
        }
        row.codeStart = m_codes.size();
        row.codeLength = code.size();
        m_codes.append(code);
    }
    // Nothing for a name the catalogue lacks; a null text for a Null type.
    std::optional<QString> typeOf(QByteArrayView name) const {
        const Row* row = foundRow(name);
        if (!row)
            return std::nullopt;
        return row->type < 0 ? QString() : m_types.at(row->type);
    }
    // Whether the name's first row holds it as a text (not a blob or a number of the same bytes).
    bool foundAsText(QByteArrayView name) const {
        const Row* row = foundRow(name);
        return row && row->textName;
    }
    // Nothing for a name the catalogue lacks; Null reads as empty.
    std::optional<QByteArrayView> codeOf(QByteArrayView name) const {
        const Row* row = foundRow(name);
        if (!row)
            return std::nullopt;
        return QByteArrayView(m_codes.constData() + row->codeStart, row->codeLength);
    }

private:
    struct Row {
        bool found = false;
        bool textName = false;
        int type = -1; // in m_types; -1 for Null
        qsizetype codeStart = 0;
        qsizetype codeLength = 0;
    };
    const Row* foundRow(QByteArrayView name) const {
        const int entry = find(name);
        return entry >= 0 && m_rows[size_t(entry)].found ? &m_rows[size_t(entry)] : nullptr;
    }

    TextIndex m_names;
    std::vector<Row> m_rows;
    QStringList m_types; // the distinct type texts found
    QByteArray m_codes;
};

// The sets of "Available FilterSets" sorted into the wheel buttons they stand for.
struct InstalledSets {
    std::array<QString, wheels::ButtonCount> setOfButton; // the first set that names each button
    bool emission = false;
    bool cubes = false;
    bool splitters = false;   // "HT" or "NT" sets; MBS and DBS alone do not count
    QStringList fcsSplitters; // the FCS unit's MBS and DBS sets, MBS first
};

// The steps both loaders share; the FCS unit's loader differs in which sets stand for which
// buttons, in its 13 wheels, and in ending silently on a placed filter missing from the catalogue.
class WheelLoader {
public:
    enum class Kind { AllWheels, FcsUnit };

    WheelLoader(Kind kind, Database& db, const LoadOptions& options, Installation& installation)
        : m_kind(kind), m_db(db), m_options(options), m_board(installation.board),
          m_state(installation.placement), m_candidates(installation.candidates),
          m_placedCodes(installation.placedCodes) {}

    LoadResult run();

private:
    LoadResult runSteps();
    bool fcsUnit() const { return m_kind == Kind::FcsUnit; }
    int buttonCount() const { return fcsUnit() ? wheels::FcsButtonCount : wheels::ButtonCount; }
    // Sorts the set into the button its kind and wheel number name; a set whose number has no
    // button (none, or beyond the kind's buttons) is left out.
    bool assignByNumber(InstalledSets* sets, wheels::SetKind kind, const QString& s);
    bool readSets(InstalledSets* sets);
    void classifyForAllWheels(const QString& s, InstalledSets* sets);
    void classifyForFcsUnit(const QString& s, InstalledSets* sets);
    void assign(InstalledSets* sets, int button, const QString& set);
    bool enableByWheelNumber(InstalledSets* sets, LoadResult* result);
    bool readPlacements(const InstalledSets& sets);
    bool readFavourites();
    bool readCatalogue();
    // What one half of the catalogue holds for the load.
    // Each part on cache lines of its own: the two threads write their part at every row.
    struct alignas(64) CataloguePart {
        struct Found {
            int entry;
            QString type; // null for a Null type
            QByteArray code;
            bool textName;
        };
        Candidates candidates; // the second half's; the first half's go straight into the load's
        std::vector<Found> found;
        bool empty = true;
    };
    void walkCatalogue(ColumnReader& rows, CataloguePart& part, Candidates& candidates) const;
    bool findTypes(LoadResult* result);
    bool completeFavourites();
    void keepPlacedCodes();
    bool writesFavourites() const;
    // The placed filters the favourite list lacks, in button and slot order, each once.
    bool missingFavourites(std::vector<std::pair<QString, QString>>* missing);
    bool buildCandidates();
    bool lookUpCodes();

    Kind m_kind;
    Database& m_db;
    const LoadOptions& m_options;
    WheelBoard& m_board;
    PlacementState& m_state;
    Candidates& m_candidates;
    QHash<QString, QString>& m_placedCodes;
    // Only the names the load needs are looked up, so a large catalogue is walked once and not kept.
    NeededRows m_needed;
    bool m_catalogueEmpty = true;
    Candidates m_catalogueCandidates; // service mode: built during the walk
    bool m_hasFavouriteTable = false;
    // The favourite list in stored order (names may repeat), with each entry's candidate group.
    TextList m_favouriteIds;
    std::vector<std::optional<Group>> m_favouriteGroups;
    void addFavourite(QByteArrayView id, std::optional<Group> group) {
        m_favouriteIds.appendUtf8(id);
        m_favouriteGroups.push_back(group);
    }
    TextIndex favouriteNames() const;
    Result m_error;
    bool m_favouritesWithheld = false;
};

LoadResult WheelLoader::run() {
    LoadResult result = runSteps();
    result.favouritesWithheld = m_favouritesWithheld; // whatever ended the load
    return result;
}

LoadResult WheelLoader::runSteps() {
    InstalledSets sets;
    LoadResult result;
    m_placedCodes.clear();
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
    if (!m_options.candidates)
        keepPlacedCodes();
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
        if (fcsUnit())
            classifyForFcsUnit(s, sets);
        else
            classifyForAllWheels(s, sets);
    }
    if (fcsUnit()) {
        sets->setOfButton[wheels::MainSplitter] = sets->fcsSplitters.value(0);
        sets->setOfButton[wheels::FirstNtSplitter] = sets->fcsSplitters.value(1);
    }
    m_error = cursor->error();
    return !m_error.isError();
}

bool WheelLoader::assignByNumber(InstalledSets* sets, wheels::SetKind kind, const QString& s) {
    const auto number = wheels::wheelNumber(s);
    const auto button = number ? wheels::buttonOf(kind, *number, fcsUnit()) : std::nullopt;
    if (button)
        assign(sets, *button, s);
    return button.has_value();
}

void WheelLoader::classifyForAllWheels(const QString& s, InstalledSets* sets) {
    using namespace schema::wheel;
    using wheels::SetKind;
    if (s.contains(Emission) && !s.contains(Fcs) && assignByNumber(sets, SetKind::Emission, s))
        sets->emission = true;
    if (s.contains(Fcs) && s.contains(Emission))
        assignByNumber(sets, SetKind::FcsEmission, s);
    if (s.contains(FilterWheel) && assignByNumber(sets, SetKind::Cube, s))
        sets->cubes = true;
    if (s.contains(Mbs)) {
        sets->setOfButton[wheels::MbsChanger] = s; // a later MBS set replaces an earlier one
        m_board.buttons[wheels::MbsChanger].visible = m_board.buttons[wheels::MbsChanger].enabled = true;
    }
    if (s.contains(Dbs)) {
        sets->setOfButton[wheels::DbsChanger] = s;
        m_board.buttons[wheels::DbsChanger].visible = m_board.buttons[wheels::DbsChanger].enabled = true;
    }
    if (s == MainSplitter) {
        sets->splitters = true;
        assign(sets, wheels::MainSplitter, s);
        m_board.buttons[wheels::MainSplitter].enabled = true;
        m_board.buttons[wheels::MainSplitter].caption = QStringLiteral("HFT");
        m_board.buttons[wheels::FirstNtSplitter].caption = QStringLiteral("NT1");
    }
    if (s.contains(SecondarySplitter) && assignByNumber(sets, SetKind::SecondarySplitter, s))
        sets->splitters = true;
}

void WheelLoader::classifyForFcsUnit(const QString& s, InstalledSets* sets) {
    using namespace schema::wheel;
    using wheels::SetKind;
    if (s.contains(Fcs) && s.contains(Emission) && assignByNumber(sets, SetKind::Emission, s))
        sets->emission = true;
    if (s.contains(FilterWheel) && assignByNumber(sets, SetKind::Cube, s))
        sets->cubes = true;
    if (s.contains(Mbs)) {
        // Moving the first member to the end puts the MBS set first after a DBS set.
        sets->fcsSplitters << s;
        sets->fcsSplitters.move(0, sets->fcsSplitters.size() - 1);
        m_board.buttons[wheels::MainSplitter].enabled = true;
        m_board.buttons[wheels::MainSplitter].caption = QStringLiteral("MBS");
        m_board.buttons[wheels::FirstNtSplitter].caption = QStringLiteral("DBS");
        for (int button = wheels::FirstNtSplitter + 1; button <= wheels::DbsChanger; ++button)
            m_board.buttons[button].visible = false;
    }
    if (s.contains(Dbs))
        sets->fcsSplitters << s;
}

bool WheelLoader::enableByWheelNumber(InstalledSets* sets, LoadResult* result) {
    // The buttons of a kind are enabled by the sets that name them; the loader's groups in order.
    const auto enableKind = [&](wheels::SetKind kind, bool show) {
        for (const wheels::WheelButton& wheel : wheels::table()) {
            if ((fcsUnit() ? wheel.fcsKind : wheel.kind) != kind || sets->setOfButton[wheel.button].isEmpty())
                continue;
            m_board.buttons[wheel.button].enabled = true;
            if (show)
                m_board.buttons[wheel.button].visible = true;
        }
    };
    m_board.modeEnabled[wheels::index(wheels::Mode::EmissionFilters)] = sets->emission;
    enableKind(wheels::SetKind::Emission, false);
    m_board.modeEnabled[wheels::index(wheels::Mode::FilterCubes)] = sets->cubes;
    // The FCS unit's loader refuses a stand without turrets whatever the scan unit.
    const bool marlin = !fcsUnit() && m_options.marlin;
    if (!sets->cubes && !m_options.serviceMode && !marlin) {
        *result = LoadResult::fatal(NoFilterWheelsMessage);
        return false;
    }
    enableKind(wheels::SetKind::Cube, false);
    if (fcsUnit()) {
        m_board.modeEnabled[wheels::index(wheels::Mode::BeamSplitters)] = !sets->fcsSplitters.isEmpty();
        // The DBS changer's button is hidden by design until a loader finds its wheel.
        if (sets->fcsSplitters.size() == 2)
            m_board.buttons[wheels::FirstNtSplitter].visible =
                m_board.buttons[wheels::FirstNtSplitter].enabled = true;
        return true;
    }
    m_board.modeEnabled[wheels::index(wheels::Mode::BeamSplitters)] = sets->splitters;
    enableKind(wheels::SetKind::SecondarySplitter, true);
    enableKind(wheels::SetKind::FcsEmission, true);
    return true;
}

bool WheelLoader::readPlacements(const InstalledSets& sets) {
    m_state.clear();
    const bool anyInstalled = std::any_of(m_board.buttons.begin(), m_board.buttons.end(),
                                          [](const ButtonState& b) { return b.enabled; });
    QHash<QString, std::vector<PlacementRow>> rowsOfSet; // set ID -> its first eight rows
    if (anyInstalled) {
        ColumnReader rows(m_db, schema::table::FilterPlacement,
                          {ColumnReader::RowId, schema::field::IdAvailable, schema::field::Position,
                           schema::field::IdPotential});
        bool any = false;
        for (; rows.next(); any = true) {
            std::vector<PlacementRow>& wheel = rowsOfSet[rows.text(1)];
            if (wheel.size() >= size_t(wheels::PositionsPerWheel))
                continue;
            const QString position = rows.text(2);
            wheel.push_back({rows.text(0).toLongLong(), position.isNull() ? QVariant() : QVariant(position),
                             rows.text(3)});
        }
        if ((m_error = rows.error()).isError())
            return false;
        if (!any) { // positioning on the first row of an empty table fails
            m_error = m_db.emptyTableError(schema::table::FilterPlacement);
            return false;
        }
    }
    for (int button = 0; button < buttonCount(); ++button) {
        if (!m_board.buttons[button].enabled) {
            m_state.WheelFilters.emplace_back(std::nullopt);
            m_state.WheelAvailableIds << QString();
            m_state.WheelRows.emplace_back();
            continue;
        }
        const QString& set = sets.setOfButton[button];
        std::vector<PlacementRow> rows = rowsOfSet.value(set);
        QStringList filters;
        for (const PlacementRow& row : rows)
            filters << row.filter;
        m_state.WheelFilters.emplace_back(filters);
        m_state.WheelAvailableIds << set;
        m_state.WheelRows.push_back(std::move(rows));
    }
    return true;
}

bool WheelLoader::readFavourites() {
    m_hasFavouriteTable = m_db.hasTable(schema::table::FavouriteFilters);
    if (!m_hasFavouriteTable)
        return true;
    ColumnReader rows(m_db, schema::table::FavouriteFilters,
                      {schema::field::IdPotential, schema::field::Type});
    while (rows.next()) {
        const int known = rows.indexIn(1, knownTypesUtf8());
        addFavourite(rows.utf8(0), known >= 0 ? knownTypeGroups()[size_t(known)] : std::nullopt);
    }
    m_error = rows.error();
    return !m_error.isError();
}

bool WheelLoader::readCatalogue() {
    m_needed.add(schema::NoFilter.toUtf8());
    for (const auto& filters : m_state.WheelFilters)
        for (const QString& name : filters.value_or(QStringList()))
            m_needed.add(name.toUtf8());
    if (!m_options.serviceMode)
        for (int favourite = 0; favourite < m_favouriteIds.size(); ++favourite)
            m_needed.add(m_favouriteIds.utf8At(favourite));
    for (CandidateList& group : m_catalogueCandidates)
        group.append(schema::NoFilter, QString());

    // A large catalogue is walked in two halves at once; the first half's candidates go straight
    // into the lists, the second's are joined after them, and a name's first row is the first
    // half's where both have one.
    CataloguePart parts[2];
    const int read = ColumnReader::readInParts(
        m_db, schema::table::PotentialFilters,
        {schema::field::IdPotential, schema::field::Type, schema::field::CodeNo},
        [this, &parts](ColumnReader& rows, int part) {
            walkCatalogue(rows, parts[part], part == 0 ? m_catalogueCandidates : parts[part].candidates);
        },
        &m_error);
    if (read == 0)
        return false;
    for (CandidateList& group : m_catalogueCandidates) {
        const CandidateList& second = parts[1].candidates[size_t(&group - m_catalogueCandidates.data())];
        group.CandidateIds.appendList(second.CandidateIds);
        group.CandidateCodes.appendList(second.CandidateCodes);
    }
    for (const CataloguePart& part : parts) {
        m_catalogueEmpty = m_catalogueEmpty && part.empty;
        for (const CataloguePart::Found& found : part.found)
            if (!m_needed.isFound(found.entry))
                m_needed.setFound(found.entry, found.type, found.code, found.textName);
    }
    return true;
}

// One half of the catalogue (or all of it): in service mode every row joins its type's group; a
// user load reads a row's type and code only when it needs the row.
void WheelLoader::walkCatalogue(ColumnReader& rows, CataloguePart& part, Candidates& candidates) const {
    std::vector<bool> seen(size_t(m_needed.size()));
    const bool listed = m_options.serviceMode && m_options.candidates;
    while (rows.next()) {
        part.empty = false;
        const bool textName = rows.isText(0); // asked first: reading the bytes makes a blob a text
        const QByteArrayView name = rows.utf8(0);
        const int entry = m_needed.find(name);
        const bool needed = entry >= 0 && !seen[size_t(entry)];
        if (!listed && !needed)
            continue;
        const int known = rows.indexIn(1, knownTypesUtf8());
        if (listed && known >= 0)
            if (const auto group = knownTypeGroups()[size_t(known)]) {
                CandidateList& list = candidatesOf(candidates, *group);
                list.CandidateIds.appendUtf8(name);
                list.CandidateCodes.appendUtf8(rows.utf8(2));
            }
        if (needed) {
            seen[size_t(entry)] = true;
            part.found.push_back({entry, known >= 0 ? knownTypes()[known] : rows.text(1),
                                  rows.utf8(2).toByteArray(), textName});
        }
    }
}

bool WheelLoader::findTypes(LoadResult* result) {
    for (const auto& filters : m_state.WheelFilters) {
        if (!filters) {
            m_state.WheelTypes.emplace_back(std::nullopt);
            continue;
        }
        QStringList types;
        for (const QString& name : *filters) {
            const std::optional<QString> type = m_needed.typeOf(name.toUtf8());
            if (!type) {
                // The FCS unit's loader walks past the catalogue's end and stops without a word.
                *result =
                    fcsUnit()
                        ? LoadResult::stopped(Result::make(dberr::QueryFailed, missingFilterMessage(name)))
                        : LoadResult::fatal(missingFilterMessage(name));
                return false;
            }
            types << *type;
        }
        m_state.WheelTypes.emplace_back(types);
    }
    return true;
}

// Kept only where they are what a look-up of the catalogue by name gives: each placed filter's first
// row holds its name as a text, and the names compare as bytes. Otherwise none are kept, and an
// export looks the codes up itself.
void WheelLoader::keepPlacedCodes() {
    if (!catalogue::namesCompareAsBytes(m_db))
        return;
    QHash<QString, QString> codes;
    for (const auto& filters : m_state.WheelFilters)
        for (const QString& name : filters.value_or(QStringList())) {
            const QByteArray utf8 = name.toUtf8();
            const auto code = m_needed.codeOf(utf8);
            if (name.isEmpty())
                continue;
            if (!code || !m_needed.foundAsText(utf8))
                return;
            codes.insert(name, QString::fromUtf8(*code));
        }
    m_placedCodes = std::move(codes);
}

// Another program's trigger on the installation's tables refuses every write (the write gate says
// so at the user's first Store); the load completes the list in memory then, so that the program
// still starts.
bool WheelLoader::writesFavourites() const {
    std::vector<gate::Trigger> triggers;
    return m_options.writeFavourites && !gate::foreignTriggers(m_db, &triggers).isError() && triggers.empty();
}

bool WheelLoader::completeFavourites() {
    const bool writes = writesFavourites();
    // A view or virtual table of the list's name is not a list the load may create or read.
    if (!m_hasFavouriteTable && !m_db.tableKind(schema::table::FavouriteFilters).isEmpty())
        return m_db.requireTable(schema::table::FavouriteFilters, &m_error);
    if (!m_hasFavouriteTable) {
        if (writes) {
            Transaction create(m_db, &m_error);
            if (!create.isActive() ||
                !m_db.createTable(schema::table::FavouriteFilters,
                                  {schema::field::IdPotential, schema::field::Type}, &m_error) ||
                !m_db.exec(QStringLiteral("INSERT INTO %1 VALUES (?, ?)")
                               .arg(sqlName(schema::table::FavouriteFilters)),
                           {schema::NoFilter, QStringLiteral(" ")}, &m_error) ||
                !create.commit(&m_error))
                return false;
        }
        addFavourite(schema::NoFilter.toUtf8(), std::nullopt);
    }
    std::vector<std::pair<QString, QString>> missing;
    if (!missingFavourites(&missing))
        return false;
    m_favouritesWithheld = !m_options.writeFavourites && (!m_hasFavouriteTable || !missing.empty());
    // A write, and so the write lock, only when a placed filter is missing: a complete list on a
    // file that cannot be written still loads.
    if (writes && !missing.empty()) {
        auto cursor = m_db.openTable(schema::table::FavouriteFilters, &m_error);
        if (!cursor)
            return false;
        Transaction transaction(m_db, &m_error);
        if (!transaction.isActive())
            return false;
        for (const auto& [name, type] : missing)
            if (!cursor->addRow({{schema::field::IdPotential, name},
                                 {schema::field::Type, type.isNull() ? QVariant() : QVariant(type)}},
                                &m_error))
                return false;
        cursor.reset();
        if (!transaction.commit(&m_error))
            return false;
    }
    for (const auto& [name, type] : missing)
        addFavourite(name.toUtf8(), wheels::groupOfType(type));
    return true;
}

bool WheelLoader::missingFavourites(std::vector<std::pair<QString, QString>>* missing) {
    TextIndex names = favouriteNames();
    for (size_t wheel = 0; wheel < m_state.WheelFilters.size(); ++wheel) {
        if (!m_state.WheelFilters[wheel])
            continue;
        const QStringList& filters = *m_state.WheelFilters[wheel];
        for (int slot = 0; slot < filters.size(); ++slot) {
            if (m_favouriteIds.isEmpty()) { // a search of an empty table fails
                m_error = m_db.emptyTableError(schema::table::FavouriteFilters);
                return false;
            }
            const QByteArray name = filters[slot].toUtf8();
            if (names.find(name) >= 0)
                continue;
            missing->emplace_back(filters[slot], m_state.WheelTypes[wheel]->at(slot));
            names.insert(name);
        }
    }
    return true;
}

TextIndex WheelLoader::favouriteNames() const {
    TextIndex names;
    for (int favourite = 0; favourite < m_favouriteIds.size(); ++favourite)
        names.insert(m_favouriteIds.utf8At(favourite));
    return names;
}

bool WheelLoader::buildCandidates() {
    for (CandidateList& group : m_candidates) {
        group = CandidateList();
        group.append(schema::NoFilter, QString());
    }
    if (m_options.serviceMode ? m_catalogueEmpty : m_favouriteIds.isEmpty()) {
        m_error = m_db.emptyTableError(m_options.serviceMode ? schema::table::PotentialFilters
                                                             : schema::table::FavouriteFilters);
        return false;
    }
    if (m_options.serviceMode) {
        m_candidates = std::move(m_catalogueCandidates);
        return true;
    }
    for (int favourite = 0; favourite < m_favouriteIds.size(); ++favourite)
        if (const auto group = m_favouriteGroups[size_t(favourite)])
            candidatesOf(m_candidates, *group).CandidateIds.appendUtf8(m_favouriteIds.utf8At(favourite));
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
        for (int entry = 0; entry < group.CandidateIds.size(); ++entry) {
            const std::optional<QByteArrayView> code = m_needed.codeOf(group.CandidateIds.utf8At(entry));
            if (!code)
                break;
            group.CandidateCodes.appendUtf8(*code);
        }
    }
    return true;
}

} // namespace

QString missingFilterMessage(const QString& name) {
    return QStringLiteral("Error in table 'Potential Filters' ! No ") + name + QStringLiteral(" - Filter !");
}

LoadResult loadAllWheels(Database& db, const LoadOptions& options, Installation& installation) {
    return WheelLoader(WheelLoader::Kind::AllWheels, db, options, installation).run();
}

LoadResult loadFcsWheels(Database& db, const LoadOptions& options, Installation& installation) {
    return WheelLoader(WheelLoader::Kind::FcsUnit, db, options, installation).run();
}
