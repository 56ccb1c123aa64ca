// The built-in fluorophores and the reading of dye spectra files.

#include "core/spectra/dyes.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace spectra {

namespace {

// Rises as a Gaussian of width `below` up to the peak and falls as one of width `above`.
Curve skewedPeak(double peak, double below, double above) {
    Curve curve;
    for (double nm = 250; nm <= 1000; nm += 1) {
        const double width = nm < peak ? below : above;
        const double d = (nm - peak) / width;
        curve.nm.push_back(nm);
        curve.value.push_back(std::exp(-0.5 * d * d));
    }
    return curve;
}

QString folded(const QString& text) {
    QString out = text.toCaseFolded();
    out.remove(QLatin1Char(' '));
    out.remove(QLatin1Char('-'));
    return out;
}

// One column as a curve scaled to its peak.
Result relativeCurve(const Table& table, int column, const QString& what, Curve* curve) {
    const double largest = largestIn(table, column);
    if (largest <= 0)
        return fileFault(table.file, 0, QStringLiteral("the %1 column holds no value above 0.").arg(what));
    const auto negative = [&](double value) {
        return value < -0.05 * largest ? QStringLiteral("the %1 is below 0.").arg(what) : QString();
    };
    if (Result read = columnPoints(table, column, negative, curve); read.isError())
        return read;
    for (double& value : curve->value)
        value = std::max(0.0, value / largest);
    return {};
}

double peakOf(const Curve& curve) {
    return curve.nm[size_t(std::max_element(curve.value.begin(), curve.value.end()) - curve.value.begin())];
}

} // namespace

Dye standardDye(const QString& name, double excitationPeak, double emissionPeak) {
    return Dye{name,
               {},
               excitationPeak,
               emissionPeak,
               skewedPeak(excitationPeak, 30, 20),
               skewedPeak(emissionPeak, 12, 30),
               QStringLiteral("built in")};
}

const std::vector<Dye>& builtInDyes() {
    struct Peaks {
        const char* name;
        const char* aliases;
        double excitation, emission;
    };
    // Published peaks, in nm.
    static const Peaks peaks[] = {
        {"DAPI", "", 358, 461},
        {"Hoechst 33342", "Hoechst", 350, 461},
        {"Hoechst 33258", "", 352, 461},
        {"Alexa Fluor 350", "AF350", 346, 442},
        {"Alexa Fluor 405", "AF405", 401, 421},
        {"Pacific Blue", "", 401, 452},
        {"EBFP2", "BFP", 383, 448},
        {"mTagBFP2", "TagBFP", 399, 454},
        {"ECFP", "CFP", 433, 475},
        {"mTurquoise2", "", 434, 474},
        {"mCerulean3", "Cerulean", 433, 475},
        {"EGFP", "GFP", 488, 507},
        {"Alexa Fluor 488", "AF488", 496, 519},
        {"FITC", "Fluorescein", 495, 519},
        {"mNeonGreen", "", 506, 517},
        {"SYTOX Green", "", 504, 523},
        {"Calcein", "", 494, 517},
        {"EYFP", "YFP", 513, 527},
        {"mVenus", "Venus", 515, 528},
        {"mCitrine", "Citrine", 516, 529},
        {"Alexa Fluor 514", "AF514", 517, 542},
        {"Alexa Fluor 532", "AF532", 531, 554},
        {"Alexa Fluor 546", "AF546", 556, 573},
        {"Alexa Fluor 555", "AF555", 555, 565},
        {"Cy3", "", 550, 570},
        {"TRITC", "Tetramethylrhodamine", 557, 576},
        {"mOrange2", "", 549, 565},
        {"tdTomato", "", 554, 581},
        {"DsRed", "", 558, 583},
        {"Propidium iodide", "PI", 535, 617},
        {"Alexa Fluor 568", "AF568", 578, 603},
        {"mCherry", "", 587, 610},
        {"Texas Red", "", 589, 615},
        {"Alexa Fluor 594", "AF594", 590, 617},
        {"mKate2", "", 588, 633},
        {"Alexa Fluor 633", "AF633", 632, 647},
        {"TO-PRO-3", "", 642, 661},
        {"iRFP670", "", 643, 670},
        {"Alexa Fluor 647", "AF647", 650, 665},
        {"Cy5", "", 649, 666},
        {"APC", "Allophycocyanin", 650, 660},
        {"DRAQ5", "", 647, 681},
        {"Alexa Fluor 660", "AF660", 663, 690},
        {"Cy5.5", "", 675, 694},
        {"Alexa Fluor 680", "AF680", 679, 702},
        {"Alexa Fluor 700", "AF700", 702, 723},
        {"Cy7", "", 743, 767},
        {"Alexa Fluor 750", "AF750", 749, 775},
    };
    static const std::vector<Dye> dyes = [] {
        std::vector<Dye> list;
        for (const Peaks& p : peaks) {
            Dye dye = standardDye(QString::fromUtf8(p.name), p.excitation, p.emission);
            if (*p.aliases)
                dye.aliases = QString::fromUtf8(p.aliases).split(QLatin1Char(','));
            list.push_back(std::move(dye));
        }
        return list;
    }();
    return dyes;
}

