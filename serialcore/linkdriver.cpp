// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialcore/linkdriver.h"

namespace vantor {

LinkDriver::LinkDriver(QObject* parent) : QObject(parent)
{
    pauseTimer_.setSingleShot(true);
    pauseTimer_.setTimerType(Qt::PreciseTimer);
    connect(&pauseTimer_, &QTimer::timeout, this, &LinkDriver::run);
}

LinkDriver::~LinkDriver() = default;

void LinkDriver::write(const QByteArray& bytes)
{
    if (steps_.empty() && !pauseTimer_.isActive() && !running_) {
        if (writer_)
            writer_(bytes);
        return;
    }
    steps_.push_back({Step::Write, bytes, 0});
}

void LinkDriver::pause(int ms)
{
    if (ms <= 0)
        return;
    // Adjacent pauses add up; one timer serves both.
    if (!steps_.empty() && steps_.back().kind == Step::Pause) {
        steps_.back().ms += ms;
    } else {
        steps_.push_back({Step::Pause, {}, ms});
    }
    if (!pauseTimer_.isActive() && !running_)
        run();
}

void LinkDriver::purge()
{
    if (steps_.empty() && !pauseTimer_.isActive() && !running_) {
        if (purger_)
            purger_();
        return;
    }
    steps_.push_back({Step::Purge, {}, 0});
}

void LinkDriver::run()
{
    running_ = true;
    while (!steps_.empty()) {
        Step step = std::move(steps_.front());
        steps_.pop_front();
        if (step.kind == Step::Write) {
            if (writer_)
                writer_(step.bytes);
        } else if (step.kind == Step::Purge) {
            if (purger_)
                purger_();
        } else {
            pauseTimer_.start(step.ms);
            running_ = false;
            return;
        }
    }
    running_ = false;
    Q_EMIT queueEmpty();
}

void LinkDriver::startTimer(int id, int ms, bool repeat)
{
    auto& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        connect(timer.get(), &QTimer::timeout, this, [this, id] {
            if (timerHandler_)
                timerHandler_(id);
        });
    }
    timer->setSingleShot(!repeat);
    timer->start(ms);
}

void LinkDriver::stopTimer(int id)
{
    auto it = timers_.find(id);
    if (it != timers_.end())
        it->second->stop();
}

void LinkDriver::clear()
{
    steps_.clear();
    pauseTimer_.stop();
    for (auto& [id, timer] : timers_)
        timer->stop();
}

}  // namespace vantor
