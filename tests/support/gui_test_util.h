// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Driving modal dialogs from a test: a timer on the GUI thread waits for the named dialog to
// become the active modal widget and acts on it inside the dialog's own event loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace tickora::gui::test {

enum class Expect { kMustAppear, kMayAppear };

// Calls action once on the first modal widget named name. With kMustAppear a test failure is
// recorded when none appears within timeoutMs.
inline void WhenModal(const QString& name, std::function<void(QWidget*)> action,
                      Expect expect = Expect::kMustAppear, int timeoutMs = 10000) {
    auto* timer = new QTimer;
    auto deadline = std::make_shared<QDeadlineTimer>(timeoutMs);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, name, action, expect, deadline] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal->objectName() != name) {
            // A dialog may sit under another top-level window in the modal stack.
            modal = nullptr;
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (top->objectName() == name && top->isVisible() && top->isModal()) {
                    modal = top;
                }
            }
        }
        if (modal != nullptr && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        } else if (deadline->hasExpired()) {
            timer->stop();
            timer->deleteLater();
            if (expect == Expect::kMustAppear) {
                ADD_FAILURE() << "no modal dialog " << name.toStdString() << " appeared";
            }
        }
    });
    timer->start();
}

// Serves events until done() holds or timeoutMs passes; returns done().
template <class F>
bool WaitUntil(F done, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qSleep(2);
    }
    return true;
}

inline void Accept(QWidget* w) {
    static_cast<QDialog*>(w)->accept();
}
inline void Reject(QWidget* w) {
    static_cast<QDialog*>(w)->reject();
}

}  // namespace tickora::gui::test
