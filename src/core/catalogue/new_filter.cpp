#include "core/catalogue/new_filter.h"

#include "core/db/column_reader.h"
#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"

#include <QRegularExpression>
#include <cmath>

namespace catalogue {

namespace {

using Entry = PendingFilterEntry;

const std::array<QString, Entry::FieldCount> CatalogueFields{
    schema::field::IdPotential,     schema::field::CodeNo,           schema::field::Summary,
    schema::field::LowerWavelength, schema::field::CenterWavelength, schema::field::UpperWavelength,
    schema::field::OpaqueFor,       schema::field::Producer,         schema::field::Type};

// A filled value of the form as a number check: empty, not positive, or not a number.
std::optional<QString> checkPositive(const QString& text, const QString& emptyMessage,
                                     const QString& notPositive) {
    if (text.isEmpty())
        return emptyMessage;
    QString failure;
    const auto value = parseWavelength(text, &failure);
    if (!value)
        return QStringLiteral("Wavelength or Opaque value:   ") + failure;
    if (*value <= 0)
        return notPositive;
    return std::nullopt;
}

std::optional<QString> checkBand(const FilterForm& form) {
    const std::array<std::tuple<const QString*, const char*, const char*>, 3> fields{{
        {&form.lower, "No Lower Wavelength !", "No correct value for Lower Wavelength !"},
        {&form.center, "No Center Wavelength !", "No correct value for Center Wavelength !"},
        {&form.upper, "No Upper Wavelength !", "No correct value for Upper Wavelength !"},
    }};
    for (const auto& [text, empty, notPositive] : fields)
        if (auto message = checkPositive(*text, QString::fromLatin1(empty), QString::fromLatin1(notPositive)))
            return message;
    QString ignored;
    const qint32 lower = *parseWavelength(form.lower, &ignored);
    const qint32 center = *parseWavelength(form.center, &ignored);
    const qint32 upper = *parseWavelength(form.upper, &ignored);
    if (lower > center)
        return QStringLiteral("Lower Wavelength greater then Center Wavelength !");
    if (center > upper)
        return QStringLiteral("Center Wavelength greater then Upper Wavelength !");
    return std::nullopt;
}

std::optional<QString> checkValues(const FilterForm& form) {
    using namespace schema::type;
    if (form.type == BandPass)
        return checkBand(form);
    if (form.type == LongPass || form.type == ShortPass || form.type == NotchSplitter)
        return checkPositive(form.cutOff, QStringLiteral("No Cut Off Wavelength !"),
                             QStringLiteral("No correct value for Cut Off Wavelength !"));
    if (form.type == MainSplitter || form.type == SecondarySplitter)
        return checkPositive(form.opaque, QStringLiteral("No value for Opaque for !"),
                             QStringLiteral("No correct value for Opaque !"));
    // Other types ("NF", the cubes' empty type) check nothing further.
    return std::nullopt;
}

// A catalogue that cannot be read refuses the entry with the reason: it may hold the name.
std::optional<QString> checkCatalogue(const Database& db, const FilterForm& form, Result* error) {
    Result failure;
    db.requireTable(schema::table::PotentialFilters, &failure);
    // The first row, in row order, that holds any of the three decides; the engine finds it (a Null
    // field equals nothing).
    const QString id = sqlName(schema::field::IdPotential);
    const QString code = sqlName(schema::field::CodeNo);
    const QString summary = sqlName(schema::field::Summary);
    auto cursor =
        failure.isError()
            ? nullptr
            : db.openQuery(QStringLiteral("SELECT %1 = ?, %2 = ?, %3 = ? FROM %4 WHERE %1 = ? OR %2 = ? OR "
                                          "%3 = ? ORDER BY rowid LIMIT 1")
                               .arg(id, code, summary, sqlName(schema::table::PotentialFilters)),
                           {form.name, form.code, form.summary, form.name, form.code, form.summary},
                           &failure);
    if (!cursor) {
        if (error)
            *error = failure;
        return failure.description;
    }
    if (cursor->atEnd())
        return std::nullopt;
    if (cursor->valueAt(0).toInt() == 1)
        return QStringLiteral("No new Filter Name !");
    if (cursor->valueAt(1).toInt() == 1)
        return QStringLiteral("No new Series Number !");
    return QStringLiteral("No new Summary !");
}

// The catalogue keeps wavelengths as numbers; a text that is none (an "NF" band is not checked)
// is stored as Null rather than as text in a number field.
QVariant numberOrNull(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? QVariant(value) : QVariant();
}

QString numberText(const QVariant& value) {
    if (value.isNull())
        return QString();
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok ? QString::number(number, 'g', 15) : value.toString();
}

} // namespace

QStringList offeredTypes(int mode, int wheel) {
    using namespace schema::type;
    if (wheels::modeAt(mode) == wheels::Mode::EmissionFilters)
        return wheel == wheels::NotchWheel ? QStringList{Notch} : QStringList{BandPass, LongPass, ShortPass};
    if (wheels::modeAt(mode) == wheels::Mode::BeamSplitters)
        return wheel == wheels::MainSplitter || wheel == wheels::MbsChanger
                   ? QStringList{MainSplitter, SecondarySplitter}
                   : QStringList{NotchSplitter};
    return {};
}

FieldSet fieldSetOf(int mode, const QString& type) {
    using namespace schema::type;
    using S = FieldState;
    const bool emission = wheels::modeAt(mode) == wheels::Mode::EmissionFilters;
    const bool splitters = wheels::modeAt(mode) == wheels::Mode::BeamSplitters;
    if (emission && (type == BandPass || type == Notch))
        return {S::Enable, S::Clear, S::Keep};
    if (emission && (type == LongPass || type == ShortPass))
        return {S::Clear, S::Enable, S::Keep};
    if (splitters && (type == MainSplitter || type == SecondarySplitter))
        return {S::Keep, S::Disable, S::Enable};
    if (splitters && type == NotchSplitter)
        return {S::Keep, S::Enable, S::Disable};
    return {};
}

std::optional<qint32> parseWavelength(const QString& text, QString* failure) {
    static const QRegularExpression number(QStringLiteral("^\\s*[+-]?(\\d+(\\.\\d*)?|\\.\\d+)\\s*$"));
    if (!number.match(text).hasMatch()) {
        *failure = QStringLiteral("Type mismatch");
        return std::nullopt;
    }
    const double value = std::round(text.trimmed().toDouble());
    if (value > std::numeric_limits<qint32>::max() || value < std::numeric_limits<qint32>::min()) {
        *failure = QStringLiteral("Overflow");
        return std::nullopt;
    }
    return static_cast<qint32>(value);
}

std::optional<QString> ValidateNewFilter(const Database& db, const FilterForm& form,
                                         const std::vector<ListItem>& list,
                                         const std::vector<PendingFilterEntry>& pending, Result* error) {
    if (form.name.isEmpty())
        return QStringLiteral("No Filter Name !");
    if (form.code.isEmpty())
        return QStringLiteral("No Series Number !");
    if (form.summary.isEmpty())
        return QStringLiteral("No Summary !");
    if (auto message = checkCatalogue(db, form, error))
        return message;
    for (const ListItem& item : list) {
        if (item.name == form.name)
            return QStringLiteral("No new Filter Name !");
        if (item.summary == form.summary)
            return QStringLiteral("No new Summary !");
    }
    for (const PendingFilterEntry& entry : pending)
        if (entry[Entry::Code] == form.code)
            return QStringLiteral("No new Series Number !");
    return checkValues(form);
}

PendingFilterEntry buildPendingEntry(const FilterForm& form, int selectedCubeWheel) {
    using namespace schema::type;
    Entry entry;
    entry.values = {form.name,  form.code,   form.summary,  form.lower, form.center,
                    form.upper, form.opaque, form.producer, form.type};
    if (form.type.isEmpty()) {
        // The second turret's type is left empty, as the rule has it.
        const bool cube = selectedCubeWheel >= 0 && selectedCubeWheel < wheels::ButtonCount &&
                          wheels::modeOfWheel(selectedCubeWheel) == wheels::Mode::FilterCubes;
        if (selectedCubeWheel == wheels::Fw1Wheel)
            entry[Entry::Type] = schema::type::Fw1;
        else if (cube && wheels::groupOfWheel(selectedCubeWheel) == wheels::Group::Fw3Candidates)
            entry[Entry::Type] = schema::type::Fw3;
    }
    // Long and short pass filters are kept as the band their cut-off leaves open.
    if (form.type == LongPass) {
        entry[Entry::Lower] = form.cutOff;
        entry[Entry::Upper] = QStringLiteral("1000");
    } else if (form.type == ShortPass) {
        entry[Entry::Lower] = QStringLiteral("200");
        entry[Entry::Upper] = form.cutOff;
    } else if (form.type == NotchSplitter) {
        entry[Entry::Opaque] = form.cutOff;
    }
    return entry;
}

bool storePendingFilters(Database& db, const std::vector<PendingFilterEntry>& entries, Result* error) {
    Transaction transaction(db, error);
    if (!transaction.isActive())
        return false;
    auto cursor = db.openTable(schema::table::PotentialFilters, error);
    if (!cursor)
        return false;
    for (const Entry& entry : entries) {
        FieldValues values;
        for (int field = 0; field < Entry::FieldCount; ++field) {
            const bool number = field >= Entry::Lower && field <= Entry::Opaque;
            if (number && entry.values[field].isEmpty())
                continue;
            values.append(
                {CatalogueFields[field], number ? numberOrNull(entry.values[field]) : entry.values[field]});
        }
        values.append({schema::field::CustomerAdded, true});
        if (!cursor->addRow(values, error))
            return false;
    }
    cursor.reset();
    return transaction.commit(error);
}

bool ensureCustomerAddedField(Database& db, Result* error) {
    const QStringList fields = db.fieldNames(schema::table::PotentialFilters);
    if (fields.contains(schema::field::CustomerAdded, Qt::CaseInsensitive))
        return true;
    Transaction transaction(db, error);
    if (!transaction.isActive())
        return false;
    if (!db.addField(schema::table::PotentialFilters, schema::field::CustomerAdded,
                     Database::FieldType::YesNo, error))
        return false;
    if (!fields.contains(schema::field::Producer, Qt::CaseInsensitive) &&
        !db.addField(schema::table::PotentialFilters, schema::field::Producer, Database::FieldType::Text,
                     error))
        return false;
    return transaction.commit(error);
}

std::optional<std::vector<ListItem>> customerAddedItems(const Database& db, Result* error) {
    // The engine keeps the rows marked as a yes/no value reads: anything but Null, 0, "" and "false".
    // A large catalogue is read in two halves at once.
    const QString added = sqlName(schema::field::CustomerAdded);
    std::vector<ListItem> parts[2];
    const int read = ColumnReader::readInParts(
        db, schema::table::PotentialFilters, {schema::field::IdPotential, schema::field::Summary},
        [&parts](ColumnReader& rows, int part) {
            while (rows.next())
                parts[part].push_back({rows.text(0), rows.text(1)});
        },
        error,
        QStringLiteral("%1 IS NOT NULL AND %1 NOT IN (0, '', '0') AND lower(%1) <> 'false'").arg(added));
    if (read == 0)
        return std::nullopt;
    parts[0].insert(parts[0].end(), parts[1].begin(), parts[1].end());
    return std::move(parts[0]);
}

std::optional<PendingFilterEntry> catalogueEntry(const Database& db, const QString& name, Result* error) {
    auto cursor =
        db.openQuery(QStringLiteral("SELECT * FROM %1 WHERE %2 = ? ORDER BY rowid LIMIT 1")
                         .arg(sqlName(schema::table::PotentialFilters), sqlName(schema::field::IdPotential)),
                     {name}, error);
    if (!cursor || cursor->atEnd())
        return std::nullopt;
    Entry entry;
    for (int field = 0; field < Entry::FieldCount; ++field) {
        const bool number = field >= Entry::Lower && field <= Entry::Opaque;
        const QVariant value = cursor->value(CatalogueFields[field]);
        entry.values[field] = number ? numberText(value) : value.toString();
    }
    if (cursor->error().isError()) {
        if (error)
            *error = cursor->error();
        return std::nullopt;
    }
    return entry;
}

} // namespace catalogue
