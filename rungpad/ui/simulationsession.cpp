// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/simulationsession.h"

namespace rungpad::ui {

SimulationSession::SimulationSession(sim::Program program, QObject* parent) : QObject(parent)
{
    m_engine.load(std::move(program));
    m_timer.setInterval(kFrameMs);
    connect(&m_timer, &QTimer::timeout, this, &SimulationSession::tick);
}

void SimulationSession::setRunning(bool run)
{
    if (run == isRunning())
        return;
    if (run) {
        m_wall.start();
        m_owedMs = 0;
        m_timer.start();
    } else {
        m_timer.stop();
    }
}

void SimulationSession::tick()
{
    // Real time since the last tick, so a late timer does not slow the ladder down; a long
    // stall (a modal dialog, a debugger) is not made up in one burst.
    const double real = std::min<double>(double(m_wall.restart()), 500.0);
    // Whole periods only, so every scan of a free run is one period after the last.
    m_owedMs += real * m_speed;
    const int period = m_driver.periodMs();
    const int64_t scans = int64_t(m_owedMs / period);
    m_owedMs -= double(scans * period);
    if (scans > 0)
        advance(scans * period);
}

void SimulationSession::afterScan()
{
    for (const sim::Location& l : m_pulses)
        m_engine.memory().setBit(l, false);
    m_pulses.clear();
    if (!m_watched.empty() && m_history.rows() < kHistoryRows)
        m_history.record(m_clock.nowMs(), m_engine.scanCount(), m_engine.memory());
    const QString& f = m_engine.fault();
    if (f != m_lastFault) {
        m_lastFault = f;
        if (!f.isEmpty())
            Q_EMIT fault(f);
    }
}

void SimulationSession::singleScan()
{
    m_driver.step();
    afterScan();
    Q_EMIT changed();
}

void SimulationSession::advance(int64_t ms)
{
    m_driver.run(ms, [this] { afterScan(); });
    Q_EMIT changed();
}

void SimulationSession::toggle(const sim::Location& bit)
{
    m_engine.memory().setBit(bit, !m_engine.memory().bit(bit));
    Q_EMIT changed();
}

void SimulationSession::pulse(const sim::Location& bit)
{
    m_engine.memory().setBit(bit, true);
    m_pulses.push_back(bit);
    Q_EMIT changed();
}

void SimulationSession::write(const sim::SignalName& name, uint32_t value)
{
    name.write(m_engine.memory(), value);
    Q_EMIT changed();
}

void SimulationSession::setWatched(std::vector<sim::SignalName> names)
{
    m_watched = std::move(names);
    m_history = sim::Trace(m_watched);
}

}  // namespace rungpad::ui
