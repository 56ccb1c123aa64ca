#include "gui/catalogue/new_filter_window.h"

// The entry form: its fields per type, Apply, Clear, the producer box, the Enter key, and what
// the filter sheet import fills.

#include "core/db/schema.h"
#include "gui/dialogs.h"
#include "gui/widget_names.h"
#include "gui/widgets/focus_button.h"
#include "gui/window_position.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Names = names::newFilterWindow;

using catalogue::FieldState;
using catalogue::PendingFilterEntry;
using Entry = PendingFilterEntry;

namespace {} // namespace

NewFilterWindow::NewFilterWindow(CatalogueContext context, QWidget* parent)
    : QDialog(parent), m_context(std::move(context)), m_catalogue(*m_context.catalogue),
      m_mode(m_catalogue.catalogueMode()) {
    setObjectName(Names::Window);
    setWindowTitle(Names::Title);
    buildUi();
    load();
}

NewFilterWindow::~NewFilterWindow() {
    settings::SaveWindowPosition(this);
}

QLineEdit* NewFilterWindow::field(const QString& name) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->installEventFilter(this);
    return edit;
}

void NewFilterWindow::buildUi() {
    auto* top = new QVBoxLayout(this);
    m_descriptionFrame = new QGroupBox(QStringLiteral("Filter Description"), this);
    m_descriptionFrame->setObjectName(Names::DescriptionFrame);
    auto* grid = new QGridLayout(m_descriptionFrame);
    m_filterName = field(Names::FilterName);
    m_code = field(Names::Code);
    m_summary = field(Names::Summary);
    m_cmbType = new QComboBox(this);
    m_cmbType->setObjectName(Names::CmbType);
    connect(m_cmbType, &QComboBox::activated, this, &NewFilterWindow::applyTypeFields);
    m_lower = field(Names::Lower);
    m_center = field(Names::Center);
    m_upper = field(Names::Upper);
    m_opaque = field(Names::Opaque);
    m_cutOff = field(Names::CutOff);
    m_producer = field(Names::Producer);
    m_producerCheck = new QCheckBox(Names::NonVeltrano, this);
    m_producerCheck->setObjectName(Names::ProducerCheck);
    connect(m_producerCheck, &QCheckBox::toggled, this, &NewFilterWindow::producerToggled);

    const auto label = [this](const QString& text, const QString& objectName) {
        auto* caption = new QLabel(text, this);
        if (!objectName.isEmpty())
            caption->setObjectName(objectName);
        return caption;
    };
    m_typeLabel = label(Names::TypeCaption, Names::TypeLabel);
    m_lowerLabel = label(Names::LowerCaption, Names::LowerLabel);
    m_centerLabel = label(Names::CenterCaption, Names::CenterLabel);
    m_upperLabel = label(Names::UpperCaption, Names::UpperLabel);
    m_opaqueLabel = label(Names::OpaqueCaption, Names::OpaqueLabel);
    m_cutOffLabel = label(Names::CutOffCaption, Names::CutOffLabel);
    const std::vector<std::tuple<QLabel*, QWidget*, bool>> rows{
        {label(Names::NameCaption, QString()), m_filterName, false},
        {label(Names::CodeCaption, QString()), m_code, false},
        {label(Names::Summary, QString()), m_summary, false},
        {m_typeLabel, m_cmbType, false},
        {m_lowerLabel, m_lower, true},
        {m_centerLabel, m_center, true},
        {m_upperLabel, m_upper, true},
        {m_opaqueLabel, m_opaque, true},
        {m_cutOffLabel, m_cutOff, true},
        {label(Names::Producer, QString()), m_producer, false}};
    int row = 0;
    for (const auto& [caption, widget, nm] : rows) {
        caption->setBuddy(widget);
        grid->addWidget(caption, row, 0);
        grid->addWidget(widget, row, 1);
        if (nm)
            grid->addWidget(new QLabel(QStringLiteral("nm"), this), row, 2);
        ++row;
    }
    grid->addWidget(m_producerCheck, row - 1, 2);
    auto* formButtons = new QHBoxLayout;
    m_cmdApply = dialogs::dialogButton(this, Names::CmdApply, Names::Apply, &NewFilterWindow::applyClicked);
    m_cmdReset = dialogs::dialogButton(this, Names::CmdReset, Names::Clear, &NewFilterWindow::clearForm);
    m_cmdImport =
        dialogs::dialogButton(this, Names::CmdImport, Names::Import, &NewFilterWindow::importClicked);
    m_cmdSpectrum =
        dialogs::dialogButton(this, Names::CmdSpectrum, Names::Spectrum, &NewFilterWindow::spectrumClicked);
    m_cmdSpectrum->setToolTip(QStringLiteral("The measured transmission curve of the named catalogue filter, "
                                             "from a filter maker's text file"));
    m_cmdSpectrum->setVisible(m_catalogue.serviceMode());
    for (QPushButton* cmd : {m_cmdApply, m_cmdReset, m_cmdImport, m_cmdSpectrum})
        formButtons->addWidget(cmd);
    grid->addLayout(formButtons, row, 0, 1, 3);
    top->addWidget(m_descriptionFrame);

    m_listFrame = new QGroupBox(QStringLiteral("New Filters"), this);
    m_listFrame->setObjectName(Names::ListFrame);
    auto* listColumn = new QVBoxLayout(m_listFrame);
    m_customerList = new QTreeWidget(this);
    m_customerList->setObjectName(Names::CustomerList);
    m_customerList->setRootIsDecorated(false);
    m_customerList->setUniformRowHeights(true);
    m_customerList->setAccessibleName(m_listFrame->title());
    m_customerList->setHeaderLabels({QStringLiteral("ID Potential"), Names::Summary});
    m_customerList->header()->setSectionResizeMode(QHeaderView::Stretch);
    connect(m_customerList, &QTreeWidget::itemClicked, this, &NewFilterWindow::listClicked);
    // Choosing an item with the keys loads it as a click does; focus alone selects nothing.
    connect(m_customerList, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (m_customerList->currentItem() && m_customerList->currentItem()->isSelected())
            listClicked();
    });
    m_customerList->installEventFilter(this);
    listColumn->addWidget(m_customerList);
    m_cmdDel = dialogs::dialogButton(this, Names::CmdDel, Names::Remove, &NewFilterWindow::removeClicked);
    m_cmdDel->setEnabled(false);
    listColumn->addWidget(m_cmdDel, 0, Qt::AlignLeft);
    top->addWidget(m_listFrame, 1);
    m_cmdClose = dialogs::dialogButton(this, Names::CmdClose, Names::Close, &NewFilterWindow::closeClicked);
    top->addWidget(m_cmdClose, 0, Qt::AlignRight);
}

