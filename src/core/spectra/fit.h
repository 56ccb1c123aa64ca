#pragma once

// Which positions suit a dye: every light path the installed wheels can form, with the share of
// the dye's emission that reaches the detector and whether the excitation line reaches the sample,
// ranked. The model, on 1 nm bins from 300 to 1000 nm:
// - a measured curve is the filter's transmission as given (linear between its points, its end
//   values beyond them); a beam splitter reflects one minus what it transmits;
// - without one, a catalogue band transmits 1 inside it and 0 outside (a bin at its edge the share
//   of the bin inside): a band pass between its edges, a long pass above, a short pass below, a
//   notch outside its band, a secondary splitter above its edge (reflecting below), and a main
//   splitter everywhere but within 5 nm of its lines (which it reflects to the sample): its "Opaque
//   for" and the lines its name gives ("HFT 405/488/561"), which a measured splitter keeps too;
// - "None" passes everything;
// - a scanning path is a main splitter, then a secondary splitter's transmitted or reflected side
//   (when the installation has secondary splitters), then an emission filter; a filter cube is a
//   path of its own, judged by the emission its measured curve passes and ranked among the cubes,
//   after the scanning paths (it brings its own excitation, which no curve here tells; the
//   catalogue holds no band for a cube);
// - the excitation line is the laser when one is given, else the main splitter's line that excites
//   the dye best; it reaches the sample when the splitter reflects at least half of it, and the
//   dye's excitation there (relative to its peak) times the emission share is the score the paths
//   are ranked by; of paths within 0.1 % of each other, the one whose emission filter passes the
//   narrowest band comes first (it lets through the least light the dye does not emit);
// - secondary splitter sides that pass the same light (an empty position, a mirror's reflection)
//   make one path.
// Not modelled: the objective, the detector's sensitivity, the laser's leak through the filters,
// other dyes' light. Paths through an empty emission position are left out: they block nothing.

#include "core/inspect/light_path.h"
#include "core/spectra/dyes.h"

#include <QHash>
#include <optional>
#include <vector>

namespace spectra {

constexpr int GridFrom = 300; // nm, the first bin's lower edge
constexpr int GridBins = 700;

// A filter in a position of an installed wheel, as the fit sees it.
struct Element {
    QString wheel; // "ID Available"
    int button = -1;
    QString position;
    LightPath::Filter filter;        // its band with a main splitter's named lines, its measured curve
    std::vector<float> transmission; // per bin; empty when neither a curve nor a band is known
    const QString& name() const { return filter.name; }
    bool measured() const { return filter.measured != nullptr; }
    double reflectionAt(double nm) const;
    double transmissionAt(double nm) const;
};

struct FitPath {
    int main = -1, secondary = -1, emission = -1, cube = -1; // into FitResult::elements
    bool reflected = false;                                  // the secondary splitter's reflected side
    double emitted = 0;         // the share of the dye's emission that reaches the detector, 0-1
    std::optional<double> line; // the excitation line judged, nm
    bool reaches = false;
    double excited = 0; // the dye's excitation at the line, relative to its peak
    double score = 0;
    double width = 0; // nm the emission filter (or cube) passes over the grid: the narrower of equals first
};

struct FitResult {
    std::vector<Element> elements;
    std::vector<FitPath> paths; // best first
    QStringList withoutValues;  // placed filters with neither a curve nor a band: no path through them
    // "HFT 488/561 (HT 3) > NFT 545 transmitted (NT1 2) > BP 505-530 (EF1 3)"
    QString describe(const FitPath& path) const;
    // The positions to select, one per wheel: ("HT", "3"), ("NT1", "2"), ("EF1", "3").
    std::vector<std::pair<QString, QString>> positionsOf(const FitPath& path) const;
};

// Transmission per bin of a catalogue band (empty for one without values), and of a measured curve.
std::vector<float> binsOf(const Band& band);
std::vector<float> binsOf(const Curve& curve);
// A dye's emission or excitation per bin: the curve's values, nothing outside its points.
std::vector<float> dyeBinsOf(const Curve& curve);

// Every path of the installed wheels (all modes' lanes; a filter's measured curve where it has one),
// for the dye and the laser line, ranked.
FitResult fit(const LightPath& installed, const Dye& dye, std::optional<double> laser);
// The same with the curves given by filter name.
FitResult fit(LightPath installed, const QHash<QString, Curve>& measured, const Dye& dye,
              std::optional<double> laser);
// The same over every installed wheel of a loaded installation.
FitResult fitInstallation(const Database& db, const Installation& installation,
                          const QHash<QString, Curve>& measured, const Dye& dye, std::optional<double> laser);

// "78.2 %"
QString percentText(double share);

// A ranked path as the light path draws it: a lane for each of its positions, the laser's line, and
// the dye's excitation and emission (relative to their peaks) as curves of a lane of their own.
LightPath drawingOf(const FitResult& result, const FitPath& path, const Dye& dye,
                    std::optional<double> laser);

} // namespace spectra
