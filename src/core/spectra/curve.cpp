// Reads measured spectra from the text tables filter makers publish, checking every line.

#include "core/spectra/curve.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStringDecoder>
#include <algorithm>
#include <cmath>
#include <functional>

namespace spectra {

namespace {

// (A semicolon begins no comment: in a semicolon-separated file it begins a row whose first cell
// is empty.)
bool isComment(const QByteArray& line) {
    return line.startsWith('#') || line.startsWith('%') || line.startsWith("//") || line.startsWith('!');
}

// A row of numbers begins like a number; anything else before the first one is the header.
bool beginsLikeANumber(const QByteArray& cell) {
    return !cell.isEmpty() && (std::isdigit(static_cast<unsigned char>(cell.front())) ||
                               cell.front() == '-' || cell.front() == '+' || cell.front() == '.');
}

// A line's cells: split on tabs or semicolons where it has them (a comma is then a decimal
// comma), else on commas, else on runs of spaces.
QList<QByteArray> cellsOf(const QByteArray& line) {
    QList<QByteArray> cells;
    char separator = 0;
    for (char candidate : {'\t', ';', ','})
        if (line.contains(candidate)) {
            separator = candidate;
            break;
        }
    if (separator == 0)
        return line.simplified().split(' ');
    cells = line.split(separator);
    for (QByteArray& cell : cells) {
        cell = cell.trimmed();
        if (cell.size() >= 2 && (cell.front() == '"' || cell.front() == '\'') && cell.back() == cell.front())
            cell = cell.mid(1, cell.size() - 2).trimmed();
        if (separator != ',')
            cell.replace(',', '.');
    }
    return cells;
}

enum class Cell { Number, Empty, NotNumber, NotFinite };

Cell numberOf(const QByteArray& text, double* value) {
    if (text.isEmpty())
        return Cell::Empty;
    bool ok = false;
    *value = text.toDouble(&ok);
    const QByteArray lower = text.toLower();
    if (lower.contains("nan") || lower.contains("inf") || (ok && !std::isfinite(*value)))
        return Cell::NotFinite;
    return ok ? Cell::Number : Cell::NotNumber;
}

QString shown(const QByteArray& cell) {
    return QString::fromUtf8(cell.left(40));
}

QString number(double value) {
    return QLocale::c().toString(value, 'g', 6);
}

} // namespace

Result fileFault(const QString& file, int line, const QString& what) {
    const QString where =
        line > 0 ? QStringLiteral("'%1', line %2: ").arg(file).arg(line) : QStringLiteral("'%1': ").arg(file);
    return Result::make(dberr::BadFile, where + what);
}

double largestIn(const Table& table, int column) {
    double largest = 0;
    for (const Table::Row& row : table.rows)
        if (row.cells[size_t(column)])
            largest = std::max(largest, *row.cells[size_t(column)]);
    return largest;
}

Result columnPoints(const Table& table, int column, const std::function<QString(double)>& valueFault,
                    Curve* points) {
    *points = Curve();
    for (const Table::Row& row : table.rows) {
        const std::optional<double> wavelength = row.cells.front();
        const std::optional<double> value = row.cells[size_t(column)];
        if (!value)
            continue;
        if (!wavelength || *wavelength < ShortestNm || *wavelength > LongestNm)
            return fileFault(table.file, row.line,
                             QStringLiteral("'%1' is no wavelength in nm (%2 to %3).")
                                 .arg(wavelength ? number(*wavelength) : QString(), number(ShortestNm),
                                      number(LongestNm)));
        if (!points->nm.empty() && *wavelength <= points->nm.back())
            return fileFault(
                table.file, row.line,
                QStringLiteral("the wavelength %1 nm does not increase (the line before: %2 nm).")
                    .arg(number(*wavelength), number(points->nm.back())));
        if (const QString fault = valueFault(*value); !fault.isEmpty())
            return fileFault(table.file, row.line, fault);
        points->nm.push_back(*wavelength);
        points->value.push_back(*value);
    }
    return {};
}

int Table::column(const QString& name) const {
    const QString wanted = name.trimmed();
    for (int c = 0; c < columns.size(); ++c)
        if (columns[c].compare(wanted, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

Result readTable(const QString& path, Table* table) {
    const QString name = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Result::make(dberr::FileNotFound,
                            QStringLiteral("'%1' cannot be read: %2").arg(name, file.errorString()));
    if (file.size() > MaxFileBytes)
        return fileFault(name, 0,
                         QStringLiteral("the file is %1 MB; a spectrum is at most %2 MB.")
                             .arg(file.size() >> 20)
                             .arg(MaxFileBytes >> 20));
    return parseTable(file.read(MaxFileBytes + 1), name, table);
}

Result parseTable(const QByteArray& data, const QString& file, Table* table) {
    *table = Table{file, {}, {}};
    if (data.size() > MaxFileBytes)
        return fileFault(file, 0, QStringLiteral("a spectrum is at most %1 MB.").arg(MaxFileBytes >> 20));
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)utf8.decode(data);
    if (data.contains('\0') || utf8.hasError())
        return fileFault(file, 0, QStringLiteral("this is not a text file."));
    int lineNumber = 0;
    const QByteArray text = data.startsWith("\xEF\xBB\xBF") ? data.mid(3) : data; // a spreadsheet's BOM
    for (const QByteArray& raw : text.split('\n')) {
        ++lineNumber;
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || isComment(line))
            continue;
        const QList<QByteArray> cells = cellsOf(line);
        double value = 0;
        if (table->rows.empty() && !beginsLikeANumber(cells.front())) {
            table->columns.clear(); // the header is the last line before the numbers
            for (const QByteArray& cell : cells)
                table->columns << QString::fromUtf8(cell).trimmed();
            continue;
        }
        if (int(table->rows.size()) >= MaxPoints)
            return fileFault(file, lineNumber,
                             QStringLiteral("a spectrum has at most %1 points.").arg(MaxPoints));
        Table::Row row{lineNumber, {}};
        for (const QByteArray& cell : cells) {
            switch (numberOf(cell, &value)) {
            case Cell::Number:
                row.cells.emplace_back(value);
                break;
            case Cell::Empty:
                row.cells.emplace_back(std::nullopt);
                break;
            case Cell::NotFinite:
                return fileFault(file, lineNumber,
                                 QStringLiteral("'%1' is not a finite number.").arg(shown(cell)));
            case Cell::NotNumber:
                return fileFault(file, lineNumber, QStringLiteral("'%1' is not a number.").arg(shown(cell)));
            }
        }
        if (row.cells.size() < 2)
            return fileFault(file, lineNumber, QStringLiteral("a wavelength and a value are wanted."));
        if (!table->rows.empty() && row.cells.size() != table->rows.front().cells.size())
            return fileFault(file, lineNumber,
                             QStringLiteral("%1 columns where the lines before have %2.")
                                 .arg(row.cells.size())
                                 .arg(table->rows.front().cells.size()));
        table->rows.push_back(std::move(row));
    }
    if (table->rows.empty())
        return fileFault(file, 0, QStringLiteral("no line holds a wavelength and a value."));
    return {};
}

double Curve::at(double wavelength) const {
    if (nm.empty())
        return 0;
    const auto after = std::upper_bound(nm.begin(), nm.end(), wavelength);
    if (after == nm.begin())
        return value.front();
    if (after == nm.end())
        return value.back();
    const size_t i = size_t(after - nm.begin());
    const double share = (wavelength - nm[i - 1]) / (nm[i] - nm[i - 1]);
    return value[i - 1] + share * (value[i] - value[i - 1]);
}

QString Curve::describe() const {
    if (nm.empty())
        return QStringLiteral("no points");
    return QStringLiteral("%1 points, %2 to %3 nm")
        .arg(QLocale::c().toString(qlonglong(nm.size())), number(nm.front()), number(nm.back()));
}

Result transmissionOf(const Table& table, const QString& column, Curve* curve) {
    int index = 1;
    if (!column.isEmpty()) {
        index = table.column(column);
        if (index <= 0)
            return fileFault(table.file, 0,
                             QStringLiteral("no column is named '%1'; the columns are: %2.")
                                 .arg(column, table.columns.join(QStringLiteral(", "))));
    } else if (table.width() > 2) {
        const QString names = table.columns.isEmpty() ? QStringLiteral("%1 unnamed").arg(table.width())
                                                      : table.columns.mid(1).join(QStringLiteral(", "));
        return fileFault(
            table.file, 0,
            QStringLiteral("several value columns (%1): choose one with --column NAME.").arg(names));
    }
    return transmissionOf(table, index, curve);
}

Result transmissionOf(const Table& table, int index, Curve* curve) {
    *curve = Curve();
    if (index < 1 || index >= table.width())
        return fileFault(table.file, 0, QStringLiteral("has no column %1.").arg(index + 1));
    // Percent by the header, or by three values above 1.5: one or two are spikes in a fraction's
    // noise, named as out of range, not a reason to read every value a hundred times smaller.
    int aboveFraction = 0;
    for (const Table::Row& row : table.rows)
        aboveFraction += row.cells[size_t(index)].value_or(0) > 1.5;
    const bool percent = table.columns.value(index).contains(QLatin1Char('%')) || aboveFraction >= 3;
    const double scale = percent ? 100 : 1;
    const auto outside = [&](double value) {
        if (value >= -Noise * scale && value <= (1 + Noise) * scale)
            return QString();
        return percent ? QStringLiteral("%1 % is outside 0 to 100 %.").arg(number(value))
                       : QStringLiteral("%1 is outside 0 to 1.").arg(number(value));
    };
    if (Result read = columnPoints(table, index, outside, curve); read.isError())
        return read;
    for (double& value : curve->value)
        value = std::clamp(value / scale, 0.0, 1.0);
    if (curve->nm.size() < 2)
        return fileFault(table.file, 0, QStringLiteral("a curve needs at least two points."));
    return {};
}

QByteArray toText(const Curve& curve) {
    QByteArray text;
    text.reserve(int(curve.nm.size()) * 16);
    for (size_t i = 0; i < curve.nm.size(); ++i)
        text += QByteArray::number(curve.nm[i], 'g', QLocale::FloatingPointShortest) + ' ' +
                QByteArray::number(curve.value[i], 'g', QLocale::FloatingPointShortest) + '\n';
    return text;
}

Result fromText(const QByteArray& text, const QString& name, Curve* curve) {
    Table table;
    if (Result read = parseTable(text, name, &table); read.isError())
        return read;
    return transmissionOf(table, QString(), curve);
}

} // namespace spectra
