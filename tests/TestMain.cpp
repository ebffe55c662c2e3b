// Test entry for every folder's test program: one application object (offscreen), made under a
// comma-decimal locale when the machine has one, then the program's own number set-up, as at start.
// The interface reads the program's own Chinese unless a test chooses English.
#include "WinTools.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv) {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8")) setenv("LC_ALL", "de_DE.UTF-8", 1);
    setenv("LANGUAGE", "zh_CN", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("VEXMOR_PLATFORM", "fake", 0);
    ::testing::InitGoogleTest(&argc, argv);
    InitSystemUtilities();
    QApplication app(argc, argv);
    ApplyNumberFormat();
    const int result = RUN_ALL_TESTS();
    DoneSystemUtilities();
    return result;
}
