// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Simulation mode of the frame: the Simulate toggle (Ladder menu, ladder toolbar, F9) converts
// the active ladder and runs it; its own toolbar has run/pause, single scan, speed and the
// scan period; the watch dock shows and sets addresses and runs ladder test files. While it
// runs, the view draws power flow and refuses edits; leaving restores the editor as it was.
#include "rungpad/sim/laddertest.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QAction;
class QComboBox;
class QMenu;
class QSpinBox;
class QToolBar;

namespace rungpad::ui {

class CMainFrame;
class CRungpadView;
class SimulationOverlay;
class SimulationSession;
class WatchDock;

class SimulationMode : public QObject {
    Q_OBJECT
public:
    SimulationMode(CMainFrame* frame, QMenu* menu, QToolBar* bar);
    ~SimulationMode() override;

    QAction* toggleAction() const { return m_toggle; }
    QAction* runAction() const { return m_run; }
    QAction* singleScanAction() const { return m_single; }
    QComboBox* speedBox() const { return m_speed; }
    QSpinBox* periodBox() const { return m_period; }
    QToolBar* toolBar() const { return m_bar; }
    WatchDock* watchDock() const { return m_watch; }

    bool isActive() const { return m_session != nullptr; }
    // Converts the active ladder and runs it; false (nothing changed) when there is no
    // ladder or it does not convert.
    bool start();
    void stop();
    SimulationSession* session() const { return m_session.get(); }
    SimulationOverlay* overlay() const { return m_overlay.get(); }
    CRungpadView* view() const { return m_view; }

    // Runs a ladder test file on a fresh copy of the running ladder and lists its steps.
    std::optional<sim::TestResult> runTestFile(const QString& path);
    bool exportHistory(const QString& path);

    // The frame calls these: after its language changes, and after it enabled its commands.
    void retranslate();
    void lockEditing();

private:
    void output(const QString& text);
    int language() const;

    CMainFrame* m_frame;
    QAction* m_toggle;
    QAction* m_run;
    QAction* m_single;
    QComboBox* m_speed;
    QSpinBox* m_period;
    QToolBar* m_bar;
    WatchDock* m_watch;
    QPointer<CRungpadView> m_view;
    std::unique_ptr<SimulationSession> m_session;
    std::unique_ptr<SimulationOverlay> m_overlay;
    sim::Program m_program;   // as loaded, for test runs on a fresh engine
};

}  // namespace rungpad::ui