std::vector<const Dye*> findDyes(const std::vector<Dye>& dyes, const QString& text) {
    const QString wanted = folded(text);
    std::vector<const Dye*> starting, holding;
    for (const Dye& dye : dyes) {
        bool starts = false, holds = false;
        for (const QString& name : QStringList{dye.name} + dye.aliases) {
            const QString candidate = folded(name);
            starts = starts || candidate.startsWith(wanted);
            holds = holds || candidate.contains(wanted);
        }
        if (starts)
            starting.push_back(&dye);
        else if (holds)
            holding.push_back(&dye);
    }
    starting.insert(starting.end(), holding.begin(), holding.end());
    return starting;
}

const Dye* dyeNamed(const std::vector<Dye>& dyes, const QString& name) {
    const QString wanted = folded(name);
    for (const Dye& dye : dyes)
        for (const QString& candidate : QStringList{dye.name} + dye.aliases)
            if (folded(candidate) == wanted)
                return &dye;
    return nullptr;
}

Result readDye(const QString& path, const QString& name, Dye* dye) {
    Table table;
    if (Result read = readTable(path, &table); read.isError())
        return read;
    return dyeOf(table, name.isEmpty() ? QFileInfo(path).completeBaseName() : name, dye);
}

namespace {

// Whether a header says what a column holds, word by word, so that "Texas Red EM" is an emission.
bool headerSays(const QString& header, const QStringList& words, const QStringList& beginnings) {
    static const QRegularExpression notLetters(QStringLiteral("[^a-z]+"));
    for (const QString& word : header.toCaseFolded().split(notLetters, Qt::SkipEmptyParts))
        if (words.contains(word) || std::any_of(beginnings.begin(), beginnings.end(),
                                                [&](const QString& b) { return word.startsWith(b); }))
            return true;
    return false;
}

} // namespace

Result dyeOf(const Table& table, const QString& name, Dye* dye) {
    int excitation = -1, emission = -1;
    for (int c = 1; c < table.columns.size(); ++c) {
        const QString& header = table.columns[c];
        if (excitation < 0 &&
            headerSays(header, {QStringLiteral("ex"), QStringLiteral("exc"), QStringLiteral("abs")},
                       {QStringLiteral("excit"), QStringLiteral("absor")}))
            excitation = c;
        else if (emission < 0 &&
                 headerSays(header, {QStringLiteral("em")}, {QStringLiteral("emis"), QStringLiteral("emit")}))
            emission = c;
    }
    if (excitation < 0 && emission < 0) {
        excitation = 1;
        emission = 2;
    } else if (excitation < 0 || emission < 0) {
        return fileFault(
            table.file, 0,
            QStringLiteral("the header names an %1 column, but no %2 column.")
                .arg(excitation < 0 ? QStringLiteral("emission") : QStringLiteral("excitation"),
                     excitation < 0 ? QStringLiteral("excitation") : QStringLiteral("emission")));
    }
    if (table.width() <= std::max(excitation, emission))
        return fileFault(table.file, 0,
                         QStringLiteral("a dye needs a wavelength, an excitation and an emission column."));
    *dye = Dye{name, {}, 0, 0, {}, {}, table.file};
    if (Result read = relativeCurve(table, excitation, QStringLiteral("excitation"), &dye->excitation);
        read.isError())
        return read;
    if (Result read = relativeCurve(table, emission, QStringLiteral("emission"), &dye->emission);
        read.isError())
        return read;
    dye->excitationPeak = peakOf(dye->excitation);
    dye->emissionPeak = peakOf(dye->emission);
    return {};
}

} // namespace spectra
