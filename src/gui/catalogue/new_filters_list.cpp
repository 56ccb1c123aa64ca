#include "gui/catalogue/new_filters.h"

#include "core/catalogue/catalogue_tables.h"
#include "gui/catalogue/sales_filters.h"

#include "core/db/schema.h"
#include "gui/dialogs.h"
#include "gui/tool_window.h"

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

void NewFilters::listClicked() {
    QTreeWidgetItem* item = m_lvObj->currentItem();
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

void NewFilters::loadIntoForm(const PendingFilterEntry& entry, bool fromPending) {
    const QString& producer = entry[Entry::Producer];
    const bool other = producer != schema::DefaultProducer;
    {
        const QSignalBlocker blocker(m_check1);
        m_check1->setChecked(other);
    }
    m_producer->setEnabled(other);
    m_producer->setText(producer);
    m_filterName->setText(entry[Entry::Name]);
    m_code->setText(entry[Entry::Code]);
    m_summary->setText(entry[Entry::Summary]);
    m_cmdReset->setEnabled(true);
    if (fromPending || m_cmbType->isEnabled())
        tool::SelectComboText(m_cmbType, entry[Entry::Type]);
    CmbType_Click();
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

void NewFilters::removeClicked() {
    QTreeWidgetItem* item = m_lvObj->currentItem();
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
    const QSignalBlocker quiet(m_lvObj);
    delete item;
    if (m_lvObj->topLevelItemCount() > 0) {
        m_lvObj->setCurrentItem(m_lvObj->topLevelItem(0));
        m_lvObj->setFocus();
    } else {
        m_cmdDel->setEnabled(false);
    }
}

void NewFilters::importClicked() {
    if (m_context.openImportWindow)
        m_context.openImportWindow(*this);
    activate();
}

void NewFilters::StorePendingFilters() {
    DbError error;
    if (!catalogue::StorePendingFilters(m_db, m_pendingFilters, &error)) {
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
    tool::SaveWindowPosition(this);
}

void NewFilters::closeClicked() {
    if (m_applyPressed)
        StorePendingFilters();
    const QString typed = m_filterName->text();
    if (m_lvObj->findItems(typed, Qt::MatchExactly | Qt::MatchCaseSensitive, 0).isEmpty())
        clearForm(); // typed but never applied
    tool::SaveWindowPosition(this);
    done(QDialog::Accepted);
}

void NewFilters::reject() {
    closeClicked();
}

void NewFilters::closeEvent(QCloseEvent* event) {
    closeClicked();
    event->accept();
}

void NewFilters::showFor(SalesFilters* favourites, const wheels::SelectedWheels& selectedWheel) {
    m_favourites = favourites;
    m_context.SelectedWheel = selectedWheel;
    activate();
    dialogs::execModal(this);
    m_favourites = nullptr;
}
