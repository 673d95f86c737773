// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/ethernetflows.h"

#include "common/archive.h"
#include "serialcore/controllernames.h"
#include "serialcore/serialcommands.h"

namespace vantor::fernlink {

using namespace net;

namespace {

QByteArray one(char c)
{
    return QByteArray(1, c);
}

// Line ends and zero bytes that close a text reply may arrive in a read of their own.
void skipLineEnds(ReplyGatherer& reply)
{
    qsizetype n = 0;
    const QByteArray& b = reply.bytes();
    while (n < b.size() && (b[n] == '\r' || b[n] == '\n' || b[n] == '\0'))
        ++n;
    reply.take(n);
}

bool isUsb(const QString& label)
{
    return label == QString::fromUtf8(kLabelUsb) || label.compare(QLatin1String("USB"), Qt::CaseInsensitive) == 0;
}

// The controller's changes of partition for a row's area.
QByteArray partitionFor(const QString& label, PartitionUse usb)
{
    return isUsb(label) ? changePartition(usb) : changePartition(label);
}

// Sending and receiving flows tell the controller at their next step and end there.
constexpr StopRule atNextStep(int forcedEndTimer, int forcedEndMs)
{
    return {true, false, forcedEndTimer, forcedEndMs};
}

}  // namespace

// ---------------------------------------------------------------- common

void EthernetFlow::begin()
{
    reply_.reset();
    gatherExpired_ = false;
    RowLoop::begin();
}

void EthernetFlow::abandon()
{
    reply_.reset();
    ctx_.port.stopTimer(nettimers::kReplyGather);
}

void EthernetFlow::received(QByteArrayView chunk)
{
    reply_.feed(chunk);
    pump();
}

bool EthernetFlow::replyComplete()
{
    if (reply_.controlFirst() || (reply_.hasWord() && (reply_.hasLineEnd() || gatherExpired_))) {
        ctx_.port.stopTimer(nettimers::kReplyGather);
        return true;
    }
    ctx_.port.startTimer(nettimers::kReplyGather, nettimers::kReplyGatherMs, false);
    return false;
}

bool EthernetFlow::wordPending()
{
    if (reply_.controlFirst() || reply_.hasWord() || gatherExpired_) {
        ctx_.port.stopTimer(nettimers::kReplyGather);
        return false;
    }
    ctx_.port.startTimer(nettimers::kReplyGather, nettimers::kReplyGatherMs, false);
    return true;
}

bool EthernetFlow::wordReady()
{
    skipLineEnds(reply_);
    return !reply_.empty() && !wordPending();
}

void EthernetFlow::pump()
{
    while (running_ && !reply_.empty() && judge()) {
    }
}

void EthernetFlow::tick(int id)
{
    if (id != nettimers::kReplyGather)
        return;
    // Whatever came is all there is: judge it as it stands.
    gatherExpired_ = true;
    pump();
    gatherExpired_ = false;
}

void EthernetFlow::linkLost()
{
    if (!running_)
        return;
    finish(false);
    netObserver_.dropLink();
}

// ---------------------------------------------------------------- list

bool EthernetListFlow::start(bool usb)
{
    if (!mayStart(OperationKind::List))
        return false;
    begin();
    rows.clear();
    observer_.listChanged();
    selectPass(usb ? PartitionUse::ListUsb : PartitionUse::ListUserPass);
    return true;
}

void EthernetListFlow::selectPass(PartitionUse pass)
{
    pass_ = pass;
    step_ = Step::AwaitScd;
    ctx_.port.write(changePartition(pass));
}

void EthernetListFlow::fail(Msg text)
{
    ctx_.prompter.inform(Severity::Warning, ctx_.text(text));
    finish(false);
}

bool EthernetListFlow::collect()
{
    const QByteArray& b = reply_.bytes();
    const qsizetype can = b.indexOf(kCan);
    const qsizetype n = can < 0 ? b.size() : can;
    const qsizetype room = std::max<qsizetype>(0, kListingBufferSize - listing_.size());
    listing_.append(b.constData(), std::min(n, room));
    // What follows the end of a listing belongs to nobody.
    reply_.reset();
    if (can < 0)
        return false;
    for (const ListingEntry& entry : parseListing(listing_)) {
        if (isControllerSystemFile(entry.name))
            continue;
        rows.push_back({entry.name, entry.size, labelFor(pass_), ctx_.text(Msg::StateNotReceiving), false});
    }
    observer_.listChanged();
    return true;
}

bool EthernetListFlow::judge()
{
    if (step_ == Step::Collect) {
        if (collect()) {
            if (pass_ == PartitionUse::ListUserPass)
                selectPass(PartitionUse::ListSysPass);
            else
                finish(true);
        }
        return false;
    }
    if (!wordReady())
        return false;
    if (step_ == Step::AwaitScd) {
        if (!reply_.startsWith(kScdOk)) {
            fail(Msg::NetListErrorMdi);
            return false;
        }
        reply_.reset();
        step_ = Step::AwaitSls;
        ctx_.port.write(listCommand());
        return false;
    }
    if (!reply_.startsWith(kSlsOk)) {
        fail(pass_ == PartitionUse::ListSysPass ? Msg::NetListErrorMdi : Msg::NetListError);
        return false;
    }
    reply_.take(kReplyWordSize);
    listing_.clear();
    step_ = Step::Collect;
    return true;
}

// ---------------------------------------------------------------- delete

EthernetDeleteFlow::EthernetDeleteFlow(SerialContext& context, EthernetObserver& observer)
    : EthernetFlow(context, observer, atNextStep(nettimers::kForcedEnd, nettimers::kDeleteForcedEndMs))
{
}

bool EthernetDeleteFlow::start()
{
    firstUsb_ = true;
    return startRows(OperationKind::Delete, rows, Msg::DeleteSelectItem, Msg::DeleteConfirm);
}

void EthernetDeleteFlow::openRow()
{
    ctx_.port.write(partitionFor(rows[index_].partition, firstUsb_ ? PartitionUse::UsbFirstDelete : PartitionUse::UsbItem));
    if (isUsb(rows[index_].partition))
        firstUsb_ = false;
    step_ = Step::AwaitScd;
}

bool EthernetDeleteFlow::judge()
{
    if (step_ == Step::AwaitScd) {
        if (!wordReady())
            return false;
        if (!reply_.startsWith(kScdOk)) {
            ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::NetDeleteError), ctx_.text(Msg::DeleteFileCaption));
            finish(false);
            return false;
        }
        reply_.reset();
        step_ = Step::AwaitAnswer;
        ctx_.port.write(deleteCommand(rows[index_].name));
        return false;
    }
    // Other bytes before the answer mean nothing.
    const char b = reply_.take(1).front();
    if (b == kAck) {
        reply_.reset();
        rowDeleted(rows);
        nextRow();
    } else if (b == kDle) {
        deleteRefused(rows[index_]);
        finish(false);
    }
    return b != kAck && b != kDle;
}

