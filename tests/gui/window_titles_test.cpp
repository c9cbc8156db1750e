// SPDX-License-Identifier: GPL-3.0-or-later
// Window titles as the X server shows them. Qt on X11 appends the application's display
// name to the title of every top-level window whose title does not already end with it,
// so this test runs on the xcb platform (under Xvfb) with the program's own application
// object, and reads each title back from the server with xprop.
#include <QAccessible>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "shell/controller_app.h"
#include "shell/main_dialog.h"
#include "ui/dialog_window.h"
#include "ui/prompter.h"

using namespace kelvandor;

namespace {

constexpr int Patience = 5000;

// The title the X server holds for `window` (_NET_WM_NAME), empty when none is set.
QString titleOnScreen(const QWidget& window) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(window.winId()), QStringLiteral("-notype"),
                 QStringLiteral("_NET_WM_NAME")});
    if (!xprop.waitForFinished(Patience)) {
        return QStringLiteral("(xprop did not answer)");
    }
    const QString output = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
    const QRegularExpressionMatch quoted =
        QRegularExpression(QStringLiteral("^_NET_WM_NAME = \"(.*)\"$")).match(output);
    return quoted.hasMatch() ? quoted.captured(1) : QString();
}

}  // namespace

class WindowTitlesTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void mainWindowAndSmallDialogsShowExactlyTheirTitles_data();
    void mainWindowAndSmallDialogsShowExactlyTheirTitles();
    void messageBoxesCarryTheApplicationTitle();
};

void WindowTitlesTest::mainWindowAndSmallDialogsShowExactlyTheirTitles_data() {
    QTest::addColumn<QString>("title");
    QTest::newRow("product size") << QStringLiteral("Select Product Size");
    QTest::newRow("city") << QStringLiteral("Add City to GPS List");
}

void WindowTitlesTest::mainWindowAndSmallDialogsShowExactlyTheirTitles() {
    QFETCH(QString, title);
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    ui::ScriptedPrompter prompter;
    ui::Prompter* previous = ui::installPrompter(&prompter);
    QTemporaryDir noPorts;
    MainDialog main(ComPortNaming::linksOnlyIn(noPorts.path().toStdString()));
    main.show();
    QTRY_COMPARE_WITH_TIMEOUT(titleOnScreen(main),
                              QStringLiteral("Kelvandor Antenna PC Controller Ver 3.12"), Patience);

    // The dialog as the program opens it, shown on the screen and read back, then closed.
    QString shown;
    prompter.dialogUsers.push_back([&shown, &title](QDialog& dialog) {
        dialog.show();
        (void)QTest::qWaitFor(
            [&] {
                shown = titleOnScreen(dialog);
                return shown == title;
            },
            Patience);
        dialog.reject();
        return int{QDialog::Rejected};
    });
    if (title == QStringLiteral("Select Product Size")) {
        prompter.files = {noPorts.filePath(QStringLiteral("set.rif"))};  // no size known yet
        main.button(main_id::LoadDefault)->click();
    } else {
        main.gpsPage.button(GpsPage::AddCityButton)->click();
    }
    QCOMPARE(prompter.dialogTitles, QStringList{title});
    QCOMPARE(shown, title);
    ui::installPrompter(previous);
}

void WindowTitlesTest::messageBoxesCarryTheApplicationTitle() {
    QString title;
    QString shownText;
    bool seen = false;
    // The box runs its own event loop; look at it from there, then close it.
    QTimer::singleShot(0, this, [&] {
        QMessageBox* box = nullptr;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < Patience) {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* candidate = qobject_cast<QMessageBox*>(w); candidate && w->isVisible()) {
                    box = candidate;
                }
            }
            if (box != nullptr && titleOnScreen(*box) == ui::applicationTitle()) {
                break;
            }
            QTest::qWait(20);
        }
        if (box == nullptr) {
            return;
        }
        seen = true;
        title = titleOnScreen(*box);
        if (const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
            QAccessibleInterface* accessible =
                QAccessible::queryAccessibleInterface(const_cast<QLabel*>(label));
            shownText = accessible != nullptr ? accessible->text(QAccessible::Name) : QString();
        }
        box->done(QMessageBox::Ok);
    });
    ui::QtPrompter real;
    const QString text = QStringLiteral("<b>HOTBIRD</b> is not in the list");
    QCOMPARE(real.message(text, ui::Buttons::Ok, ui::Icon::None), ui::Answer::Ok);
    QVERIFY(seen);
    QCOMPARE(title, ui::applicationTitle());
    QCOMPARE(shownText, text);  // a name in a message is shown as it is, tags and all
}

int main(int argc, char** argv) {
    // The program's own application object, with whatever it sets for every window.
    ControllerApp app(argc, argv);
    WindowTitlesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_titles_test.moc"
