#pragma once

#include "core/exchange/filter_sheet.h"
#include "core/exchange/workbook.h"

#include <QDialog>
#include <memory>

class QComboBox;
class QLineEdit;
class QPushButton;

// Fills the new-filter form from one sheet of a filter data sheet workbook.
class ImportWindow : public QDialog {
    Q_OBJECT
public:
    explicit ImportWindow(FilterSheetTarget& target, QWidget* parent = nullptr);
    ~ImportWindow() override;

protected:
    void reject() override;

private:
    void load();
    void browseClicked();
    void listSheets();
    void sheetChosen(int index);
    void dropWorkbook();
    void closeClicked();

    FilterSheetTarget& m_target;
    std::unique_ptr<Workbook> m_workbook;
    QLineEdit* m_importFile = nullptr;
    QComboBox* m_cmbFilter = nullptr;
};
