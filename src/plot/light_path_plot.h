#pragma once

// Draws a light path: a wavelength axis with the visible spectrum, one lane per wheel, each
// position's filter as its band in the colours of its wavelengths. For the light-path window and
// for `filterctl plot` (PNG and SVG, without a display). Qt GUI only, no widgets.

#include "core/inspect/light_path.h"

#include <QPalette>
#include <QRectF>
#include <QSize>

class QPainter;
class QPainterPath;

namespace plot {

// The colour of a wavelength as the eye sees it (grey outside 380-780 nm).
QColor wavelengthColor(double nm);

// Where each drawn filter lies, and what it is, for tooltips and screen readers.
struct Item {
    QRectF rect;
    QString text;
};

class LightPathPlot {
public:
    LightPathPlot(const LightPath& path, const QPalette& palette) : m_path(path), m_palette(palette) {}
    QSize preferredSize() const;
    // Draws into the area; returns each filter's place.
    std::vector<Item> paint(QPainter& painter, const QRectF& area) const;
    // The drawing as an SVG document.
    QByteArray svg() const;
    // A .svg or a .png file of the preferred size.
    bool write(const QString& file, Result* error) const;

private:
    double x(const QRectF& plotArea, double nm) const;
    void paintAxis(QPainter& painter, const QRectF& plotArea, double top) const;
    QRectF paintFilter(QPainter& painter, const QRectF& row, const QRectF& plotArea,
                       const LightPath::Filter& filter, bool chosen) const;
    QRectF paintCurve(QPainter& painter, const QRectF& row, const QRectF& plotArea,
                      const spectra::Curve& curve, bool chosen) const;
    QRectF paintBand(QPainter& painter, const QRectF& row, const QRectF& plotArea, const Band& band,
                     bool chosen) const;
    QBrush spectrumBrush(const QRectF& plotArea, double from, double to) const;
    void drawFilled(QPainter& painter, const QPainterPath& path, const QBrush& fill, bool chosen) const;
    void paintLegend(QPainter& painter, const QRectF& area) const;
    bool hasMeasured() const;

    const LightPath& m_path;
    QPalette m_palette;
};

} // namespace plot
