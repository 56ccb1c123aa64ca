// filter-xls-reader FILE: reads an .xls workbook with FreeXL and writes its sheet names and
// cells to standard output as a QDataStream. FreeXL runs in this separate process so that a
// hostile file that upsets it cannot take the program down or make it hang.

#include "core/exchange/xls_dump.h"

#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <new>
#ifdef __linux__
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

// Limits a hostile file meets before the machine does: memory, processor time, no files written.
// A well-formed package or data sheet needs a few MiB and well under a second.
void limitItself() {
#ifdef __linux__
    const auto limit = [](int resource, rlim_t value) {
        const rlimit bound{value, value};
        setrlimit(resource, &bound);
    };
    limit(RLIMIT_AS, rlim_t(1) << 30);
    limit(RLIMIT_CPU, 10);
    limit(RLIMIT_FSIZE, 0);
    limit(RLIMIT_CORE, 0);
    // It ends with the program that asked, even one killed without a word.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() == 1)
        _exit(4);
#endif
}

} // namespace

int main(int argc, char* argv[]) {
    limitItself();
    std::set_new_handler([] { _exit(3); }); // out of the memory it may use
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    QDataStream stream(&out);
    stream << readXlsWithFreeXL(QString::fromLocal8Bit(argv[1]));
    return 0;
}
