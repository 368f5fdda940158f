// SPDX-License-Identifier: GPL-3.0-or-later
// The GUI tests need a QApplication before any widget; they run on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    // A test closes windows without ending the process.
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
