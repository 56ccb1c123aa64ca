#include "core/inspect/placement_export.h"

#include "core/db/schema.h"
#include "core/exchange/package.h"
#include "core/exchange/store.h"
#include "core/exchange/xlsx_writer.h"
#include "core/vocabulary/vocabulary.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamWriter>
#include <algorithm>

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

std::vector<ExportedWheel> exportedWheels(const Database& db, const Installation& installation,
                                          bool withCodes) {
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
    if (!withCodes)
        return exported;
    // The codes the load kept, when it kept every one; otherwise one walk of the catalogue.
    const QHash<QString, QString>& kept = installation.placedCodes;
    const bool allKept = !kept.isEmpty() && std::all_of(names.begin(), names.end(), [&](const QString& name) {
        return name.isEmpty() || kept.contains(name);
    });
    QStringList codes;
    if (!allKept)
        codes = codeNumbers(db, names);
    else
        for (const QString& name : names)
            codes << kept.value(name);
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

std::optional<QString> microManagerName(const QString& name, const QString& replacement) {
    static const QRegularExpression forbidden(QStringLiteral("[,\\r\\n]"));
    if (!name.contains(forbidden))
        return name;
    if (replacement.isEmpty())
        return std::nullopt;
    return QString(name).replace(forbidden, replacement);
}

QStringList microManagerDeviceClashes(const std::vector<ExportedWheel>& wheels,
                                      const QHash<QString, QString>& deviceNames) {
    QHash<QString, QString> owner;
    QStringList clashes;
    for (const ExportedWheel& wheel : wheels) {
        const QString device = deviceNames.value(wheel.availableId, wheel.availableId);
        if (owner.contains(device))
            clashes << QStringLiteral("the device '%1' for %2 and %3")
                           .arg(vocabulary::visible(device), owner.value(device), wheel.availableId);
        else
            owner.insert(device, wheel.availableId);
    }
    return clashes;
}

QString microManagerLabels(const std::vector<ExportedWheel>& wheels,
                           const QHash<QString, QString>& deviceNames, const QString& replacement,
                           QStringList* refused) {
    QString text;
    for (const ExportedWheel& wheel : wheels) {
        const QString named = deviceNames.value(wheel.availableId, wheel.availableId);
        const std::optional<QString> device = microManagerName(named, replacement);
        if (!device)
            *refused << QStringLiteral("the device name '%1'").arg(named);
        QSet<QString> used; // one position per label, as the reader keeps it
        for (int r = 0; r < wheel.filters.size(); ++r) {
            const auto number = wheel.positionNumber(r);
            if (!number)
                continue;
            const QString& filter = wheel.filters[r];
            std::optional<QString> label =
                filter.isEmpty() ? QStringLiteral("(empty)") : microManagerName(filter, replacement);
            if (!label) {
                *refused << QStringLiteral("'%1' (%2 %3)").arg(filter, wheel.availableId).arg(*number);
                continue;
            }
            for (QString unique = *label; used.contains(unique);)
                unique = *label = QStringLiteral("%1 (%2)").arg(unique).arg(*number);
            used.insert(*label);
            if (device)
                text += QStringLiteral("Label,%1,%2,%3\n").arg(*device).arg(*number - 1).arg(*label);
        }
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

namespace {
bool hasControlCharacter(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}
} // namespace

bool writePackageWorkbook(const QString& path, const QString& sheetName,
                          const std::vector<ExportedWheel>& wheels, QStringList* leftOut, Result* error) {
    SheetCells cells;
    QStringList uncarried;
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
            if (const auto number = wheel.positionNumber(r)) {
                cells.insert({header + *number, column}, PositionPrefix.arg(*number) + wheel.filters[r]);
                if (hasControlCharacter(wheel.filters[r]))
                    uncarried << QStringLiteral("'%1' (%2 %3)")
                                     .arg(vocabulary::visible(wheel.filters[r]), wheel.availableId)
                                     .arg(*number);
            }
    }
    // A workbook's text cannot carry a line break or control character as it stands in the
    // database: the package would not apply back to the same filters.
    if (!uncarried.isEmpty())
        return fail(
            error, dberr::Refused,
            QStringLiteral("A package cannot carry a control character or line break of a filter's name: "
                           "%1. Nothing was written.")
                .arg(uncarried.join(QStringLiteral(", "))));
    return writeXlsx(path, sheetName, cells, error);
}

namespace {

// The OME filter type of a catalogue "Type".
QString omeFilterType(const QString& type) {
    using namespace schema::type;
    if (type == BandPass)
        return QStringLiteral("BandPass");
    if (type == LongPass)
        return QStringLiteral("LongPass");
    if (type == ShortPass)
        return QStringLiteral("ShortPass");
    if (type == MainSplitter || type == SecondarySplitter || type == NotchSplitter)
        return QStringLiteral("Dichroic");
    return QStringLiteral("Other"); // a notch filter has no type of its own in the schema
}

bool isCube(const QString& type) {
    return type == schema::type::Fw1 || type == schema::type::Fw2 || type == schema::type::Fw3;
}

// A wavelength the schema takes (a positive number), or nothing.
QString positiveNumber(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && value > 0 ? QString::number(value, 'g', 15) : QString();
}

} // namespace

QByteArray omeInstrument(const Database& db, const QString& stand, const std::vector<ExportedWheel>& wheels) {
    using namespace schema::field;
    QStringList names;
    for (const ExportedWheel& wheel : wheels)
        names << wheel.filters;
    const QStringList fields{Type, LowerWavelength, UpperWavelength, Producer};
    const QHash<QString, QStringList> catalogue = catalogueValues(db, names, fields);
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeDefaultNamespace(QStringLiteral("http://www.openmicroscopy.org/Schemas/OME/2016-06"));
    writer.writeNamespace(QStringLiteral("http://www.w3.org/2001/XMLSchema-instance"), QStringLiteral("xsi"));
    writer.writeStartElement(QStringLiteral("OME"));
    writer.writeAttribute(QStringLiteral("http://www.w3.org/2001/XMLSchema-instance"),
                          QStringLiteral("schemaLocation"),
                          QStringLiteral("http://www.openmicroscopy.org/Schemas/OME/2016-06 "
                                         "http://www.openmicroscopy.org/Schemas/OME/2016-06/ome.xsd"));
    writer.writeStartElement(QStringLiteral("Instrument"));
    writer.writeAttribute(QStringLiteral("ID"), QStringLiteral("Instrument:0"));
    writer.writeEmptyElement(QStringLiteral("Microscope"));
    writer.writeAttribute(QStringLiteral("Model"), stand);
    // The schema wants the filter sets before the filters.
    int sets = 0;
    for (const ExportedWheel& wheel : wheels)
        for (const QString& filter : wheel.filters)
            if (isCube(catalogue.value(filter).value(0))) {
                writer.writeEmptyElement(QStringLiteral("FilterSet"));
                writer.writeAttribute(QStringLiteral("ID"), QStringLiteral("FilterSet:%1").arg(sets++));
                if (const QString producer = catalogue.value(filter).value(3); !producer.isEmpty())
                    writer.writeAttribute(QStringLiteral("Manufacturer"), producer);
                writer.writeAttribute(QStringLiteral("Model"), filter);
            }
    int filters = 0;
    for (const ExportedWheel& wheel : wheels)
        for (int r = 0; r < wheel.filters.size(); ++r) {
            const QString& filter = wheel.filters[r];
            const QStringList values = catalogue.value(filter);
            if (filter == schema::NoFilter || isCube(values.value(0)))
                continue;
            writer.writeStartElement(QStringLiteral("Filter"));
            writer.writeAttribute(QStringLiteral("ID"), QStringLiteral("Filter:%1").arg(filters++));
            if (!values.value(3).isEmpty())
                writer.writeAttribute(QStringLiteral("Manufacturer"), values.value(3));
            writer.writeAttribute(QStringLiteral("Model"), filter);
            writer.writeAttribute(QStringLiteral("Type"), omeFilterType(values.value(0)));
            writer.writeAttribute(
                QStringLiteral("FilterWheel"),
                QStringLiteral("%1 position %2").arg(wheel.availableId, wheel.positions.value(r).toString()));
            const QString cutIn = positiveNumber(values.value(1));
            const QString cutOut = positiveNumber(values.value(2));
            if (omeFilterType(values.value(0)) != QLatin1String("Dichroic") &&
                (!cutIn.isEmpty() || !cutOut.isEmpty())) {
                writer.writeEmptyElement(QStringLiteral("TransmittanceRange"));
                if (!cutIn.isEmpty())
                    writer.writeAttribute(QStringLiteral("CutIn"), cutIn);
                if (!cutOut.isEmpty())
                    writer.writeAttribute(QStringLiteral("CutOut"), cutOut);
            }
            writer.writeEndElement();
        }
    writer.writeEndElement(); // Instrument
    writer.writeEndElement(); // OME
    writer.writeEndDocument();
    return xml;
}
