#pragma once

// The favourite-filter window.

#include "core/catalogue/catalogue_service.h"
#include "core/catalogue/catalogue_tables.h"
#include "gui/catalogue/catalogue_context.h"

#include <QDialog>

class QComboBox;
class QListView;
class QPushButton;
class TextListModel;

// The favourite list of the filter group of the wheel last chosen in the catalogue mode: the
// favourites, the catalogue filters that can be added, and the way to the new-filter window.
class FavouritesWindow : public QDialog {
    Q_OBJECT
public:
    explicit FavouritesWindow(CatalogueContext context, QWidget* parent = nullptr);
    ~FavouritesWindow() override;

    QStringList TypeList() const { return m_typeList.toStringList(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void buildUi();
    void load();
    void potentialClicked();
    void obNameClicked();
    int selectedFavourite() const; // the row chosen in SalesList, or -1
    void salesListClicked();
    void applyClicked();
    void removeClicked();
    void addNewClicked();
    void closeClicked();
    void showCatalogueChoice();
    void dropRemovedFromCatalogueLists();
    // What another catalogue window changed: a stored filter joins the catalogue lists, a removed
    // one leaves the favourites.
    void catalogueChanged(const CatalogueService::Event& event);
    // Kept in step with the catalogue lists: position k of the names, summaries and types belong together.
    void appendCatalogueFilter(const QString& name, const QString& summary, const QString& type);
    // Drops every favourite of that name, never the "None" placeholder at the head.
    void removeFavourite(const QString& name);

    CatalogueContext m_context;
    CatalogueService& m_catalogue;
    int m_subscription = 0;
    catalogue::CompactTypeList m_typeList;
    static TextListModel* catalogueModel(QComboBox* combo);
    TextListModel* favourites() const;
    bool m_closed = false;

    QListView* m_salesList = nullptr;
    QComboBox* m_potential = nullptr;
    QComboBox* m_obName = nullptr;
    QPushButton* m_cmdApply = nullptr;
    QPushButton* m_cmdRemove = nullptr;
    QPushButton* m_cmdAddNew = nullptr;
    QPushButton* m_cmdClose = nullptr;
};
