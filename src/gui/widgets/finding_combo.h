#pragma once

// A drop-down list for catalogues of any size: its list opens at once (fixed width, rows of one
// height, nothing measured per entry), and typing while it is open narrows the entries to those
// that contain the typed text. Enter or a click chooses, as a click in a plain list does
// (`activated` is emitted); Escape closes and changes nothing. The control itself stays a
// non-editable drop-down list.

#include <QComboBox>

class QLabel;
class QListView;
class NarrowedEntries;
class TextList;

class FindingComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit FindingComboBox(QWidget* parent = nullptr);
    ~FindingComboBox() override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    void showPopup() override;
    void hidePopup() override;

    // The open list and the text typed into it (for tests and assistive technology).
    QListView* findingList() const { return m_list; }
    QString typedText() const { return m_typed; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPopup();
    TextList entries() const;
    void narrow(const QString& typed);
    void choose(const QModelIndex& proxyIndex);

    QWidget* m_popup = nullptr;
    QLabel* m_filterLine = nullptr;
    QListView* m_list = nullptr;
    NarrowedEntries* m_entries = nullptr;
    QString m_typed;
};
