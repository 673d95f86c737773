// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Qt side of a LinkPort: works through the queue of writes, pauses and purges with a
// single-shot timer (the GUI thread never sleeps) and keeps the engines' timers by id.
// The bytes leave through a writer function, so the same driver serves a serial port, a
// pseudo-terminal or a test.
#include "serialcore/linkport.h"

#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <map>
#include <memory>

namespace vantor {

class LinkDriver : public QObject, public LinkPort {
    Q_OBJECT
public:
    explicit LinkDriver(QObject* parent = nullptr);
    ~LinkDriver() override;

    void setWriter(std::function<void(const QByteArray&)> writer) { writer_ = std::move(writer); }
    void setPurger(std::function<void()> purger) { purger_ = std::move(purger); }
    void setTimerHandler(std::function<void(int)> handler) { timerHandler_ = std::move(handler); }

    void write(const QByteArray& bytes) override;
    void pause(int ms) override;
    void purge() override;
    void startTimer(int id, int ms, bool repeat) override;
    void stopTimer(int id) override;

    // Forgets queued steps and every timer (the line was closed or the operation ended hard).
    void clear();
    bool idle() const { return steps_.empty() && !pauseTimer_.isActive(); }

Q_SIGNALS:
    void queueEmpty();

private:
    struct Step {
        enum Kind { Write, Pause, Purge } kind;
        QByteArray bytes;
        int ms = 0;
    };
    void run();

    std::function<void(const QByteArray&)> writer_;
    std::function<void()> purger_;
    std::function<void(int)> timerHandler_;
    std::deque<Step> steps_;
    QTimer pauseTimer_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
    bool running_ = false;
};

}  // namespace vantor
