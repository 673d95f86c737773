// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/simulationmode.h"

#include "common/archive.h"
#include "rungpad/ui/mainframe.h"
#include "rungpad/ui/outputwindows.h"
#include "rungpad/ui/rungpaddoc.h"
#include "rungpad/ui/rungpadview.h"
#include "rungpad/ui/simulationoverlay.h"
#include "rungpad/ui/simulationsession.h"
#include "rungpad/ui/simulationtexts.h"
#include "rungpad/ui/watchdock.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QSpinBox>
#include <QTimer>
#include <QToolBar>

namespace rungpad::ui {

namespace {
constexpr double kSpeeds[] = {0.1, 0.5, 1, 2, 10};
constexpr int kNormalSpeed = 2;
}  // namespace

SimulationMode::SimulationMode(CMainFrame* frame, QMenu* menu, QToolBar* bar)
    : QObject(frame), m_frame(frame), m_toggle(new QAction(frame)), m_run(new QAction(frame)), m_single(new QAction(frame)),
      m_speed(new QComboBox), m_period(new QSpinBox), m_bar(new QToolBar(frame)), m_watch(new WatchDock(frame))
{
    m_toggle->setCheckable(true);
    m_toggle->setShortcut(QKeySequence(Qt::Key_F9));
    m_toggle->setObjectName(QStringLiteral("simulateAction"));
    if (menu)
        menu->addAction(m_toggle);
    if (bar)
        bar->addAction(m_toggle);
    connect(m_toggle, &QAction::triggered, this, [this](bool on) {
        if (on)
            start();
        else
            stop();
    });

    m_run->setCheckable(true);
    m_single->setShortcut(QKeySequence(Qt::Key_F10));
    for (double s : kSpeeds)
        m_speed->addItem(QStringLiteral("%1×").arg(s), s);
    m_speed->setCurrentIndex(kNormalSpeed);
    m_period->setRange(1, 1000);
    m_period->setValue(sim::kDefaultScanMs);
    m_period->setSuffix(QStringLiteral(" ms"));
    m_bar->setObjectName(QStringLiteral("simulationToolBar"));
    m_bar->addAction(m_run);
    m_bar->addAction(m_single);
    m_bar->addWidget(m_speed);
    m_bar->addWidget(m_period);
    frame->addToolBar(m_bar);
    m_bar->hide();
    frame->addDockWidget(Qt::RightDockWidgetArea, m_watch);
    m_watch->hide();

    connect(m_run, &QAction::toggled, this, [this](bool run) {
        if (m_session)
            m_session->setRunning(run);
    });
    connect(m_single, &QAction::triggered, this, [this] {
        if (!m_session)
            return;
        m_run->setChecked(false);
        m_session->singleScan();
    });
    connect(m_speed, &QComboBox::currentIndexChanged, this, [this] {
        if (m_session)
            m_session->setSpeed(m_speed->currentData().toDouble());
    });
    connect(m_period, &QSpinBox::valueChanged, this, [this](int ms) {
        if (m_session)
            m_session->setPeriodMs(ms);
    });
    connect(m_watch, &WatchDock::message, this, &SimulationMode::output);
    connect(m_watch, &WatchDock::exportRequested, this, [this] {
        const QString path = QFileDialog::getSaveFileName(m_frame, QString(), QStringLiteral("watch.csv"),
                                                          simText(SimText::CsvFilter, language()));
        if (!path.isEmpty())
            exportHistory(path);
    });
    connect(m_watch, &WatchDock::runTestRequested, this, [this] {
        const QString path = QFileDialog::getOpenFileName(m_frame, QString(), QString(), simText(SimText::TestFilter, language()));
        if (!path.isEmpty())
            runTestFile(path);
    });
    retranslate();
    // The frame restores its saved layout after this; a simulation never outlives a run.
    QTimer::singleShot(0, this, [this] {
        if (!m_session) {
            m_bar->hide();
            m_watch->hide();
        }
    });
}

SimulationMode::~SimulationMode()
{
    if (m_view)
        m_view->setSimulation(nullptr);
}

int SimulationMode::language() const { return m_frame->language(); }

void SimulationMode::output(const QString& text)
{
    if (COutputWindow* out = m_frame->outputWindow())
        out->outputLine(text);
}

void SimulationMode::retranslate()
{
    const int lang = language();
    m_toggle->setText(simText(SimText::Simulate, lang));
    m_run->setText(simText(SimText::Run, lang));
    m_single->setText(simText(SimText::SingleScan, lang));
    m_speed->setToolTip(simText(SimText::Speed, lang));
    m_period->setToolTip(simText(SimText::Period, lang));
    m_bar->setWindowTitle(simText(SimText::ToolBarTitle, lang));
    m_watch->setLanguage(lang);
    if (m_overlay)
        m_overlay->setLanguage(lang);
}

void SimulationMode::lockEditing()
{
    // Only the running ladder is locked; another open ladder edits as always.
    if (!m_session || m_frame->activeView() != m_view)
        return;
    for (int c = CMainFrame::Undo; c <= CMainFrame::ModifyNotation; ++c)
        m_frame->action(CMainFrame::Command(c))->setEnabled(false);
    for (auto c : {CMainFrame::EditCell, CMainFrame::Replace, CMainFrame::LadderInformation, CMainFrame::ImportNotation})
        m_frame->action(c)->setEnabled(false);
}

bool SimulationMode::start()
{
    if (m_session)
        return true;
    CRungpadView* view = m_frame->activeView();
    const QSignalBlocker block(m_toggle);
    m_toggle->setChecked(false);
    if (!view || !m_frame->convertActive())
        return false;
    sim::LoadError error;
    auto program = sim::loadInstructionList(view->document()->instructionLines(), &error);
    if (!program) {
        output(simText(SimText::LoadFailed, language()).arg(error.line).arg(error.message));
        return false;
    }
    m_program = *program;
    m_view = view;
    m_session = std::make_unique<SimulationSession>(std::move(*program));
    m_session->setSpeed(m_speed->currentData().toDouble());
    m_session->setPeriodMs(m_period->value());
    m_overlay = std::make_unique<SimulationOverlay>(view->document()->ladder(), *m_session, language());
    connect(m_session.get(), &SimulationSession::changed, this, [this] {
        if (m_view)
            m_view->viewport()->update();
        m_watch->refresh();
    });
    connect(m_session.get(), &SimulationSession::fault, this,
            [this](const QString& why) { output(simText(SimText::ScanFault, language()).arg(why)); });
    // The view is half destroyed when this arrives: forget it before stop() looks at it.
    connect(view, &QObject::destroyed, this, [this] {
        m_view.clear();
        stop();
    });
    view->setSimulation(m_overlay.get());
    m_watch->setSession(m_session.get());
    m_watch->show();
    m_bar->show();
    m_toggle->setChecked(true);
    lockEditing();
    output(simText(SimText::Started, language()));
    m_session->singleScan();
    m_run->setChecked(true);
    return true;
}

void SimulationMode::stop()
{
    const QSignalBlocker block(m_toggle);
    m_toggle->setChecked(false);
    if (!m_session)
        return;
    m_run->setChecked(false);
    if (m_view) {
        m_view->setSimulation(nullptr);
        disconnect(m_view, nullptr, this, nullptr);
    }
    m_watch->setSession(nullptr);
    m_overlay.reset();
    m_session.reset();
    m_view = nullptr;
    m_bar->hide();
    m_watch->hide();
    m_frame->updateCommandStates();
    output(simText(SimText::Stopped, language()));
}

std::optional<sim::TestResult> SimulationMode::runTestFile(const QString& path)
{
    if (!m_session)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        output(path + QStringLiteral(": ") + file.errorString());
        return std::nullopt;
    }
    sim::TestFileError error;
    const auto steps = sim::parseTestFile(QString::fromUtf8(file.readAll()), &error);
    if (!steps) {
        output(QStringLiteral("%1:%2: %3").arg(path).arg(error.line).arg(error.message));
        return std::nullopt;
    }
    // A test starts from a ladder just switched on, whatever the live one is doing.
    sim::VirtualClock clock;
    sim::Engine engine(clock);
    engine.load(m_program);
    sim::SimulationDriver driver(engine, clock);
    const sim::TestResult result = driver.runTest(*steps);
    m_watch->showTestResult(*steps, result);
    if (result.passed())
        output(simText(SimText::TestPassed, language()).arg(result.expectations));
    else
        output(simText(SimText::TestFailed, language()).arg(result.expectations).arg(result.failures.size()));
    if (!result.fault.isEmpty())
        output(simText(SimText::ScanFault, language()).arg(result.fault));
    return result;
}

bool SimulationMode::exportHistory(const QString& path)
{
    if (!m_session)
        return false;
    const auto saved = vantor::saveFileAtomically(path, m_session->history().csv().toUtf8());
    if (!saved.ok) {
        output(simText(SimText::ExportFailed, language()).arg(saved.error));
        return false;
    }
    output(simText(SimText::ExportDone, language()).arg(m_session->history().rows()));
    return true;
}

}  // namespace rungpad::ui
