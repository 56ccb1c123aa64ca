// .xlsx workbooks: a zip of XML parts, read with QuaZip and QXmlStreamReader. Every part is
// inflated with a bound, so a hostile file cannot take unbounded memory.

#include "core/exchange/workbook.h"
#include "core/exchange/xls_dump.h"

#include <QHash>
#include <QXmlStreamReader>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

namespace {

using workbook_limits::MaxInflatedSize;
using workbook_limits::MaxPartSize;
// The same bounds as the .xls reader's.
constexpr int MaxRow = XlsDump::MaxRows;
constexpr int MaxColumn = XlsDump::MaxColumns;
// Spreadsheets nest a cell's text a few elements deep; the XML reader keeps a record for every
// open element, so a part nested millions deep would take gigabytes.
constexpr int MaxNesting = 256;

// "AB12" -> row 12, column 28; false for anything else.
bool parseReference(QStringView reference, int* row, int* column) {
    int letters = 0;
    int col = 0;
    while (letters < reference.size() && reference[letters].isLetter() && letters < 3) {
        col = col * 26 + (reference[letters].toUpper().unicode() - 'A' + 1);
        ++letters;
    }
    bool ok = false;
    const int r = reference.mid(letters).toInt(&ok);
    if (letters == 0 || !ok || r < 1 || col < 1)
        return false;
    *row = r;
    *column = col;
    return true;
}

quint64 cellKey(int row, int column) {
    return (quint64(quint32(row)) << 32) | quint32(column);
}

// How deep the part's elements nest, counted on the bytes before any XML is read (comments,
// declarations and processing instructions skipped; a '>' inside an attribute value may miscount
// a well-formed file, never a spreadsheet's own).
int nesting(const QByteArray& xml) {
    int depth = 0;
    int deepest = 0;
    for (qsizetype at = xml.indexOf('<'); at >= 0 && at + 1 < xml.size(); at = xml.indexOf('<', at + 1)) {
        const char next = xml[at + 1];
        const qsizetype end = xml.indexOf('>', at);
        if (end < 0)
            break;
        if (next == '/')
            --depth;
        else if (next != '?' && next != '!' && xml[end - 1] != '/')
            deepest = std::max(deepest, ++depth);
        at = end;
    }
    return deepest;
}

// The text inside the current element and every element nested in it, read in a loop: a file
// nests as deep as it likes without taking the stack (the reader's own recursive reading would).
QString textInside(QXmlStreamReader& xml) {
    QString text;
    for (int depth = 1; depth > 0 && !xml.atEnd();) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::EntityReference:
            text += xml.text();
            break;
        default:
            break;
        }
    }
    return text;
}

// Joins the text of every <t> inside the current element, leaving out phonetic runs.
QString elementText(QXmlStreamReader& xml) {
    QString text;
    const QStringView end = xml.name();
    int phonetic = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("rPh"))
            ++phonetic;
        else if (xml.isEndElement() && xml.name() == QLatin1String("rPh"))
            --phonetic;
        else if (xml.isStartElement() && xml.name() == QLatin1String("t") && phonetic == 0)
            text += textInside(xml);
        else if (xml.isEndElement() && xml.name() == end)
            break;
    }
    return text;
}

class XlsxWorkbook : public Workbook {
public:
    explicit XlsxWorkbook(const QString& path) : m_zip(path) {}

    bool load(QString* reason);
    int sheetCount() const override { return m_sheets.size(); }
    QString sheetName(int sheet) const override {
        return sheet >= 1 && sheet <= m_sheets.size() ? m_sheets[sheet - 1].name : QString();
    }
    bool hasCells(int sheet) override { return parsed(sheet) && !m_sheets[sheet - 1].cells.isEmpty(); }
    QString cellText(int sheet, int row, int column) override {
        return parsed(sheet) ? m_sheets[sheet - 1].cells.value(cellKey(row, column)) : QString();
    }

private:
    struct Sheet {
        QString name;
        QString part;
        bool parsed = false;
        QHash<quint64, QString> cells;
    };

