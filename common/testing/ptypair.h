// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A pair of linked pseudo-terminals made by socat, for tests that need a real serial
// device on both ends. The links live in a private temporary folder.
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace vantor::testing {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return ok_; }
    QString a() const { return dir_.filePath(QStringLiteral("a")); }
    QString b() const { return dir_.filePath(QStringLiteral("b")); }

private:
    QTemporaryDir dir_;
    QProcess socat_;
    bool ok_ = false;
};

// Spins the Qt event loop until pred() holds or timeoutMs passes; returns pred().
template <typename Pred>
bool waitUntil(Pred pred, int timeoutMs = 5000);

}  // namespace vantor::testing

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace vantor::testing {
template <typename Pred>
bool waitUntil(Pred pred, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    // One pass of the loop between two looks at pred: on loopback a stream can run to its end
    // inside a single 10 ms slice, and a test that waits for "half way" must still see it
    // under way.
    while (!pred()) {
        if (clock.elapsed() > timeoutMs)
            return pred();
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        if (!dispatcher || !dispatcher->processEvents(QEventLoop::AllEvents))
            QThread::msleep(1);
    }
    return true;
}
}  // namespace vantor::testing
