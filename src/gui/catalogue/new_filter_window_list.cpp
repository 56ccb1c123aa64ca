#include "gui/catalogue/new_filter_window.h"

#include "core/catalogue/catalogue_tables.h"
#include "gui/catalogue/favourites_window.h"

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
    } else if (const auto row = catalogue::catalogueEntry(m_db, name, nullptr)) {
        loadIntoForm(*row, false);
    }
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
    bool placed = false;
    DbError error;
    if (!catalogue::isPlaced(m_db, name, &placed, &error)) {
        dialogs::message(error.description);
        return;
    }
    if (placed) {
        dialogs::message(name + QStringLiteral(" is in 'Available FilterPlacement' !"));
        return;
    }
    const auto pending = std::find_if(m_pendingFilters.begin(), m_pendingFilters.end(),
                                      [&name](const Entry& entry) { return entry[Entry::Name] == name; });
    if (pending != m_pendingFilters.end()) {
        m_pendingFilters.erase(pending); // never stored: no rows to delete
    } else {
        Transaction transaction(m_db, &error);
        bool found = false;
        const bool deleted =
            catalogue::deleteFirstNamed(m_db, schema::table::PotentialFilters, name, &found, &error) &&
            (!m_db.hasTable(schema::table::FavouriteFilters) ||
             catalogue::deleteFirstNamed(m_db, schema::table::FavouriteFilters, name, &found, &error)) &&
            transaction.commit(&error);
        if (!deleted) {
            dialogs::message(error.description);
            return;
        }
        if (m_favourites)
            m_favourites->removeFavourite(name);
    }
    if (m_context.RemovedFilters)
        *m_context.RemovedFilters << name;
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
    DbError error;
    if (!catalogue::storePendingFilters(m_db, m_pendingFilters, &error)) {
        dialogs::message(error.description);
        return;
    }
    for (const Entry& entry : m_pendingFilters) {
        if (m_favourites)
            m_favourites->appendCatalogueFilter(entry[Entry::Name], entry[Entry::Summary],
                                                entry[Entry::Type]);
        if (m_context.serviceMode && m_context.candidates)
            for (wheels::Group group : catalogue::newFilterGroups(m_context.CatalogueMode, m_context.wheel()))
                candidatesOf(*m_context.candidates, group).append(entry[Entry::Name], entry[Entry::Summary]);
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

void NewFilterWindow::showFor(FavouritesWindow* favourites, const wheels::SelectedWheels& selectedWheel) {
    m_favourites = favourites;
    m_context.SelectedWheel = selectedWheel;
    activate();
    dialogs::execModal(this);
    m_favourites = nullptr;
}
