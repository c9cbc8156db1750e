// SPDX-License-Identifier: GPL-3.0-or-later
// The pages' satellite lists: filled from the table, never beyond its 20 entries.
#include <QComboBox>
#include <QtTest>
#include <cstring>

#include "support/qt_test_main.h"
#include "host/satellite_list.h"

using namespace kelvandor;

class SatelliteListTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void countIsClampedToTheTable_data();
    void countIsClampedToTheTable();
};

void SatelliteListTest::countIsClampedToTheTable_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("selection");
    QTest::newRow("thirteen, third selected") << 13 << 2 << 13 << 2;
    QTest::newRow("more than the table") << 25 << 19 << 20 << 19;
    QTest::newRow("negative count") << -3 << 0 << 0 << -1;
    QTest::newRow("selection beyond the count") << 5 << 7 << 5 << -1;
    QTest::newRow("no satellite in use") << 5 << NoSatellite << 5 << -1;
}

void SatelliteListTest::countIsClampedToTheTable() {
    QFETCH(int, count);
    QFETCH(int, selected);
    QFETCH(int, entries);
    QFETCH(int, selection);
    SatelliteTable table;
    std::strcpy(table.records[2].primary.name, "HOTBIRD");
    std::strcpy(table.records[19].primary.name, "<b>X</b>");
    QComboBox list;
    list.addItem(QStringLiteral("stale"));
    fillSatelliteList(list, table, count, selected);
    QCOMPARE(list.count(), entries);
    QCOMPARE(list.currentIndex(), selection);
    QCOMPARE(selectedSatellite(list), selection >= 0 ? selection : NoSatellite);
    if (entries > 2) {
        QCOMPARE(list.itemText(2), QStringLiteral("HOTBIRD"));
        QCOMPARE(list.itemText(0), QStringLiteral("                   "));  // never reported
    }
    if (entries == 20) {
        QCOMPARE(list.itemText(19), QStringLiteral("<b>X</b>"));
    }
}

KELVANDOR_QTEST(SatelliteListTest, "satellite_list_test")
#include "satellite_list_test.moc"
