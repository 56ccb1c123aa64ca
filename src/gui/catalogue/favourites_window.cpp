// The favourite-filter window: the favourites of the edited wheel's group, the catalogue filters that
// can join them, and the way to the new-filter window.

#include "gui/catalogue/favourites_window.h"

#include "core/catalogue/catalogue_tables.h"
#include "gui/catalogue/new_filter_window.h"

#include "core/db/schema.h"
#include "gui/dialogs.h"
#include "gui/widget_names.h"
#include "gui/widgets/finding_combo.h"
#include "gui/widgets/focus_button.h"
#include "gui/widgets/text_list_model.h"
#include "gui/window_position.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

namespace Names = names::favouritesWindow;

FavouritesWindow::FavouritesWindow(CatalogueContext context, QWidget* parent)
    : QDialog(parent), m_context(std::move(context)), m_catalogue(*m_context.catalogue) {
    setObjectName(Names::Window);
    setWindowTitle(Names::Title);
    buildUi();
    load();
    m_subscription =
        m_catalogue.subscribe([this](const CatalogueService::Event& event) { catalogueChanged(event); });
}

FavouritesWindow::~FavouritesWindow() {
    m_catalogue.unsubscribe(m_subscription);
}

void FavouritesWindow::catalogueChanged(const CatalogueService::Event& event) {
    if (event.change == CatalogueService::Change::FilterStored)
        appendCatalogueFilter(event.name, event.summary, event.type);
    else if (event.change == CatalogueService::Change::FilterRemoved)
        removeFavourite(event.name);
}

TextListModel* FavouritesWindow::catalogueModel(QComboBox* combo) {
    return static_cast<TextListModel*>(combo->model());
}

TextListModel* FavouritesWindow::favourites() const {
    return static_cast<TextListModel*>(m_salesList->model());
}

void FavouritesWindow::buildUi() {
    auto* top = new QVBoxLayout(this);
    // A view over one text list: a hundred thousand favourites cost no item each.
    m_salesList = new QListView(this);
    m_salesList->setObjectName(Names::SalesList);
    m_salesList->setUniformItemSizes(true);
    m_salesList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_salesList->setAccessibleName(QStringLiteral("Favourite filters"));
    m_salesList->setModel(new TextListModel(m_salesList));
    // The arrow keys choose a favourite as a click does.
    connect(m_salesList, &QListView::clicked, this, &FavouritesWindow::salesListClicked);
    connect(m_salesList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FavouritesWindow::salesListClicked);
    top->addWidget(m_salesList, 1);

    auto* form = new QFormLayout;
    // The catalogue's lists may be long: each drop-down holds one string list and finds by typing.
    m_potential = new FindingComboBox(this);
    m_potential->setObjectName(Names::Potential);
    m_obName = new FindingComboBox(this);
    m_obName->setObjectName(Names::ObName);
    m_potential->setAccessibleName(QStringLiteral("Catalogue filter"));
    m_obName->setAccessibleName(QStringLiteral("Catalogue filter summary"));
    for (QComboBox* combo : {m_potential, m_obName}) {
        combo->setEnabled(false);
        combo->setMinimumContentsLength(24);
        combo->setModel(new TextListModel(combo));
    }
    connect(m_potential, &QComboBox::activated, this, &FavouritesWindow::potentialClicked);
    connect(m_obName, &QComboBox::activated, this, &FavouritesWindow::obNameClicked);
    form->addRow(Names::FilterNameCaption, m_potential);
    form->addRow(Names::SummaryCaption, m_obName);
    top->addLayout(form);

    auto* buttons = new QHBoxLayout;
    m_cmdApply = dialogs::dialogButton(this, Names::CmdApply, Names::Apply, &FavouritesWindow::applyClicked);
    m_cmdRemove =
        dialogs::dialogButton(this, Names::CmdRemove, Names::Remove, &FavouritesWindow::removeClicked);
    m_cmdRemove->setEnabled(false);
    m_cmdAddNew =
        dialogs::dialogButton(this, Names::CmdAddNew, Names::AddNew, &FavouritesWindow::addNewClicked);
    m_cmdClose = dialogs::dialogButton(this, Names::CmdClose, Names::Close, &FavouritesWindow::closeClicked);
    for (QPushButton* cmd : {m_cmdApply, m_cmdRemove, m_cmdAddNew, m_cmdClose})
        buttons->addWidget(cmd);
    top->addLayout(buttons);
}

