// The facility's page; see site.h.

#include "core/fleet/site.h"

#include "core/exchange/output_file.h"
#include "core/fleet/git_record.h"

#include <QBuffer>
#include <QDir>
#include <QHash>
#include <QXmlStreamWriter>

namespace fleet {

namespace {

// Light and dark as the reader's system has it, and plain on paper.
const char* const Style = R"(
body { font-family: sans-serif; margin: 0 auto; max-width: 60rem; padding: 1rem; color: #1b1b1b; background: #fff; }
a { color: #0b57d0; }
table { border-collapse: collapse; margin: 0.5rem 0 1.5rem; }
th, td { border: 1px solid #999; padding: 0.2rem 0.6rem; text-align: left; }
@media (prefers-color-scheme: dark) { body { color: #e8e8e8; background: #151515; } a { color: #8ab4f8; } }
@media print { body { max-width: none; color: #000; background: #fff; } a { color: #000; } nav { display: none; } }
)";

// An HTML page through the XML writer: every text escaped by construction.
class Page {
public:
    explicit Page(const QString& title) : m_xml(&m_bytes) {
        m_bytes.open(QIODevice::WriteOnly);
        m_xml.setAutoFormatting(true);
        m_xml.writeDTD(QStringLiteral("<!DOCTYPE html>"));
        m_xml.writeStartElement(QStringLiteral("html"));
        m_xml.writeAttribute(QStringLiteral("lang"), QStringLiteral("en"));
        m_xml.writeStartElement(QStringLiteral("head"));
        m_xml.writeEmptyElement(QStringLiteral("meta"));
        m_xml.writeAttribute(QStringLiteral("charset"), QStringLiteral("utf-8"));
        m_xml.writeEmptyElement(QStringLiteral("meta"));
        m_xml.writeAttribute(QStringLiteral("name"), QStringLiteral("viewport"));
        m_xml.writeAttribute(QStringLiteral("content"),
                             QStringLiteral("width=device-width, initial-scale=1"));
        m_xml.writeTextElement(QStringLiteral("title"), title);
        m_xml.writeTextElement(QStringLiteral("style"), QString::fromLatin1(Style));
        m_xml.writeEndElement(); // head
        m_xml.writeStartElement(QStringLiteral("body"));
    }
    QXmlStreamWriter& xml() { return m_xml; }
    void link(const QString& href, const QString& text) {
        m_xml.writeStartElement(QStringLiteral("a"));
        m_xml.writeAttribute(QStringLiteral("href"), href);
        m_xml.writeCharacters(text);
        m_xml.writeEndElement();
    }
    void row(const QStringList& cells, bool header = false) {
        m_xml.writeStartElement(QStringLiteral("tr"));
        for (const QString& cell : cells) {
            m_xml.writeStartElement(header ? QStringLiteral("th") : QStringLiteral("td"));
            if (header)
                m_xml.writeAttribute(QStringLiteral("scope"), QStringLiteral("col"));
            m_xml.writeCharacters(cell);
            m_xml.writeEndElement();
        }
        m_xml.writeEndElement();
    }
    Result writeTo(const QString& path) {
        m_xml.writeEndDocument();
        return output::writeWhole(path, m_bytes.data());
    }

private:
    QBuffer m_bytes;
    QXmlStreamWriter m_xml;
};

QString title(const Snapshot::Identity& identity) {
    return QStringLiteral("%1, %2").arg(identity.configuration, identity.stand);
}

// "Emission Filters: 4 wheels, 26 positions"-like counts, by mode.
QString positionCounts(const Snapshot& snapshot) {
    QStringList modes;
    QHash<QString, int> positions;
    for (const Snapshot::Wheel& wheel : snapshot.wheels) {
        if (!positions.contains(wheel.mode))
            modes << wheel.mode;
        positions[wheel.mode] += int(wheel.rows.size());
    }
    QStringList counts;
    for (const QString& mode : std::as_const(modes))
        counts << QStringLiteral("%1: %2").arg(mode).arg(positions.value(mode));
    return counts.join(QStringLiteral("; "));
}

Result writeMicroscope(const Snapshot& snapshot, const QString& path) {
    Page page(title(snapshot.identity));
    QXmlStreamWriter& xml = page.xml();
    xml.writeStartElement(QStringLiteral("nav"));
    xml.writeAttribute(QStringLiteral("aria-label"), QStringLiteral("Site"));
    page.link(QStringLiteral("index.html"), QStringLiteral("All microscopes"));
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("main"));
    xml.writeTextElement(QStringLiteral("h1"), title(snapshot.identity));
    xml.writeTextElement(QStringLiteral("p"),
                         QStringLiteral("Scan unit %1, FCS unit %2.")
                             .arg(snapshot.identity.scanUnit, snapshot.identity.fcsUnit));
    QString mode;
    for (const Snapshot::Wheel& wheel : snapshot.wheels) {
        if (wheel.mode != mode) {
            mode = wheel.mode;
            xml.writeTextElement(QStringLiteral("h2"), mode);
        }
        xml.writeStartElement(QStringLiteral("table"));
        xml.writeTextElement(QStringLiteral("caption"), QStringLiteral("%1 %2").arg(wheel.kind, wheel.id));
        page.row({QStringLiteral("Position"), QStringLiteral("Filter"), QStringLiteral("Code number")}, true);
        for (const Snapshot::Row& row : wheel.rows)
            page.row({row.position, row.filter, row.code});
        xml.writeEndElement();
    }
    xml.writeEndElement(); // main
    return page.writeTo(path);
}

Result writeIndex(const std::vector<Snapshot>& snapshots, const std::vector<SitePage>& pages,
                  const QString& path) {
    Page page(QStringLiteral("Microscopes"));
    QXmlStreamWriter& xml = page.xml();
    xml.writeStartElement(QStringLiteral("main"));
    xml.writeTextElement(QStringLiteral("h1"), QStringLiteral("Microscopes"));
    xml.writeStartElement(QStringLiteral("table"));
    xml.writeTextElement(QStringLiteral("caption"), QStringLiteral("The microscopes and their positions"));
    page.row({QStringLiteral("Microscope"), QStringLiteral("Stand"), QStringLiteral("Scan unit"),
              QStringLiteral("Positions")},
             true);
    for (size_t i = 0; i < snapshots.size(); ++i) {
        const Snapshot::Identity& identity = snapshots[i].identity;
        xml.writeStartElement(QStringLiteral("tr"));
        xml.writeStartElement(QStringLiteral("td"));
        page.link(pages[i].file, identity.configuration);
        xml.writeEndElement();
        for (const QString& cell : {identity.stand, identity.scanUnit, positionCounts(snapshots[i])})
            xml.writeTextElement(QStringLiteral("td"), cell);
        xml.writeEndElement();
    }
    xml.writeEndElement(); // table
    xml.writeEndElement(); // main
    return page.writeTo(path);
}

} // namespace

Result publishSite(const std::vector<Snapshot>& snapshots, const QString& folder,
                   std::vector<SitePage>* pages) {
    pages->clear();
    if (!QDir().mkpath(folder))
        return Result::make(dberr::BadFile, QStringLiteral("'%1' cannot be made: nothing was published")
                                                .arg(QDir::toNativeSeparators(folder)));
    QHash<QString, int> taken;
    for (const Snapshot& snapshot : snapshots) {
        QString name =
            snapshotFileName(snapshot.identity, QString()).chopped(int(QStringLiteral("-.json").size()));
        if (const int seen = taken[name]++; seen > 0) // two installations of one identity
            name += QStringLiteral("-%1").arg(seen + 1);
        pages->push_back({snapshot.identity, name + QStringLiteral(".html")});
        if (Result written = writeMicroscope(snapshot, QDir(folder).filePath(pages->back().file));
            written.isError())
            return written;
    }
    return writeIndex(snapshots, *pages, QDir(folder).filePath(QStringLiteral("index.html")));
}

} // namespace fleet