void NewFilterWindow::load() {
    settings::RestoreWindowPosition(this);
    m_producer->setText(schema::DefaultProducer);
    m_producer->setEnabled(false);
    for (QWidget* widget : std::initializer_list<QWidget*>{m_lower, m_center, m_upper, m_opaque, m_cutOff,
                                                           m_lowerLabel, m_centerLabel, m_upperLabel,
                                                           m_opaqueLabel, m_cutOffLabel, m_cmdReset})
        widget->setEnabled(false);
    m_customerList->clear();
    Result error;
    if (!catalogue::ensureCustomerAddedField(m_catalogue.database(), &error)) {
        dialogs::message(error.description);
        return;
    }
    const auto items = catalogue::customerAddedItems(m_catalogue.database(), &error);
    if (!items) {
        dialogs::message(error.description);
        return;
    }
    for (const catalogue::ListItem& item : *items)
        new QTreeWidgetItem(m_customerList, {item.name, item.summary});
    m_pendingFilters.clear();
    m_cmbType->clear();
    const int mode = qBound(0, m_mode, wheels::ModeCount - 1);
    m_descriptionFrame->setTitle(Names::DescriptionTitles[size_t(mode)]);
    m_listFrame->setTitle(Names::ListTitles[size_t(mode)]);
    m_customerList->setAccessibleName(m_listFrame->title());
    m_cmbType->addItems(catalogue::offeredTypes(m_mode, m_catalogue.wheel()));
    m_typeLabel->setEnabled(m_cmbType->count() > 0);
    m_cmbType->setEnabled(m_cmbType->count() > 0);
    if (m_cmbType->count() > 0) {
        m_cmbType->setCurrentIndex(0);
        applyTypeFields();
    }
}

void NewFilterWindow::setValueFields(FieldState state, const std::vector<QLineEdit*>& fields,
                                     const std::vector<QLabel*>& labels) {
    if (state == FieldState::Keep)
        return;
    const bool enable = state == FieldState::Enable;
    for (QLineEdit* edit : fields) {
        edit->setEnabled(enable);
        if (state == FieldState::Clear)
            edit->clear();
    }
    for (QLabel* caption : labels)
        caption->setEnabled(enable);
}

void NewFilterWindow::applyTypeFields() {
    const catalogue::FieldSet set = catalogue::fieldSetOf(m_mode, m_cmbType->currentText());
    setValueFields(set.band, {m_lower, m_center, m_upper}, {m_lowerLabel, m_centerLabel, m_upperLabel});
    setValueFields(set.cutOff, {m_cutOff}, {m_cutOffLabel});
    setValueFields(set.opaque, {m_opaque}, {m_opaqueLabel});
}

catalogue::FilterForm NewFilterWindow::form() const {
    return {m_filterName->text(), m_code->text(),          m_summary->text(), m_lower->text(),
            m_center->text(),     m_upper->text(),         m_opaque->text(),  m_cutOff->text(),
            m_producer->text(),   m_cmbType->currentText()};
}

