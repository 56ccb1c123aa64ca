#pragma once

// Measured spectra as filter makers and spectra databases publish them: a text table of a
// wavelength column and one or more value columns, read with every check a foreign file needs, and
// a filter's transmission curve kept as plain text beside the installation.

#include "core/db/result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace spectra {

// A file larger than this is no spectrum (a 0.1 nm table from 200 to 1700 nm takes about 300 KB).
constexpr qint64 MaxFileBytes = qint64(4) << 20;
constexpr int MaxPoints = 100000;
// Values this far beyond 0 or full scale are measurement noise, and are clamped.
constexpr double Noise = 0.005;
// Wavelengths outside this range are no nm of light a microscope passes.
constexpr double ShortestNm = 150;
constexpr double LongestNm = 3000;

// A text table: the header's column names (empty when the file has none) and the rows of numbers,
// each with its line number; a missing cell is an empty optional.
struct Table {
    QString file; // as messages name it
    QStringList columns;
    struct Row {
        int line = 0;
        std::vector<std::optional<double>> cells;
    };
    std::vector<Row> rows;
    int width() const { return rows.empty() ? int(columns.size()) : int(rows.front().cells.size()); }
    // The column whose header is `name` (ignoring case and quotes), or -1.
    int column(const QString& name) const;
};

// Reads the table of a file: comma, semicolon, tab or space separated; comment lines (#, %, //, !)
// and blank lines skipped; the lines before the first that begins like a number are the header. Refused,
// naming the file and line, when it is too large, not text, or a row holds something that is no
// finite number.
[[nodiscard]] Result readTable(const QString& path, Table* table);
[[nodiscard]] Result parseTable(const QByteArray& data, const QString& file, Table* table);

// A curve: wavelengths in nm, strictly increasing, with a value for each.
struct Curve {
    std::vector<double> nm;
    std::vector<double> value;
    bool isEmpty() const { return nm.empty(); }
    // Linear between points, the end values beyond them.
    double at(double wavelength) const;
    // "1,201 points, 300 to 1,200 nm"
    QString describe() const;
};

// A transmission curve from a table: the column named `column`, or the only value column. Values in
// percent (a header with "%", or three values above 1.5) are made fractions. Refused, naming the line,
// for wavelengths that do not increase or are no nm, and values outside 0-1 (or 0-100 %).
[[nodiscard]] Result transmissionOf(const Table& table, const QString& column, Curve* curve);
// The same from the column at `index` (1: the first after the wavelengths).
[[nodiscard]] Result transmissionOf(const Table& table, int index, Curve* curve);

// The refusal of a file's line (0: of the file as a whole): "'f.txt', line 3: ...".
Result fileFault(const QString& file, int line, const QString& what);
// The largest value of a column.
double largestIn(const Table& table, int column);
// The points of one value column, rows without a value passed over; refused, naming the line, for
// a wavelength that is no nm of light or does not increase, and where `valueFault` names a fault.
[[nodiscard]] Result columnPoints(const Table& table, int column,
                                  const std::function<QString(double)>& valueFault, Curve* points);

// The curve as stored: a line "nm value" a point.
QByteArray toText(const Curve& curve);
// Read back with the same checks as an import.
[[nodiscard]] Result fromText(const QByteArray& text, const QString& name, Curve* curve);

} // namespace spectra
