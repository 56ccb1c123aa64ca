#include "core/inspect/placement_export.h"

#include "core/exchange/xlsx_writer.h"
#include "core/inspect/installation_read.h"

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

std::vector<ExportedWheel> exportedWheels(const Database& db, const Installation& installation) {
    const std::vector<QStringList> codes = placedCodes(db, installation);
    std::vector<ExportedWheel> exported;
    for (const Installation::Wheel& wheel : installation.installedWheels())
        exported.push_back({wheel.button, wheel.availableId, wheels::modeOfWheel(wheel.button), wheel.filters,
                            codes[wheel.button]});
    return exported;
}

QString microManagerLabels(const std::vector<ExportedWheel>& wheels,
                           const QHash<QString, QString>& deviceNames) {
    QString text;
    for (const ExportedWheel& wheel : wheels) {
        const QString device = deviceNames.value(wheel.availableId, wheel.availableId);
        for (int p = 0; p < wheel.filters.size(); ++p)
            text += QStringLiteral("Label,%1,%2,%3\n").arg(device).arg(p).arg(wheel.filters[p]);
    }
    return text;
}

QString placementCsv(const std::vector<ExportedWheel>& wheels) {
    QString text = QStringLiteral("Button,ID Available,Position,ID Potential,Veltrano Code No\n");
    for (const ExportedWheel& wheel : wheels)
        for (int p = 0; p < wheel.filters.size(); ++p)
            text += QStringLiteral("%1,%2,%3,%4,%5\n")
                        .arg(wheel.button)
                        .arg(csvField(wheel.availableId))
                        .arg(p + 1)
                        .arg(csvField(wheel.filters[p]), csvField(wheel.codes.value(p)));
    return text;
}

QByteArray placementJson(const std::vector<ExportedWheel>& wheels, const QString& database) {
    QJsonArray list;
    for (const ExportedWheel& wheel : wheels) {
        QJsonArray positions;
        for (int p = 0; p < wheel.filters.size(); ++p)
            positions.append(QJsonObject{{QStringLiteral("position"), p + 1},
                                         {QStringLiteral("filter"), wheel.filters[p]},
                                         {QStringLiteral("code"), wheel.codes.value(p)}});
        list.append(QJsonObject{{QStringLiteral("button"), wheel.button},
                                {QStringLiteral("idAvailable"), wheel.availableId},
                                {QStringLiteral("mode"), int(wheel.mode)},
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
        const bool splitter = wheel.mode == wheels::BeamSplitters;
        const bool emission = wheel.mode == wheels::EmissionFilters;
        int& used = splitter ? upper : lower;
        if ((!splitter && !emission) || used >= (splitter ? UpperWheels : LowerWheels)) {
            *leftOut << wheel.availableId;
            continue;
        }
        const int header = splitter ? UpperHeaderRow : LowerHeaderRow;
        const int column = 2 * used++ + 1;
        cells.insert({header, column}, wheel.availableId);
        for (int p = 0; p < wheel.filters.size(); ++p)
            cells.insert({header + 1 + p, column}, PositionPrefix.arg(p + 1) + wheel.filters[p]);
    }
    return writeXlsx(path, sheetName, cells, error);
}
