#include "core/exchange/xlsx_writer.h"

#include "core/exchange/output_file.h"

#include <QDateTime>
#include <QDir>
#include <QXmlStreamWriter>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

namespace {

QString columnName(int column) {
    QString name;
    for (; column > 0; column = (column - 1) / 26)
        name.prepend(QChar(u'A' + (column - 1) % 26));
    return name;
}

// A SpreadsheetML part whose root element is open.
void startPart(QXmlStreamWriter& w, const QString& root) {
    w.writeStartDocument(QStringLiteral("1.0"), true);
    w.writeStartElement(root);
    w.writeDefaultNamespace(QStringLiteral("http://schemas.openxmlformats.org/spreadsheetml/2006/main"));
}

QByteArray sheetXml(const SheetCells& cells) {
    QByteArray xml;
    QXmlStreamWriter w(&xml);
    startPart(w, QStringLiteral("worksheet"));
    w.writeStartElement(QStringLiteral("sheetData"));
    int row = 0;
    for (auto cell = cells.constBegin(); cell != cells.constEnd(); ++cell) {
        if (cell.key().first != row) {
            if (row)
                w.writeEndElement();
            row = cell.key().first;
            w.writeStartElement(QStringLiteral("row"));
            w.writeAttribute(QStringLiteral("r"), QString::number(row));
        }
        w.writeStartElement(QStringLiteral("c"));
        w.writeAttribute(QStringLiteral("r"), columnName(cell.key().second) + QString::number(row));
        w.writeAttribute(QStringLiteral("t"), QStringLiteral("inlineStr"));
        w.writeStartElement(QStringLiteral("is"));
        w.writeStartElement(QStringLiteral("t"));
        w.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
        w.writeCharacters(cell.value());
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();
    }
    if (row)
        w.writeEndElement();
    w.writeEndDocument();
    return xml;
}

QByteArray workbookXml(const QString& sheetName) {
    QByteArray xml;
    QXmlStreamWriter w(&xml);
    startPart(w, QStringLiteral("workbook"));
    w.writeNamespace(QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships"),
                     QStringLiteral("r"));
    w.writeStartElement(QStringLiteral("sheets"));
    w.writeStartElement(QStringLiteral("sheet"));
    w.writeAttribute(QStringLiteral("name"), sheetName.left(31));
    w.writeAttribute(QStringLiteral("sheetId"), QStringLiteral("1"));
    w.writeAttribute(QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships"),
                     QStringLiteral("id"), QStringLiteral("rId1"));
    w.writeEndDocument();
    return xml;
}

const char* const ContentTypes =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
    R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
    R"(<Default Extension="xml" ContentType="application/xml"/>)"
    R"(<Override PartName="/xl/workbook.xml" )"
    R"(ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
    R"(<Override PartName="/xl/worksheets/sheet1.xml" )"
    R"(ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>)"
    R"(</Types>)";
const char* const PackageRels =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Target="xl/workbook.xml" )"
    R"(Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument"/>)"
    R"(</Relationships>)";
const char* const WorkbookRels =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Target="worksheets/sheet1.xml" )"
    R"(Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet"/>)"
    R"(</Relationships>)";

bool addPart(QuaZip& zip, const QString& name, const QByteArray& content) {
    QuaZipFile part(&zip);
    // A fixed time, so that the same cells give the same file byte for byte (version control).
    QuaZipNewInfo info(name);
    info.dateTime = QDateTime(QDate(1980, 1, 1), QTime(0, 0));
    return part.open(QIODevice::WriteOnly, info) && part.write(content) == content.size() &&
           (part.close(), part.getZipError() == 0);
}

} // namespace

bool writeXlsx(const QString& path, const QString& sheetName, const SheetCells& cells, Result* error) {
    *error = output::writeWhole(path, [&](const QString& temporaryPath) {
        QuaZip zip(temporaryPath);
        const bool written = zip.open(QuaZip::mdCreate) &&
                             addPart(zip, QStringLiteral("[Content_Types].xml"), ContentTypes) &&
                             addPart(zip, QStringLiteral("_rels/.rels"), PackageRels) &&
                             addPart(zip, QStringLiteral("xl/workbook.xml"), workbookXml(sheetName)) &&
                             addPart(zip, QStringLiteral("xl/_rels/workbook.xml.rels"), WorkbookRels) &&
                             addPart(zip, QStringLiteral("xl/worksheets/sheet1.xml"), sheetXml(cells));
        zip.close();
        return written && zip.getZipError() == 0;
    });
    return error->ok();
}