std::vector<catalogue::ListItem> NewFilterWindow::listItems() const {
    std::vector<catalogue::ListItem> items;
    for (int i = 0; i < m_customerList->topLevelItemCount(); ++i)
        items.push_back({m_customerList->topLevelItem(i)->text(0), m_customerList->topLevelItem(i)->text(1)});
    return items;
}

QString NewFilterWindow::enteredName() const {
    return m_filterName->text();
}

void NewFilterWindow::applyClicked() {
    m_cmdReset->setEnabled(true);
    m_applyPressed = true;
    const catalogue::FilterForm entered = form();
    if (const auto message = catalogue::ValidateNewFilter(m_catalogue.database(), entered, listItems(),
                                                          m_pendingFilters, nullptr)) {
        dialogs::message(*message);
        return;
    }
    new QTreeWidgetItem(m_customerList, {entered.name, entered.summary});
    // A filter removed and entered again in the same run is no longer reported as removed.
    m_catalogue.filterEnteredAgain(entered.name);
    m_pendingFilters.push_back(catalogue::buildPendingEntry(
        entered, m_catalogue.selectedWheels()[size_t(wheels::index(wheels::Mode::FilterCubes))]));
}

void NewFilterWindow::clearForm() {
    m_producerCheck->setChecked(false);
    m_producer->setText(schema::DefaultProducer);
    m_producer->setEnabled(false);
    for (QLineEdit* edit : {m_code, m_filterName, m_summary, m_lower, m_center, m_upper, m_cutOff, m_opaque})
        edit->clear();
    for (QWidget* widget : std::initializer_list<QWidget*>{m_lower, m_center, m_upper, m_cutOff, m_opaque,
                                                           m_lowerLabel, m_centerLabel, m_upperLabel,
                                                           m_opaqueLabel, m_cutOffLabel, m_cmdReset})
        widget->setEnabled(false);
    m_filterName->setFocus();
    applyTypeFields();
}

void NewFilterWindow::producerToggled(bool checked) {
    m_producer->setEnabled(checked);
    m_producer->setText(checked ? QString() : schema::DefaultProducer);
}

void NewFilterWindow::setText(Field field, const QString& text) {
    const std::array<QLineEdit*, 9> fields{m_producer, m_filterName, m_code,   m_summary, m_lower,
                                           m_center,   m_upper,      m_cutOff, m_opaque};
    fields[static_cast<int>(field)]->setText(text);
}

void NewFilterWindow::checkProducerBox() {
    m_producerCheck->setChecked(true);
}

QString NewFilterWindow::selectType(const QString& type) {
    settings::SelectComboText(m_cmbType, type);
    return m_cmbType->currentText();
}

void NewFilterWindow::resetEntryFields() {
    m_producer->setText(schema::DefaultProducer);
    m_producer->setEnabled(false);
    {
        const QSignalBlocker blocker(m_producerCheck);
        m_producerCheck->setChecked(false);
    }
    for (QLineEdit* edit : {m_code, m_filterName, m_summary, m_lower, m_center, m_upper, m_cutOff, m_opaque})
        edit->clear();
    for (QWidget* widget :
         std::initializer_list<QWidget*>{m_lower, m_center, m_upper, m_cutOff, m_opaque, m_lowerLabel,
                                         m_centerLabel, m_upperLabel, m_opaqueLabel, m_cutOffLabel})
        widget->setEnabled(false);
}

bool NewFilterWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_customerList) {
        // Focus on the list makes its selected item the one to remove, without loading it.
        if (event->type() == QEvent::FocusIn && m_customerList->topLevelItemCount() > 0)
            m_cmdDel->setEnabled(true);
        return QDialog::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress && watched != m_opaque) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            enterPressed(static_cast<QLineEdit*>(watched));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void NewFilterWindow::enterPressed(QLineEdit* edit) {
    if (edit == m_lower || edit == m_center) {
        (edit == m_lower ? m_center : m_upper)->setFocus();
        return;
    }
    if (edit == m_upper || edit == m_cutOff) {
        m_cmdApply->setFocus();
        return;
    }
    if (edit != m_filterName && edit != m_code && edit != m_summary)
        return;
    if (edit->text().isEmpty()) {
        if (m_filterName->text().isEmpty() && m_code->text().isEmpty() && m_summary->text().isEmpty())
            m_cmdReset->setEnabled(false);
        return;
    }
    m_cmdReset->setEnabled(true);
    if (edit != m_summary) {
        (edit == m_filterName ? m_code : m_summary)->setFocus();
        return;
    }
    const QString type = m_cmbType->currentText();
    using namespace schema::type;
    if (type == BandPass)
        m_lower->setFocus();
    else if (type == LongPass || type == ShortPass || type == NotchSplitter)
        m_cutOff->setFocus();
    else if (type == MainSplitter || type == SecondarySplitter)
        m_opaque->setFocus();
}
