#include "gui/catalogue/new_filter_window.h"

#include "core/db/schema.h"
#include "gui/dialogs.h"
#include "gui/widget_names.h"
#include "gui/window_position.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
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

// A measured curve for the catalogue filter named in the form: the file chosen, its column asked
// for when it has several, what was stored said.
void NewFilterWindow::spectrumClicked() {
    const QString name = enteredName();
    if (name.isEmpty()) {
        dialogs::message(QStringLiteral("Enter or choose the filter whose measured spectrum to import."));
        return;
    }
    const QString file = dialogs::openFileName(
        this, QString(), QStringLiteral("Spectra (*.txt *.csv *.tsv *.dat);;All files (*)"));
    if (file.isEmpty())
        return;
    spectra::Table table;
    spectra::StoredCurve stored{name, {}, QDir::toNativeSeparators(file), {}, {}};
    Result error = spectra::readTable(file, &table);
    int column = 1;
    if (!error.isError() && table.width() > 2) {
        QStringList columns;
        for (int c = 1; c < table.width(); ++c)
            columns << (table.columns.value(c).isEmpty() ? QStringLiteral("column %1").arg(c + 1)
                                                         : table.columns[c]);
        const int chosen =
            dialogs::choose(QStringLiteral("Which column of '%1' holds the transmission of '%2'?")
                                .arg(QFileInfo(file).fileName(), name),
                            columns + QStringList{QStringLiteral("Cancel")});
        if (chosen < 0 || chosen >= columns.size())
            return;
        column = chosen + 1;
        stored.column = columns[chosen];
    }
    if (!error.isError())
        error = spectra::transmissionOf(table, column, &stored.curve);
    if (error.isError()) {
        dialogs::message(error.description + QStringLiteral(" Nothing was stored."));
        return;
    }
    spectra::Stored outcome = spectra::Stored::Added;
    if (Result store = m_catalogue.storeSpectrum(stored, &outcome); store.isError()) {
        dialogs::message(store.description);
        return;
    }
    const QString done = outcome == spectra::Stored::Added      ? QStringLiteral("Stored")
                         : outcome == spectra::Stored::Replaced ? QStringLiteral("Replaced")
                                                                : QStringLiteral("Already stored:");
    dialogs::message(
        QStringLiteral("%1 the measured spectrum of '%2': %3.").arg(done, name, stored.curve.describe()));
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
