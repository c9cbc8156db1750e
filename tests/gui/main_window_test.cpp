// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as a host of pages: the page list, showing pages, closing with the
// progress guard, Escape, and a close while an operation waits for a reply.
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QListWidget>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>

#include "support/qt_test_main.h"
#include "controller_harness.h"

using namespace kelvandor;
using kelvandor::testing::ControllerHarness;

class MainWindowTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void startsWithSerialPageAndSevenEntries();
    void listEntryShowsItsPage_data();
    void listEntryShowsItsPage();
    void selectingTheShownPageAgainReshowsIt();
    void closeIsRefusedOnceWhileProgressShows();
    void escapeOnAPageDoesNothing();
    void closeDuringReplyWaitEndsTheWaitAndTheDialog();
    void windowIsWhiteAndTitled();
};

void MainWindowTest::startsWithSerialPageAndSevenEntries() {
    ControllerHarness h(0);
    MainDialog& d = h.dialog();
    QListWidget* list = d.listBox(main_id::PageList);
    QCOMPARE(list->count(), 8);
    QCOMPARE(list->item(0)->text(), QStringLiteral("   Set Antenna GPS and Find Antenna Angle"));
    QCOMPARE(list->item(6)->text(), QStringLiteral("   Serial Communication"));
    QCOMPARE(list->item(7)->text(), QStringLiteral("   Sky View and Signal History"));
    QVERIFY(list->selectedItems().isEmpty());
    QVERIFY(!d.serialPage.isHidden());
    QCOMPARE(d.pageEntries().size(), std::size_t{8});
    int visible = 0;
    for (const PageEntry& e : d.pageEntries()) {
        QCOMPARE(e.created, 1);
        visible += e.visible;
        QVERIFY(e.page->host != nullptr);
        // Every page sits on the page frame.
        QCOMPARE(e.page->pos(), d.control(main_id::PageFrame)->geometry().topLeft());
    }
    QCOMPARE(visible, 1);
    QVERIFY(!d.control(main_id::UpdateDefault)->isEnabled());
    QVERIFY(d.control(main_id::Progress)->isHidden());
}

void MainWindowTest::listEntryShowsItsPage_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("pageId");
    QTest::newRow("GPS") << 0 << 104;
    QTest::newRow("satellite information") << 1 << 110;
    QTest::newRow("tracking primary") << 2 << 109;
    QTest::newRow("tracking secondary") << 3 << 111;
    QTest::newRow("move") << 4 << 105;
    QTest::newRow("parameters") << 5 << 107;
    QTest::newRow("serial") << 6 << 106;
    QTest::newRow("sky view") << 7 << 120;
}

void MainWindowTest::listEntryShowsItsPage() {
    QFETCH(int, row);
    QFETCH(int, pageId);
    ControllerHarness h(0);
    MainDialog& d = h.dialog();
    d.show();
    d.listBox(main_id::PageList)->setCurrentRow(row);
    for (const PageEntry& e : d.pageEntries()) {
        QCOMPARE(e.visible, e.pageId == pageId ? 1 : 0);
        QCOMPARE(e.page->isVisible(), e.pageId == pageId);
    }
}

namespace {

// Counts the times a page is shown and hidden.
class ShowCounter : public QObject {
  public:
    explicit ShowCounter(QWidget& page) { page.installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            ++shows;
        } else if (event->type() == QEvent::Hide) {
            ++hides;
        }
        return QObject::eventFilter(watched, event);
    }
    int shows = 0;
    int hides = 0;
};

// A real mouse click on list entry `row`.
void clickEntry(QListWidget& list, int row) {
    const QRect rect = list.visualItemRect(list.item(row));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

}  // namespace

