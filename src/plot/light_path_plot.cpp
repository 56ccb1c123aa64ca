#include "plot/light_path_plot.h"

#include "core/db/schema.h"
#include "core/exchange/output_file.h"
#include "core/placement/wheels.h"
#include "core/vocabulary/vocabulary.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <cmath>

namespace plot {

namespace {
constexpr double LabelWidth = 190;
constexpr double AxisHeight = 40;
constexpr double LaneHeader = 22;
constexpr double RowHeight = 18;
constexpr double Width = 820;
constexpr double LegendHeight = 2 * RowHeight + 12;

QBrush mirrorBrush(const QRectF& place) {
    QLinearGradient silver(place.topLeft(), place.bottomLeft());
    silver.setColorAt(0, QColor(235, 235, 235));
    silver.setColorAt(0.5, QColor(170, 170, 175));
    silver.setColorAt(1, QColor(215, 215, 220));
    return QBrush(silver);
}
} // namespace

QColor wavelengthColor(double nm) {
    // Piecewise approximation of the visible spectrum, dimmed towards its ends.
    double r = 0, g = 0, b = 0;
    if (nm >= 380 && nm < 440)
        r = (440 - nm) / 60, b = 1;
    else if (nm >= 440 && nm < 490)
        g = (nm - 440) / 50, b = 1;
    else if (nm >= 490 && nm < 510)
        g = 1, b = (510 - nm) / 20;
    else if (nm >= 510 && nm < 580)
        r = (nm - 510) / 70, g = 1;
    else if (nm >= 580 && nm < 645)
        r = 1, g = (645 - nm) / 65;
    else if (nm >= 645 && nm <= 780)
        r = 1;
    else
        return QColor(128, 128, 128);
    const double edge = nm < 420 ? 0.3 + 0.7 * (nm - 380) / 40 : nm > 700 ? 0.3 + 0.7 * (780 - nm) / 80 : 1.0;
    return QColor::fromRgbF(float(r * edge), float(g * edge), float(b * edge));
}

QSize LightPathPlot::preferredSize() const {
    double height = AxisHeight + 8 + LegendHeight;
    for (const LightPath::Lane& lane : m_path.lanes)
        height += LaneHeader + RowHeight * double(lane.positions.size());
    return QSize(int(Width), int(std::ceil(height)));
}

double LightPathPlot::x(const QRectF& plotArea, double nm) const {
    const double span = std::max(1.0, m_path.axisTo - m_path.axisFrom);
    return plotArea.left() +
           (std::clamp(nm, m_path.axisFrom, m_path.axisTo) - m_path.axisFrom) / span * plotArea.width();
}

void LightPathPlot::paintAxis(QPainter& painter, const QRectF& plotArea, double top) const {
    // The spectrum as a strip, then ticks every 50 nm.
    QLinearGradient spectrum(plotArea.left(), 0, plotArea.right(), 0);
    for (double nm = m_path.axisFrom; nm <= m_path.axisTo; nm += 10)
        spectrum.setColorAt((nm - m_path.axisFrom) / (m_path.axisTo - m_path.axisFrom), wavelengthColor(nm));
    painter.fillRect(QRectF(plotArea.left(), top, plotArea.width(), 8), spectrum);
    painter.setPen(m_palette.color(QPalette::WindowText));
    for (double nm = std::ceil(m_path.axisFrom / 50) * 50; nm <= m_path.axisTo; nm += 50) {
        const double at = x(plotArea, nm);
        painter.drawLine(QPointF(at, top + 8), QPointF(at, top + 14));
        painter.drawText(QRectF(at - 25, top + 14, 50, 16), Qt::AlignHCenter, QString::number(nm));
    }
    painter.drawText(QRectF(plotArea.left() - LabelWidth, top + 14, LabelWidth - 30, 16), Qt::AlignRight,
                     QStringLiteral("nm"));
}

// Every band is one path, so that an SVG of the plot holds one element a band.
QRectF LightPathPlot::paintFilter(QPainter& painter, const QRectF& row, const QRectF& plotArea,
                                  const LightPath::Filter& filter, bool chosen) const {
    return filter.measured ? paintCurve(painter, row, plotArea, *filter.measured, chosen)
                           : paintBand(painter, row, plotArea, filter.band, chosen);
}

// A measured curve: its transmission as the height within the row, filled in the colours of its
// wavelengths, one point per pixel at most.
QRectF LightPathPlot::paintCurve(QPainter& painter, const QRectF& row, const QRectF& plotArea,
                                 const spectra::Curve& curve, bool chosen) const {
    const QRectF lane(row.left(), row.top() + 2, row.width(), row.height() - 4);
    const double from = std::max(curve.nm.front(), m_path.axisFrom);
    const double to = std::min(curve.nm.back(), m_path.axisTo);
    if (to <= from)
        return QRectF();
    QPolygonF outline;
    outline << QPointF(x(plotArea, from), lane.bottom());
    for (double px = x(plotArea, from); px <= x(plotArea, to) + 0.01; px += 1) {
        const double nm =
            m_path.axisFrom + (px - plotArea.left()) / plotArea.width() * (m_path.axisTo - m_path.axisFrom);
        outline << QPointF(px, lane.bottom() - curve.at(std::min(nm, to)) * lane.height());
    }
    outline << QPointF(x(plotArea, to), lane.bottom());
    QPainterPath path;
    path.addPolygon(outline);
    path.closeSubpath();
    drawFilled(painter, path, spectrumBrush(plotArea, from, to), chosen);
    return outline.boundingRect();
}

QBrush LightPathPlot::spectrumBrush(const QRectF& plotArea, double from, double to) const {
    QLinearGradient colours(x(plotArea, from), 0, x(plotArea, to), 0);
    for (int step = 0; step <= 4; ++step)
        colours.setColorAt(step / 4.0, wavelengthColor(from + (to - from) * step / 4));
    return QBrush(colours);
}

// A filter's shape outlined (dashed when chosen, not stored) and filled.
void LightPathPlot::drawFilled(QPainter& painter, const QPainterPath& path, const QBrush& fill,
                               bool chosen) const {
    painter.setPen(
        QPen(m_palette.color(QPalette::WindowText), chosen ? 1.5 : 1, chosen ? Qt::DashLine : Qt::SolidLine));
    painter.setBrush(fill);
    painter.setOpacity(chosen ? 0.6 : 0.85);
    painter.drawPath(path);
    painter.setOpacity(1);
    painter.setBrush(Qt::NoBrush);
}

QRectF LightPathPlot::paintBand(QPainter& painter, const QRectF& row, const QRectF& plotArea,
                                const Band& band, bool chosen) const {
    const QRectF lane(row.left(), row.top() + 2, row.width(), row.height() - 4);
    QPainterPath path;
    QRectF place;
    QBrush fill;
    const auto gradient = [&](double from, double to) { return spectrumBrush(plotArea, from, to); };
    switch (band.shape) {
    case Band::Shape::Pass:
    case Band::Shape::LongPass:
    case Band::Shape::ShortPass: {
        const double from = band.shape == Band::Shape::ShortPass ? m_path.axisFrom : band.from;
        const double to = band.shape == Band::Shape::LongPass ? m_path.axisTo : band.to;
        place = QRectF(QPointF(x(plotArea, from), lane.top()), QPointF(x(plotArea, to), lane.bottom()));
        path.addRect(place);
        if (band.shape == Band::Shape::Pass) { // the centre as a notch in the top edge
            path.moveTo(x(plotArea, band.centre), lane.top());
            path.lineTo(x(plotArea, band.centre), lane.bottom());
        }
        fill = gradient(from, to);
        break;
    }
    case Band::Shape::Notch:
        place =
            QRectF(QPointF(x(plotArea, band.from), lane.top()), QPointF(x(plotArea, band.to), lane.bottom()));
        path.addRect(place);
        fill = QBrush(m_palette.color(QPalette::WindowText), Qt::BDiagPattern);
        break;
    case Band::Shape::Lines:
        for (double line : band.lines) {
            const double at = x(plotArea, line);
            path.moveTo(at - 4, lane.top());
            path.lineTo(at + 4, lane.top());
            path.lineTo(at, lane.bottom());
            path.closeSubpath();
            place = place.united(QRectF(at - 4, lane.top(), 8, lane.height()));
            fill = QBrush(wavelengthColor(line));
        }
        break;
    case Band::Shape::Edge:
        // A mirror's edge is stored at 1000 nm: drawn over the whole axis, in silver, not as a sliver.
        place = QRectF(QPointF(band.isMirror() ? plotArea.left() : x(plotArea, band.from), lane.top()),
                       QPointF(plotArea.right(), lane.bottom()));
        path.addRect(place);
        fill = band.isMirror() ? mirrorBrush(place) : gradient(band.from, m_path.axisTo);
        break;
    case Band::Shape::NoValues:
        painter.setPen(m_palette.color(QPalette::PlaceholderText));
        painter.drawText(QRectF(plotArea.left() + 4, row.top(), plotArea.width(), row.height()),
                         Qt::AlignVCenter, QStringLiteral("no wavelengths in the catalogue"));
        return QRectF(plotArea.left(), row.top(), plotArea.width(), row.height());
    }
    drawFilled(painter, path, fill, chosen);
    return place;
}

std::vector<Item> LightPathPlot::paint(QPainter& painter, const QRectF& area) const {
    std::vector<Item> items;
    painter.fillRect(area, m_palette.color(QPalette::Base));
    const QRectF plotArea(area.left() + LabelWidth, area.top(), area.width() - LabelWidth - 16,
                          area.height());
    paintAxis(painter, plotArea, area.top() + 4);
    double top = area.top() + AxisHeight + 8;
    for (const LightPath::Lane& lane : m_path.lanes) {
        const double laneHeight = LaneHeader + RowHeight * double(lane.positions.size());
        if (lane.shown) { // the wheel the main window shows: tinted, and said in words
            QColor tint = m_palette.color(QPalette::Highlight);
            tint.setAlphaF(0.18f);
            painter.fillRect(QRectF(area.left(), top, area.width(), laneHeight), tint);
        }
        painter.setPen(m_palette.color(QPalette::WindowText));
        QFont bold = painter.font();
        bold.setBold(true);
        painter.setFont(bold);
        const QString kind = lane.button >= 0
                                 ? vocabulary::wheelKind(wheels::index(wheels::modeOfWheel(lane.button)))
                                 : QString();
        painter.drawText(
            QRectF(area.left() + 4, top, area.width(), LaneHeader), Qt::AlignVCenter,
            !lane.title.isEmpty()
                ? lane.title
                : QStringLiteral("%1 %2%3").arg(kind.isEmpty() ? QStringLiteral("Wheel") : kind, lane.wheel,
                                                lane.shown ? QStringLiteral(" (shown)") : QString()));
        bold.setBold(false);
        painter.setFont(bold);
        double rowTop = top + LaneHeader;
        for (const LightPath::Position& position : lane.positions) {
            const QRectF row(area.left(), rowTop, area.width(), RowHeight);
            painter.setPen(m_palette.color(QPalette::WindowText));
            QString label = QStringLiteral("%1  %2").arg(position.position, position.stored.name);
            if (position.chosen)
                label += QStringLiteral(" \u25C6 %1").arg(position.chosen->name);
            painter.drawText(QRectF(area.left() + 12, rowTop, LabelWidth - 16, RowHeight), Qt::AlignVCenter,
                             painter.fontMetrics().elidedText(label, Qt::ElideRight, int(LabelWidth - 16)));
            const QString where = lane.title.isEmpty()
                                      ? QStringLiteral("%1 position %2: ").arg(lane.wheel, position.position)
                                      : lane.title + QStringLiteral(": ");
            if (position.stored.name != schema::NoFilter) {
                const QRectF half =
                    position.chosen ? QRectF(row.left(), row.top(), row.width(), row.height() / 2) : row;
                items.push_back({paintFilter(painter, half, plotArea, position.stored, false),
                                 where + position.stored.describe()});
            }
            if (position.chosen) // beside the stored one: chosen, not stored yet
                items.push_back(
                    {paintFilter(painter, QRectF(row.left(), row.center().y(), row.width(), row.height() / 2),
                                 plotArea, *position.chosen, true),
                     where + QStringLiteral("chosen, not stored: ") + position.chosen->describe()});
            rowTop += RowHeight;
        }
        top += laneHeight;
    }
    paintLegend(painter, QRectF(area.left(), top + 4, area.width(), LegendHeight - 4));
    return items;
}

// What each symbol means. Drawn with rectangles and polygons, never paths: an SVG of the plot
// keeps one path a band.
void LightPathPlot::paintLegend(QPainter& painter, const QRectF& area) const {
    const QColor text = m_palette.color(QPalette::WindowText);
    painter.setPen(text);
    const double column = area.width() / 3;
    int entry = 0;
    const auto next = [&](const QString& meaning) {
        const QRectF cell(area.left() + 4 + column * (entry % 3), area.top() + RowHeight * (entry / 3),
                          column, RowHeight);
        ++entry;
        painter.setPen(text);
        painter.drawText(cell.adjusted(34, 0, 0, 0), Qt::AlignVCenter, meaning);
        return QRectF(cell.left(), cell.top() + 3, 28, cell.height() - 6);
    };
    QRectF swatch = next(QStringLiteral("passes (a line at a band's centre)"));
    QLinearGradient green(swatch.topLeft(), swatch.topRight());
    green.setColorAt(0, wavelengthColor(500));
    green.setColorAt(1, wavelengthColor(560));
    painter.fillRect(swatch, green);
    painter.drawRect(swatch);
    swatch = next(QStringLiteral("blocks (a notch)"));
    painter.setBrush(QBrush(text, Qt::BDiagPattern));
    painter.drawRect(swatch);
    swatch = next(QStringLiteral("reflects a laser line (a beam splitter)"));
    const double at = swatch.center().x();
    painter.setPen(QPen(wavelengthColor(488), 2));
    painter.drawPolyline(QPolygonF({QPointF(at - 4, swatch.top()), QPointF(at + 4, swatch.top()),
                                    QPointF(at, swatch.bottom()), QPointF(at - 4, swatch.top())}));
    swatch = next(QStringLiteral("chosen, not stored yet"));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(text, 1.5, Qt::DashLine));
    painter.drawRect(swatch);
    swatch = next(QStringLiteral("a mirror (reflects all)"));
    painter.setPen(text);
    painter.setBrush(mirrorBrush(swatch));
    painter.drawRect(swatch);
    painter.setBrush(Qt::NoBrush);
    if (!hasMeasured())
        return;
    swatch = next(QStringLiteral("measured (its height the transmission)"));
    painter.setBrush(green);
    painter.drawPolygon(QPolygonF({swatch.bottomLeft(), QPointF(swatch.left() + 6, swatch.top()),
                                   QPointF(swatch.right() - 6, swatch.top()), swatch.bottomRight()}));
    painter.setBrush(Qt::NoBrush);
}