void FavouritesWindow::load() {
    settings::RestoreWindowPosition(this);
    favourites()->setList(TextList());
    Result error;
    if (!catalogue::ensureFavouriteTable(m_catalogue.database(), &error)) {
        dialogs::message(error.description);
        return;
    }
    catalogue::FavouriteWindowLists lists;
    const bool read = catalogue::readFavouriteWindowLists(
        m_catalogue.database(), catalogue::acceptedTypes(m_catalogue.catalogueMode(), m_catalogue.wheel()),
        &lists, &error);
    favourites()->setList(lists.salesList);
    if (!read) {
        dialogs::message(error.description);
        return;
    }
    if (lists.catalogueEmpty) {
        dialogs::message(QStringLiteral("No data in table 'Potential Filters'"));
        m_cmdApply->setEnabled(false); // nothing to add
        return;
    }
    catalogueModel(m_potential)->setList(lists.names);
    catalogueModel(m_obName)->setList(lists.summaries);
    m_typeList = lists.types;
    m_potential->setEnabled(true);
    m_obName->setEnabled(true);
    m_potential->setCurrentIndex(0);
    m_obName->setCurrentIndex(0);
    obNameClicked();
}

void FavouritesWindow::showCatalogueChoice() {
    m_cmdApply->setEnabled(true);
    m_cmdRemove->setEnabled(false);
    m_salesList->setCurrentIndex(QModelIndex());
    m_salesList->clearSelection();
}

void FavouritesWindow::potentialClicked() {
    showCatalogueChoice();
    m_obName->setCurrentIndex(m_potential->currentIndex());
}

void FavouritesWindow::obNameClicked() {
    showCatalogueChoice();
    m_potential->setCurrentIndex(m_obName->currentIndex());
}

int FavouritesWindow::selectedFavourite() const {
    const QModelIndex current = m_salesList->currentIndex();
    // Focus alone makes an entry current without selecting it: that one is not chosen.
    return current.isValid() && m_salesList->selectionModel()->isSelected(current) ? current.row() : -1;
}

void FavouritesWindow::salesListClicked() {
    const int row = selectedFavourite();
    m_cmdRemove->setEnabled(row >= 0 && favourites()->list().at(row) != schema::NoFilter);
}

void FavouritesWindow::applyClicked() {
    const QString name = m_potential->currentText();
    if (favourites()->list().contains(name)) {
        dialogs::message(QStringLiteral("Filter is always in favourite list !"));
    } else {
        const int position = m_potential->currentIndex();
        const Result error =
            m_catalogue.addFavourite(name, m_obName->currentText(), m_typeList.value(position));
        if (error.isError()) {
            dialogs::message(error.description);
            return;
        }
        favourites()->append(name);
    }
    m_cmdApply->setEnabled(false);
    m_cmdRemove->setEnabled(false);
    m_salesList->setCurrentIndex(QModelIndex());
}

void FavouritesWindow::removeClicked() {
    const int row = selectedFavourite();
    if (row < 0 || favourites()->list().at(row) == schema::NoFilter)
        return;
    const QString name = favourites()->list().at(row);
    const Result error = m_catalogue.removeFavourite(name);
    if (error.isError()) {
        dialogs::message(error.description);
        return;
    }
    favourites()->removeAt(row);
    m_cmdRemove->setEnabled(false);
    if (m_potential->currentText() == name)
        obNameClicked();
}

void FavouritesWindow::addNewClicked() {
    NewFilterWindow* window = m_context.newFiltersWindow ? m_context.newFiltersWindow() : nullptr;
    if (!window)
        return;
    window->showModal();
    dropRemovedFromCatalogueLists();
    const QString entered = window->enteredName();
    // Searched from the second entry: the first is the "None" placeholder.
    if (!entered.isEmpty() && favourites()->list().indexOf(entered, 1) < 0) {
        settings::SelectComboText(m_potential, entered);
        potentialClicked();
    }
}

void FavouritesWindow::dropRemovedFromCatalogueLists() {
    for (const QString& name : m_catalogue.removedFilters()) {
        const int position = catalogueModel(m_potential)->list().indexOf(name, 1);
        if (position < 0)
            continue;
        catalogueModel(m_potential)->removeAt(position);
        catalogueModel(m_obName)->removeAt(position);
        m_typeList.removeAt(position);
        m_potential->setCurrentIndex(0);
        m_obName->setCurrentIndex(0);
    }
}

void FavouritesWindow::appendCatalogueFilter(const QString& name, const QString& summary,
                                             const QString& type) {
    catalogueModel(m_potential)->append(name);
    catalogueModel(m_obName)->append(summary);
    m_typeList.append(type);
}

void FavouritesWindow::removeFavourite(const QString& name) {
    for (int row = favourites()->rowCount() - 1; row >= 1; --row)
        if (favourites()->list().at(row) == name)
            favourites()->removeAt(row);
}

void FavouritesWindow::closeClicked() {
    if (!m_closed) {
        m_closed = true;
        settings::SaveWindowPosition(this);
    }
    done(QDialog::Accepted);
}

void FavouritesWindow::reject() {
    closeClicked();
}

void FavouritesWindow::closeEvent(QCloseEvent* event) {
    closeClicked();
    event->accept();
}
