// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simcontroller.h"

#include "common/archive.h"
#include "common/gbk.h"
#include "serialcore/serialwire.h"
#include "sim/piecewrite.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace vantor::sim {

using namespace wire;

// Sits between the XModem engine and the line and spoils what the faults ask for.
class SimController::FaultyPort : public LinkPort {
public:
    FaultyPort(LinkPort& line, const SimFaults& faults) : line_(line), faults_(faults) {}

    void write(const QByteArray& bytes) override
    {
        if (bytes.size() == kFrameSize && bytes[0] == kSoh) {
            writeFrame(bytes);
            return;
        }
        if (bytes.size() == 1 && bytes[0] == kAck && nakNext_) {
            nakNext_ = false;
            line_.write(QByteArray(1, kNak));
            return;
        }
        line_.write(bytes);
    }
    void pause(int ms) override { line_.pause(ms); }
    void purge() override { line_.purge(); }
    void startTimer(int id, int ms, bool repeat) override { line_.startTimer(id, ms, repeat); }
    void stopTimer(int id) override { line_.stopTimer(id); }

    // The receiver acknowledged the given block: the fault may turn that ACK into a NAK.
    void blockTaken(int block)
    {
        if (faults_.nakBlock > 0 && block == faults_.nakBlock && !nakDone_) {
            nakDone_ = true;
            nakNext_ = true;
        }
    }
    // An incoming byte for the sender; false when the fault swallows it.
    bool passToSender(char byte)
    {
        if (byte == kAck && !held_.isEmpty()) {
            QByteArray frame = std::move(held_);
            held_.clear();
            writePieces(frame);
            return false;
        }
        return true;
    }
    void reset()
    {
        held_.clear();
        nakNext_ = false;
        sentBlocks_ = 0;
    }

private:
    void writeFrame(const QByteArray& frame)
    {
        const int number = static_cast<unsigned char>(frame[1]);
        const bool fresh = frame != lastFrame_;
        lastFrame_ = frame;
        if (fresh)
            ++sentBlocks_;
        if (fresh && faults_.corruptCrcBlock > 0 && sentBlocks_ == faults_.corruptCrcBlock && !crcDone_) {
            crcDone_ = true;
            QByteArray bad = frame;
            bad[kFrameCrcOffset] = static_cast<char>(bad[kFrameCrcOffset] ^ 0x5A);
            writePieces(bad);
            return;
        }
        if (fresh && faults_.duplicateBlock > 0 && sentBlocks_ == faults_.duplicateBlock + 1 && !dupDone_) {
            // As if the ACK of the previous block had been lost: that block again first.
            dupDone_ = true;
            held_ = frame;
            writePieces(previous_);
            previous_ = frame;
            return;
        }
        (void)number;
        previous_ = frame;
        writePieces(frame);
    }
    void writePieces(const QByteArray& bytes) { writeInPieces(line_, bytes, faults_.splitPieces); }

    LinkPort& line_;
    const SimFaults& faults_;
    QByteArray lastFrame_, previous_, held_;
    int sentBlocks_ = 0;
    bool nakNext_ = false, nakDone_ = false, crcDone_ = false, dupDone_ = false;
};

QStringList SimController::partitions()
{
    return {QLatin1String(kPartUser), QLatin1String(kPartSys), QLatin1String(kPartBios), QLatin1String(kPartUsb)};
}

SimController::SimController(LinkPort& port, const QString& root, SimFaults faults)
    : line_(port),
      port_(std::make_unique<FaultyPort>(port, faults_)),
      root_(root),
      faults_(faults),
      // The controller asks for no second try after the PC's CAN: a CAN ends its upload at
      // once, which is how the engine's Fernlink reactions take it.
      xmodem_(*port_, *this, XModemVariant::Fernlink)
{
    for (const QString& p : partitions())
        QDir(root_).mkpath(p);
}

