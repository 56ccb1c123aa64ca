// The configurations window: packages of a configuration workbook, previewed and stored wheel by wheel.

#include "gui/exchange/package_window.h"

#include "core/vocabulary/vocabulary.h"
#include "gui/dialogs.h"
#include "gui/exchange/workbook_choice.h"
#include "gui/widget_names.h"
#include "gui/widgets/focus_button.h"
#include "gui/window_position.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace Names = names::packageWindow;

namespace {
const QString BrowseValue = QStringLiteral("Browse"); // the remembered workbook's value name

} // namespace

PackageWindow::PackageWindow(PlacementSession& session, QWidget* parent)
    : QDialog(parent), m_session(session) {
    setObjectName(Names::Window);
    setWindowTitle(Names::Title);
    buildUi();
    load();
}

PackageWindow::~PackageWindow() = default;

void PackageWindow::buildUi() {
    auto* top = new QGridLayout(this);
    m_excelFile = new QLineEdit(this);
    m_excelFile->setObjectName(Names::ExcelFile);
    m_excelFile->setReadOnly(true);
    m_excelFile->setAccessibleName(QStringLiteral("Configuration workbook"));
    m_excelFile->setMinimumWidth(320);
    auto* browse = new QPushButton(Names::Browse, this);
    browse->setObjectName(Names::Browse);
    connect(browse, &QPushButton::clicked, this, &PackageWindow::browseClicked);
    m_packageChoice = new QComboBox(this);
    m_packageChoice->setObjectName(Names::CmbPaket);
    m_packageChoice->setAccessibleName(QStringLiteral("Package"));
    connect(m_packageChoice, &QComboBox::activated, this, &PackageWindow::packageChosen);
    m_idAvailable = new QComboBox(this);
    m_idAvailable->setObjectName(Names::IDAvailable);
    m_idAvailable->setAccessibleName(QStringLiteral("Wheel"));
    connect(m_idAvailable, &QComboBox::activated, this, &PackageWindow::wheelChosen);
    for (QComboBox* combo : {m_packageChoice, m_idAvailable})
        combo->setEnabled(false);
    top->addWidget(m_excelFile, 0, 0, 1, 2);
    top->addWidget(browse, 0, 2);
    top->addWidget(new QLabel(QStringLiteral("Package"), this), 1, 0);
    top->addWidget(m_packageChoice, 1, 1, 1, 2);
    top->addWidget(new QLabel(QStringLiteral("Wheel"), this), 2, 0);
    top->addWidget(m_idAvailable, 2, 1, 1, 2);

    m_modeFrame = new QGroupBox(this);
    m_modeFrame->setObjectName(Names::ModeFrame);
    auto* positions = new QGridLayout(m_modeFrame);
    for (int p = 0; p < wheels::PositionsPerWheel; ++p) {
        auto* frame = new QFrame(m_modeFrame);
        frame->setObjectName(names::indexed(Names::PositionFrame, p));
        auto* row = new QHBoxLayout(frame);
        row->setContentsMargins(2, 1, 2, 1);
        auto* position = new QLabel(QString::number(p + 1), frame);
        position->setObjectName(names::indexed(Names::PositionLabel, p));
        m_filterName[p] = new QLabel(frame);
        m_filterName[p]->setObjectName(names::indexed(Names::FilterName, p));
        m_idPotential[p] = new QLabel(frame);
        m_idPotential[p]->setObjectName(names::indexed(Names::IDPotential, p));
        m_filterName[p]->setAccessibleDescription(QStringLiteral("Position %1 filter").arg(p + 1));
        m_idPotential[p]->setAccessibleDescription(QStringLiteral("Position %1 code number").arg(p + 1));
        m_preview[p] = new QLabel(frame);
        m_preview[p]->setObjectName(names::indexed(Names::Preview, p));
        row->addWidget(position);
        row->addWidget(m_filterName[p], 3);
        row->addWidget(m_idPotential[p], 2);
        row->addWidget(m_preview[p], 3);
        positions->addWidget(frame, p, 0);
    }
    top->addWidget(m_modeFrame, 3, 0, 1, 3);
    m_previewCount = new QLabel(this);
    m_previewCount->setObjectName(Names::PreviewCount);
    m_lStore = new QLabel(Names::Unstored, this);
    m_lStore->setObjectName(Names::LStore);
    m_cmdStore = new QPushButton(Names::Store, this);
    m_cmdStore->setObjectName(Names::CmdStore);
    connect(m_cmdStore, &QPushButton::clicked, this, &PackageWindow::storeClicked);
    auto* close = new QPushButton(Names::Close, this);
    close->setObjectName(Names::CmdClose);
    connect(close, &QPushButton::clicked, this, &PackageWindow::closeClicked);
    for (QPushButton* button : {browse, m_cmdStore, close})
        dialogs::pressOnlyWhenFocused(button);
    // The count stands above Store.
    top->addWidget(m_previewCount, 4, 0, 1, 3);
    top->addWidget(m_lStore, 5, 0);
    top->addWidget(m_cmdStore, 5, 1);
    top->addWidget(close, 5, 2);
}

void PackageWindow::load() {
    settings::RestoreWindowPosition(this);
    const QString remembered = rememberedWorkbook(BrowseValue);
    if (remembered.isEmpty())
        return;
    m_excelFile->setText(remembered);
    openPackages();
}

void PackageWindow::browseClicked() {
    const QString chosen = chooseWorkbook(this, m_excelFile->text(), BrowseValue);
    if (chosen.isEmpty())
        return;
    m_excelFile->setText(chosen);
    openPackages();
}

