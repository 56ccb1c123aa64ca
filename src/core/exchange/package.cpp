#include "core/exchange/package.h"

#include "core/exchange/workbook.h"

#include "core/db/column_reader.h"
#include "core/db/cursor.h"
#include "core/db/database.h"
#include "core/db/schema.h"
#include "core/placement/wheels.h"

#include <QHash>
#include <QSet>

namespace {
constexpr int UpperHeaderRow = 1;
constexpr int LowerHeaderRow = 11;
constexpr int PrefixLength = 3;
} // namespace

Package readPackage(Workbook& workbook, int sheet) {
    Package package;
    for (int column : {1, 3, 5, 7})
        package.wheelIds << workbook.cellText(sheet, UpperHeaderRow, column);
    for (int column : {9, 11}) {
        const QString id = workbook.cellText(sheet, UpperHeaderRow, column);
        if (!id.isEmpty()) {
            package.wheelIds << id;
            ++package.upperExtraWheels;
        }
    }
    for (int column : {1, 3, 5, 7})
        package.wheelIds << workbook.cellText(sheet, LowerHeaderRow, column);
    for (int column : {9, 11, 13}) {
        const QString id = workbook.cellText(sheet, LowerHeaderRow, column);
        if (!id.isEmpty())
            package.wheelIds << id;
    }
    return package;
}

PackageWheel readPackageWheel(Workbook& workbook, int sheet, const Package& package, int k) {
    PackageWheel wheel;
    const int upperCount = 4 + package.upperExtraWheels;
    wheel.upper = k < upperCount;
    const int column = 2 * (wheel.upper ? k : k - upperCount) + 1;
    const int firstRow = wheel.upper ? UpperHeaderRow + 1 : LowerHeaderRow + 1;
    for (int p = 0; p < wheels::PositionsPerWheel; ++p) {
        const QString cell = workbook.cellText(sheet, firstRow + p, column);
        // The prefix is a position mark that is not interpreted.
        wheel.filters << (cell.size() <= PrefixLength ? QString() : cell.mid(PrefixLength));
    }
    return wheel;
}

QHash<QString, QStringList> catalogueValues(const Database& db, const QStringList& names,
                                            const QStringList& fields) {
    QSet<QString> wantedSet;
    for (const QString& name : names)
        if (!name.isEmpty())
            wantedSet.insert(name);
    const QStringList wanted(wantedSet.begin(), wantedSet.end());
    QHash<QString, QStringList> values;
    if (wanted.isEmpty())
        return values;
    QStringList marks;
    for (int i = 0; i < wanted.size(); ++i)
        marks << QStringLiteral("?");
    // A field the catalogue lacks reads as empty, as a Null one does.
    const QStringList present = db.fieldNames(schema::table::PotentialFilters);
    QStringList asked{schema::field::IdPotential};
    std::vector<int> column; // for each field wanted, its column in the read, or 0
    for (const QString& field : fields) {
        column.push_back(present.contains(field, Qt::CaseInsensitive) ? int(asked.size()) : 0);
        if (column.back())
            asked << field;
    }
    // The engine picks the rows of these names, in two halves at once for a large catalogue; the
    // first row of each name counts.
    std::vector<std::pair<QString, QStringList>> parts[2];
    ColumnReader::readInParts(
        db, schema::table::PotentialFilters, asked,
        [&parts, &column](ColumnReader& rows, int part) {
            while (rows.next()) {
                QStringList row;
                for (int at : column)
                    row << (at ? rows.text(at) : QString());
                parts[part].emplace_back(rows.text(0), row);
            }
        },
        nullptr,
        QStringLiteral("%1 IN (%2)").arg(sqlName(schema::field::IdPotential), marks.join(QLatin1Char(','))),
        wanted);
    for (const auto& part : parts)
        for (const auto& [id, row] : part)
            if (!values.contains(id))
                values.insert(id, row);
    return values;
}

QStringList codeNumbers(const Database& db, const QStringList& names) {
    const QHash<QString, QStringList> codes = catalogueValues(db, names, {schema::field::CodeNo});
    QStringList result;
    for (const QString& name : names)
        result << codes.value(name).value(0);
    return result;
}
