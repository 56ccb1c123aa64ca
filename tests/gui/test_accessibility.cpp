#include "core/db/database.h"
#include "core/settings/settings_store.h"
#include "gui/catalogue/favourites_window.h"
#include "gui/catalogue/new_filter_window.h"
#include "gui/exchange/import_window.h"
#include "gui/exchange/package_window.h"
#include "gui/history/history_window.h"
#include "gui/mainwindow/main_window.h"
#include "support/dialog_recorder.h"
#include "support/test_support.h"
#include "support/widgets.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QtTest>

// Every window as a screen reader and a keyboard user meet it.
class TestAccessibility : public QObject {
    Q_OBJECT
private slots:
    void everyControlIsNamedAndEveryValueReadable();
    void editsAWheelWithTheKeyboardAlone();
};

using namespace testing;

namespace {

bool hasCaption(QWidget& window, QWidget* widget) {
    const auto labels = window.findChildren<QLabel*>();
    return std::any_of(labels.begin(), labels.end(),
                       [widget](QLabel* label) { return label->buddy() == widget; });
}

// What a screen reader could not say: a control that takes focus without a name, a label whose
// value hides behind a name of its role.
QStringList unreadable(QWidget& window) {
    QStringList found;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&window))
            continue;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        if (!accessible)
            continue;
        const QString name = accessible->text(QAccessible::Name).trimmed();
        const QString what =
            window.objectName() + "/" + widget->objectName() + " (" + widget->metaObject()->className() + ")";
        // On Linux a drop-down's name is its value; its meaning comes from its own name or a caption.
        const bool named =
            !name.isEmpty() || !widget->accessibleName().isEmpty() || hasCaption(window, widget);
        if ((widget->focusPolicy() & Qt::TabFocus) && !named)
            found << "no name: " + what;
        if (const auto* label = qobject_cast<QLabel*>(widget))
            if (!label->text().isEmpty() && name != label->text().trimmed() &&
                name != settings::CaptionText(label->text()).trimmed())
                found << "value not readable: " + what + " says '" + name + "' for '" + label->text() + "'";
    }
    return found;
}

} // namespace

void TestAccessibility::everyControlIsNamedAndEveryValueReadable() {
    Sandbox sandbox;
    const QString path = sandbox.install(demoStatements());
    DialogRecorder recorder;
    settings::EnsureUserKey(settings::FilesSubKey);
    settings::WriteUserString(settings::FilesSubKey, "Browse",
                              qEnvironmentVariable("FC_WORKBOOKS") + "/Filter_Configurations.xlsx");
    settings::WriteUserString(settings::FilesSubKey, "BrowseImport",
                              qEnvironmentVariable("FC_WORKBOOKS") + "/Filter_Sheets.xlsx");
    MainWindow form;
    form.load("/S");
    QStringList found = unreadable(form);
    // The value labels are read as they are shown.
    auto* stand = child<QLabel>(form, "Stativ");
    QCOMPARE(QAccessible::queryAccessibleInterface(stand)->text(QAccessible::Name), stand->text());
    QCOMPARE(QAccessible::queryAccessibleInterface(stand)->text(QAccessible::Description),
             QString("Microscope stand"));

    const CatalogueContext context = form.catalogueContext();
    FavouritesWindow favourites(context);
    NewFilterWindow newFilters(context);
    ImportWindow import(newFilters);
    PackageWindow configurations(form.session());
    HistoryWindow history(form.configDb());
    for (QWidget* window :
         std::initializer_list<QWidget*>{&favourites, &newFilters, &import, &configurations, &history})
        found << unreadable(*window);
    QVERIFY2(found.isEmpty(), qPrintable(found.join('\n')));
    QCOMPARE(QAccessible::queryAccessibleInterface(child(form, "CmdNr_9"))->text(QAccessible::Name),
             QString("Beam splitter changer HFT"));
}

void TestAccessibility::editsAWheelWithTheKeyboardAlone() {
    Sandbox sandbox;
    const QString path = sandbox.install(demoStatements());
    DialogRecorder recorder;
    MainWindow form;
    form.load("/S");
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const auto tabTo = [&](const QString& name) {
        for (int presses = 0; presses < 120; ++presses) {
            if (QApplication::focusWidget() && QApplication::focusWidget()->objectName() == name)
                return true;
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &form, Qt::Key_Tab);
        }
        return false;
    };
    // Tab enters the wheels at the shown one; Down moves to the next and shows it.
    QVERIFY(tabTo("CmdNr_0"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("CmdNr_1"));
    QCOMPARE(form.SelectedWheel(0), 1);
    QVERIFY(tabTo("CmbFilter_2"));
    const QString before = child<QComboBox>(form, "CmbFilter_2")->currentText();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    const QString chosen = child<QComboBox>(form, "CmbFilter_2")->currentText();
    QVERIFY(chosen != before);
    QCOMPARE(child<QComboBox>(form, "CmbIDPotential_2")->currentIndex(),
             child<QComboBox>(form, "CmbFilter_2")->currentIndex());
    QVERIFY(tabTo("CmdStore_0"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(placementRows(path).contains("EF2|3|" + chosen));
    QVERIFY(recorder.messages.isEmpty());
}

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
