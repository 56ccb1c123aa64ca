#pragma once

// Fluorophores: a built-in list of common dyes and fluorescent proteins by their published
// excitation and emission peaks, each given a standard shape around its peaks, and dyes read from
// the excitation/emission tables that spectra viewers export.

#include "core/spectra/curve.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace spectra {

struct Dye {
    QString name;
    QStringList aliases;       // other names it is found by ("GFP" for EGFP)
    double excitationPeak = 0; // nm
    double emissionPeak = 0;
    // Relative to their peaks (0-1). Built-in dyes carry the standard shape, imported ones their file.
    Curve excitation;
    Curve emission;
    QString source; // "built in", or the file it was read from
};

// A dye of the standard shape: an emission falling off as a Gaussian of 12 nm towards the blue and
// 30 nm towards the red of its peak, an excitation of 30 nm towards the blue and 20 nm towards the
// red (the mirror-image tails of a fluorophore's spectra, without their shoulders).
Dye standardDye(const QString& name, double excitationPeak, double emissionPeak);

// About forty common fluorophores, by name.
const std::vector<Dye>& builtInDyes();

// The dyes whose name or alias holds `text` (ignoring case and spaces), those beginning with it
// first; all when it is empty.
std::vector<const Dye*> findDyes(const std::vector<Dye>& dyes, const QString& text);
// The dye of exactly this name or alias (ignoring case and spaces), or none.
const Dye* dyeNamed(const std::vector<Dye>& dyes, const QString& name);

// A dye from a spectra viewer's export: a wavelength column and an excitation and an emission
// column, found by headers holding "ex"/"abs" and "em" or else the second and third columns. Each
// curve is scaled to its peak; the name is the file's base name unless given.
[[nodiscard]] Result readDye(const QString& path, const QString& name, Dye* dye);
[[nodiscard]] Result dyeOf(const Table& table, const QString& name, Dye* dye);

} // namespace spectra
