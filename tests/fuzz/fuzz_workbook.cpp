// libFuzzer target for one workbook reader: the input is written to a file and opened, and every
// sheet's first cells are read. Built twice, as fuzz_xls and fuzz_xlsx (FUZZ_XLSX).

#include "exchange/workbook.h"

#include <QFile>
#include <QString>
#include <cstdint>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = QStringLiteral("/tmp/fc-fuzz-%1.bin").arg(getpid());
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    QString reason;
#ifdef FUZZ_XLSX
    auto workbook = openXlsxWorkbook(path, &reason);
#else
    auto workbook = openXlsWorkbook(path, &reason);
#endif
    if (!workbook)
        return 0;
    for (int sheet = 1; sheet <= workbook->sheetCount() && sheet <= 8; ++sheet) {
        workbook->sheetName(sheet);
        workbook->hasCells(sheet);
        for (int row = 1; row <= 20; ++row)
            for (int column = 1; column <= 14; ++column)
                workbook->cellText(sheet, row, column);
    }
    return 0;
}
