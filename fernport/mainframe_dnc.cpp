// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's DNC runs: start (from line 1, a chosen line or N block, or the restart
// point of the run cut off last), the XON/XOFF stream and the XModem run, their ends, and
// what an interrupted run leaves behind (its window, the restart point, the log line).
#include "fernport/mainframe.h"

#include "common/archive.h"
#include "common/logging.h"
#include "common/ui/messageboxprompter.h"
#include "common/ui/nceditor.h"
#include "fernport/messages.h"
#include "serialcore/serialwire.h"

#include <QFileInfo>
#include <QLabel>
#include <QSerialPort>
#include <QStatusBar>
#include <QTimer>

#include <utility>

namespace vantor::fernport {

namespace {
QString qs(const char* latin1) { return QString::fromLatin1(latin1); }

QByteArray joined(const std::vector<QByteArray>& lines)
{
    QByteArray all;
    for (const QByteArray& l : lines)
        all += l;
    return all;
}
}  // namespace

void CMainFrame::sendStarted(int totalBlocks)
{
    progressTotal(totalBlocks);
}

void CMainFrame::blockSent(int block, int totalBlocks, qint64 bytesSent)
{
    // A frame goes out for the first time only after the one before it was acknowledged.
    xmodemTaken_ = xmodemSent_;
    xmodemSent_ = bytesSent;
    progressStep(1 + 100 * block / std::max(totalBlocks, 1));
}

void CMainFrame::nakReceived()
{
    progressNak();
}

void CMainFrame::sendFinished(SendResult result)
{
    const QString name = QFileInfo(path_).fileName();
    switch (result) {
    case SendResult::Failed:
        prompter_->inform(Severity::Information, qs(msg::kSendFileError).arg(name));
        break;
    case SendResult::NoRight:
        prompter_->inform(Severity::Information, qs(msg::kNoRight).arg(name));
        prompter_->inform(Severity::Information, qs(msg::kSendFail).arg(name));
        break;
    case SendResult::NotSuit:
        prompter_->inform(Severity::Information, qs(msg::kNotSuit).arg(name));
        prompter_->inform(Severity::Information, qs(msg::kSendFail).arg(name));
        break;
    case SendResult::Exists:
    case SendResult::Full:
        prompter_->inform(Severity::Information, qs(msg::kFileExists).arg(name));
        prompter_->inform(Severity::Information, qs(msg::kSendFail).arg(name));
        break;
    case SendResult::Sent:
    case SendResult::Cancelled:
        break;
    }
    if (!dncXModemRun_)
        return;
    if (result == SendResult::Sent) {
        recordCompletion();
    } else if (result != SendResult::Cancelled) {
        // The controller ended the run: its window stays with the point to go on from.
        const DncRestartPoint point = recordInterruption(xmodemTaken_, xmodemSent_, qs(msg::kDncReasonRefused));
        dncXModemRun_ = false;
        setDncActive(false);
        if (processDlg_)
            processDlg_->showInterrupted(qs(msg::kDncInterrupted).arg(qs(msg::kDncReasonRefused)) + QLatin1Char('\n')
                                         + qs(msg::kDncRestartAt)
                                               .arg(QFileInfo(path_).fileName())
                                               .arg(point.lastLineSent())
                                               .arg(point.line));
        Q_EMIT dncFinished();
        return;
    }
    finishDncXModem();
}

void CMainFrame::finishDncXModem()
{
    if (!dncXModemRun_)
        return;
    dncXModemRun_ = false;
    setDncActive(false);
    destroyProcessDlg();
    Q_EMIT dncFinished();
}

void CMainFrame::setDncProtocol(DncProtocol protocol)
{
    protocolXonXoff_->setChecked(protocol == DncProtocol::XonXoff);
    protocolXModem_->setChecked(protocol == DncProtocol::XModem);
    if (protocol == protocol_)
        return;
    protocol_ = protocol;
    settings_.storeDncProtocol(protocol);
}

void CMainFrame::setDncHeaderMode(dnc::HeaderMode mode)
{
    headerNone_->setChecked(mode == dnc::HeaderMode::None);
    headerProgramStart_->setChecked(mode == dnc::HeaderMode::ProgramStart);
    headerCustom_->setChecked(mode == dnc::HeaderMode::Custom);
    if (mode != settings_.dncHeaderMode())
        settings_.storeDncHeaderMode(mode);
}

void CMainFrame::customHeaderCommand()
{
    const auto header = askHeader_ ? askHeader_(settings_.dncCustomHeader()) : std::nullopt;
    if (!header) {
        setDncHeaderMode(settings_.dncHeaderMode());  // the check marks stay as they were
        return;
    }
    settings_.storeDncCustomHeader(*header);
    setDncHeaderMode(dnc::HeaderMode::Custom);
}

void CMainFrame::setDncActive(bool active)
{
    dncActive_ = active;
    // The program on screen is the one on the wire: no edits while it streams.
    editor_->setReadOnly(active);
}

void CMainFrame::dncCommand()
{
    startDnc(false);
}

void CMainFrame::dncFromLineCommand()
{
    startDnc(true);
}

void CMainFrame::startDnc(bool askLine)
{
    if (dncActive_)
        return;
    if (!ensurePortOpen())
        return;
    if (path_.isEmpty()) {
        if (prompter_->ask(qs(msg::kPleaseOpenFile), Buttons::OkCancel, qs(msg::kCaptionDnc)) == Answer::Yes) {
            const QString path = askOpenFile_();
            if (!path.isEmpty())
                openDocument(path);
        }
        return;
    }
    QByteArray program;
    if (protocol_ == DncProtocol::XModem) {
        // The file on disk goes out, as saved; the controller starts the transfer with its C.
        QString error;
        const auto data = readWholeFile(path_, &error);
        if (!data) {
            prompter_->inform(Severity::Information, qs(msg::kFileCannotBeOpen).arg(path_));
            return;
        }
        program = *data;
    } else {
        program = joined(XonXoffDnc::linesFromText(editor_->toPlainText()));
    }
    const auto startLine = chooseDncStartLine(*prompter_, restart_, path_, program, askLine);
    if (!startLine)
        return;
    dncPlan_ = planDnc(std::move(program), *startLine, settings_.dncHeaderMode(), settings_.dncCustomHeader());
    const QByteArray stream = dncPlan_.stream();
    if (protocol_ == DncProtocol::XModem) {
        setDncActive(true);
        dncXModemRun_ = true;
        xmodemSent_ = xmodemTaken_ = 0;
        progressReset(QFileInfo(path_).fileName(), QStringLiteral("DNC"));
        qCDebug(lcDnc, "start %s at line %lld: %lld bytes by XModem", qUtf8Printable(path_),
                static_cast<long long>(dncPlan_.startLine), static_cast<long long>(stream.size()));
        dncXModem_->beginSend(stream, true);
        return;
    }
    // The window of a run that was cut off goes when the next one starts.
    if (closingDnc_ && closingDnc_->interrupted()) {
        delete closingDnc_.data();
        closingDnc_ = nullptr;
    }
    xonxoff_ = std::make_unique<XonXoffDnc>(splitWireLines(stream));
    setDncActive(true);
    dncDlg_ = new CDNCDlg(path_);
    dncDlg_->setAttribute(Qt::WA_DeleteOnClose);
    connect(dncDlg_, &CDNCDlg::cancelRequested, this, &CMainFrame::cancelDnc);
    dncDlg_->QDialog::show();
    dncTimer_->start();
    pacer_ = std::make_unique<LinePacer>(comm_.baudRate());
    lineClock_.start();
    qCDebug(lcDnc, "start %s at line %lld: XON/XOFF stream at %d baud", qUtf8Printable(path_),
            static_cast<long long>(dncPlan_.startLine), comm_.baudRate());
    pumpXonXoff();
}

void CMainFrame::schedulePump(qint64 delayUs)
{
    if (pumpScheduled_)
        return;
    pumpScheduled_ = true;
    pumpTimer_->start(int(std::max<qint64>(0, (delayUs + 999) / 1000)));
}

void CMainFrame::pumpXonXoff()
{
    pumpScheduled_ = false;
    if (!dncActive_ || !xonxoff_ || dncAsking_ || !portFailure_.isEmpty())
        return;
    const qint64 now = lineClock_.nsecsElapsed() / 1000;
    // The pacer follows the baud rate; the driver's own queue is the word of a real UART whose
    // line runs slower than its setting, so neither may hold more than the slack.
    qsizetype room = pacer_->allowance(now);
    room = std::min<qsizetype>(room, std::max<qint64>(0, pacer_->slackBytes() - comm_.queuedOutput()));
    if (room > 0) {
        const QByteArray bytes = xonxoff_->takeBytes(room);
        if (!bytes.isEmpty()) {
            const qint64 written = comm_.write(bytes);
            if (!portFailure_.isEmpty()) {
                // The port failed under this write: what it did not take never reached the
                // line, and the run must neither go on nor end as complete before the
                // failure is handled. (A write that only timed out keeps its bytes queued.)
                unwritten_ = bytes.size() - std::max<qint64>(0, written);
                return;
            }
            pacer_->wrote(bytes.size(), now);
        }
    }
    if (!xonxoff_ || !dncActive_)
        return;
    if (xonxoff_->finished()) {
        finishDnc();
        return;
    }
    // Halted: nothing is scheduled; the XON that resumes the stream schedules the next turn.
    if (!xonxoff_->halted())
        schedulePump(std::max<qint64>(pacer_->waitUs(lineClock_.nsecsElapsed() / 1000), room > 0 ? 0 : 1000));
}

void CMainFrame::onReceived(const QByteArray& chunk)
{
    if (chunk.isEmpty())
        return;
    if (!dncActive_) {
        if (sendFlow_->active())
            sendFlow_->onBytes(chunk);
        else if (receiveFlow_->listing() || receiveFlow_->receiving())
            receiveFlow_->onBytes(chunk);
        else if (chunk.front() == wire::kAck || chunk.front() == wire::kSoh)
            link_.write(QByteArray(1, wire::kCan));  // a transfer nobody asked for
        return;
    }
    if (dncXModemRun_) {
        dncXModem_->onSenderBytes(chunk);
        return;
    }
    if (!xonxoff_)
        return;
    const bool wasHalted = xonxoff_->halted();
    xonxoff_->onReceived(chunk);
    if (wasHalted != xonxoff_->halted())
        qCDebug(lcDnc, "%s after %llu bytes", xonxoff_->halted() ? "XOFF: held" : "XON: going on",
                static_cast<unsigned long long>(xonxoff_->bytesSent()));
    if (wasHalted && !xonxoff_->halted())
        schedulePump();
}

void CMainFrame::onDncTick()
{
    if (!xonxoff_)
        return;
    xonxoff_->tick();
    qCDebug(lcDnc, "%llu bytes, %llu lines sent", static_cast<unsigned long long>(xonxoff_->bytesSent()),
            static_cast<unsigned long long>(xonxoff_->linesSent()));
    if (dncDlg_)
        dncDlg_->show(xonxoff_->bytesSent(), xonxoff_->linesSent(), xonxoff_->timeText(), xonxoff_->bytesPerSecond());
}

void CMainFrame::cancelDnc()
{
    if (!dncActive_ || !xonxoff_ || dncAsking_)
        return;
    // The stream holds while the user decides, so it can neither run on nor end beneath
    // the question. The box belongs to the DNC window, so answering it gives the focus back
    // there rather than to the main window, which would cover the run's window.
    dncAsking_ = true;
    std::optional<MessageBoxPrompter> onDncWindow;
    Prompter* asker = prompter_;
    if (ownPrompter_ && dncDlg_) {
        onDncWindow.emplace(dncDlg_.data());
        asker = &*onDncWindow;
    }
    const Answer answer = asker->ask(qs(msg::kEndCommunication), Buttons::YesNo, qs(msg::kCaptionDnc));
    dncAsking_ = false;
    if (!dncActive_ || !xonxoff_)
        return;
    if (answer != Answer::Yes) {
        // The run goes on, and its window stays where the user can see it: once now, and
        // once more after the window system has handed the focus back from the closed box.
        auto bringForward = [dlg = dncDlg_] {
            if (dlg) {
                dlg->raise();
                dlg->activateWindow();
            }
        };
        bringForward();
        QTimer::singleShot(0, this, bringForward);
        if (!xonxoff_->halted())
            schedulePump();
        return;
    }
    xonxoff_->requestStop();
    // The rest of the current line still goes out; the pump ends the run after it.
    if (xonxoff_->finished() || xonxoff_->halted()) {
        // A halted stream would never reach the line end: the user asked to end, so end now.
        finishDnc();
        return;
    }
    schedulePump();
}

void CMainFrame::finishDnc()
{
    dncTimer_->stop();
    const bool byItself = xonxoff_ && !xonxoff_->stoppedByUser();
    if (xonxoff_)
        qCDebug(lcDnc, "end (%s): %llu bytes, %llu lines sent", byItself ? "complete" : "stopped by the user",
                static_cast<unsigned long long>(xonxoff_->bytesSent()), static_cast<unsigned long long>(xonxoff_->linesSent()));
    if (xonxoff_ && dncDlg_)
        dncDlg_->show(xonxoff_->bytesSent(), xonxoff_->linesSent(), xonxoff_->timeText(), xonxoff_->bytesPerSecond());
    if (xonxoff_ && dncActive_) {
        if (byItself)
            recordCompletion();
        else
            recordInterruption(qint64(xonxoff_->bytesSent()), qint64(xonxoff_->bytesSent()), qs(msg::kDncReasonCancelled));
    }
    setDncActive(false);
    if (dncDlg_) {
        // Parentless, so nothing else owns it: if the program ends before the deferred
        // delete runs, the destructor still takes it down.
        delete closingDnc_.data();
        closingDnc_ = dncDlg_;
        dncDlg_->closeForGood();
    }
    dncDlg_ = nullptr;
    if (byItself)
        prompter_->inform(Severity::Information, qs(msg::kDncCompleted));
    Q_EMIT dncFinished();
    if (std::exchange(closeAfterDnc_, false))
        QTimer::singleShot(0, this, [this] { close(); });
}

void CMainFrame::portFailed(const QString& reason)
{
    qCWarning(lcDnc, "serial line failed: %s", qUtf8Printable(reason));
    portFailure_.clear();
    const qint64 unwritten = std::exchange(unwritten_, 0);
    if (!dncActive_) {
        statusBar()->showMessage(qs(msg::kDncReasonLinkLost).arg(reason));
        return;
    }
    const QString why = qs(msg::kDncReasonLinkLost).arg(reason);
    DncRestartPoint point;
    if (dncXModemRun_) {
        link_.clear();
        dncXModem_->cancelSend();
        dncXModemRun_ = false;
        point = recordInterruption(xmodemTaken_, xmodemSent_, why);
        setDncActive(false);
        if (processDlg_)
            processDlg_->showInterrupted(qs(msg::kDncInterrupted).arg(why) + QLatin1Char('\n')
                                         + qs(msg::kDncRestartAt)
                                               .arg(QFileInfo(path_).fileName())
                                               .arg(point.lastLineSent())
                                               .arg(point.line));
    } else if (xonxoff_) {
        dncTimer_->stop();
        pumpTimer_->stop();
        pumpScheduled_ = false;
        closeAfterDnc_ = false;
        // The restart line is the one holding the first byte the line did not carry: a line
        // broken off goes again whole.
        const qint64 delivered = std::max<qint64>(0, qint64(xonxoff_->bytesTaken()) - unwritten);
        point = recordInterruption(delivered, delivered, why);
        xonxoff_->requestStop();
        setDncActive(false);
        if (dncDlg_) {
            dncDlg_->show(xonxoff_->bytesSent(), xonxoff_->linesSent(), xonxoff_->timeText(), xonxoff_->bytesPerSecond());
            dncDlg_->showInterrupted(qs(msg::kDncInterrupted).arg(why), point.lastLineSent(), point.line);
            // It stays until the user closes it or the next run starts.
            delete closingDnc_.data();
            closingDnc_ = dncDlg_;
        }
        dncDlg_ = nullptr;
    }
    prompter_->inform(Severity::Error,
                      qs(msg::kDncLinkLost).arg(reason).arg(point.lastLineSent()).arg(point.line ? point.line : 1),
                      qs(msg::kCaptionDnc));
    Q_EMIT dncFinished();
}

void CMainFrame::watchPortErrors()
{
    // The serial engine reports no line errors of its own; its port object does. Only the
    // port in use is watched (a closed one may still wait for its deferred delete).
    for (QSerialPort* port : comm_.findChildren<QSerialPort*>(Qt::FindDirectChildrenOnly)) {
        if (!port->isOpen())
            continue;
        disconnect(port, &QSerialPort::errorOccurred, this, nullptr);  // once per port, however often it is watched
        connect(port, &QSerialPort::errorOccurred, this, [this, port](QSerialPort::SerialPortError error) {
            if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError && error != QSerialPort::WriteError)
                return;
            if (!portFailure_.isEmpty())
                return;  // one failure, handled once
            // Noted at once, so the stream stops here; handled outside the port's own signal.
            portFailure_ = port->errorString();
            QTimer::singleShot(0, this, [this, reason = portFailure_] {
                if (!portFailure_.isEmpty())
                    portFailed(reason);
            });
        });
    }
}

