#include "core/inspect/light_path.h"

#include "core/db/schema.h"
#include "core/exchange/package.h"

#include <algorithm>

namespace {

std::optional<double> number(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

QString nm(double value) {
    return QString::number(value, 'g', 6);
}

} // namespace

std::vector<double> Band::extent() const {
    switch (shape) {
    case Shape::Pass:
    case Shape::Notch:
        return {from, to};
    case Shape::LongPass:
        return {from};
    case Shape::ShortPass:
        return {to};
    case Shape::Lines:
        return lines;
    case Shape::Edge: // a mirror's edge stored at 1000 nm, as a long pass's end, does not widen the axis
        return from < 1000 ? std::vector<double>{from} : std::vector<double>{};
    case Shape::NoValues:
        break;
    }
    return {};
}

Band bandOf(const QString& type, std::optional<double> lower, std::optional<double> centre,
            std::optional<double> upper, std::optional<double> opaque) {
    using namespace schema::type;
    Band band;
    if ((type == BandPass || type == Notch) && lower && upper) {
        band.shape = type == BandPass ? Band::Shape::Pass : Band::Shape::Notch;
        band.from = *lower;
        band.to = *upper;
        band.centre = centre.value_or((*lower + *upper) / 2);
    } else if (type == LongPass && lower) {
        band.shape = Band::Shape::LongPass;
        band.from = *lower;
        band.to = upper.value_or(1000);
    } else if (type == ShortPass && upper) {
        band.shape = Band::Shape::ShortPass;
        band.from = lower.value_or(200);
        band.to = *upper;
    } else if ((type == MainSplitter || type == SecondarySplitter) && opaque) {
        band.shape = Band::Shape::Lines;
        band.lines = {*opaque};
    } else if (type == NotchSplitter && opaque) {
        band.shape = Band::Shape::Edge;
        band.from = *opaque;
    }
    return band;
}

QString Band::text() const {
    QString values;
    switch (shape) {
    case Band::Shape::Pass:
        values = QStringLiteral("passes %1 to %2 nm, centre %3 nm").arg(nm(from), nm(to), nm(centre));
        break;
    case Band::Shape::Notch:
        values = QStringLiteral("blocks %1 to %2 nm, centre %3 nm").arg(nm(from), nm(to), nm(centre));
        break;
    case Band::Shape::LongPass:
        values = QStringLiteral("passes from %1 nm up").arg(nm(from));
        break;
    case Band::Shape::ShortPass:
        values = QStringLiteral("passes up to %1 nm").arg(nm(to));
        break;
    case Band::Shape::Lines:
        values = QStringLiteral("reflects %1 nm").arg(nm(lines.front()));
        break;
    case Band::Shape::Edge:
        values = isMirror()
                     ? QStringLiteral("a mirror: reflects the whole range (its edge is stored at %1 nm)")
                           .arg(nm(from))
                     : QStringLiteral("edge at %1 nm").arg(nm(from));
        break;
    case Band::Shape::NoValues:
        values = QStringLiteral("no wavelengths in the catalogue");
        break;
    }
    return values;
}

QString LightPath::Filter::describe() const {
    QStringList parts{name};
    if (!type.isEmpty())
        parts << type;
    if (!code.isEmpty())
        parts << code;
    return parts.join(QStringLiteral(", ")) + QStringLiteral(": ") + values();
}

QString LightPath::Filter::values() const {
    if (!measured)
        return band.text();
    return (band.shape == Band::Shape::NoValues ? QString() : band.text() + QStringLiteral(", ")) +
           QStringLiteral("measured: ") + measured->describe();
}

void addMeasured(LightPath* path, const QHash<QString, spectra::Curve>& measured) {
    if (measured.isEmpty())
        return;
    QHash<QString, std::shared_ptr<const spectra::Curve>> shared;
    for (auto curve = measured.begin(); curve != measured.end(); ++curve)
        shared.insert(curve.key(), std::make_shared<const spectra::Curve>(curve.value()));
    for (LightPath::Lane& lane : path->lanes)
        for (LightPath::Position& position : lane.positions)
            for (LightPath::Filter* filter :
                 {&position.stored, position.chosen ? &*position.chosen : nullptr})
                if (filter)
                    filter->measured = shared.value(filter->name);
}

int LightPath::filterCount() const {
    int count = 0;
    for (const Lane& lane : lanes)
        for (const Position& position : lane.positions)
            count += (position.stored.name != schema::NoFilter) + (position.chosen ? 1 : 0);
    return count;
}

LightPath buildLightPath(const Database& db, const std::vector<ExportedWheel>& wheels,
                         const std::vector<QStringList>& chosen, int shownButton) {
    QStringList names;
    for (const ExportedWheel& wheel : wheels) {
        names << wheel.filters;
        if (wheel.button >= 0 && wheel.button < int(chosen.size()))
            names << chosen[size_t(wheel.button)];
    }
    return buildLightPath(catalogueValues(db, names, lightPathFields()), wheels, chosen, shownButton);
}

const QStringList& lightPathFields() {
    using namespace schema::field;
    static const QStringList fields{Type,     CodeNo, LowerWavelength, CenterWavelength, UpperWavelength,
                                    OpaqueFor};
    return fields;
}

LightPath buildLightPath(const QHash<QString, QStringList>& catalogue,
                         const std::vector<ExportedWheel>& wheels, const std::vector<QStringList>& chosen,
                         int shownButton) {
    const auto filterOf = [&](const QString& name) {
        const QStringList values = catalogue.value(name);
        return LightPath::Filter{name, values.value(0), values.value(1),
                                 bandOf(values.value(0), number(values.value(2)), number(values.value(3)),
                                        number(values.value(4)), number(values.value(5))),
                                 nullptr};
    };
    LightPath path;
    for (const ExportedWheel& wheel : wheels) {
        LightPath::Lane lane{
            wheel.availableId, wheel.button, wheel.button >= 0 && wheel.button == shownButton, {}, {}};
        const QStringList picked = wheel.button >= 0 && wheel.button < int(chosen.size())
                                       ? chosen[size_t(wheel.button)]
                                       : QStringList();
        for (int r = 0; r < wheel.filters.size(); ++r) {
            LightPath::Position position{wheel.positions.value(r).toString(), filterOf(wheel.filters[r]),
                                         std::nullopt};
            if (r < picked.size() && !picked[r].isEmpty() && picked[r] != wheel.filters[r])
                position.chosen = filterOf(picked[r]);
            for (const LightPath::Filter* filter :
                 {&position.stored, position.chosen ? &*position.chosen : nullptr})
                for (double wavelength : filter ? filter->band.extent() : std::vector<double>()) {
                    path.axisFrom = std::min(path.axisFrom, std::floor(wavelength / 50) * 50);
                    path.axisTo = std::max(path.axisTo, std::ceil(wavelength / 50) * 50);
                }
            lane.positions.push_back(std::move(position));
        }
        path.lanes.push_back(std::move(lane));
    }
    return path;
}

LightPath lightPathOfMode(const Database& db, const Installation& installation, wheels::Mode mode,
                          int shownWheel, const QStringList& chosen) {
    std::vector<ExportedWheel> shown;
    // The light path looks every filter up itself, codes included.
    for (const ExportedWheel& wheel : exportedWheels(db, installation, false))
        if (wheel.mode == mode)
            shown.push_back(wheel);
    std::vector<QStringList> chosenByWheel(wheels::ButtonCount);
    const auto& rows = installation.placement.WheelRows;
    if (shownWheel >= 0 && shownWheel < wheels::ButtonCount && size_t(shownWheel) < rows.size())
        chosenByWheel[size_t(shownWheel)] =
            chosen.mid(0, std::min<int>(int(rows[size_t(shownWheel)].size()), wheels::PositionsPerWheel));
    return buildLightPath(db, shown, chosenByWheel, shownWheel);
}