void PackageWindow::openPackages() {
    // A remembered workbook that has gone away is simply not opened.
    if (!QFileInfo::exists(m_excelFile->text()))
        return;
    Result error;
    bool cancelled = false;
    m_workbook = readWorkbook(this, m_excelFile->text(), &error, &cancelled);
    if (cancelled) { // the user's choice, not a fault of the file: the window stays, without it
        m_packageStoredFlags.clear();
        m_packageChoice->clear();
        m_packageChoice->setEnabled(false);
        m_idAvailable->clear();
        return;
    }
    if (!m_workbook) {
        // A configuration workbook that cannot be read ends the program, as this window always has;
        // the filter sheet import only says why.
        forgetWorkbook(BrowseValue); // the next start opens the window without it
        dialogs::message(error.description);
        dialogs::endProgram(1);
        return;
    }
    m_packageStoredFlags.clear();
    m_packageChoice->clear();
    for (int sheet = 1; sheet <= m_workbook->sheetCount(); ++sheet) {
        m_packageChoice->addItem(m_workbook->sheetName(sheet));
        m_packageStoredFlags.push_back({});
    }
    m_packageChoice->setEnabled(true);
    m_packageChoice->setCurrentIndex(0);
    packageChosen(0);
}

void PackageWindow::packageChosen(int index) {
    if (!m_workbook || index < 0)
        return;
    m_package = readPackage(*m_workbook, index + 1);
    m_idAvailable->clear();
    m_idAvailable->addItems(m_package.wheelIds);
    m_idAvailable->setEnabled(true);
    m_idAvailable->setCurrentIndex(0);
    wheelChosen(0);
}

void PackageWindow::wheelChosen(int index) {
    const int package = m_packageChoice->currentIndex();
    if (!m_workbook || index < 0 || package < 0)
        return;
    const bool stored = m_packageStoredFlags[package][index];
    m_lStore->setText(stored ? QStringLiteral("stored") : Names::Unstored);
    m_cmdStore->setEnabled(!stored);
    m_lStore->setVisible(false);
    m_cmdStore->setVisible(false);
    m_wheel = readPackageWheel(*m_workbook, package + 1, m_package, index);
    const QStringList codes = codeNumbers(m_session.database(), m_wheel.filters);
    for (int p = 0; p < wheels::PositionsPerWheel; ++p) {
        const bool filled = !m_wheel.filters[p].isEmpty();
        m_filterName[p]->setText(m_wheel.filters[p]);
        m_filterName[p]->setVisible(filled);
        m_idPotential[p]->setVisible(filled);
        m_idPotential[p]->setText(codes[p]);
        if (filled) {
            m_lStore->setVisible(true);
            m_cmdStore->setVisible(true);
        }
    }
    m_modeFrame->setTitle(vocabulary::modeCaption(
        wheels::index(m_wheel.upper ? wheels::Mode::BeamSplitters : wheels::Mode::EmissionFilters)));
    showPreview();
}

void PackageWindow::showPreview() {
    Result error;
    if (!m_session.planPackageWheel(m_idAvailable->currentText(), m_wheel.filters, &m_plan, &error)) {
        m_plan = WheelStorePlan();
        m_previewCount->setText(error.description);
        return;
    }
    int chosen = 0;
    for (int p = 0; p < wheels::PositionsPerWheel; ++p) {
        const QString& filter = m_wheel.filters.value(p);
        chosen += filter.isEmpty() ? 0 : 1;
        const WheelStorePlan::Write* write = m_plan.writeAt(p + 1);
        const bool changes = write && write->now != write->chosen;
        // A symbol and bold type as well as the words, so the mark does not rest on colour.
        QString text;
        if (write)
            text = changes ? QStringLiteral("\u25C6 now %1").arg(write->now) : QStringLiteral("= as now");
        else if (!filter.isEmpty() && m_plan.hasRows)
            text = QStringLiteral("not written: %1").arg(m_plan.notWrittenReason(p + 1));
        QFont font = m_preview[p]->font();
        font.setBold(changes);
        m_preview[p]->setFont(font);
        m_preview[p]->setText(text);
        m_preview[p]->setAccessibleDescription(filter.isEmpty() ? QString() : m_plan.positionText(p + 1));
        m_preview[p]->setVisible(!filter.isEmpty());
    }
    // A filter the catalogue lacks refuses the whole wheel, as filterctl apply refuses the package.
    m_previewCount->setText(m_plan.refusals.isEmpty() ? m_plan.changeCountText(chosen)
                                                      : m_plan.refusals.join(QLatin1Char('\n')));
}

void PackageWindow::storeClicked() {
    const int package = m_packageChoice->currentIndex();
    const int wheel = m_idAvailable->currentIndex();
    if (package < 0 || wheel < 0)
        return;
    const QString set = m_idAvailable->currentText();
    StoreResult result;
    {
        dialogs::BusyCursor busy;
        result =
            m_plan.hasRows ? m_session.storePlans({m_plan}) : StoreResult{StoreResult::Outcome::NoRows, {}};
    }
    switch (result.outcome) {
    case StoreResult::Outcome::NoRows:
        dialogs::message(noRowsMessage(set));
        return;
    case StoreResult::Outcome::Failed:
    case StoreResult::Outcome::Refused:
        dialogs::message(result.error.description);
        return;
    case StoreResult::Outcome::Changed:
        // The preview showed another state: show the new one before anything is written.
        dialogs::message(changedMeanwhileMessage(set));
        showPreview();
        return;
    case StoreResult::Outcome::Stored:
        break;
    }
    m_lStore->setText(QStringLiteral("stored"));
    m_packageStoredFlags[package][wheel] = true;
    m_cmdStore->setEnabled(false);
    showPreview();
}

void PackageWindow::closeClicked() {
    m_workbook.reset();
    settings::SaveWindowPosition(this);
    done(QDialog::Accepted);
}

void PackageWindow::reject() {
    closeClicked();
}