void MainWindowTest::selectingTheShownPageAgainReshowsIt() {
    ControllerHarness h(0);
    MainDialog& d = h.dialog();
    d.show();
    QListWidget& list = *d.listBox(main_id::PageList);
    ShowCounter move(d.movePage);
    ShowCounter serial(d.serialPage);

    // A click that selects an entry shows its page once.
    clickEntry(list, 4);
    QCOMPARE(list.currentRow(), 4);
    QVERIFY(d.movePage.isVisible());
    QVERIFY(!d.serialPage.isVisible());
    QCOMPARE(move.shows, 1);
    QCOMPARE(serial.hides, 1);

    // A click on the selected entry hides its page and shows it again, once.
    clickEntry(list, 4);
    QCOMPARE(move.hides, 1);
    QCOMPARE(move.shows, 2);
    QVERIFY(d.movePage.isVisible());

    // Another entry, then back: each click shows one page once.
    clickEntry(list, 6);
    QCOMPARE(serial.shows, 1);
    QCOMPARE(move.hides, 2);
    clickEntry(list, 4);
    QCOMPARE(move.shows, 3);
    QCOMPARE(serial.hides, 2);

    // The keyboard changes the selection without a click; a click then re-shows.
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(list.currentRow(), 5);
    QVERIFY(d.parameterPage.isVisible());
    ShowCounter parameters(d.parameterPage);
    clickEntry(list, 5);
    QCOMPARE(parameters.hides, 1);
    QCOMPARE(parameters.shows, 1);

    // No selection (as after the list was cleared) changes nothing.
    list.clearSelection();
    QVERIFY(d.parameterPage.isVisible());
}

void MainWindowTest::closeIsRefusedOnceWhileProgressShows() {
    ControllerHarness h(2);
    MainDialog& d = h.dialog();
    QCOMPARE(d.serialPort.isOpen, 1);
    d.show();
    QProgressBar* bar = d.progressBar(main_id::Progress);
    bar->setRange(0, 6);
    bar->setValue(3);
    bar->show();
    QVERIFY(!d.close());  // refused, only the bar is reset
    QVERIFY(d.isVisible());
    QCOMPARE(bar->value(), 0);
    QCOMPARE(d.serialPort.isOpen, 1);
    QVERIFY(d.close());
    QVERIFY(!d.isVisible());
    QCOMPARE(d.serialPort.isOpen, 0);
    QVERIFY(d.link().isShuttingDown());
}

void MainWindowTest::escapeOnAPageDoesNothing() {
    ControllerHarness h(0);
    MainDialog& d = h.dialog();
    d.show();
    QTest::keyClick(d.serialPage.control(SerialPage::ConnectButton), Qt::Key_Escape);
    QVERIFY(d.isVisible());
    QVERIFY(d.serialPage.isVisible());
    QTest::keyClick(d.control(main_id::PageList), Qt::Key_Escape);
    QVERIFY(!d.isVisible());
}

void MainWindowTest::closeDuringReplyWaitEndsTheWaitAndTheDialog() {
    ControllerHarness h(2);
    MainDialog& d = h.dialog();
    QElapsedTimer waited;
    bool waitReturned = false;
    // An operation waits for a reply that never comes; the user closes the window.
    QTimer::singleShot(0, &d, [&] {
        d.link().awaitedReplyId = cmd::NI;
        d.link().replyWaitState = 0;
        waited.start();
        d.link().waitForReply(30000);
        waitReturned = true;
    });
    QTimer::singleShot(100, &d, [&d] { d.close(); });
    QElapsedTimer total;
    total.start();
    d.exec();  // returns only once the waiting operation has left the stack
    QVERIFY(waitReturned);
    // The time-out is far beyond the bound, so only a wait that ran on can exceed it.
    QVERIFY2(waited.elapsed() < 15000, "the wait ran on after the window closed");
    QVERIFY(total.elapsed() < 15000);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.serialPort.isOpen, 0);
}

void MainWindowTest::windowIsWhiteAndTitled() {
    ControllerHarness h(0);
    MainDialog& d = h.dialog();
    QCOMPARE(d.windowTitle(), QStringLiteral("Kelvandor Antenna PC Controller Ver 3.12"));
    d.show();
    const QImage image = d.grab().toImage();
    QCOMPARE(image.pixelColor(2, image.height() - 2), QColor(Qt::white));
    QCOMPARE(image.pixelColor(image.width() - 3, image.height() / 2), QColor(Qt::white));
}

KELVANDOR_QTEST(MainWindowTest, "main_window_test")
#include "main_window_test.moc"