// ---------------------------------------------------------------- receive

EthernetReceiveFlow::EthernetReceiveFlow(SerialContext& context, EthernetObserver& observer)
    : EthernetFlow(context, observer, atNextStep(nettimers::kForcedEnd, nettimers::kReceiveForcedEndMs),
                   {nettimers::kReceiveStats, 0, 0})
{
}

bool EthernetReceiveFlow::start(const QString& folder)
{
    return startReceiving(rows, folder);
}

void EthernetReceiveFlow::openRow()
{
    ctx_.port.write(partitionFor(rows[index_].partition, PartitionUse::UsbItem));
    step_ = Step::AwaitScd;
}

void EthernetReceiveFlow::beginStream(qint64 size)
{
    RemoteFileRow& row = rows[index_];
    row.size = QString::number(size);
    observer_.rowChanged(index_);
    if (!file_.open(target_, ctx_)) {
        ctx_.port.write(one(kCan));
        setState(Msg::StateUnableToCreate);
        nextRow();
        return;
    }
    size_ = size;
    written_ = 0;
    frames_ = 0;
    clock_.start(ctx_.port, size, TransferDirection::Receive);
    observer_.log(LogEntry::Receiving, target_);
    observer_.progress(stats);
    step_ = Step::Stream;
    ctx_.port.write(one(kAck));
}

void EthernetReceiveFlow::endFile(Msg state)
{
    clock_.stop(ctx_.port);
    if (state == Msg::StateReceived) {
        if (file_.commitOrTell(ctx_))
            fileComplete();
        else
            state = Msg::StateUnableToCreate;
    }
    file_.drop();
    setState(state);
    nextRow();
}