DncRestartPoint CMainFrame::recordInterruption(qint64 taken, qint64 bytesSent, const QString& why)
{
    const DncRestartPoint point = restartPointAfter(dncPlan_, path_, taken, bytesSent);
    // Only a point after the first line is worth offering; a run cut off before any of the
    // program went leaves nothing to go on from.
    restart_ = point.line > 1 ? point : DncRestartPoint{};
    settings_.storeDncRestartPoint(restart_);
    DncLogEntry entry{QDateTime::currentDateTime(), path_, dncPlan_.startLine, false, why, bytesSent,
                      point.lastLineSent(), point.line};
    if (point.line == 0) {
        // Everything went before the end came: nothing to restart.
        entry.restartLine = 0;
        entry.lastLine = dncLineCount(dncPlan_.program);
    }
    qCInfo(lcDnc, "%s", qUtf8Printable(entry.line()));
    if (!dncLog_.append(entry))
        statusBar()->showMessage(qs(msg::kDncLogNotWritten).arg(dncLog_.error()));
    else if (point.line > 0)
        statusBar()->showMessage(
            qs(msg::kDncRestartAt).arg(QFileInfo(path_).fileName()).arg(point.lastLineSent()).arg(point.line));
    return point;
}

void CMainFrame::recordCompletion()
{
    if (restart_.path == path_) {
        restart_ = {};
        settings_.storeDncRestartPoint(restart_);
    }
    const DncLogEntry entry{QDateTime::currentDateTime(), path_, dncPlan_.startLine, true, QString(),
                            dncPlan_.stream().size(), 0, 0};
    if (!dncLog_.append(entry))
        statusBar()->showMessage(qs(msg::kDncLogNotWritten).arg(dncLog_.error()));
}

}  // namespace vantor::fernport
