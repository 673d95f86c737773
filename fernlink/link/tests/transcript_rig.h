// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Drives the transfer flows of both links and DNC with scripted controller bytes, ticks and
// answers, and writes down everything they do in one text: bytes written, pauses, purges,
// timers started and stopped, what the observer heard and every question with its caption.
// The transcripts of fixed scripts are kept beside the tests and compared line by line, so
// a reshaping of the flows that changes any of it shows where.
#include "fernlink/link/dncflow.h"
#include "fernlink/link/ethernetflows.h"
#include "fernlink/link/serialflows.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <map>
#include <set>

namespace vantor::fernlink::transcript {

struct Log {
    QStringList lines;
    QString dir;  // the scenario's folder, written as $DIR
    void add(QString line)
    {
        if (!dir.isEmpty())
            line.replace(dir, QStringLiteral("$DIR"));
        lines.push_back(line);
    }
};

// Printable bytes as they are, the rest as \xNN; long writes as length, CRC and their start.
QString bytesText(QByteArrayView bytes);

class RecordingPort : public LinkPort {
public:
    RecordingPort(Log& log, QString name) : log_(log), name_(std::move(name)) {}
    void write(const QByteArray& bytes) override;
    void pause(int ms) override;
    void purge() override;
    void startTimer(int id, int ms, bool repeat) override;
    void stopTimer(int id) override;
    // Writes down how the running timers changed since the last call: which were started (or
    // restarted) and which stopped. The order of the calls within one step is nobody's concern.
    void flushTimers();

private:
    struct Timer {
        int ms = 0;
        bool repeat = false;
    };
    void output(const QString& text);
    Log& log_;
    QString name_;
    std::map<int, Timer> running_;
    std::map<int, Timer> before_;
    std::set<int> started_;
    qsizetype outputLine_ = -1;
};

class RecordingObserver : public EthernetObserver {
public:
    explicit RecordingObserver(Log& log) : log_(log) {}
    void rowChanged(int row) override;
    void rowRemoved(int row) override;
    void listChanged() override;
    void currentFile(const QString& path) override;
    void progress(const TransferStatistics& stats) override;
    void log(LogEntry entry, const QString& text) override;
    void finished(bool completed) override;
    void transferred(const TransferRecord& record) override;
    void dropLink() override;

private:
    Log& log_;
};

class RecordingPrompter : public Prompter {
public:
    explicit RecordingPrompter(Log& log) : log_(log) {}
    std::deque<Answer> answers;  // when empty: No
    std::deque<std::optional<QString>> texts;  // when empty: cancelled
    // Runs while a question is open, as the event loop under a message box would.
    std::function<void()> whileAsking;

    Answer ask(const QString& text, Buttons buttons) override { return ask(text, buttons, QString()); }
    void inform(Severity severity, const QString& text) override { inform(severity, text, QString()); }
    Answer ask(const QString& text, Buttons buttons, const QString& caption) override;
    void inform(Severity severity, const QString& text, const QString& caption) override;
    std::optional<QString> askText(const QString& prompt, const QString& initial) override;

private:
    Log& log_;
};

// Both links' flows and DNC over one program state, as Fernlink's pages hold them.
struct Rig {
    explicit Rig(const QString& folder);
    Log log;
    RecordingPort serialPort{log, QStringLiteral("serial")};
    RecordingPort netPort{log, QStringLiteral("net")};
    ProgramState state{OperationState::OpIdle, LinkType::LinkSerial, Language::English};
    RecordingPrompter prompter{log};
    RecordingObserver observer{log};
    SerialFlowSet serial{serialPort, state, prompter, observer};
    EthernetFlowSet net{netPort, state, prompter, observer};
    DncFlow dnc{serialPort, netPort, state, prompter, observer};
    bool toDnc = false;  // bytes, ticks and Stop go to DNC instead of the flow sets

    QString folder;
    QString file(const QString& name, const QByteArray& data);  // a PC file in the folder

    void note(const QString& text) { log.add(QStringLiteral("# ") + text); }
    void in(const QByteArray& bytes);
    void tick(int id, int times = 1);
    void stop();
    void linkLost();  // Ethernet: the connection closed
    void started(const char* what, bool result);
    void flush();  // the timers' changes of the step just over
    // The rows' states, the operation and the folder's files, at the end of a scenario.
    void summary(const std::vector<SendRow>& rows);
    void summary(const std::vector<RemoteFileRow>& rows);
    void summaryFiles();
};

struct Scenario {
    const char* name;
    std::function<void(Rig&)> run;
};

// Runs every scenario in a fresh folder and gives the whole transcript.
QString runAll(const std::vector<Scenario>& scenarios);

std::vector<Scenario> serialScenarios();
std::vector<Scenario> ethernetScenarios();
std::vector<Scenario> dncScenarios();

}  // namespace vantor::fernlink::transcript