bool EthernetReceiveFlow::streamFrames()
{
    // Only the first byte of a message at a frame boundary can end the file; the same byte
    // inside a frame is file data.
    const char first = reply_.first();
    if (first == kEot || first == kCan) {
        reply_.reset();
        endFile(first == kEot && written_ == size_ ? Msg::StateReceived : Msg::StateReceiveError);
        return false;
    }
    if (reply_.bytes().size() < kFrameSize)
        return false;
    const QByteArray frame = reply_.take(kFrameSize);
    const qint64 left = size_ - written_;
    // More frames than the announced size holds: the stream cannot be trusted.
    const bool tooMany = left <= 0;
    const qint64 n = std::min<qint64>(left, kFramePayload);
    if (tooMany || !file_.write(QByteArrayView(frame.constData() + 1, n))) {
        if (!tooMany)
            file_.tellFailure(ctx_);
        ctx_.port.write(one(kCan));
        reply_.reset();
        endFile(tooMany ? Msg::StateReceiveError : Msg::StateUnableToCreate);
        return false;
    }
    written_ += n;
    ++frames_;
    stats.setProgress(written_, static_cast<int>(frames_));
    observer_.progress(stats);
    if (stopRequested()) {
        ctx_.port.write(one(kCan));
        reply_.reset();
        rows[index_].state = ctx_.text(Msg::StateReceiveError);
        observer_.rowChanged(index_);
        finish(false);
        return false;
    }
    ctx_.port.write(one(kAck));
    return true;
}

void EthernetReceiveFlow::answerUpload()
{
    if (reply_.controlFirst()) {
        const char b = reply_.first();
        reply_.reset();
        setState(b == kDle ? Msg::StateReceiveNoRight : Msg::StateReceiveError);
        nextRow();
        return;
    }
    if (!reply_.startsWith(kSulOk)) {
        reply_.reset();
        setState(Msg::StateUnableToReceive);
        nextRow();
        return;
    }
    if (!replyComplete())
        return;
    const auto size = parseUploadSize(reply_.bytes());
    reply_.reset();
    if (!size || stopRequested()) {
        ctx_.port.write(one(kCan));
        setState(Msg::StateReceiveError);
        nextRow();
        return;
    }
    beginStream(*size);
}

bool EthernetReceiveFlow::judge()
{
    if (step_ == Step::Stream)
        return streamFrames();
    if (!wordReady())
        return false;
    if (step_ == Step::AwaitSul) {
        answerUpload();
        return false;
    }
    if (!reply_.startsWith(kScdOk)) {
        setState(Msg::StateUnableToReceive);
        ctx_.prompter.inform(Severity::Warning, ctx_.text(Msg::StateUnableToReceive));
        finish(false);
        return false;
    }
    reply_.reset();
    if (stopRequested()) {
        finish(false);
        return false;
    }
    step_ = Step::AwaitSul;
    ctx_.port.write(uploadCommand(rows[index_].name));
    return false;
}

// ---------------------------------------------------------------- send

EthernetSendFlow::EthernetSendFlow(SerialContext& context, EthernetObserver& observer)
    : EthernetFlow(context, observer, atNextStep(nettimers::kSendForcedEnd, nettimers::kSendForcedEndMs),
                   {nettimers::kSendStats, nettimers::kSendReply, 9})
{
}

bool EthernetSendFlow::start()
{
    return startRows(OperationKind::Send, rows, Msg::SendSelectFile);
}

rowwalk::Next EthernetSendFlow::walk()
{
    return rowwalk::nextSendRow(rows, index_, ctx_, observer_);
}

void EthernetSendFlow::openRow()
{
    writePartitionCommand();
    step_ = Step::AwaitScd;
}

void EthernetSendFlow::leaveRow()
{
    data_.clear();
    clock_.stop(ctx_.port);
}

bool EthernetSendFlow::fileWasWritten() const
{
    return step_ == Step::AwaitProof || step_ == Step::VerifySul || step_ == Step::VerifyStream;
}

void EthernetSendFlow::notConfirmed(Msg state)
{
    step_ = Step::AwaitScd;
    setState(state);
    if (state != Msg::StateError)
        logFailed(rows[index_]);
}

void EthernetSendFlow::abandon()
{
    // The file went out whole but the controller never showed it has it: not "sent".
    if (running_ && index_ >= 0 && index_ < static_cast<int>(rows.size()) && fileWasWritten())
        notConfirmed(Msg::StateNotConfirmed);
    data_.clear();
    readBack_.clear();
    EthernetFlow::abandon();
}