bool LightPathPlot::hasMeasured() const {
    for (const LightPath::Lane& lane : m_path.lanes)
        for (const LightPath::Position& position : lane.positions)
            if (position.stored.measured || (position.chosen && position.chosen->measured))
                return true;
    return false;
}

QByteArray LightPathPlot::svg() const {
    const QSize size = preferredSize();
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&bytes);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QStringLiteral("Light path"));
    svg.setDescription(QStringLiteral("The pass bands of each wheel's filters, by position"));
    QPainter painter;
    if (painter.begin(&svg)) {
        paint(painter, QRectF(QPointF(0, 0), size));
        painter.end();
    }
    return bytes.data();
}

bool LightPathPlot::write(const QString& file, Result* error) const {
    const QSize size = preferredSize();
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == QLatin1String("svg")) {
        *error = output::writeWhole(file, svg());
        return error->ok();
    }
    if (suffix != QLatin1String("png")) {
        *error = Result::make(dberr::BadFile,
                              QStringLiteral("a plot is written as .svg or .png, not '%1'").arg(file));
        return false;
    }
    QImage image(size * 2, QImage::Format_ARGB32_Premultiplied); // sharp on high-density screens
    image.setDevicePixelRatio(2);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter, QRectF(QPointF(0, 0), size));
    painter.end();
    *error = output::writeWhole(
        file, [&image](const QString& temporaryPath) { return image.save(temporaryPath, "PNG"); });
    return error->ok();
}

} // namespace plot
