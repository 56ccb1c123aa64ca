#pragma once

// The light path of a mode: for each installed wheel, each position's filter as the band it passes
// (or the lines it reflects), from the catalogue's wavelengths. The values a drawing is made of,
// without the drawing.

#include "core/inspect/placement_export.h"
#include "core/spectra/curve.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

class Database;

struct Band {
    enum class Shape {
        Pass,      // band pass: from lower to upper, the centre marked
        LongPass,  // passes from its edge up (stored to 1000 nm)
        ShortPass, // passes up to its edge (stored from 200 nm)
        Notch,     // blocks from lower to upper
        Lines,     // a main or neutral beam splitter: reflects its "Opaque for" line
        Edge,      // a secondary beam splitter: an edge at its "Opaque for"
        NoValues,  // the catalogue holds no wavelengths for it
    };
    Shape shape = Shape::NoValues;
    double from = 0; // nm
    double to = 0;
    double centre = 0;
    std::vector<double> lines;

    // The wavelengths that matter for the axis (a long pass's stored 1000 nm does not).
    std::vector<double> extent() const;
    // "passes 505 to 530 nm, centre 517.5 nm"
    QString text() const;
    // A secondary splitter whose edge is stored at 1000 nm or beyond: it reflects the whole range.
    bool isMirror() const { return shape == Shape::Edge && from >= 1000; }
};

// The band of a catalogue row; Null values are none.
Band bandOf(const QString& type, std::optional<double> lower, std::optional<double> centre,
            std::optional<double> upper, std::optional<double> opaque);

struct LightPath {
    struct Filter {
        QString name;
        QString type;
        QString code;
        Band band;
        std::shared_ptr<const spectra::Curve> measured; // drawn instead of the band where there is one
        // "BP 505-530, BP, 000000-1104-321: 505 to 530 nm, centre 517.5 nm", and ", measured: 151
        // points, 450 to 600 nm" where it has a curve (that alone where it has no band)
        QString describe() const;
        QString values() const; // what follows the name, type and code in describe()
    };
    struct Position {
        QString position; // "Position" as the table holds it
        Filter stored;
        std::optional<Filter> chosen; // a filter chosen but not stored yet
    };
    struct Lane {
        QString wheel; // "ID Available"
        int button = -1;
        bool shown = false; // the wheel the main window shows
        std::vector<Position> positions;
        QString title; // what the lane is when it is no wheel ("Dye EGFP"); empty: the wheel's kind and ID
    };
    std::vector<Lane> lanes;
    double axisFrom = 350;
    double axisTo = 800;
    int filterCount() const; // placed filters drawn, "None" not counted
};

// The lanes of the given wheels, with each filter's values from the catalogue; `chosen` holds, by
// button, the filters chosen in the positions of a wheel (empty: none chosen), `shownButton` the
// wheel to highlight. The axis is 350 to 800 nm, widened to the data.
LightPath buildLightPath(const Database& db, const std::vector<ExportedWheel>& wheels,
                         const std::vector<QStringList>& chosen = {}, int shownButton = -1);
// The catalogue's fields a light path is drawn from, in this order: type, code number, lower, centre
// and upper wavelength, "Opaque for".
const QStringList& lightPathFields();
// The same from those fields' values by filter name, however they were read.
LightPath buildLightPath(const QHash<QString, QStringList>& catalogue,
                         const std::vector<ExportedWheel>& wheels,
                         const std::vector<QStringList>& chosen = {}, int shownButton = -1);
// Gives each filter with a measured curve its curve.
void addMeasured(LightPath* path, const QHash<QString, spectra::Curve>& measured);
// What the light-path window draws beside the main window: the installed wheels of a mode, the
// shown wheel highlighted with the filters chosen in its positions (not yet stored) beside the stored
// ones; only the positions the wheel has rows for take a choice.
LightPath lightPathOfMode(const Database& db, const Installation& installation, wheels::Mode mode,
                          int shownWheel, const QStringList& chosen);
