// The filter sheet import window: a data sheet's values copied into the new-filter window.

#include "gui/exchange/import_window.h"

#include "gui/dialogs.h"
#include "gui/exchange/workbook_choice.h"
#include "gui/widget_names.h"
#include "gui/widgets/focus_button.h"
#include "gui/window_position.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace Names = names::importWindow;

namespace {
const QString BrowseImportValue = QStringLiteral("BrowseImport");
} // namespace

ImportWindow::ImportWindow(FilterSheetTarget& target, QWidget* parent) : QDialog(parent), m_target(target) {
    setObjectName(Names::Window);
    setWindowTitle(Names::Title);
    auto* grid = new QGridLayout(this);
    m_importFile = new QLineEdit(this);
    m_importFile->setObjectName(Names::ImportFile);
    m_importFile->setReadOnly(true);
    m_importFile->setMinimumWidth(320);
    auto* browse = new QPushButton(Names::Browse, this);
    browse->setObjectName(Names::Browse);
    connect(browse, &QPushButton::clicked, this, &ImportWindow::browseClicked);
    m_cmbFilter = new QComboBox(this);
    m_cmbFilter->setObjectName(Names::CmbFilter);
    m_cmbFilter->setEnabled(false);
    connect(m_cmbFilter, &QComboBox::activated, this, &ImportWindow::sheetChosen);
    auto* close = new QPushButton(Names::Close, this);
    close->setObjectName(Names::CmdClose);
    connect(close, &QPushButton::clicked, this, &ImportWindow::closeClicked);
    for (QPushButton* button : {browse, close})
        dialogs::pressOnlyWhenFocused(button);
    auto* workbookCaption = new QLabel(QStringLiteral("Filter data sheet workbook"), this);
    workbookCaption->setBuddy(m_importFile);
    grid->addWidget(workbookCaption, 0, 0, 1, 2);
    grid->addWidget(m_importFile, 1, 0);
    grid->addWidget(browse, 1, 1);
    auto* sheetCaption = new QLabel(QStringLiteral("Filter sheet"), this);
    sheetCaption->setBuddy(m_cmbFilter);
    grid->addWidget(sheetCaption, 2, 0, 1, 2);
    grid->addWidget(m_cmbFilter, 3, 0, 1, 2);
    grid->addWidget(close, 4, 1);
    load();
}

ImportWindow::~ImportWindow() = default;

void ImportWindow::load() {
    settings::RestoreWindowPosition(this);
    const QString remembered = rememberedWorkbook(BrowseImportValue);
    if (remembered.isEmpty())
        return;
    m_importFile->setText(remembered);
    listSheets();
}

void ImportWindow::browseClicked() {
    const QString chosen = chooseWorkbook(this, m_importFile->text(), BrowseImportValue);
    if (chosen.isEmpty())
        return;
    m_importFile->setText(chosen);
    listSheets();
}

void ImportWindow::dropWorkbook() {
    m_workbook.reset();
    m_cmbFilter->clear();
    m_cmbFilter->setEnabled(false);
}

void ImportWindow::listSheets() {
    Result error;
    bool cancelled = false;
    std::unique_ptr<Workbook> workbook = readWorkbook(this, m_importFile->text(), &error, &cancelled);
    if (!workbook) {
        // The user stays in the new-filter window; only the configurations window ends the program.
        dropWorkbook();
        if (!cancelled)
            dialogs::message(error.description);
        return;
    }
    m_workbook = std::move(workbook);
    m_cmbFilter->clear();
    for (int sheet = 1; sheet <= m_workbook->sheetCount(); ++sheet)
        m_cmbFilter->addItem(m_workbook->sheetName(sheet));
    m_cmbFilter->setEnabled(true);
    m_cmbFilter->setCurrentIndex(0);
    sheetChosen(0);
}

void ImportWindow::sheetChosen(int index) {
    if (!m_workbook || index < 0)
        return;
    if (!m_workbook->hasCells(index + 1)) {
        const QString message =
            QStringLiteral("The sheet '%1' of '%2' has no cells (a chart?); choose another workbook.")
                .arg(m_workbook->sheetName(index + 1), QDir::toNativeSeparators(m_importFile->text()));
        dropWorkbook();
        dialogs::message(message);
        return;
    }
    importFilterSheet(*m_workbook, index + 1, m_target,
                      [](const QString& message) { dialogs::message(message); });
}

void ImportWindow::closeClicked() {
    m_workbook.reset();
    settings::SaveWindowPosition(this);
    done(QDialog::Accepted);
}

void ImportWindow::reject() {
    closeClicked();
}