void EthernetSendFlow::writePartitionCommand()
{
    deadline_.start(ctx_.port);
    ctx_.port.write(partitionFor(rows[index_].partition, PartitionUse::SendUsb));
}

void EthernetSendFlow::endOfFile()
{
    ctx_.port.write(one(kEot));
    // The controller never answers the EOT, and TCP took it even if the controller is gone the
    // next moment. Its answer to a command written after the EOT shows it read the EOT; the
    // partition the file went to is chosen again, which changes nothing on the controller.
    ctx_.port.pause(kProofPauseMs);
    writePartitionCommand();
    step_ = Step::AwaitProof;
}

void EthernetSendFlow::fileStored()
{
    deadline_.stop(ctx_.port);
    if (verify) {
        readBack_.clear();
        readBackSize_ = 0;
        deadline_.start(ctx_.port);
        ctx_.port.write(uploadCommand(rows[index_].targetName));
        step_ = Step::VerifySul;
        return;
    }
    verified(true);
}

void EthernetSendFlow::verified(bool same)
{
    deadline_.stop(ctx_.port);
    step_ = Step::AwaitScd;
    if (!same) {
        notConfirmed(Msg::StateVerifyFailed);
        nextRow();
        return;
    }
    stats.complete();
    setState(Msg::StateSent);
    observer_.log(LogEntry::Sent, rows[index_].path);
    observer_.progress(stats);
    nextRow();
}

void EthernetSendFlow::verifyFrames()
{
    while (running_ && step_ == Step::VerifyStream && !reply_.empty()) {
        const char first = reply_.first();
        if (first == kEot || first == kCan) {
            reply_.reset();
            verified(first == kEot && readBack_ == data_);
            return;
        }
        if (reply_.bytes().size() < kFrameSize)
            return;
        const QByteArray frame = reply_.take(kFrameSize);
        const qint64 n = std::min<qint64>(readBackSize_ - readBack_.size(), kFramePayload);
        if (n <= 0) {
            ctx_.port.write(one(kCan));
            reply_.reset();
            verified(false);
            return;
        }
        readBack_.append(frame.constData() + 1, n);
        deadline_.restartCount();
        if (stopRequested()) {
            // Stored, but not compared: the row must not claim either way.
            ctx_.port.write(one(kCan));
            reply_.reset();
            deadline_.stop(ctx_.port);
            step_ = Step::AwaitScd;
            setState(Msg::StateNotConfirmed);
            finish(false);
            return;
        }
        ctx_.port.write(one(kAck));
    }
}

void EthernetSendFlow::openAndDownload()
{
    SendRow& row = rows[index_];
    auto bytes = readWholeFile(row.path, nullptr);
    if (!bytes) {
        setState(Msg::StateUnableToOpen);
        if (ctx_.prompter.ask(ctx_.text(Msg::NetFileCannotOpenQuestion, row.path), Buttons::YesNo) == Answer::Yes)
            finish(false);
        else
            nextRow();
        return;
    }
    data_ = *bytes;
    row.size = data_.size();
    observer_.rowChanged(index_);
    ctx_.port.write(downloadCommand(row.targetName, row.size));
    clock_.start(ctx_.port, row.size, TransferDirection::Send);
    observer_.currentFile(row.path);
    observer_.progress(stats);
    step_ = Step::AwaitSdl;
}

void EthernetSendFlow::sendNextFrame()
{
    const qint64 n = std::min<qint64>(data_.size() - position_, kFramePayload);
    ctx_.port.write(sendFrame(QByteArrayView(data_.constData() + position_, n)));
    position_ += n;
    stats.setProgress(position_, ++frame_);
    observer_.progress(stats);
}

void EthernetSendFlow::answerDownload(char reply)
{
    // Refused for want of rights, an Ethernet row says the send failed.
    const auto refuse = [this](Refusal r) { refused(rows, r, Msg::StateSendFail, data_); };
    switch (reply) {
    case kDle: refuse(Refusal::NoRight); return;
    case kCan: refuse(Refusal::Cancelled); return;
    case kSub: refuse(Refusal::NotSuit); return;
    case kFs: refuse(Refusal::Full); return;
    case kEsc:
        // An overwrite is answered "sdlok"; a new name gets its own download command.
        if (existingName(rows) == rowwalk::Existing::Renamed)
            ctx_.port.write(downloadCommand(rows[index_].targetName, rows[index_].size));
        return;
    default:
        return;  // other bytes mean nothing here
    }
}

