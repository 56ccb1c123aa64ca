#pragma once

// The light-path window: the pass bands of the shown mode's wheels, drawn on a wavelength axis,
// following the main window's choices; the same data as a table for screen readers; PNG and SVG.

#include "core/inspect/light_path.h"
#include "plot/light_path_plot.h"

#include <QDialog>
#include <QWidget>

class QLabel;
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
    explicit LightPathWindow(QWidget* parent = nullptr);
    void setPath(const LightPath& path);
    LightPathView* view() const { return m_view; }

protected:
    void reject() override;

private:
    void exportClicked();

    LightPath m_path;
    LightPathView* m_view = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_described = nullptr;
};
