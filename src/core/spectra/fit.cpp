// Ranks the light paths of an installation for a dye, on a grid of 1 nm bins.

#include "core/spectra/fit.h"

#include "core/db/schema.h"
#include "core/placement/wheels.h"

#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>

namespace spectra {

namespace {

constexpr double Infinite = std::numeric_limits<double>::infinity();
constexpr double LineHalfWidth = 5; // nm a main splitter reflects either side of its line

// The share of bin `bin` inside [from, to].
float overlap(int bin, double from, double to) {
    const double lower = GridFrom + bin;
    return float(std::max(0.0, std::min(lower + 1, to) - std::max(lower, from)));
}

std::vector<float> inside(double from, double to) {
    std::vector<float> bins(GridBins);
    for (int b = 0; b < GridBins; ++b)
        bins[size_t(b)] = overlap(b, from, to);
    return bins;
}

std::vector<float> inverted(std::vector<float> bins) {
    for (float& value : bins)
        value = 1 - value;
    return bins;
}

enum class Role { None, Main, Secondary, Emission, Cube };

Role roleOf(int button) {
    if (button < 0 || button >= wheels::ButtonCount)
        return Role::None;
    switch (wheels::button(button).kind) {
    case wheels::SetKind::Emission:
    case wheels::SetKind::FcsEmission:
        return Role::Emission;
    case wheels::SetKind::Cube:
        return Role::Cube;
    case wheels::SetKind::MainSplitter:
    case wheels::SetKind::Mbs:
        return Role::Main;
    case wheels::SetKind::SecondarySplitter:
    case wheels::SetKind::Dbs:
        return Role::Secondary;
    case wheels::SetKind::None:
        break;
    }
    return Role::None;
}

double binCentre(int bin) {
    return GridFrom + bin + 0.5;
}

int binOf(double nm) {
    return int(std::floor(nm - GridFrom));
}

float valueAt(const std::vector<float>& bins, double nm) {
    const int bin = binOf(nm);
    return bin >= 0 && bin < int(bins.size()) ? bins[size_t(bin)] : 1.0f;
}

// The sums the fit multiplies: over the bins where the dye emits.
struct Span {
    int from = 0, to = 0;
};

Span emissionSpan(const std::vector<float>& emission) {
    Span span{GridBins, 0};
    for (int b = 0; b < GridBins; ++b)
        if (emission[size_t(b)] > 1e-4f) {
            span.from = std::min(span.from, b);
            span.to = b + 1;
        }
    return span.to > span.from ? span : Span{0, 0};
}

} // namespace

std::vector<float> binsOf(const Band& band) {
    switch (band.shape) {
    case Band::Shape::Pass:
        return inside(band.from, band.to);
    case Band::Shape::LongPass:
        return inside(band.from, Infinite);
    case Band::Shape::ShortPass:
        return inside(-Infinite, band.to);
    case Band::Shape::Notch:
        return inverted(inside(band.from, band.to));
    case Band::Shape::Edge:
        return band.isMirror() ? std::vector<float>(GridBins, 0.0f) : inside(band.from, Infinite);
    case Band::Shape::Lines: {
        std::vector<float> bins(GridBins, 1.0f);
        for (double line : band.lines)
            for (int b = 0; b < GridBins; ++b)
                bins[size_t(b)] -= overlap(b, line - LineHalfWidth, line + LineHalfWidth);
        for (float& value : bins)
            value = std::max(0.0f, value);
        return bins;
    }
    case Band::Shape::NoValues:
        break;
    }
    return {};
}

std::vector<float> binsOf(const Curve& curve) {
    std::vector<float> bins(GridBins);
    for (int b = 0; b < GridBins; ++b)
        bins[size_t(b)] = float(curve.at(binCentre(b)));
    return bins;
}

std::vector<float> dyeBinsOf(const Curve& curve) {
    std::vector<float> bins(GridBins, 0.0f);
    for (int b = 0; b < GridBins && !curve.isEmpty(); ++b)
        if (binCentre(b) >= curve.nm.front() && binCentre(b) <= curve.nm.back())
            bins[size_t(b)] = float(curve.at(binCentre(b)));
    return bins;
}

double Element::transmissionAt(double wavelength) const {
    return valueAt(transmission, wavelength);
}

double Element::reflectionAt(double wavelength) const {
    return 1 - transmissionAt(wavelength);
}

QString FitResult::describe(const FitPath& path) const {
    QStringList steps;
    for (int index : {path.cube, path.main, path.secondary, path.emission}) {
        if (index < 0)
            continue;
        const Element& e = elements[size_t(index)];
        QString step = QStringLiteral("%1 (%2 %3)").arg(e.name(), e.wheel, e.position);
        if (index == path.secondary)
            step.insert(e.name().size(),
                        path.reflected ? QStringLiteral(" reflected") : QStringLiteral(" transmitted"));
        steps << step;
    }
    return steps.join(QStringLiteral(" > "));
}

std::vector<std::pair<QString, QString>> FitResult::positionsOf(const FitPath& path) const {
    std::vector<std::pair<QString, QString>> positions;
    for (int index : {path.cube, path.main, path.secondary, path.emission})
        if (index >= 0)
            positions.emplace_back(elements[size_t(index)].wheel, elements[size_t(index)].position);
    return positions;
}

namespace {

// A main splitter's lines: its "Opaque for" and those its name gives ("HFT 405/488/561").
std::vector<double> linesOf(const QString& name, std::vector<double> lines) {
    static const QRegularExpression named(QStringLiteral("(?<![\\d.])(\\d{3}(?:/\\d{3})+)(?![\\d.])"));
    const QRegularExpressionMatch match = named.match(name);
    for (const QString& line : match.captured(1).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const double nm = line.toDouble();
        if (nm >= GridFrom && nm < GridFrom + GridBins &&
            std::find(lines.begin(), lines.end(), nm) == lines.end())
            lines.push_back(nm);
    }
    return lines;
}

struct Groups {
    std::vector<int> main, secondary, emission, cube;
};

Groups collect(const LightPath& installed, FitResult* result) {
    Groups groups;
    for (const LightPath::Lane& lane : installed.lanes) {
        const Role role = roleOf(lane.button);
        if (role == Role::None)
            continue;
        for (const LightPath::Position& position : lane.positions) {
            const LightPath::Filter& filter = position.stored;
            Element element{lane.wheel, lane.button, position.position, filter, {}};
            if (filter.name == schema::NoFilter) {
                if (role == Role::Emission || role == Role::Cube)
                    continue; // blocks nothing: no path worth ranking
                element.transmission.assign(GridBins, 1.0f);
            } else {
                // A main splitter's lines, measured or not: its "Opaque for" and those of its name.
                if (role == Role::Main && (filter.band.shape == Band::Shape::Lines ||
                                           (filter.measured && filter.band.lines.empty()))) {
                    element.filter.band.lines = linesOf(filter.name, filter.band.lines);
                    if (!element.filter.band.lines.empty())
                        element.filter.band.shape = Band::Shape::Lines;
                }
                element.transmission =
                    filter.measured ? binsOf(*filter.measured) : binsOf(element.filter.band);
            }
            if (element.transmission.empty()) {
                if (!result->withoutValues.contains(filter.name))
                    result->withoutValues << filter.name;
                continue;
            }
            const int index = int(result->elements.size());
            result->elements.push_back(std::move(element));
            (role == Role::Main        ? groups.main
             : role == Role::Secondary ? groups.secondary
             : role == Role::Emission  ? groups.emission
                                       : groups.cube)
                .push_back(index);
        }
    }
    return groups;
}

double widthOf(const Element& element) {
    double sum = 0;
    for (float value : element.transmission)
        sum += value;
    return sum;
}

// Shares within 0.1 % of each other are equals.
long long permille(double share) {
    return std::llround(share * 1000);
}

// In float, four sums at once, so that the compiler can keep it in vector registers.
double dot(const float* a, const float* b, const Span& span) {
    float sums[4] = {0, 0, 0, 0};
    int i = span.from;
    for (; i + 4 <= span.to; i += 4)
        for (int k = 0; k < 4; ++k)
            sums[k] += a[i + k] * b[i + k];
    for (; i < span.to; ++i)
        sums[0] += a[i] * b[i];
    return double(sums[0]) + double(sums[1]) + double(sums[2]) + double(sums[3]);
}

// The excitation of a path's main splitter: the line judged, whether it reaches the sample and
// how much it excites the dye.
void excite(const Element& main, const Dye& dye, std::optional<double> laser, FitPath* path) {
    path->line = laser;
    // Without a laser, the splitter's line that excites the dye best.
    if (!path->line && main.filter.band.shape == Band::Shape::Lines)
        for (double line : main.filter.band.lines)
            if (!path->line || dye.excitation.at(line) > dye.excitation.at(*path->line))
                path->line = line;
    if (!path->line)
        return;
    path->reaches = main.reflectionAt(*path->line) >= 0.5;
    path->excited =
        path->reaches ? std::clamp(dye.excitation.isEmpty() ? 0.0 : dye.excitation.at(*path->line), 0.0, 1.0)
                      : 0.0;
    if (!dye.excitation.isEmpty() &&
        (*path->line < dye.excitation.nm.front() || *path->line > dye.excitation.nm.back()))
        path->excited = 0;
}

} // namespace

FitResult fit(LightPath installed, const QHash<QString, Curve>& measured, const Dye& dye,
              std::optional<double> laser) {
    addMeasured(&installed, measured);
    return fit(installed, dye, laser);
}

FitResult fit(const LightPath& installed, const Dye& dye, std::optional<double> laser) {
    FitResult result;
    const Groups groups = collect(installed, &result);
    const std::vector<float> emission = dyeBinsOf(dye.emission);
    const Span span = emissionSpan(emission);
    double total = 0;
    for (int b = span.from; b < span.to; ++b)
        total += emission[size_t(b)];
    if (total <= 0)
        return result;
    for (int cube : groups.cube) {
        FitPath path;
        path.cube = cube;
        path.emitted = dot(result.elements[size_t(cube)].transmission.data(), emission.data(), span) / total;
        path.excited = 1;
        path.score = path.emitted;
        path.width = widthOf(result.elements[size_t(cube)]);
        result.paths.push_back(path);
    }
    // The emission side of each emission filter, weighted by the dye; the splitters' sides.
    std::vector<std::vector<float>> weighted;
    std::vector<double> widths;
    for (int e : groups.emission) {
        widths.push_back(widthOf(result.elements[size_t(e)]));
        std::vector<float> bins = result.elements[size_t(e)].transmission;
        for (int b = 0; b < GridBins; ++b)
            bins[size_t(b)] *= emission[size_t(b)];
        weighted.push_back(std::move(bins));
    }
    struct Side {
        int secondary;
        bool reflected;
    };
    // Sides that pass the same light (an empty position, a mirror's reflection) are one path.
    std::vector<Side> sides;
    std::vector<std::vector<float>> sideBins;
    for (int s : groups.secondary)
        for (bool reflected : {false, true}) {
            std::vector<float> bins = result.elements[size_t(s)].transmission;
            if (reflected)
                bins = inverted(std::move(bins));
            if (std::find(sideBins.begin(), sideBins.end(), bins) != sideBins.end())
                continue;
            sides.push_back({s, reflected});
            sideBins.push_back(std::move(bins));
        }
    if (sides.empty())
        sides.push_back({-1, false});
    std::vector<float> beforeEmission(GridBins);
    result.paths.reserve(result.paths.size() + groups.main.size() * sides.size() * groups.emission.size());
    for (int m : groups.main) {
        const Element& main = result.elements[size_t(m)];
        FitPath base;
        base.main = m;
        excite(main, dye, laser, &base);
        for (const Side& side : sides) {
            for (int b = span.from; b < span.to; ++b) {
                float value = main.transmission[size_t(b)];
                if (side.secondary >= 0) {
                    const float t = result.elements[size_t(side.secondary)].transmission[size_t(b)];
                    value *= side.reflected ? 1 - t : t;
                }
                beforeEmission[size_t(b)] = value;
            }
            for (size_t e = 0; e < groups.emission.size(); ++e) {
                FitPath path = base;
                path.secondary = side.secondary;
                path.reflected = side.reflected;
                path.emission = groups.emission[e];
                path.emitted =
                    std::clamp(dot(beforeEmission.data(), weighted[e].data(), span) / total, 0.0, 1.0);
                path.score = path.emitted * path.excited;
                path.width = widths[e];
                result.paths.push_back(path);
            }
        }
    }
    std::stable_sort(result.paths.begin(), result.paths.end(), [](const FitPath& a, const FitPath& b) {
        if ((a.cube >= 0) != (b.cube >= 0)) // a cube's excitation is its own: ranked among the cubes
            return a.cube < 0;
        if (permille(a.score) != permille(b.score))
            return a.score > b.score;
        if (permille(a.emitted) != permille(b.emitted))
            return a.emitted > b.emitted;
        return a.width < b.width;
    });
    return result;
}

FitResult fitInstallation(const Database& db, const Installation& installation,
                          const QHash<QString, Curve>& measured, const Dye& dye,
                          std::optional<double> laser) {
    return fit(buildLightPath(db, exportedWheels(db, installation, false)), measured, dye, laser);
}

LightPath drawingOf(const FitResult& result, const FitPath& path, const Dye& dye,
                    std::optional<double> laser) {
    LightPath drawing;
    const auto widen = [&](double nm) {
        drawing.axisFrom = std::min(drawing.axisFrom, std::floor(nm / 50) * 50);
        drawing.axisTo = std::max(drawing.axisTo, std::ceil(nm / 50) * 50);
    };
    const auto curveOf = [](const Curve& curve) { return std::make_shared<const Curve>(curve); };
    drawing.lanes.push_back(
        {dye.name,
         -1,
         false,
         {{QString(), {QStringLiteral("excitation"), {}, {}, {}, curveOf(dye.excitation)}, {}},
          {QString(), {QStringLiteral("emission"), {}, {}, {}, curveOf(dye.emission)}, {}}},
         QStringLiteral("Dye %1, relative to its peaks").arg(dye.name)});
    if (path.line) {
        Band line;
        line.shape = Band::Shape::Lines;
        line.lines = {*path.line};
        drawing.lanes.push_back(
            {QString(),
             -1,
             false,
             {{QString(), {QStringLiteral("%1 nm").arg(*path.line), {}, {}, line, nullptr}, {}}},
             laser ? QStringLiteral("Laser") : QStringLiteral("Excitation line")});
        widen(*path.line);
    }
    for (int index : {path.cube, path.main, path.secondary, path.emission}) {
        if (index < 0)
            continue;
        const Element& e = result.elements[size_t(index)];
        LightPath::Filter filter = e.filter;
        if (index == path.secondary)
            filter.name += path.reflected ? QStringLiteral(" (reflected)") : QStringLiteral(" (transmitted)");
        drawing.lanes.push_back({e.wheel, e.button, false, {{e.position, filter, std::nullopt}}, QString()});
        for (double nm : filter.band.extent())
            widen(nm);
    }
    return drawing;
}

QString percentText(double share) {
    return QLocale::c().toString(share * 100, 'f', 1) + QStringLiteral(" %");
}

} // namespace spectra
