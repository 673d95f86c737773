// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How long an engine waits for an answer: a repeating timer and the count of its ticks.
#include "serialcore/linkport.h"

namespace vantor {

class Deadline {
public:
    // ticks of tickMs each; a timerId of 0 is a deadline that never runs out.
    Deadline(int timerId, int ticks, int tickMs = 1000) : id_(timerId), ticks_(ticks), tickMs_(tickMs) {}
    void start(LinkPort& port)
    {
        count_ = 0;
        if (id_ != 0)
            port.startTimer(id_, tickMs_, true);
    }
    void stop(LinkPort& port)
    {
        if (id_ != 0)
            port.stopTimer(id_);
    }
    // Part of the answer came: the wait begins again without restarting the timer.
    void restartCount() { count_ = 0; }
    // A tick of any timer: true when it is this deadline's and the time is up.
    bool expired(int timerId) { return id_ != 0 && timerId == id_ && ++count_ >= ticks_; }

private:
    int id_;
    int ticks_;
    int tickMs_;
    int count_ = 0;
};

}  // namespace vantor
