// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Driving modal dialogs from a test: a timer on the GUI thread waits for the named dialog to
// become the active modal widget and acts on it inside the dialog's own event loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace tickora::gui::test {

enum class Expect { kMustAppear, kMayAppear };

// Calls action once on the first modal widget named name. With kMustAppear a test failure is
// recorded when none appears within timeoutMs.
// The handlers still waiting for their dialog: a test's end drops them, so that none answers a
// dialog of the next test.
inline QObject& PendingHandlers() {
    static QObject pending;
    return pending;
}

inline void WhenModal(const QString& name, std::function<void(QWidget*)> action,
                      Expect expect = Expect::kMustAppear, int timeoutMs = 10000) {
    auto* timer = new QTimer(&PendingHandlers());
    timer->setProperty("mustAppear", expect == Expect::kMustAppear);
    timer->setObjectName(name);
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

// Presses Enter in every modal widget that appears from now until the returned log is dropped,
// as a user who takes each offer's default does; the log names each widget once, in order.
struct EnterLog {
    QStringList seen;
    QTimer timer;
};
inline std::shared_ptr<EnterLog> PressEnterAtEveryModal() {
    auto log = std::make_shared<EnterLog>();
    log->timer.setInterval(20);
    QObject::connect(&log->timer, &QTimer::timeout, [raw = log.get()] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible() || modal->property("enterPressed").toBool()) {
            return;
        }
        modal->setProperty("enterPressed", true);
        raw->seen << modal->objectName();
        // Where the keyboard is in the box: its focus widget, else the box.
        QWidget* target = modal->focusWidget() != nullptr ? modal->focusWidget() : modal;
        QTest::keyClick(target, Qt::Key_Return);
    });
    log->timer.start();
    return log;
}

// Drops every handler still waiting; one that had to see its dialog fails the test.
inline void DropPendingHandlers() {
    for (QTimer* timer : PendingHandlers().findChildren<QTimer*>(Qt::FindDirectChildrenOnly)) {
        if (timer->isActive() && timer->property("mustAppear").toBool()) {
            ADD_FAILURE() << "no modal dialog " << timer->objectName().toStdString() << " appeared";
        }
        delete timer;
    }
}

inline void Accept(QWidget* w) {
    static_cast<QDialog*>(w)->accept();
}
inline void Reject(QWidget* w) {
    static_cast<QDialog*>(w)->reject();
}

}  // namespace tickora::gui::test
