#include "core/inspect/placement_export.h"

#include "core/exchange/package.h"
#include "core/exchange/store.h"
#include "core/exchange/xlsx_writer.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1String("\""), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

// The package layout: up to this many wheels a block, each in every other column from A.
constexpr int UpperWheels = 6;
constexpr int LowerWheels = 7;
constexpr int UpperHeaderRow = 1;
constexpr int LowerHeaderRow = 11;
const QString PositionPrefix = QStringLiteral("%1. "); // three characters the reader drops

} // namespace

std::optional<int> ExportedWheel::positionNumber(int r) const {
    for (int number = 1; number <= wheels::PositionsPerWheel; ++number)
        if (matchesPosition(positions.value(r), number)) {
            for (int earlier = 0; earlier < r; ++earlier)
                if (matchesPosition(positions.value(earlier), number))
                    return std::nullopt;
            return number;
        }
    return std::nullopt;
}

std::vector<ExportedWheel> exportedWheels(const Database& db, const Installation& installation) {
    // One look-up of every placed filter's code.
    // What the rows hold as last read or written (a store may have left chosen positions unwritten).
    std::vector<ExportedWheel> exported;
    QStringList names;
    for (const Installation::Wheel& wheel : installation.installedWheels()) {
        ExportedWheel row{wheel.button, wheel.availableId, wheels::modeOfWheel(wheel.button), {}, {}, {}};
        for (const PlacementRow& shown : wheel.rows) {
            row.filters << shown.filter;
            row.positions << shown.position;
        }
        names << row.filters;
        exported.push_back(row);
    }
    const QStringList codes = codeNumbers(db, names);
    int next = 0;
    for (ExportedWheel& wheel : exported) {
        wheel.codes = codes.mid(next, wheel.filters.size());
        next += wheel.filters.size();
    }
    return exported;
}

QStringList rowsWithoutNumber(const std::vector<ExportedWheel>& wheels) {
    QStringList rows;
    for (const ExportedWheel& wheel : wheels)
        for (int r = 0; r < wheel.filters.size(); ++r)
            if (!wheel.positionNumber(r))
                rows << QStringLiteral("%1 row %2 (\"Position\" %3)")
                            .arg(wheel.availableId)
                            .arg(r + 1)
                            .arg(wheel.positions.value(r).isNull() ? QStringLiteral("Null")
                                                                   : wheel.positions.value(r).toString());
    return rows;
}

QString microManagerLabels(const std::vector<ExportedWheel>& wheels,
                           const QHash<QString, QString>& deviceNames) {
    QString text;
    for (const ExportedWheel& wheel : wheels) {
        const QString device = deviceNames.value(wheel.availableId, wheel.availableId);
        for (int r = 0; r < wheel.filters.size(); ++r)
            if (const auto number = wheel.positionNumber(r))
                text += QStringLiteral("Label,%1,%2,%3\n").arg(device).arg(*number - 1).arg(wheel.filters[r]);
    }
    return text;
}

QString placementCsv(const std::vector<ExportedWheel>& wheels) {
    QString text = QStringLiteral("Button,ID Available,Position,ID Potential,Veltrano Code No\n");
    for (const ExportedWheel& wheel : wheels)
        for (int r = 0; r < wheel.filters.size(); ++r)
            text += QStringLiteral("%1,%2,%3,%4,%5\n")
                        .arg(wheel.button)
                        .arg(csvField(wheel.availableId), csvField(wheel.positions.value(r).toString()),
                             csvField(wheel.filters[r]), csvField(wheel.codes.value(r)));
    return text;
}

QByteArray placementJson(const std::vector<ExportedWheel>& wheels, const QString& database) {
    QJsonArray list;
    for (const ExportedWheel& wheel : wheels) {
        QJsonArray positions;
        for (int r = 0; r < wheel.filters.size(); ++r) {
            const auto number = wheel.positionNumber(r);
            const QVariant& stored = wheel.positions.value(r);
            positions.append(QJsonObject{
                {QStringLiteral("position"), number ? QJsonValue(*number) : QJsonValue::fromVariant(stored)},
                {QStringLiteral("filter"), wheel.filters[r]},
                {QStringLiteral("code"), wheel.codes.value(r)}});
        }
        list.append(QJsonObject{{QStringLiteral("button"), wheel.button},
                                {QStringLiteral("idAvailable"), wheel.availableId},
                                {QStringLiteral("mode"), wheels::index(wheel.mode)},
                                {QStringLiteral("positions"), positions}});
    }
    return QJsonDocument(
               QJsonObject{{QStringLiteral("database"), database}, {QStringLiteral("wheels"), list}})
        .toJson();
}

bool writePackageWorkbook(const QString& path, const QString& sheetName,
                          const std::vector<ExportedWheel>& wheels, QStringList* leftOut, QString* error) {
    SheetCells cells;
    int upper = 0;
    int lower = 0;
    for (const ExportedWheel& wheel : wheels) {
        const bool splitter = wheel.mode == wheels::Mode::BeamSplitters;
        const bool emission = wheel.mode == wheels::Mode::EmissionFilters;
        int& used = splitter ? upper : lower;
        if ((!splitter && !emission) || used >= (splitter ? UpperWheels : LowerWheels)) {
            *leftOut << wheel.availableId;
            continue;
        }
        if (wheel.filters.isEmpty()) { // nothing to carry, and a wheel without rows refuses a package
            *leftOut << wheel.availableId + QStringLiteral(" (no rows)");
            continue;
        }
        const int header = splitter ? UpperHeaderRow : LowerHeaderRow;
        const int column = 2 * used++ + 1;
        cells.insert({header, column}, wheel.availableId);
        for (int r = 0; r < wheel.filters.size(); ++r)
            if (const auto number = wheel.positionNumber(r))
                cells.insert({header + *number, column}, PositionPrefix.arg(*number) + wheel.filters[r]);
    }
    return writeXlsx(path, sheetName, cells, error);
}
