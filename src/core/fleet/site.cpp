// The facility's page; see site.h.

#include "core/fleet/site.h"

#include "core/exchange/output_file.h"
#include "core/fleet/git_record.h"
#include "core/fleet/site_script.h"
#include "core/history/history.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace fleet {

namespace {

// Light and dark as the reader's system has it, and plain on paper. The drawing keeps its own light
// ground in the dark, as a printed figure would.
const char* const Style = R"(
body { font-family: sans-serif; margin: 0 auto; max-width: 64rem; padding: 1rem; color: #1b1b1b; background: #fff; line-height: 1.4; }
a { color: #0b57d0; }
a:focus, input:focus, button:focus { outline: 3px solid #e8710a; outline-offset: 2px; }
nav ul { list-style: none; display: flex; gap: 1.5rem; padding: 0; margin: 0 0 1rem; }
table { border-collapse: collapse; margin: 0.5rem 0 1.5rem; }
caption { text-align: left; font-weight: bold; padding: 0.3rem 0; }
th, td { border: 1px solid #8a8a8a; padding: 0.2rem 0.6rem; text-align: left; vertical-align: top; }
figure { margin: 1rem 0; }
figure svg { display: block; width: 100%; height: auto; background: #fff; border: 1px solid #8a8a8a; }
input, button { font: inherit; padding: 0.2rem 0.4rem; }
@media (prefers-color-scheme: dark) {
  body { color: #e8e8e8; background: #151515; }
  a { color: #8ab4f8; }
  input, button { color: #e8e8e8; background: #2a2a2a; border: 1px solid #8a8a8a; }
}
@media print {
  body { max-width: none; color: #000; background: #fff; }
  a { color: #000; text-decoration: none; }
  nav, #search, #search-status { display: none; }
  table, figure { break-inside: avoid; }
}
)";

constexpr int ShownChanges = 10;

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// An HTML page through the XML writer: every text escaped by construction, and every element that
// is not void closed with its own end tag (HTML reads <td/> as an opening).
class Page {
public:
    explicit Page(const QString& title) : m_xml(&m_bytes) {
        m_bytes.open(QIODevice::WriteOnly);
        m_xml.setAutoFormatting(true);
        m_xml.setAutoFormattingIndent(1);
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
    void start(const QString& element,
               std::initializer_list<std::pair<const char*, QString>> attributes = {}) {
        m_xml.writeStartElement(element);
        for (const auto& [name, value] : attributes)
            m_xml.writeAttribute(QLatin1String(name), value);
    }
    void end() { m_xml.writeEndElement(); }
    void text(const QString& element, const QString& text,
              std::initializer_list<std::pair<const char*, QString>> attributes = {}) {
        start(element, attributes);
        m_xml.writeCharacters(text);
        end();
    }
    void link(const QString& href, const QString& text) {
        this->text(QStringLiteral("a"), text, {{"href", href}});
    }
    void headerRow(const QStringList& cells) {
        start(QStringLiteral("tr"));
        for (const QString& cell : cells)
            text(QStringLiteral("th"), cell, {{"scope", QStringLiteral("col")}});
        end();
    }
    void row(const QStringList& cells) {
        start(QStringLiteral("tr"));
        for (const QString& cell : cells)
            text(QStringLiteral("td"), cell);
        end();
    }
    void script(const QString& source) { text(QStringLiteral("script"), QString(), {{"src", source}}); }
    // An SVG document inline: its elements and texts copied through the writer (so nothing in it is
    // taken as markup of the page), without its XML prologue and fixed size, its ids given `prefix` so
    // that two drawings on a page never share one.
    void inlineSvg(const QByteArray& svg, const QString& label, const QString& prefix) {
        QXmlStreamReader reader(svg);
        reader.setNamespaceProcessing(false);
        bool root = true;
        while (!reader.atEnd()) {
            switch (reader.readNext()) {
            case QXmlStreamReader::StartElement:
                m_xml.writeStartElement(reader.qualifiedName().toString());
                for (const QXmlStreamAttribute& attribute : reader.attributes()) {
                    const QString name = attribute.qualifiedName().toString();
                    QString value = attribute.value().toString();
                    if (name == QLatin1String("id"))
                        value.prepend(prefix);
                    value.replace(QLatin1String("url(#"), QLatin1String("url(#") + prefix);
                    if (!name.startsWith(QLatin1String("xmlns")) &&
                        !(root && (name == QLatin1String("width") || name == QLatin1String("height"))))
                        m_xml.writeAttribute(name, value);
                }
                if (root) {
                    m_xml.writeAttribute(QStringLiteral("role"), QStringLiteral("img"));
                    m_xml.writeAttribute(QStringLiteral("aria-label"), label);
                    root = false;
                }
                break;
            case QXmlStreamReader::EndElement:
                m_xml.writeEndElement();
                break;
            case QXmlStreamReader::Characters:
                if (!reader.isWhitespace())
                    m_xml.writeCharacters(reader.text().toString());
                break;
            default: // the prologue, comments and instructions stay out
                break;
            }
        }
    }
    QByteArray finish() {
        m_xml.writeEndDocument();
        return m_bytes.data();
    }

private:
    QBuffer m_bytes;
    QXmlStreamWriter m_xml;
};

QString title(const Snapshot::Identity& identity) {
    return QStringLiteral("%1, %2").arg(identity.configuration, identity.stand);
}

QString wheelCaption(const Snapshot::Wheel& wheel) {
    return QStringLiteral("%1 (%2)").arg(wheel.kind, wheel.id);
}

// A wheel's place on its page, for links from the search.
QString wheelAnchor(int index, const Snapshot::Wheel& wheel) {
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9_-]+"));
    return QStringLiteral("wheel-%1-%2")
        .arg(index)
        .arg(QString(wheel.id).replace(unsafe, QStringLiteral("_")));
}

// "2026-12-07 07:00 UTC" from the ISO 8601 a history or git gives, whatever its offset.
QString readable(const QString& at) {
    const QDateTime when = QDateTime::fromString(at, Qt::ISODate);
    return when.isValid() ? when.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")) : at;
}

QString lastChange(const Microscope& microscope) {
    return microscope.changes.empty() ? QStringLiteral("not known") : readable(microscope.changes.front().at);
}

// A table cell with a time readers read and machines take.
void timeCell(Page& page, const QString& at) {
    page.start(QStringLiteral("td"));
    if (at.isEmpty())
        page.xml().writeCharacters(QStringLiteral("not known"));
    else
        page.text(QStringLiteral("time"), readable(at), {{"datetime", at}});
    page.end();
}

// "Emission Filters: 26; Filter Cubes: 10", the positions by mode.
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

ExportedWheel exportedWheel(const Snapshot::Wheel& wheel) {
    ExportedWheel exported{-1, wheel.id, wheels::Mode{}, {}, {}, {}};
    for (const Snapshot::Row& row : wheel.rows) {
        exported.filters << row.filter;
        exported.codes << row.code;
        exported.positions << row.position;
    }
    return exported;
}

// The light path of each mode, in the order the snapshot's wheels come.
std::vector<std::pair<QString, LightPath>> lightPaths(const Microscope& microscope) {
    std::vector<std::pair<QString, std::vector<ExportedWheel>>> modes;
    for (const Snapshot::Wheel& wheel : microscope.snapshot.wheels) {
        if (modes.empty() || modes.back().first != wheel.mode)
            modes.push_back({wheel.mode, {}});
        modes.back().second.push_back(exportedWheel(wheel));
    }
    std::vector<std::pair<QString, LightPath>> paths;
    for (const auto& [mode, wheels] : modes) {
        paths.push_back({mode, buildLightPath(microscope.filters, wheels)});
        addMeasured(&paths.back().second, microscope.measured);
    }
    return paths;
}

void writeDrawing(Page& page, int number, const QString& mode, const LightPath& path, const Drawing& draw) {
    const QByteArray svg = draw ? draw(path) : QByteArray();
    if (svg.isEmpty())
        return;
    page.start(QStringLiteral("figure"));
    page.inlineSvg(svg,
                   QStringLiteral("The light path of %1: %2 filters drawn as the bands they pass, "
                                  "lane by lane; the tables below list them.")
                       .arg(mode)
                       .arg(path.filterCount()),
                   QStringLiteral("drawing%1-").arg(number));
    page.text(QStringLiteral("figcaption"),
              QStringLiteral("The light path of %1, each wheel a lane, each filter its band.").arg(mode));
    page.end();
}

void writeWheel(Page& page, int index, const Snapshot::Wheel& wheel, const LightPath::Lane& lane) {
    page.start(QStringLiteral("table"), {{"id", wheelAnchor(index, wheel)}});
    page.text(QStringLiteral("caption"), wheelCaption(wheel));
    page.headerRow({QStringLiteral("Position"), QStringLiteral("Filter"), QStringLiteral("Type"),
                    QStringLiteral("Code number"), QStringLiteral("Band")});
    for (const LightPath::Position& position : lane.positions)
        page.row({position.position, position.stored.name, position.stored.type, position.stored.code,
                  position.stored.band.text()});
    page.end();
}

void writeChanges(Page& page, const std::vector<Change>& changes) {
    page.text(QStringLiteral("h2"), QStringLiteral("Recent changes"));
    if (changes.empty()) {
        page.text(QStringLiteral("p"), QStringLiteral("No history or record of changes was at hand."));
        return;
    }
    page.start(QStringLiteral("table"));
    page.text(QStringLiteral("caption"), QStringLiteral("The newest first"));
    page.headerRow({QStringLiteral("When"), QStringLiteral("Who"), QStringLiteral("What")});
    for (const Change& change : changes) {
        page.start(QStringLiteral("tr"));
        timeCell(page, change.at);
        page.text(QStringLiteral("td"), change.who);
        page.text(QStringLiteral("td"), change.what);
        page.end();
    }
    page.end();
}

void startPage(Page& page, const QString& current) {
    page.start(QStringLiteral("nav"), {{"aria-label", QStringLiteral("Site")}});
    page.start(QStringLiteral("ul"));
    page.start(QStringLiteral("li"));
    if (current == QLatin1String("index.html"))
        page.text(QStringLiteral("a"), QStringLiteral("All microscopes"),
                  {{"href", current}, {"aria-current", QStringLiteral("page")}});
    else
        page.link(QStringLiteral("index.html"), QStringLiteral("All microscopes"));
    page.end();
    page.start(QStringLiteral("li"));
    page.link(QStringLiteral("index.html#search-heading"), QStringLiteral("Search the fleet"));
    page.end();
    page.end(); // ul
    page.end(); // nav
    page.start(QStringLiteral("main"));
}

QByteArray microscopePage(const Microscope& microscope, const Drawing& draw) {
    const Snapshot& snapshot = microscope.snapshot;
    Page page(title(snapshot.identity));
    startPage(page, QString());
    page.text(QStringLiteral("h1"), title(snapshot.identity));
    page.text(QStringLiteral("p"),
              QStringLiteral("Scan unit %1, FCS unit %2. Last change: %3.")
                  .arg(snapshot.identity.scanUnit, snapshot.identity.fcsUnit, lastChange(microscope)));
    int index = 0;
    int drawings = 0;
    for (const auto& [mode, path] : lightPaths(microscope)) {
        page.text(QStringLiteral("h2"), mode);
        writeDrawing(page, ++drawings, mode, path, draw);
        for (const LightPath::Lane& lane : path.lanes) {
            writeWheel(page, index, snapshot.wheels[size_t(index)], lane);
            ++index;
        }
    }
    writeChanges(page, microscope.changes);
    page.end(); // main
    return page.finish();
}

QByteArray indexPage(const std::vector<Microscope>& microscopes, const std::vector<SitePage>& pages) {
    Page page(QStringLiteral("Microscopes"));
    startPage(page, QStringLiteral("index.html"));
    page.text(QStringLiteral("h1"), QStringLiteral("Microscopes"));
    page.start(QStringLiteral("table"));
    page.text(QStringLiteral("caption"), QStringLiteral("The microscopes and their positions"));
    page.headerRow({QStringLiteral("Microscope"), QStringLiteral("Stand"), QStringLiteral("Scan unit"),
                    QStringLiteral("Last change"), QStringLiteral("Positions")});
    for (size_t i = 0; i < microscopes.size(); ++i) {
        const Snapshot::Identity& identity = microscopes[i].snapshot.identity;
        page.start(QStringLiteral("tr"));
        page.start(QStringLiteral("td"));
        page.link(pages[i].file, identity.configuration);
        page.end();
        page.text(QStringLiteral("td"), identity.stand);
        page.text(QStringLiteral("td"), identity.scanUnit);
        timeCell(page, microscopes[i].changes.empty() ? QString() : microscopes[i].changes.front().at);
        page.text(QStringLiteral("td"), positionCounts(microscopes[i].snapshot));
        page.end();
    }
    page.end(); // table
    page.text(QStringLiteral("h2"), QStringLiteral("Search the fleet"),
              {{"id", QStringLiteral("search-heading")}});
    page.text(QStringLiteral("p"),
              QStringLiteral("The search needs JavaScript; each microscope's page lists its positions."),
              {{"id", QStringLiteral("search-unavailable")}});
    page.start(QStringLiteral("form"), {{"id", QStringLiteral("search")},
                                        {"role", QStringLiteral("search")},
                                        {"aria-labelledby", QStringLiteral("search-heading")},
                                        {"hidden", QStringLiteral("hidden")}});
    page.text(QStringLiteral("label"), QStringLiteral("Filter name, code number or wavelength in nm "),
              {{"for", QStringLiteral("q")}});
    page.start(QStringLiteral("input"), {{"id", QStringLiteral("q")},
                                         {"name", QStringLiteral("q")},
                                         {"type", QStringLiteral("search")},
                                         {"autocomplete", QStringLiteral("off")}});
    page.end();
    page.text(QStringLiteral("button"), QStringLiteral("Search"), {{"type", QStringLiteral("submit")}});
    page.end(); // form
    page.text(QStringLiteral("p"), QString(),
              {{"id", QStringLiteral("search-status")}, {"role", QStringLiteral("status")}});
    page.start(QStringLiteral("table"),
               {{"id", QStringLiteral("results")}, {"hidden", QStringLiteral("hidden")}});
    page.text(QStringLiteral("caption"), QStringLiteral("Positions found"));
    page.start(QStringLiteral("thead"));
    page.headerRow({QStringLiteral("Microscope"), QStringLiteral("Wheel"), QStringLiteral("Position"),
                    QStringLiteral("Filter"), QStringLiteral("Code number"), QStringLiteral("Band")});
    page.end();
    page.text(QStringLiteral("tbody"), QString());
    page.end(); // table
    page.end(); // main
    page.script(QStringLiteral("fleet-data.js"));
    page.script(QStringLiteral("search.js"));
    return page.finish();
}

QString shapeName(Band::Shape shape) {
    switch (shape) {
    case Band::Shape::Pass:
        return QStringLiteral("pass");
    case Band::Shape::LongPass:
        return QStringLiteral("longpass");
    case Band::Shape::ShortPass:
        return QStringLiteral("shortpass");
    case Band::Shape::Notch:
        return QStringLiteral("notch");
    default: // a beam splitter sends a wavelength one way or the other: found by name, not by band
        return QString();
    }
}

// The search's data as a script the index loads (file:// allows no reading of a data file).
QByteArray searchData(const std::vector<Microscope>& microscopes, const std::vector<SitePage>& pages) {
    QJsonArray listed;
    QJsonArray positions;
    for (size_t m = 0; m < microscopes.size(); ++m) {
        const Snapshot& snapshot = microscopes[m].snapshot;
        listed.append(QJsonObject{{QStringLiteral("name"), title(snapshot.identity)},
                                  {QStringLiteral("page"), pages[m].file}});
        int index = 0;
        for (const auto& [mode, path] : lightPaths(microscopes[m]))
            for (const LightPath::Lane& lane : path.lanes) {
                const Snapshot::Wheel& wheel = snapshot.wheels[size_t(index)];
                for (const LightPath::Position& position : lane.positions) {
                    const Band& band = position.stored.band;
                    positions.append(QJsonArray{int(m), wheelCaption(wheel), wheelAnchor(index, wheel),
                                                position.position, position.stored.name, position.stored.code,
                                                shapeName(band.shape), band.from, band.to, band.text()});
                }
                ++index;
            }
    }
    const QJsonObject data{{QStringLiteral("microscopes"), listed}, {QStringLiteral("positions"), positions}};
    return "window.fleetData = " + QJsonDocument(data).toJson(QJsonDocument::Compact) + ";\n";
}

} // namespace

bool readMicroscope(Snapshot snapshot, Microscope* microscope, Result* error) {
    QStringList names;
    for (const Snapshot::Wheel& wheel : snapshot.wheels)
        for (const Snapshot::Row& row : wheel.rows)
            names << row.filter;
    if (!catalogueValuesOf(snapshot, names, lightPathFields(), &microscope->filters, error))
        return false;
    snapshot.rowsIn = nullptr;
    snapshot.catalogueAt = snapshot.favouritesAt = -1;
    microscope->snapshot = std::move(snapshot);
    return true;
}

std::vector<Change> recentChanges(const QString& input, bool installation, int count) {
    std::vector<Change> changes;
    if (installation) {
        history::Filter newest;
        newest.newest = count;
        std::vector<history::Record> records;
        Result error;
        if (readRecords(history::pathFor(input), newest, &records, &error))
            for (const history::Record& record : records)
                changes.push_back({record.when().toString(Qt::ISODate), record.user, record.summary});
        return changes;
    }
    for (const GitCommit& commit : commitsOf(input, count))
        changes.push_back({commit.at, commit.author, commit.changes});
    return changes;
}

Result publishSite(const std::vector<Microscope>& microscopes, const QString& folder, const Drawing& draw,
                   std::vector<SitePage>* pages) {
    pages->clear();
    if (!QDir().mkpath(folder))
        return Result::make(dberr::BadFile,
                            QStringLiteral("'%1' cannot be made: nothing was published").arg(shown(folder)));
    QHash<QString, int> taken;
    for (const Microscope& microscope : microscopes) {
        QString name = snapshotFileName(microscope.snapshot.identity, QString())
                           .chopped(int(QStringLiteral("-.json").size()));
        if (const int seen = taken[name]++; seen > 0) // two installations of one identity
            name += QStringLiteral("-%1").arg(seen + 1);
        pages->push_back({microscope.snapshot.identity, name + QStringLiteral(".html")});
        if (Result written = output::writeWhole(QDir(folder).filePath(pages->back().file),
                                                microscopePage(microscope, draw));
            written.isError())
            return written;
    }
    const QDir site(folder);
    for (const auto& [file, bytes] :
         {std::pair{QStringLiteral("fleet-data.js"), searchData(microscopes, *pages)},
          std::pair{QStringLiteral("search.js"), QByteArray(SearchScript)},
          std::pair{QStringLiteral("index.html"), indexPage(microscopes, *pages)}})
        if (Result written = output::writeWhole(site.filePath(file), bytes); written.isError())
            return written;
    return {};
}

} // namespace fleet