bool EthernetSendFlow::streamAnswer()
{
    skipLineEnds(reply_);
    if (reply_.empty())
        return false;
    if (reply_.take(1).front() != kAck) {
        reply_.reset();
        setState(Msg::StateError);
        ctx_.prompter.inform(Severity::Error, ctx_.text(Msg::NetDiskFull));
        finish(false);
        return false;
    }
    if (stopRequested()) {
        ctx_.port.write(one(kCan));
        setState(Msg::StateError);
        finish(false);
        return false;
    }
    if (position_ < data_.size()) {
        sendNextFrame();
        return true;
    }
    ctx_.port.pause(100);
    reply_.reset();
    endOfFile();
    return false;
}

void EthernetSendFlow::answerVerifySul()
{
    if (reply_.controlFirst() || !reply_.startsWith(kSulOk)) {
        reply_.reset();
        verified(false);
        return;
    }
    if (!replyComplete())
        return;
    const auto size = parseUploadSize(reply_.bytes());
    reply_.reset();
    if (!size || *size != data_.size()) {
        ctx_.port.write(one(kCan));
        verified(false);
        return;
    }
    readBackSize_ = *size;
    deadline_.restartCount();
    step_ = Step::VerifyStream;
    ctx_.port.write(one(kAck));
}

void EthernetSendFlow::answerPartition()
{
    deadline_.stop(ctx_.port);
    if (!reply_.startsWith(kScdOk)) {
        // The row and the log say which area the controller would not open, and its words.
        SendRow& row = rows[index_];
        const QString answer = QString::fromLatin1(reply_.bytes()).trimmed();
        row.state = ctx_.text(Msg::StatePartitionRefused, row.partition);
        observer_.rowChanged(index_);
        recordSend(row, data_);
        observer_.log(LogEntry::Failed, row.path + QStringLiteral(": ") + row.state
                                            + (answer.isEmpty() ? QString() : QStringLiteral(" (") + answer + QLatin1Char(')')));
        finish(false);
        return;
    }
    reply_.reset();
    if (stopRequested()) {
        finish(false);
        return;
    }
    openAndDownload();
}

void EthernetSendFlow::answerSdl()
{
    if (!reply_.startsWith(kSdlOk)) {
        reply_.reset();
        return;
    }
    reply_.reset();
    if (stopRequested()) {
        ctx_.port.write(one(kCan));
        setState(Msg::StateError);
        finish(false);
        return;
    }
    position_ = 0;
    frame_ = 0;
    if (data_.isEmpty()) {
        // An empty file is one empty block, as the serial link counts it.
        endOfFile();
        return;
    }
    step_ = Step::Stream;
    sendNextFrame();
}

bool EthernetSendFlow::judge()
{
    if (step_ == Step::Stream)
        return streamAnswer();
    if (step_ == Step::VerifyStream) {
        verifyFrames();
        return false;
    }
    if (!wordReady())
        return false;
    switch (step_) {
    case Step::AwaitProof:
        // Any answer at all, even a refusal of the partition, came after the EOT was read.
        if (reply_.controlFirst() || replyComplete()) {
            reply_.reset();
            fileStored();
        }
        return false;
    case Step::VerifySul: answerVerifySul(); return false;
    case Step::AwaitScd: answerPartition(); return false;
    default: break;
    }
    // AwaitSdl
    if (reply_.controlFirst()) {
        answerDownload(reply_.take(1).front());
        return true;
    }
    answerSdl();
    return false;
}

void EthernetSendFlow::timedOut()
{
    const bool written = fileWasWritten();
    notConfirmed(written ? Msg::StateNotConfirmed : Msg::StateError);
    ctx_.prompter.inform(Severity::Warning, ctx_.timedOut(written ? Msg::WaitedForConfirm : Msg::WaitedForAnswer));
    finish(false);
}

// ---------------------------------------------------------------- dispatch

void EthernetFlowSet::onBytes(QByteArrayView chunk)
{
    questions.run([this, bytes = chunk.toByteArray()] {
        if (EthernetFlow* f = active())
            f->onBytes(bytes);
    });
}

void EthernetFlowSet::linkLost()
{
    questions.run([this] {
        if (EthernetFlow* f = active())
            f->linkLost();
    });
}

}  // namespace vantor::fernlink
