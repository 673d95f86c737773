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
    qint64 startLine = 0;
    std::optional<QString> answer = prompter_.askText(text(Msg::DncStartLine), QStringLiteral("1"));
    while (answer) {
        bool ok = false;
        startLine = answer->trimmed().toLongLong(&ok);
        if (ok && startLine >= 1 && startLine <= 2147483647)
            break;
        answer = prompter_.askText(text(Msg::DncStartLine), *answer);
    }
    if (!answer)
        return false;
    if (startLine > document.lines) {
        prompter_.inform(Severity::Warning, text(Msg::DncNumberTooBig), text(Msg::Tip));
        return false;
    }
    path_ = document.path;
    offset_ = dncStartOffset(*file, startLine);
    data_ = file->mid(offset_);
    total_ = data_.size();
    done_ = 0;
    block_ = 0;
    packetsTotal_ = 0;
    retries_ = 0;
    totalErrors_ = 0;
    replyTicks_ = 0;
    started_ = false;
    phase_ = 0;
    gatherExpired_ = false;
    reply_.reset();
    ethernet_ = state_.link == LinkType::LinkEthernet;
    running_ = true;
    stats.start(total_, TransferDirection::Send);
    port().startTimer(dnctimers::kStats, 1000, true);
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
    port().startTimer(dnctimers::kReply, 1000, true);
    return true;
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

void DncFlow::finish()
{
    LinkPort& p = port();
    p.stopTimer(dnctimers::kStats);
    p.stopTimer(dnctimers::kReply);
    p.stopTimer(dnctimers::kReplyGather);
    data_.clear();
    reply_.reset();
    started_ = false;
    phase_ = 0;
    const bool wasRunning = running_;
    running_ = false;
    state_.operation = OperationState::OpIdle;
    if (wasRunning) {
        qCDebug(lcDnc, "end: %lld of %lld bytes streamed", static_cast<long long>(done_), static_cast<long long>(total_));
        observer_.finished(done_ == total_);
    }
}

void DncFlow::onBytes(QByteArrayView chunk)
{
    if (!running_)
        return;
    if (!ethernet_) {
        for (char b : chunk) {
            if (!running_)
                return;
            serialByte(b);
        }
        return;
    }
    reply_.feed(chunk);
    ethernetReply();
}

// ---------------------------------------------------------------- serial

void DncFlow::serialByte(char b)
{
    switch (b) {
    case 'C':
        serialPort_.stopTimer(dnctimers::kReply);
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
        finish();
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
        serialPort_.stopTimer(dnctimers::kStats);
        return;
    }
    block_ = block;
    progress(bytesSent);
}

void DncFlow::sendFinished(SendResult result)
{
    if (result == SendResult::Sent) {
        finish();
        return;
    }
    finish();
    prompter_.inform(Severity::Error, text(Msg::DncError), text(Msg::DncCaption));
}

// ---------------------------------------------------------------- Ethernet

void DncFlow::ethernetReply()
{
    if (phase_ == 0) {
        if (reply_.empty())
            return;
        if (reply_.startsWith(kDncOk)) {
            ethernetPort_.stopTimer(dnctimers::kReply);
            ethernetPort_.stopTimer(dnctimers::kReplyGather);
            reply_.reset();
            observer_.log(LogEntry::DncStarted, path_);
            phase_ = 1;
            const qint64 n = std::min<qint64>(total_, kDncChunk);
            if (n == 0) {
                finish();
                ethernetPort_.pause(100);
                ethernetPort_.write(QByteArray(1, kEot));
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
        finish();
        prompter_.inform(Severity::Warning, text(m), text(Msg::DncCaption));
        return;
    }
    while (running_ && !reply_.empty()) {
        const char b = reply_.take(1).front();
        if (b != kAck) {
            finish();
            prompter_.inform(Severity::Error, text(Msg::DncSendError), text(Msg::DncCaption));
            return;
        }
        if (done_ < total_) {
            const qint64 n = std::min<qint64>(total_ - done_, kDncChunk);
            ethernetPort_.write(data_.mid(done_, n));
            ++block_;
            progress(done_ + n);
            continue;
        }
        finish();
        ethernetPort_.pause(100);
        ethernetPort_.write(QByteArray(1, kEot));
        return;
    }
}

void DncFlow::onTimer(int id)
{
    if (!running_)
        return;
    if (id == dnctimers::kStats) {
        stats.tick();
        qCDebug(lcDnc, "%lld of %lld bytes, block %d", static_cast<long long>(done_), static_cast<long long>(total_), block_);
        observer_.progress(stats);
        return;
    }
    if (id == dnctimers::kReplyGather) {
        gatherExpired_ = true;
        ethernetReply();
        gatherExpired_ = false;
        return;
    }
    if (id != dnctimers::kReply || ++replyTicks_ < dnctimers::kReplyTicks)
        return;
    const bool net = ethernet_;
    finish();
    prompter_.inform(Severity::Error,
                     net ? text(Msg::DncBufferFull) : text(Msg::TimeOut) + QStringLiteral(" (") + text(Msg::WaitedForDncStart) + QLatin1Char(')'),
                     text(Msg::DncCaption));
}

void DncFlow::stop()
{
    if (!running_)
        return;
    if (prompter_.ask(text(Msg::DncCancelQuestion), Buttons::YesNo, text(Msg::DncCaption)) != Answer::Yes)
        return;
    const bool net = ethernet_;
    const bool sending = xmodem_.isSending();
    finish();
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
    finish();
    state_.link = LinkType::LinkNone;
    prompter_.inform(Severity::Error, text(Msg::DncConnectError), text(Msg::DncCaption));
    // The link is gone as far as the program is concerned: the socket goes with it.
    observer_.dropLink();
}

void DncFlow::closed()
{
    if (running_ && ethernet_)
        finish();
    observer_.dropLink();
}

}  // namespace vantor::fernlink
