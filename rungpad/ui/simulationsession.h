// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One running ladder in the window: the engine on a virtual clock that a timer advances at the
// chosen speed, pulses that drop after one scan, and the watch list's history. Tests call
// advance() and singleScan() directly, so nothing depends on the wall clock there.
#include "rungpad/sim/laddertest.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <vector>

namespace rungpad::ui {

class SimulationSession : public QObject {
    Q_OBJECT
public:
    static constexpr int kFrameMs = 16;          // how often the timer advances the clock
    static constexpr size_t kHistoryRows = 200000;

    explicit SimulationSession(sim::Program program, QObject* parent = nullptr);

    sim::Engine& engine() { return m_engine; }
    const sim::Engine& engine() const { return m_engine; }
    sim::VirtualClock& clock() { return m_clock; }
    sim::SimulationDriver& driver() { return m_driver; }

    bool isRunning() const { return m_timer.isActive(); }
    void setRunning(bool run);
    // Ladder ms per real ms.
    void setSpeed(double factor) { m_speed = factor; }
    double speed() const { return m_speed; }
    void setPeriodMs(int ms) { m_driver.setPeriodMs(ms); }

    void singleScan();
    // Runs the scans that `ms` of ladder time hold.
    void advance(int64_t ms);

    void toggle(const sim::Location& bit);
    // On now, off again after the next scan.
    void pulse(const sim::Location& bit);
    void write(const sim::SignalName& name, uint32_t value);

    const std::vector<sim::SignalName>& watched() const { return m_watched; }
    void setWatched(std::vector<sim::SignalName> names);
    const sim::Trace& history() const { return m_history; }

Q_SIGNALS:
    // After one or more scans, or a value the user set.
    void changed();
    void fault(const QString& why);

private:
    void afterScan();
    void tick();

    sim::VirtualClock m_clock;
    sim::Engine m_engine{m_clock};
    sim::SimulationDriver m_driver{m_engine, m_clock};
    QTimer m_timer;
    QElapsedTimer m_wall;
    double m_speed = 1.0;
    double m_owedMs = 0;
    std::vector<sim::Location> m_pulses;
    std::vector<sim::SignalName> m_watched;
    sim::Trace m_history{{}};
    QString m_lastFault;
};

}  // namespace rungpad::ui