    bool readPart(const QString& name, QByteArray* data, QString* reason);
    bool readSharedStrings(QString* reason);
    bool readSheetList(QString* reason);
    bool parsed(int sheet);
    bool parseSheet(Sheet& sheet, const QByteArray& xml, QString* reason);
    QString cellValue(QXmlStreamReader& xml, const QString& type);

    QuaZip m_zip;
    QList<Sheet> m_sheets;
    QStringList m_sharedStrings;
    qint64 m_inflated = 0;
};

bool XlsxWorkbook::readPart(const QString& name, QByteArray* data, QString* reason) {
    if (!m_zip.setCurrentFile(name, QuaZip::csInsensitive)) {
        *reason = QStringLiteral("the part '%1' is missing; the file is damaged.").arg(name);
        return false;
    }
    QuaZipFile part(&m_zip);
    if (!part.open(QIODevice::ReadOnly)) {
        *reason =
            QStringLiteral("the part '%1' cannot be opened; the file is damaged or encrypted.").arg(name);
        return false;
    }
    data->clear();
    char buffer[64 * 1024];
    while (true) {
        const qint64 read = part.read(buffer, sizeof buffer);
        if (read < 0) {
            *reason = QStringLiteral("the part '%1' is damaged or truncated.").arg(name);
            return false;
        }
        if (read == 0)
            break;
        m_inflated += read;
        if (data->size() + read > MaxPartSize || m_inflated > MaxInflatedSize) {
            *reason = QStringLiteral("its contents are larger than %1 MiB.").arg(MaxPartSize >> 20);
            return false;
        }
        data->append(buffer, int(read));
    }
    part.close();
    if (part.getZipError() != UNZ_OK) {
        *reason = QStringLiteral("the part '%1' is damaged or truncated.").arg(name);
        return false;
    }
    if (nesting(*data) > MaxNesting) {
        *reason = QStringLiteral("its XML is nested deeper than %1 elements.").arg(MaxNesting);
        return false;
    }
    return true;
}

bool XlsxWorkbook::load(QString* reason) {
    if (!m_zip.open(QuaZip::mdUnzip)) {
        *reason = QStringLiteral("the file is damaged or truncated (not a readable zip archive).");
        return false;
    }
    if (!readSharedStrings(reason) || !readSheetList(reason))
        return false;
    // Every sheet is read now, so that one over the limits is refused with the file, not read as empty.
    for (Sheet& sheet : m_sheets) {
        sheet.parsed = true;
        QByteArray data;
        QString why;
        if (sheet.part.isEmpty() || !m_zip.setCurrentFile(sheet.part, QuaZip::csInsensitive))
            continue; // a sheet without a part of its own (a chart) has no cells
        if (!readPart(sheet.part, &data, &why) || !parseSheet(sheet, data, &why)) {
            *reason = QStringLiteral("the sheet '%1' cannot be read: %2").arg(sheet.name, why);
            return false;
        }
    }
    return true;
}

bool XlsxWorkbook::readSharedStrings(QString* reason) {
    if (!m_zip.setCurrentFile(QStringLiteral("xl/sharedStrings.xml"), QuaZip::csInsensitive))
        return true; // a workbook without texts has none
    QByteArray data;
    if (!readPart(QStringLiteral("xl/sharedStrings.xml"), &data, reason))
        return false;
    QXmlStreamReader xml(data);
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("si"))
            m_sharedStrings << elementText(xml);
    return true;
}

