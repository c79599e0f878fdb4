// The main of the widget test programs: one QApplication on the offscreen platform (unless the
// run chose another) around all the cases, gone before the leak check at the end.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "tests/qt_sanitizer_suppressions.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
