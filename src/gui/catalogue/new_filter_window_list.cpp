#include "gui/catalogue/new_filter_window.h"

#include "core/db/schema.h"
#include "gui/dialogs.h"
#include "gui/window_position.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

// The list of customer-added filters: loading an item back into the form, removal, and closing,
// which stores what was applied.

using catalogue::PendingFilterEntry;
using Entry = PendingFilterEntry;

void NewFilterWindow::listClicked() {
    QTreeWidgetItem* item = m_customerList->currentItem();
    if (!item)
        return;
    const QString name = item->text(0);
    m_cmdDel->setEnabled(true);
    const auto pending = std::find_if(m_pendingFilters.begin(), m_pendingFilters.end(),
                                      [&name](const Entry& entry) { return entry[Entry::Name] == name; });
    if (pending != m_pendingFilters.end()) {
        loadIntoForm(*pending, true);
        return;
    }
    Result error;
    if (const auto row = catalogue::catalogueEntry(m_catalogue.database(), name, &error))
        loadIntoForm(*row, false);
    else if (error.isError())
        dialogs::message(error.description);
}

void NewFilterWindow::loadIntoForm(const PendingFilterEntry& entry, bool fromPending) {
    const QString& producer = entry[Entry::Producer];
    const bool other = producer != schema::DefaultProducer;
    {
        const QSignalBlocker blocker(m_producerCheck);
        m_producerCheck->setChecked(other);
    }
    m_producer->setEnabled(other);
    m_producer->setText(producer);
    m_filterName->setText(entry[Entry::Name]);
    m_code->setText(entry[Entry::Code]);
    m_summary->setText(entry[Entry::Summary]);
    m_cmdReset->setEnabled(true);
    if (fromPending || m_cmbType->isEnabled())
        settings::SelectComboText(m_cmbType, entry[Entry::Type]);
    applyTypeFields();
    const std::array<std::pair<QLineEdit*, Entry::Field>, 4> values{{{m_lower, Entry::Lower},
                                                                     {m_center, Entry::Center},
                                                                     {m_upper, Entry::Upper},
                                                                     {m_opaque, Entry::Opaque}}};
    for (const auto& [edit, value] : values)
        if (edit->isEnabled())
            edit->setText(entry[value]);
    // The reverse of how a cut-off is kept (see buildPendingEntry).
    const QString type = m_cmbType->currentText();
    if (type == schema::type::LongPass)
        m_cutOff->setText(entry[Entry::Lower]);
    else if (type == schema::type::ShortPass)
        m_cutOff->setText(entry[Entry::Upper]);
    else if (type == schema::type::NotchSplitter)
        m_cutOff->setText(entry[Entry::Opaque]);
}

void NewFilterWindow::removeClicked() {
    QTreeWidgetItem* item = m_customerList->currentItem();
    if (!item)
        return;
    const QString name = item->text(0);
    const auto pending = std::find_if(m_pendingFilters.begin(), m_pendingFilters.end(),
                                      [&name](const Entry& entry) { return entry[Entry::Name] == name; });
    const bool stored = pending == m_pendingFilters.end();
    const Result error = m_catalogue.removeCustomerFilter(name, stored);
    if (error.isError()) {
        dialogs::message(error.description);
        return;
    }
    if (!stored)
        m_pendingFilters.erase(pending); // never stored: no rows were deleted
    // The selection moves without the user choosing an item: the form stays as it is.
    const QSignalBlocker quiet(m_customerList);
    delete item;
    if (m_customerList->topLevelItemCount() > 0) {
        m_customerList->setCurrentItem(m_customerList->topLevelItem(0));
        m_customerList->setFocus();
    } else {
        m_cmdDel->setEnabled(false);
    }
}

void NewFilterWindow::importClicked() {
    if (m_context.openImportWindow)
        m_context.openImportWindow(*this);
    activate();
}

void NewFilterWindow::storePendingFilters() {
    const Result error = m_catalogue.storeNewFilters(m_pendingFilters);
    if (error.isError()) {
        dialogs::message(error.description);
        return;
    }
    settings::SaveWindowPosition(this);
}

void NewFilterWindow::closeClicked() {
    if (m_applyPressed)
        storePendingFilters();
    const QString typed = m_filterName->text();
    if (m_customerList->findItems(typed, Qt::MatchExactly | Qt::MatchCaseSensitive, 0).isEmpty())
        clearForm(); // typed but never applied
    settings::SaveWindowPosition(this);
    done(QDialog::Accepted);
}

void NewFilterWindow::reject() {
    closeClicked();
}

void NewFilterWindow::closeEvent(QCloseEvent* event) {
    closeClicked();
    event->accept();
}

void NewFilterWindow::showModal() {
    activate();
    dialogs::execModal(this);
}
