// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A LinkPort that records what the engine asked for, for tests in virtual time.
#include "serialcore/linkport.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <vector>

namespace vantor::testing {

class FakeLinkPort : public LinkPort {
public:
    struct Step {
        char kind;  // 'w' write, 'p' pause, 'x' purge
        QByteArray bytes;
        int ms = 0;
    };
    std::vector<Step> steps;
    std::map<int, int> timers;  // id -> period of the running timers

    void write(const QByteArray& bytes) override { steps.push_back({'w', bytes, 0}); }
    void pause(int ms) override { steps.push_back({'p', {}, ms}); }
    void purge() override { steps.push_back({'x', {}, 0}); }
    void startTimer(int id, int ms, bool) override { timers[id] = ms; }
    void stopTimer(int id) override { timers.erase(id); }

    QByteArray written() const
    {
        QByteArray all;
        for (const auto& s : steps)
            if (s.kind == 'w')
                all += s.bytes;
        return all;
    }
    // Writes, pauses and purges as text: bytes as they are, "<10>" for a pause, "<purge>".
    QByteArray script() const
    {
        QByteArray all;
        for (const auto& s : steps) {
            if (s.kind == 'w')
                all += s.bytes;
            else if (s.kind == 'p')
                all += "<" + QByteArray::number(s.ms) + ">";
            else
                all += "<purge>";
        }
        return all;
    }
    QByteArray take()
    {
        QByteArray w = written();
        steps.clear();
        return w;
    }
    bool timerRunning(int id) const { return timers.count(id) != 0; }
};

}  // namespace vantor::testing