SimController::SimController(LinkPort& port, const QString& root, DncSink& dncSink, SimFaults faults)
    : SimController(port, root, faults)
{
    dncSink_ = &dncSink;
    awaitDncStream();
}

SimController::~SimController() = default;

void SimController::awaitDncStream()
{
    mode_ = Mode::Receiving;
    port_->reset();
    // A program may be started at any time: the requests never give up.
    xmodem_.beginReceive(kDncRequestPeriodMs, std::numeric_limits<int>::max(), false);
    xmodem_.onTimer(CXModem::kStartTimerId);
}

void SimController::onTimer(int id)
{
    if (id == kDncRestartTimerId) {
        if (dncSink_)
            awaitDncStream();
        return;
    }
    xmodem_.onTimer(id);
}

void SimController::onBytes(QByteArrayView bytes)
{
    if (faults_.silent)
        return;
    if (dncSink_ && mode_ != Mode::Receiving)
        return;  // between two DNC streams the line carries nothing for us
    switch (mode_) {
    case Mode::Receiving:
        xmodem_.onReceiverChunk(bytes);
        return;
    case Mode::Sending: {
        qsizetype used = 0;
        while (used < bytes.size() && mode_ == Mode::Sending) {
            const char b = bytes[used++];
            if (port_->passToSender(b))
                xmodem_.onSenderByte(b);
        }
        // The PC's CAN ended the upload: what came after it is the next command.
        if (used < bytes.size() && mode_ == Mode::Command)
            onBytes(bytes.sliced(used));
        return;
    }
    case Mode::AwaitExistsAnswer:
        for (char b : bytes) {
            if (b == kAck) {
                startReceiving();
                return;
            }
            if (b == kNak || b == kCan) {
                mode_ = Mode::Command;
                return;
            }
        }
        return;
    case Mode::Command:
        break;
    }
    for (char c : bytes) {
        if (c == kCan) {
            // A CAN between commands (the PC stopping what already ended) belongs to no line.
            lineBuffer_.clear();
            continue;
        }
        if (c == '\n') {
            const QByteArray line = lineBuffer_.trimmed();
            lineBuffer_.clear();
            if (!line.isEmpty())
                handleLine(line);
            if (mode_ != Mode::Command)
                return;  // what follows belongs to the transfer
        } else if (c != '\r') {
            if (lineBuffer_.size() >= 256)
                lineBuffer_.clear();  // no command is that long: a garbled line is dropped
            lineBuffer_.append(c);
        }
    }
}

void SimController::handleLine(const QByteArray& line)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    const QByteArray verb = words.value(0);
    const QString arg = fromGbk(words.value(1));
    if (verb == "xcd")
        onChangePartition(arg);
    else if (verb == "xls")
        onList();
    else if (verb == "xdel")
        onDelete(arg);
    else if (verb == "xdl")
        onDownload(arg);
    else if (verb == "xul")
        onUpload(arg);
    else
        writeSplit("\r\nunknown command\r\n" + toGbk(partition_) + ">");
}

void SimController::onChangePartition(const QString& partition)
{
    const QString p = partition.toLower();
    if (partitions().contains(p))
        partition_ = p;
    writeSplit("\r\n" + toGbk(partition_) + ">");
}

void SimController::onList()
{
    QByteArray text;
    if (faults_.listEndsWithPrompt)
        text += "xls\r\n";
    const QFileInfoList files = QDir(QDir(root_).filePath(partition_)).entryInfoList(QDir::Files, QDir::Name);
    int n = 0;
    for (const QFileInfo& f : files) {
        if (f.fileName().startsWith(QLatin1Char('.')))
            continue;
        text += QByteArray::number(++n) + ": " + toGbk(f.fileName()) + "\t " + QByteArray::number(f.size()) + "\r\n";
    }
    if (faults_.listEndsWithPrompt)
        text += toGbk(partition_) + "\\:";
    else
        text += kCan;
    writeSplit(text);
}

