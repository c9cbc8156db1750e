// SPDX-License-Identifier: GPL-3.0-or-later
// The main of an executable that holds several Qt Test classes: it makes the application
// object QTEST_MAIN would make and runs the test its first argument names.
#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "support/qt_test_main.h"

namespace kelvandor::testing {

namespace {
std::map<std::string, QtTestRunner>& registry() {
    static std::map<std::string, QtTestRunner> tests;
    return tests;
}
}  // namespace

bool registerQtTest(const char* name, QtTestRunner run) {
    registry()[name] = run;
    return true;
}

}  // namespace kelvandor::testing

int main(int argc, char** argv) {
    const auto& tests = kelvandor::testing::registry();
    const auto test = argc < 2 ? tests.end() : tests.find(argv[1]);
    if (test == tests.end()) {
        std::fprintf(stderr, "usage: %s TEST [QTest options]\ntests:\n", argv[0]);
        for (const auto& [name, run] : tests) {
            std::fprintf(stderr, "  %s\n", name.c_str());
        }
        return 2;
    }
    // The test's own arguments, behind the program's name, as QTest::qExec expects them.
    std::vector<char*> arguments{argv[0]};
    arguments.insert(arguments.end(), argv + 2, argv + argc);
    arguments.push_back(nullptr);
    int count = static_cast<int>(arguments.size()) - 1;
    QApplication app(count, arguments.data());
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    // A run meant for a desktop locale with a decimal comma proves nothing when the
    // machine lacks that locale: the application object has taken it from the
    // environment by now, or fallen back to C.
    if (std::getenv("KELVANDOR_TEST_DECIMAL_COMMA") != nullptr &&
        std::localeconv()->decimal_point[0] != ',') {
        std::fprintf(stderr, "%s: the locale LC_ALL=%s has no decimal comma (not installed?)\n",
                     argv[0], std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "");
        return 2;
    }
    return test->second(count, arguments.data());
}
