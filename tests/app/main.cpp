// SPDX-License-Identifier: GPL-3.0-or-later
// The GUI tests need a QApplication before any widget; they run on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    // The user's own settings go to a folder of this process, never to the account's ~/.config,
    // and never to one that tests running at the same time share.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication application(argc, argv);
    // A test closes windows without ending the process.
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
