// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/dncflow.h"

#include "common/archive.h"
#include "common/logging.h"


namespace vantor::fernlink {

using namespace net;

DncFlow::DncFlow(LinkPort& serialPort, LinkPort& ethernetPort, ProgramState& state, Prompter& prompter,
                 EthernetObserver& observer)
    : serialPort_(serialPort),
      ethernetPort_(ethernetPort),
      state_(state),
      prompter_(prompter),
      observer_(observer),
      xmodem_(serialPort, *this, XModemVariant::Fernlink)
{
}

bool DncFlow::start(const DncDocument& document)
{
    if (running_)
        return false;
    if (state_.link == LinkType::LinkNone) {
        prompter_.inform(Severity::Warning, text(Msg::PleaseConnect), text(Msg::Tip));
        return false;
    }
    if (!state_.idle()) {
        prompter_.inform(Severity::Warning, text(Msg::PleaseStopTransfer), text(Msg::Tip));
        return false;
    }
    if (document.modified) {
        prompter_.inform(Severity::Warning, text(Msg::PleaseSaveFile), text(Msg::Tip));
        return false;
    }
    if (document.path.isEmpty()) {
        prompter_.inform(Severity::Warning, text(Msg::PleaseOpenFile), text(Msg::Tip));
        return false;
    }
    auto file = readWholeFile(document.path, nullptr);
    if (!file) {
        prompter_.inform(Severity::Warning, text(Msg::DncUnableToOpen), text(Msg::Tip));
        return false;
    }
    if (document.empty) {
        prompter_.inform(Severity::Warning, text(Msg::DncFileEmpty), text(Msg::Tip));
        return false;
    }
    const std::optional<qint64> chosen = askStartLine(document, *file);
    if (!chosen)
        return false;
    const qint64 startLine = *chosen;
    path_ = document.path;
    file_ = *file;
    startLine_ = startLine;
    offset_ = dncStartOffset(*file, startLine);
    // A restart in the middle first repeats what sets the controller's modes.
    data_ = dnc::restartHeader(*file, startLine, headerMode, customHeader);
    headerSize_ = data_.size();
    data_ += file->mid(offset_);
    total_ = data_.size();
    acked_ = 0;
    eotWritten_ = false;
    cutByLink_ = false;
    cancelled_ = false;
    done_ = 0;
    block_ = 0;
    packetsTotal_ = 0;
    retries_ = 0;
    totalErrors_ = 0;
    started_ = false;
    phase_ = 0;
    gatherExpired_ = false;
    reply_.reset();
    ethernet_ = state_.link == LinkType::LinkEthernet;
    running_ = true;
    clock_.start(port(), total_, TransferDirection::Send);
    observer_.currentFile(path_);
    qCDebug(lcDnc, "start %s from line %lld (byte %lld), %lld bytes over %s", qUtf8Printable(path_), startLine,
            static_cast<long long>(offset_), static_cast<long long>(total_), ethernet_ ? "Ethernet" : "the serial line");
    if (ethernet_) {
        state_.operation = OperationState::OpNetDnc;
        ethernetPort_.write(dncCommand());
    } else {
        state_.operation = OperationState::OpSerialDnc;
        xmodem_.beginSend(data_, true);
    }
    deadline_.start(port());
    return true;
}

std::optional<qint64> DncFlow::askStartLine(const DncDocument& document, const QByteArray& file)
{
    // The stream the link cut off last time is offered first.
    if (restart_.line > 0 && restart_.path == document.path && restart_.line <= document.lines
        && prompter_.ask(text(Msg::DncRestartQuestion).arg(document.path).arg(restart_.line), Buttons::YesNo,
                         text(Msg::DncCaption))
               == Answer::Yes)
        return restart_.line;
    std::optional<QString> answer = prompter_.askText(text(Msg::DncStartLine), QStringLiteral("1"), text(Msg::DncCaption));
    while (answer) {
        if (const auto point = dnc::parseStartPoint(*answer)) {
            if (point->line > 0) {
                if (point->line > document.lines) {
                    prompter_.inform(Severity::Warning, text(Msg::DncNumberTooBig), text(Msg::DncCaption));
                    return std::nullopt;
                }
                return point->line;
            }
            if (const auto line = dnc::lineOfBlock(file, point->block))
                return *line;
            prompter_.inform(Severity::Warning, text(Msg::DncStartNotFound).arg(answer->trimmed().toUpper()),
                             text(Msg::DncCaption));
            return std::nullopt;
        }
        answer = prompter_.askText(text(Msg::DncStartLine), *answer, text(Msg::DncCaption));
    }
    return std::nullopt;
}

qint64 DncFlow::restartLine() const
{
    // Bytes of the header do not count: until the program's own bytes were taken, the
    // restart point is where this stream started.
    const qint64 intoProgram = std::max<qint64>(0, acked_ - headerSize_);
    if (intoProgram == 0)
        return startLine_;
    return dnc::lineAtOffset(file_, offset_ + intoProgram);
}

QString DncFlow::packetsText() const
{
    return QStringLiteral("%1/%2").arg(block_).arg(packetsTotal_);
}

QString DncFlow::progressText() const
{
    const double pct = total_ > 0 ? double(done_) / double(total_) * 100.0 : 0.0;
    return QStringLiteral("%1/%2  %3%").arg(done_).arg(total_).arg(pct, 0, 'f', 2);
}

void DncFlow::progress(qint64 done)
{
    done_ = done;
    stats.setProgress(done_, block_);
    observer_.progress(stats);
}

void DncFlow::finish(bool completed)
{
    if (running_) {
        TransferRecord r;
        r.time = QDateTime::currentDateTime();
        r.ethernet = ethernet_;
        r.direction = TransferRecord::Direction::Dnc;
        r.file = path_ + QStringLiteral(" @") + QString::number(startLine_);
        r.size = data_.size();
        r.crc = crc32(data_);
        r.ok = completed;
        if (!completed)
            r.reason = QStringLiteral("%1 of %2 bytes acknowledged").arg(acked_).arg(total_);
        observer_.transferred(r);
    }
    LinkPort& p = port();
    clock_.stop(p);
    deadline_.stop(p);
    p.stopTimer(dnctimers::kReplyGather);
    data_.clear();
    reply_.reset();
    started_ = false;
    phase_ = 0;
    const bool wasRunning = running_;
    running_ = false;
    state_.operation = OperationState::OpIdle;
    if (completed && restart_.path == path_)
        restart_ = {};
    if (wasRunning) {
        qCDebug(lcDnc, "end: %lld of %lld bytes streamed", static_cast<long long>(done_), static_cast<long long>(total_));
        observer_.finished(completed);
    }
}

void DncFlow::linkCut(Msg fallback)
{
    const bool streaming = ethernet_ ? phase_ >= 1 : started_;
    if (!streaming) {
        finish(false);
        prompter_.inform(Severity::Error, text(fallback), text(Msg::DncCaption));
        return;
    }
    // The operator needs the point to go on from: it stays on the page, in the log and is
    // offered at the next start of this program.
    const qint64 line = restartLine();
    restart_ = {path_, line};
    cutByLink_ = true;
    observer_.log(LogEntry::Failed, path_ + QStringLiteral(": ") + text(Msg::LogDncInterrupted) + QStringLiteral(", ")
                                        + text(Msg::DncLinkLost).arg(line).section(QLatin1Char('\n'), 0, 0));
    finish(false);
    prompter_.inform(Severity::Error, text(Msg::DncLinkLost).arg(line), text(Msg::DncCaption));
}

void DncFlow::onBytes(QByteArrayView chunk)
{
    if (!running_)
        return;
    if (!ethernet_) {
        for (char b : chunk) {
            // While Stop asks, the controller's answers wait; its CAN does not.
            if (b == kCan) {
                if (running_)
                    serialByte(b);
                continue;
            }
            prompter_.run([this, b] {
                if (running_)
                    serialByte(b);
            });
        }
        return;
    }
    prompter_.run([this, bytes = chunk.toByteArray()] {
        if (!running_)
            return;
        reply_.feed(bytes);
        ethernetReply();
    });
}

// ---------------------------------------------------------------- serial

void DncFlow::serialByte(char b)
{
    switch (b) {
    case 'C':
        deadline_.stop(serialPort_);
        if (started_)
            return;
        started_ = true;
        observer_.log(LogEntry::DncStarted, path_);
        retries_ = 0;
        totalErrors_ = 0;
        packetsTotal_ = dncPacketsTotal(total_);
        xmodem_.onSenderByte(b);
        return;
    case kAck:
        retries_ = 0;
        if (started_)
            acked_ = done_;
        xmodem_.onSenderByte(b);
        return;
    case kNak:
        if (!started_)
            return;
        ++retries_;
        ++totalErrors_;
        if (retries_ < dnctimers::kMaxRetries) {
            xmodem_.onSenderByte(b);
            return;
        }
        xmodem_.cancelSend();
        retries_ = 0;
        totalErrors_ = 0;
        finish(false);
        prompter_.inform(Severity::Error, text(Msg::DncTooManyRetries), text(Msg::DncCaption));
        return;
    case kCan:
        xmodem_.onSenderByte(b);
        return;
    default:
        return;  // refusal bytes of a download mean nothing to a DNC stream
    }
}

void DncFlow::blockSent(int block, int totalBlocks, qint64 bytesSent)
{
    if (block > totalBlocks) {
        // EOT went out: the file is done, the controller's ACK ends the stream.
        eotWritten_ = true;
        clock_.stop(serialPort_);
        return;
    }
    block_ = block;
    progress(bytesSent);
}

void DncFlow::sendFinished(SendResult result)
{
    if (result == SendResult::Sent) {
        acked_ = total_;
        finish(true);
        return;
    }
    finish(false);
    prompter_.inform(Severity::Error, text(Msg::DncError), text(Msg::DncCaption));
}

// ---------------------------------------------------------------- Ethernet

void DncFlow::ethernetReply()
{
    if (phase_ == 0) {
        if (reply_.empty())
            return;
        if (reply_.startsWith(kDncOk)) {
            deadline_.stop(ethernetPort_);
            ethernetPort_.stopTimer(dnctimers::kReplyGather);
            reply_.reset();
            observer_.log(LogEntry::DncStarted, path_);
            phase_ = 1;
            const qint64 n = std::min<qint64>(total_, kDncChunk);
            if (n == 0) {
                ethernetEnd();
                return;
            }
            ethernetPort_.write(data_.left(n));
            packetsTotal_ = int((total_ + kDncChunk - 1) / kDncChunk);
            block_ = 1;
            progress(n);
            return;
        }
        // A refusal is read from its sixth byte on, so wait for all of it.
        const bool complete = reply_.controlFirst() || gatherExpired_ || (reply_.hasWord() && reply_.hasLineEnd());
        if (!complete) {
            ethernetPort_.startTimer(dnctimers::kReplyGather, nettimers::kReplyGatherMs, false);
            return;
        }
        const QByteArray rest = reply_.bytes().mid(kReplyWordSize);
        Msg m = Msg::DncNotDncMode;
        if (rest.startsWith(kDncAuto))
            m = Msg::DncOnRunning;
        else if (rest.startsWith(kDncBuffNotEmpty))
            m = Msg::DncBufferNotEmpty;
        finish(false);
        prompter_.inform(Severity::Warning, text(m), text(Msg::DncCaption));
        return;
    }
    if (phase_ == 2) {
        // Whatever the controller answers, it read the EOT before it.
        if (reply_.empty())
            return;
        if (!reply_.controlFirst() && !(reply_.hasWord() && reply_.hasLineEnd()) && !gatherExpired_) {
            ethernetPort_.startTimer(dnctimers::kReplyGather, nettimers::kReplyGatherMs, false);
            return;
        }
        finish(true);
        return;
    }
    while (running_ && !reply_.empty()) {
        const char b = reply_.take(1).front();
        if (b != kAck) {
            finish(false);
            prompter_.inform(Severity::Error, text(Msg::DncSendError), text(Msg::DncCaption));
            return;
        }
        acked_ = done_;
        if (done_ < total_) {
            const qint64 n = std::min<qint64>(total_ - done_, kDncChunk);
            ethernetPort_.write(data_.mid(done_, n));
            ++block_;
            progress(done_ + n);
            continue;
        }
        ethernetEnd();
        return;
    }
}

void DncFlow::ethernetEnd()
{
    ethernetPort_.pause(100);
    ethernetPort_.write(QByteArray(1, kEot));
    eotWritten_ = true;
    // The EOT gets no answer: only the controller's answer to a later command shows it read
    // it. Choosing the user area changes nothing a DNC needs; every transfer chooses its own.
    ethernetPort_.pause(EthernetSendFlow::kProofPauseMs);
    ethernetPort_.write(changePartition(QString::fromLatin1(kLabelUser)));
    phase_ = 2;
    reply_.reset();
    deadline_.start(ethernetPort_);
}

void DncFlow::onTimer(int id)
{
    if (!running_)
        return;
    if (id == dnctimers::kStats)
        qCDebug(lcDnc, "%lld of %lld bytes, block %d", static_cast<long long>(done_), static_cast<long long>(total_), block_);
    if (clock_.tick(id, observer_))
        return;
    if (id == dnctimers::kReplyGather) {
        gatherExpired_ = true;
        ethernetReply();
        gatherExpired_ = false;
        return;
    }
    if (!deadline_.expired(id))
        return;
    const bool net = ethernet_;
    if (net && phase_ == 2) {
        finish(false);
        prompter_.inform(Severity::Error, text(Msg::TimeOut) + QStringLiteral(" (") + text(Msg::WaitedForConfirm) + QLatin1Char(')'),
                         text(Msg::DncCaption));
        return;
    }
    finish(false);
    prompter_.inform(Severity::Error,
                     net ? text(Msg::DncBufferFull) : text(Msg::TimeOut) + QStringLiteral(" (") + text(Msg::WaitedForDncStart) + QLatin1Char(')'),
                     text(Msg::DncCaption));
}

void DncFlow::stop()
{
    // Once the EOT is out there is nothing left to cancel.
    if (!running_ || eotWritten_)
        return;
    // The answers that come while the question is open wait for its end, and for No.
    prompter_.run([this] { askToStop(); });
}

void DncFlow::askToStop()
{
    const Answer answer = prompter_.ask(text(Msg::DncCancelQuestion), Buttons::YesNo, text(Msg::DncCaption));
    if (!running_ || answer != Answer::Yes)
        return;  // it ended while the question was open (the link, the controller), or goes on
    const bool net = ethernet_;
    const bool sending = xmodem_.isSending();
    cancelled_ = true;
    finish(false);
    if (net) {
        ethernetPort_.pause(100);
        ethernetPort_.write(QByteArray(1, kCan));
    } else if (sending) {
        xmodem_.cancelSend();
    } else {
        serialPort_.write(QByteArray(1, kCan));
    }
}

void DncFlow::receiveError()
{
    if (!running_ || !ethernet_)
        return;
    state_.link = LinkType::LinkNone;
    linkCut(Msg::DncConnectError);
    // The link is gone as far as the program is concerned: the socket goes with it.
    observer_.dropLink();
}

void DncFlow::serialLost()
{
    if (!running_ || ethernet_)
        return;
    xmodem_.cancelSend();  // the engine forgets the file; the line takes nothing any more
    linkCut(Msg::DncConnectError);
}

void DncFlow::closed()
{
    if (running_ && ethernet_)
        linkCut(Msg::DncConnectError);
    observer_.dropLink();
}

}  // namespace vantor::fernlink
