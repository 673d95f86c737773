// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a serial engine may ask of the shell that owns the line. Writes, pauses and purges
// form one queue the shell works through in order, so a pause delays every later write
// while the engine itself goes on at once; timers are separate and tick back by id.
#include <QByteArray>

namespace vantor {

class LinkPort {
public:
    virtual ~LinkPort() = default;
    virtual void write(const QByteArray& bytes) = 0;
    virtual void pause(int ms) = 0;
    // Clears both driver buffers once the writes queued before it have gone out.
    virtual void purge() = 0;
    // One-shot when repeat is false; restarting a running id restarts it.
    virtual void startTimer(int id, int ms, bool repeat) = 0;
    virtual void stopTimer(int id) = 0;
};

}  // namespace vantor