// Text replies come in pieces as well, so the PC's gathering of prompts and listings is tried.
void SimController::writeSplit(const QByteArray& bytes)
{
    writeInPieces(line_, bytes, faults_.splitPieces);
}

std::optional<QString> SimController::pathFor(const QString& name) const
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name == QLatin1String("..")
        || name.startsWith(QLatin1Char('.')))
        return std::nullopt;
    return QDir(QDir(root_).filePath(partition_)).filePath(name);
}

void SimController::onDelete(const QString& name)
{
    const auto path = pathFor(name);
    if (path && QFile::remove(*path))
        line_.write(QByteArray(1, kAck));
    else
        line_.write(QByteArray(1, kDle));
}

void SimController::onDownload(const QString& name)
{
    const auto path = pathFor(name);
    if (!path) {
        line_.write(QByteArray(1, kSub));
        return;
    }
    target_ = *path;
    const bool first = firstDownload_;
    firstDownload_ = false;
    if (faults_.refuseDownload) {
        line_.write(QByteArray(1, faults_.refuseDownload));
        return;
    }
    if (first && faults_.canBeforeC) {
        line_.write(QByteArray(1, kCan));
        return;
    }
    canAfterCPending_ = first && faults_.canAfterC;
    if (faults_.existsAsks && QFileInfo::exists(target_)) {
        mode_ = Mode::AwaitExistsAnswer;
        line_.write(QByteArray(1, kEsc));
        return;
    }
    startReceiving();
}

void SimController::startReceiving()
{
    mode_ = Mode::Receiving;
    port_->reset();
    xmodem_.beginReceive(1000, 10, true);
    xmodem_.onTimer(CXModem::kStartTimerId);  // the first C at once
}

void SimController::onUpload(const QString& name)
{
    const auto path = pathFor(name);
    if (faults_.refuseUpload) {
        line_.write(QByteArray(1, faults_.refuseUpload));
        return;
    }
    QString error;
    const auto data = path ? readWholeFile(*path, &error) : std::nullopt;
    if (!data) {
        line_.write(QByteArray(1, kCan));
        return;
    }
    mode_ = Mode::Sending;
    port_->reset();
    xmodem_.beginSend(*data);
}

bool SimController::openReceiveFile()
{
    if (dncSink_) {
        dncStream_ = dncSink_->begin();
        return dncStream_ != nullptr;
    }
    if (file_.open(target_))
        return true;
    qWarning().noquote() << file_.errorString();
    return false;
}

bool SimController::writeBlock(QByteArrayView data)
{
    if (dncSink_)
        return dncStream_ && dncStream_->write(data);
    if (!file_.write(data)) {
        if (file_.isOpen())
            qWarning().noquote() << file_.errorString();
        return false;
    }
    return true;
}

void SimController::blockReceived(int block)
{
    if (canAfterCPending_) {
        canAfterCPending_ = false;
        port_->write(QByteArray(1, kCan));
        xmodem_.cancelReceive();
        file_.drop();
        mode_ = Mode::Command;
        return;
    }
    port_->blockTaken(block);
}

bool SimController::completeReceiveFile()
{
    if (dncSink_) {
        const bool ok = dncStream_ && !dncStream_->commit().isEmpty();
        dncStream_.reset();
        return ok;
    }
    // An end of file before any block is an empty file.
    if (!file_.isOpen())
        file_.open(target_);
    const bool ok = file_.commit();
    if (!ok)
        qWarning().noquote() << file_.errorString();
    file_.drop();
    return ok;
}

void SimController::receiveFinished(ReceiveResult)
{
    file_.drop();
    dncStream_.reset();
    mode_ = Mode::Command;
    if (dncSink_)
        line_.startTimer(kDncRestartTimerId, kDncRequestPeriodMs, false);
}

void SimController::sendFinished(SendResult)
{
    mode_ = Mode::Command;
}

}  // namespace vantor::sim
