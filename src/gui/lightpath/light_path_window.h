#pragma once

// The light-path window: the pass bands of the shown mode's wheels, drawn on a wavelength axis,
// following the main window's choices; the same data as a table for screen readers; PNG and SVG.
// With a dye chosen, the installation's light paths ranked for it, the chosen one drawn with the
// dye's curves and the positions to select named.

#include "core/inspect/light_path.h"
#include "core/spectra/fit.h"
#include "plot/light_path_plot.h"

#include <QDialog>
#include <QWidget>
#include <functional>

class FindingComboBox;
class QLabel;
class QSpinBox;
class QTableWidget;

// The drawing: hover or keyboard focus on a band says what it is.
class LightPathView : public QWidget {
    Q_OBJECT
public:
    explicit LightPathView(QWidget* parent = nullptr);
    void setPath(const LightPath& path);
    const std::vector<plot::Item>& items() const { return m_items; }
    QSize sizeHint() const override;
    // The band that has the keyboard's focus (arrows move it), or -1.
    int focusedItem() const { return m_focused; }

signals:
    void itemDescribed(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void focusItem(int item);

    LightPath m_path;
    std::vector<plot::Item> m_items;
    int m_focused = -1;
};

class LightPathWindow : public QDialog {
    Q_OBJECT
public:
    // Ranks the installation's light paths for a dye and a laser line (none: the splitters' own).
    using Fitter = std::function<spectra::FitResult(const spectra::Dye&, std::optional<double>)>;

    explicit LightPathWindow(QWidget* parent = nullptr);
    void setPath(const LightPath& path);
    void setFitter(Fitter fitter) { m_fitter = std::move(fitter); }
    LightPathView* view() const { return m_view; }
    // The dyes offered: the built-in ones, then those read from files.
    const std::vector<spectra::Dye>& dyes() const { return m_dyes; }
    // Chooses a dye by its index in dyes() (-1: none), as the dye field does.
    void chooseDye(int dye);
    const spectra::FitResult& fitResult() const { return m_fit; }

protected:
    void reject() override;

private:
    QLayout* buildDyeRow();
    QTableWidget* buildFitTable();
    void exportClicked();
    void dyeFileClicked();
    void refit();
    void showRankedPath(int row);
    void showDrawing(const LightPath& path);
    std::optional<double> laser() const;

    LightPath m_path;    // the shown mode's wheels, from the main window
    LightPath m_drawing; // what the view draws: that, or a ranked path with the dye
    LightPathView* m_view = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_described = nullptr;
    Fitter m_fitter;
    std::vector<spectra::Dye> m_dyes;
    FindingComboBox* m_dye = nullptr;
    QSpinBox* m_laser = nullptr;
    QTableWidget* m_fitTable = nullptr;
    QLabel* m_fitSummary = nullptr;
    QLabel* m_positions = nullptr;
    spectra::FitResult m_fit;
};
