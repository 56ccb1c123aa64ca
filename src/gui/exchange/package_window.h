#pragma once

#include "core/exchange/package.h"
#include "core/exchange/workbook.h"
#include "core/session/placement_session.h"

#include <QDialog>
#include <array>
#include <memory>
#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Applies prepared configurations (packages) from a configuration workbook, wheel by wheel.
class PackageWindow : public QDialog {
    Q_OBJECT
public:
    explicit PackageWindow(PlacementSession& session, QWidget* parent = nullptr);
    ~PackageWindow() override;

protected:
    void reject() override;

private:
    void buildUi();
    void load();
    void browseClicked();
    void openPackages();
    void packageChosen(int index);
    void wheelChosen(int index);
    void storeClicked();
    // Plans the wheel's store and shows beside each position what the database holds there now,
    // whether Store changes it or why it is not written. Store executes this plan.
    void showPreview();
    void closeClicked();

    PlacementSession& m_session;
    std::unique_ptr<Workbook> m_workbook;
    std::vector<std::array<bool, PackageWheelCount>> m_packageStoredFlags;
    Package m_package;
    PackageWheel m_wheel;
    WheelStorePlan m_plan; // what the preview shows and Store writes

    QLineEdit* m_excelFile = nullptr;
    QComboBox* m_packageChoice = nullptr;
    QComboBox* m_idAvailable = nullptr;
    QGroupBox* m_modeFrame = nullptr;
    std::array<QLabel*, wheels::PositionsPerWheel> m_filterName{};
    std::array<QLabel*, wheels::PositionsPerWheel> m_idPotential{};
    std::array<QLabel*, wheels::PositionsPerWheel> m_preview{};
    QLabel* m_previewCount = nullptr;
    QLabel* m_lStore = nullptr;
    QPushButton* m_cmdStore = nullptr;
};
