#pragma once

// The new-filter window.

#include "core/catalogue/catalogue_service.h"
#include "core/catalogue/new_filter.h"
#include "core/exchange/filter_sheet.h"
#include "gui/catalogue/catalogue_context.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// Entry of new filters and beam splitters, and the list of customer-added filters. Hidden, not
// destroyed, when closed, so that its state lasts for the run; the main window unloads it.
class NewFilterWindow : public QDialog, public FilterSheetTarget {
    Q_OBJECT
public:
    explicit NewFilterWindow(CatalogueContext context, QWidget* parent = nullptr);
    ~NewFilterWindow() override;

    // Shows the window modally over the favourite window. The wheels chosen in the main window are
    // the catalogue service's, as they are now; the type list stays as loaded.
    void showModal();
    // Applies the field set of the selected type.
    void applyTypeFields();
    // Each time the window becomes active the pending entries are dropped.
    void activate() { m_pendingFilters.clear(); }
    QString enteredName() const;
    // Resets the entry form as the Clear button does.
    void clearForm();

    const std::vector<catalogue::PendingFilterEntry>& PendingFilters() const { return m_pendingFilters; }

    // What the filter sheet import fills.
    void setText(Field field, const QString& text) override;
    void checkProducerBox() override;
    QString selectType(const QString& type) override;
    void typeClick() override { applyTypeFields(); }
    void resetEntryFields() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void buildUi();
    QLineEdit* field(const QString& name);
    void load();
    catalogue::FilterForm form() const;
    std::vector<catalogue::ListItem> listItems() const;
    void setValueFields(catalogue::FieldState state, const std::vector<QLineEdit*>& fields,
                        const std::vector<QLabel*>& labels);
    void applyClicked();
    void producerToggled(bool checked);
    void listClicked();
    void loadIntoForm(const catalogue::PendingFilterEntry& entry, bool fromPending);
    void removeClicked();
    void importClicked();
    void spectrumClicked();
    void closeClicked();
    void storePendingFilters();
    void enterPressed(QLineEdit* field);

    CatalogueContext m_context;
    CatalogueService& m_catalogue;
    int m_mode = 0; // the catalogue mode it was loaded for
    std::vector<catalogue::PendingFilterEntry> m_pendingFilters;
    bool m_applyPressed = false;

    QGroupBox* m_descriptionFrame = nullptr;
    QGroupBox* m_listFrame = nullptr;
    QLineEdit *m_filterName = nullptr, *m_code = nullptr, *m_summary = nullptr;
    QLineEdit *m_lower = nullptr, *m_center = nullptr, *m_upper = nullptr, *m_opaque = nullptr,
              *m_cutOff = nullptr;
    QLineEdit* m_producer = nullptr;
    QCheckBox* m_producerCheck = nullptr;
    QComboBox* m_cmbType = nullptr;
    QLabel *m_lowerLabel = nullptr, *m_centerLabel = nullptr, *m_upperLabel = nullptr,
           *m_opaqueLabel = nullptr, *m_cutOffLabel = nullptr;
    QLabel* m_typeLabel = nullptr;
    QPushButton *m_cmdApply = nullptr, *m_cmdReset = nullptr, *m_cmdImport = nullptr, *m_cmdDel = nullptr,
                *m_cmdClose = nullptr, *m_cmdSpectrum = nullptr;
    QTreeWidget* m_customerList = nullptr;
};
