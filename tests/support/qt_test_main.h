// SPDX-License-Identifier: GPL-3.0-or-later
// Several Qt Test classes in one executable, each run on its own: the executable's first
// argument names the test ("status_panel_test"), the rest go to QTest::qExec as they
// would to a test of its own. One executable builds its heavy headers once (a precompiled
// header) and links once, instead of once per test.
#pragma once

#include <QtTest>

namespace kelvandor::testing {

using QtTestRunner = int (*)(int argc, char** argv);

// Registers `run` under `name`; called from static initialisers. Returns true.
bool registerQtTest(const char* name, QtTestRunner run);

}  // namespace kelvandor::testing

// Registers test class `Class` under `name`, in place of QTEST_MAIN(Class).
#define KELVANDOR_QTEST(Class, name)                                   \
    namespace {                                                        \
    int runQtTest##Class(int argc, char** argv) {                      \
        Class test;                                                    \
        return QTest::qExec(&test, argc, argv);                        \
    }                                                                  \
    const bool qtTestRegistered##Class =                               \
        ::kelvandor::testing::registerQtTest(name, &runQtTest##Class); \
    }