bool XlsxWorkbook::readSheetList(QString* reason) {
    QByteArray relations;
    QHash<QString, QString> targets; // relation id -> part
    if (readPart(QStringLiteral("xl/_rels/workbook.xml.rels"), &relations, reason)) {
        QXmlStreamReader xml(relations);
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement &&
                xml.name() == QLatin1String("Relationship")) {
                QString target = xml.attributes().value(QLatin1String("Target")).toString();
                // Targets are relative to xl/ unless absolute.
                target = target.startsWith(QLatin1Char('/')) ? target.mid(1) : QStringLiteral("xl/") + target;
                targets.insert(xml.attributes().value(QLatin1String("Id")).toString(), target);
            }
        }
    }
    QByteArray data;
    if (!readPart(QStringLiteral("xl/workbook.xml"), &data, reason))
        return false;
    QXmlStreamReader xml(data);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("sheet"))
            continue;
        Sheet sheet;
        sheet.name = xml.attributes().value(QLatin1String("name")).toString();
        for (const QXmlStreamAttribute& attribute : xml.attributes())
            if (attribute.name() == QLatin1String("id")) // r:id, whatever the prefix
                sheet.part = targets.value(attribute.value().toString());
        m_sheets << sheet;
    }
    if (xml.hasError() || m_sheets.isEmpty()) {
        *reason = QStringLiteral("it lists no sheets; the file is damaged.");
        return false;
    }
    if (m_sheets.size() > XlsDump::MaxSheets) {
        *reason = QStringLiteral("it has too many sheets (%1; a workbook may have %2).")
                      .arg(m_sheets.size())
                      .arg(XlsDump::MaxSheets);
        return false;
    }
    return true;
}

bool XlsxWorkbook::parsed(int sheet) {
    if (sheet < 1 || sheet > m_sheets.size())
        return false;
    Sheet& wanted = m_sheets[sheet - 1];
    if (!wanted.parsed) {
        wanted.parsed = true;
        QByteArray data;
        QString ignored;
        // A sheet whose part is missing or unreadable shows no cells.
        if (!wanted.part.isEmpty() && readPart(wanted.part, &data, &ignored))
            parseSheet(wanted, data, &ignored);
    }
    return true;
}

QString XlsxWorkbook::cellValue(QXmlStreamReader& xml, const QString& type) {
    QString value;
    bool inline_ = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("v")) {
            value = textInside(xml);
        } else if (xml.isStartElement() && xml.name() == QLatin1String("is")) {
            value = elementText(xml);
            inline_ = true;
        } else if (xml.isEndElement() && xml.name() == QLatin1String("c")) {
            break;
        }
    }
    if (inline_ || type == QLatin1String("str") || type == QLatin1String("e") ||
        type == QLatin1String("inlineStr"))
        return value;
    if (type == QLatin1String("s")) {
        bool ok = false;
        const int index = value.toInt(&ok);
        return ok ? m_sharedStrings.value(index) : QString();
    }
    if (type == QLatin1String("b"))
        return value == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok ? QString::number(number, 'g', 15) : value;
}

bool XlsxWorkbook::parseSheet(Sheet& sheet, const QByteArray& data, QString* reason) {
    QXmlStreamReader xml(data);
    int row = 0;
    int column = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("row")) {
            // Row and cell references are optional: without them, the next row or cell is meant.
            bool ok = false;
            const int r = xml.attributes().value(QLatin1String("r")).toInt(&ok);
            row = ok && r > 0 ? r : row + 1;
            column = 0;
        } else if (xml.name() == QLatin1String("c")) {
            int r = row;
            int c = column + 1;
            if (!parseReference(xml.attributes().value(QLatin1String("r")), &r, &c)) {
                r = qMax(row, 1);
                c = column + 1;
            }
            column = c;
            const QString type = xml.attributes().value(QLatin1String("t")).toString();
            const QString text = cellValue(xml, type);
            // Packages and filter sheets use rows 1 to 19 and columns A to M: far cells are not kept.
            if (text.isEmpty() || r > MaxRow || c > MaxColumn)
                continue;
            if (text.size() > XlsDump::MaxTextLength) {
                *reason =
                    QStringLiteral("the cell in row %1, column %2 holds a text longer than %3 characters, "
                                   "more than Excel allows.")
                        .arg(r)
                        .arg(c)
                        .arg(XlsDump::MaxTextLength);
                return false;
            }
            sheet.cells.insert(cellKey(r, c), text);
        }
    }
    return true;
}

} // namespace

std::unique_ptr<Workbook> openXlsxWorkbook(const QString& path, QString* reason) {
    auto workbook = std::make_unique<XlsxWorkbook>(path);
    if (!workbook->load(reason))
        return nullptr;
    return workbook;
}
