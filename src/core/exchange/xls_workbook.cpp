// .xls workbooks, read by the filter-xls-reader process (FreeXL) and kept in memory here.

#include "core/exchange/workbook.h"
#include "core/exchange/xls_dump.h"
#include "core/startup/helper_programs.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QProcess>

namespace {

constexpr int ReaderTimeoutMs = 15000;
constexpr qint64 MaxDumpSize = 16 * 1024 * 1024; // far more than a package's or data sheet's cells

class XlsWorkbook : public Workbook {
public:
    explicit XlsWorkbook(XlsDump dump) {
        for (XlsDump::Sheet& sheet : dump.sheets) {
            m_names << sheet.name;
            QHash<quint64, QString> cells;
            for (XlsDump::Cell& cell : sheet.cells)
                cells.insert(key(cell.row, cell.column), std::move(cell.text));
            m_cells.push_back(std::move(cells));
        }
    }
    int sheetCount() const override { return m_names.size(); }
    QString sheetName(int sheet) const override { return m_names.value(sheet - 1); }
    bool hasCells(int sheet) override { return valid(sheet) && !m_cells[sheet - 1].isEmpty(); }
    QString cellText(int sheet, int row, int column) override {
        return valid(sheet) ? m_cells[sheet - 1].value(key(row, column)) : QString();
    }

private:
    static quint64 key(int row, int column) { return (quint64(quint32(row)) << 32) | quint32(column); }
    bool valid(int sheet) const { return sheet >= 1 && sheet <= m_names.size(); }

    QStringList m_names;
    std::vector<QHash<quint64, QString>> m_cells;
};

} // namespace

std::unique_ptr<Workbook> openXlsWorkbook(const QString& path, QString* reason,
                                          const std::function<bool()>& cancelled) {
    QProcess reader;
    const QString program = helpers::program(helpers::XlsReader);
    // The reader gets the file open, as its standard input: it opens nothing itself.
    reader.setStandardInputFile(path);
    reader.setStandardErrorFile(QProcess::nullDevice()); // nothing the program would show
    reader.start(program, {});
    if (!reader.waitForStarted()) {
        *reason =
            QStringLiteral("the .xls reader '%1' cannot be started.").arg(QDir::toNativeSeparators(program));
        return nullptr;
    }
    // The output is read as it comes and bounded: a file cannot make the program hold more than the
    // reader may pass on.
    QByteArray output;
    QDeadlineTimer deadline(ReaderTimeoutMs);
    bool stopped = false;
    while (reader.state() != QProcess::NotRunning && !deadline.hasExpired() && output.size() <= MaxDumpSize &&
           !(stopped = cancelled && cancelled())) {
        reader.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 200)));
        output += reader.readAllStandardOutput();
    }
    output += reader.readAllStandardOutput();
    if (reader.state() != QProcess::NotRunning) {
        reader.kill();
        reader.waitForFinished();
        *reason = stopped ? QStringLiteral("reading it was cancelled.")
                  : output.size() > MaxDumpSize
                      ? QStringLiteral("its cells hold more than the %1 MiB of text a workbook may pass on.")
                            .arg(MaxDumpSize >> 20)
                      : QStringLiteral("reading it took longer than %1 s.").arg(ReaderTimeoutMs / 1000);
        return nullptr;
    }
    XlsDump dump;
    QDataStream stream(&output, QIODevice::ReadOnly);
    stream >> dump;
    if (reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0 ||
        stream.status() != QDataStream::Ok) {
        *reason =
            reader.exitStatus() == QProcess::NormalExit && reader.exitCode() == helpers::OutOfMemoryStatus
                ? QStringLiteral("reading it needs more memory than the .xls reader may take (%1 MiB).")
                      .arg(XlsReaderMemory >> 20)
                : QStringLiteral("the .xls reader '%1' stopped on it: the file is damaged, or reading it "
                                 "needs more than the reader's limits (%2 MiB, %3 s of processor time).")
                      .arg(QDir::toNativeSeparators(program))
                      .arg(XlsReaderMemory >> 20)
                      .arg(XlsReaderSeconds);
        return nullptr;
    }
    if (!dump.ok) {
        *reason = dump.reason;
        return nullptr;
    }
    return std::make_unique<XlsWorkbook>(std::move(dump));
}
