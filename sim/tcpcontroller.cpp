// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/tcpcontroller.h"

#include "common/archive.h"
#include "common/gbk.h"
#include "fernlink/link/ethernetprotocol.h"
#include "sim/piecewrite.h"
#include "sim/simcontroller.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <utility>

namespace vantor::sim {

using namespace fernlink::net;

namespace {

bool allDigits(const QByteArray& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

TcpController::TcpController(LinkPort& port, const QString& root, DncSink& sink, TcpFaults faults)
    : port_(port), root_(root), sink_(sink), faults_(faults), partition_(QLatin1String(wire::kPartUser))
{
    for (const QString& p : SimController::partitions())
        QDir(root_).mkpath(p);
}

TcpController::~TcpController() = default;  // an unfinished download or DNC stream is dropped

void TcpController::onBytes(QByteArrayView bytes)
{
    if (faults_.silent)
        return;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (mode_ == Mode::Closed)
            return;
        if (mode_ == Mode::Downloading && !(frame_.isEmpty() && (bytes[i] == kEot || bytes[i] == kCan))) {
            // The rest of a frame is taken in one piece: a byte at a time, gathering the
            // frames was most of what the simulated controller did during a transfer.
            const qsizetype n = std::min<qsizetype>(kFrameSize - frame_.size(), bytes.size() - i);
            frame_.append(bytes.data() + i, n);
            i += n - 1;
            if (frame_.size() == kFrameSize)
                frameComplete();
            continue;
        }
        if (mode_ == Mode::Dnc)
            dncByte(bytes[i], i + 1 == bytes.size());
        else
            onByte(bytes[i]);
    }
    // The quiet time runs from the last byte of a read, not from every byte of it.
    if (mode_ == Mode::Dnc && !chunk_.isEmpty())
        port_.startTimer(kDncQuietTimerId, kDncQuietMs, false);
}

void TcpController::onByte(char c)
{
    switch (mode_) {
    case Mode::Command:
        break;
    case Mode::AwaitExistsAnswer:
        if (c == kAck) {
            if (startDownload()) {
                reply(kSdlOk);
                streamStarted();
            } else
                replyByte(kDle);
        } else if (c == kNak || c == kCan) {
            // NAK: the PC renames and sends a new sdl; CAN: it skips the file.
            mode_ = Mode::Command;
        }
        return;
    case Mode::UploadAwaitAck:
    case Mode::Uploading:
        uploadByte(c);
        return;
    case Mode::Downloading:
        downloadByte(c);
        return;
    case Mode::Dnc:
        dncByte(c, true);
        return;
    case Mode::Closed:
        return;
    }

    if (c == '\n') {
        const QByteArray line = line_;
        const bool overflow = lineOverflow_;
        line_.clear();
        lineOverflow_ = false;
        if (!overflow)
            handleLine(line);
        return;
    }
    // Control bytes are no part of any command: the zero byte after the DNC command, or a
    // stray ACK of a PC that missed the end of a stream.
    if (lineOverflow_ || (static_cast<unsigned char>(c) < 0x20 && c != '\t'))
        return;
    if (line_.size() >= kCommandLineLimit) {
        // No command is that long: the whole line is dropped, up to its end.
        lineOverflow_ = true;
        line_.clear();
        return;
    }
    line_.append(c);
}

void TcpController::handleLine(const QByteArray& line)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    const QByteArray verb = words.value(0).toLower();
    const auto rest = [&words](qsizetype from, qsizetype to) {
        QByteArray joined;
        for (qsizetype i = from; i < to; ++i)
            joined += (i > from ? " " : "") + words[i];
        return fromGbk(joined);
    };
    if (verb == "scd")
        onChangePartition(words.value(1));
    else if (verb == "sls")
        onList();
    else if (verb == "sdel")
        onDelete(rest(1, words.size()));
    else if (verb == "sul")
        onUpload(rest(1, words.size()));
    else if (verb == "sdl")
        onDownload(words.size() >= 3 ? rest(1, words.size() - 1) : QString(), words.size() >= 3 ? words.last() : QByteArray());
    else if (verb == "sdnc")
        onDnc();
    // Anything else is not a command of this controller and gets no answer.
}

void TcpController::onChangePartition(const QByteArray& word)
{
    const QString p = fromGbk(word).toLower();
    if (faults_.refusePartition || !SimController::partitions().contains(p)) {
        reply(kScdError);
        return;
    }
    partition_ = p;
    reply(kScdOk);
}

void TcpController::onList()
{
    QByteArray text = kSlsOk;
    const QFileInfoList files =
        QDir(QDir(root_).filePath(partition_)).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    int n = 0;
    for (const QFileInfo& f : files) {
        if (f.fileName().startsWith(QLatin1Char('.')))
            continue;
        text += QByteArray::number(++n) + ": " + toGbk(f.fileName()) + "\t " + QByteArray::number(f.size()) + "\r\n";
    }
    text += kCan;
    reply(text);
}

QString TcpController::pathFor(const QString& name) const
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.startsWith(QLatin1Char('.')))
        return {};
    return QDir(QDir(root_).filePath(partition_)).filePath(name);
}

void TcpController::onDelete(const QString& name)
{
    const QString path = pathFor(name);
    replyByte(!path.isEmpty() && QFile::remove(path) ? kAck : kDle);
}

// ---------------------------------------------------------------- upload (controller -> PC)

void TcpController::onUpload(const QString& name)
{
    if (faults_.refuseUpload) {
        replyByte(faults_.refuseUpload);
        return;
    }
    const QString path = pathFor(name);
    QString error;
    auto data = path.isEmpty() ? std::nullopt : readWholeFile(path, &error);
    if (!data) {
        replyByte(kCan);
        return;
    }
    upload_ = std::move(*data);
    uploadPos_ = 0;
    streamFrames_ = 0;
    mode_ = Mode::UploadAwaitAck;
    reply(kSulOk + (" " + QByteArray::number(upload_.size())));
    streamStarted();
}

void TcpController::uploadByte(char c)
{
    if (c == kCan) {
        upload_.clear();
        mode_ = Mode::Command;
        return;
    }
    if (c != kAck)
        return;
    sendNextFrame();
}

void TcpController::sendNextFrame()
{
    if (uploadPos_ >= upload_.size()) {
        // Every frame acknowledged (or an empty file): the end marker goes alone.
        replyByte(kEot);
        upload_.clear();
        mode_ = Mode::Command;
        return;
    }
    if (faults_.cancelAfterFrames >= 0 && streamFrames_ >= faults_.cancelAfterFrames) {
        replyByte(kCan);
        upload_.clear();
        mode_ = Mode::Command;
        return;
    }
    // One buffer serves every frame of the stream (a frame still queued behind a pause keeps
    // its own copy): no allocation and no copy but the payload's a frame.
    const qsizetype n = std::min<qsizetype>(kFramePayload, upload_.size() - uploadPos_);
    outFrame_.resize(kFrameSize);
    char* out = outFrame_.data();
    out[0] = kFrameHeader;
    std::memcpy(out + 1, upload_.constData() + uploadPos_, size_t(n));
    std::memset(out + 1 + n, 0, size_t(kFramePayload - n));
    uploadPos_ += kFramePayload;
    ++streamFrames_;
    ++framesPassed_;
    mode_ = Mode::Uploading;
    reply(outFrame_);
    if (frameLimitReached())
        abandon();
}

// ---------------------------------------------------------------- download (PC -> controller)

void TcpController::onDownload(const QString& name, const QByteArray& sizeText)
{
    const QString path = pathFor(name);
    if (path.isEmpty() || !allDigits(sizeText)) {
        replyByte(kSub);
        return;
    }
    bool ok = false;
    const qint64 size = sizeText.toLongLong(&ok);
    if (!ok || size < 0) {
        replyByte(kSub);
        return;
    }
    if (faults_.refuseDownload) {
        replyByte(faults_.refuseDownload);
        return;
    }
    target_ = path;
    expected_ = size;
    if (faults_.existsAsks && QFileInfo::exists(target_)) {
        mode_ = Mode::AwaitExistsAnswer;
        replyByte(kEsc);
        return;
    }
    if (!startDownload()) {
        replyByte(kDle);
        return;
    }
    reply(kSdlOk);
    streamStarted();
}

bool TcpController::startDownload()
{
    if (!file_.open(target_)) {
        qWarning().noquote() << file_.errorString();
        mode_ = Mode::Command;
        return false;
    }
    stored_ = 0;
    streamFrames_ = 0;
    frame_.clear();
    unwritten_.clear();
    mode_ = Mode::Downloading;
    return true;
}

void TcpController::downloadByte(char c)
{
    if (frame_.isEmpty() && c == kEot) {
        if (faults_.dropAtEot) {
            abandon();
            return;
        }
        finishDownload();
        return;
    }
    if (frame_.isEmpty() && c == kCan) {
        file_.drop();
        mode_ = Mode::Command;
        return;
    }
    frame_.append(c);
    if (frame_.size() == kFrameSize)
        frameComplete();
}

void TcpController::frameComplete()
{
    ++framesPassed_;
    if (frameLimitReached()) {
        abandon();
        return;
    }
    if (faults_.cancelAfterFrames >= 0 && streamFrames_ >= faults_.cancelAfterFrames) {
        file_.drop();
        mode_ = Mode::Command;
        replyByte(kCan);
        return;
    }
    ++streamFrames_;
    const qint64 take = std::min<qint64>(kFramePayload, expected_ - stored_);
    // A controller that keeps something else than it was sent: only a read-back tells.
    if (faults_.storeAltered && stored_ == 0 && take > 0)
        frame_[1] = 'Z';
    if (take > 0) {
        unwritten_.append(frame_.constData() + 1, take);
        // The disk gets large pieces, not a write a frame; the last piece goes before the
        // last frame is answered, so a file the disk cannot hold is still refused at a frame.
        if ((unwritten_.size() >= kStorePiece || stored_ + take == expected_) && !storeUnwritten()) {
            qWarning().noquote() << file_.errorString();
            file_.drop();
            unwritten_.clear();
            mode_ = Mode::Command;
            replyByte(kCan);
            return;
        }
    }
    stored_ += std::max<qint64>(take, 0);
    frame_.resize(0);  // keeps its room for the next frame
    replyByte(kAck);
}

bool TcpController::storeUnwritten()
{
    const bool ok = file_.write(unwritten_);
    unwritten_.resize(0);  // keeps its room for the next piece
    return ok;
}

void TcpController::finishDownload()
{
    // A stream shorter than announced is a broken transfer: nothing under the final name.
    if (stored_ == expected_ && (!storeUnwritten() || !file_.commit()))
        qWarning().noquote() << file_.errorString();
    file_.drop();
    unwritten_ = QByteArray();
    mode_ = Mode::Command;
}

// ---------------------------------------------------------------- DNC input

void TcpController::onDnc()
{
    skipCommandZero_ = true;
    switch (faults_.dncRefusal) {
    case DncRefusal::Auto:
        reply(QByteArray(kDncError) + kDncAuto);
        return;
    case DncRefusal::BuffNotEmpty:
        reply(QByteArray(kDncError) + kDncBuffNotEmpty);
        return;
    case DncRefusal::Other:
        reply(kDncError);
        return;
    case DncRefusal::None:
        break;
    }
    dnc_ = sink_.begin();
    if (!dnc_) {
        reply(kDncError);
        return;
    }
    chunk_.clear();
    streamFrames_ = 0;
    mode_ = Mode::Dnc;
    reply(kDncOk);
    streamStarted();
}

void TcpController::dncByte(char c, bool lastOfRead)
{
    if (std::exchange(skipCommandZero_, false) && c == '\0')
        return;
    // The PC writes its end marker alone; a chunk that merely starts with that byte brings
    // the rest of the chunk in the same read.
    if (chunk_.isEmpty() && lastOfRead && (c == kEot || c == kCan)) {
        endDnc(c == kEot);
        return;
    }
    chunk_.append(c);
    if (chunk_.size() >= kDncChunk)
        completeDncChunk();
}

void TcpController::onTimer(int id)
{
    if (id == kDncQuietTimerId && mode_ == Mode::Dnc && !chunk_.isEmpty())
        completeDncChunk();
}

void TcpController::completeDncChunk()
{
    port_.stopTimer(kDncQuietTimerId);
    ++framesPassed_;
    if (frameLimitReached()) {
        abandon();
        return;
    }
    if (faults_.cancelAfterFrames >= 0 && streamFrames_ >= faults_.cancelAfterFrames) {
        endDnc(false);
        replyByte(kCan);
        return;
    }
    ++streamFrames_;
    const bool ok = dnc_->write(chunk_);
    chunk_.clear();
    if (!ok) {
        endDnc(false);
        replyByte(kCan);
        return;
    }
    replyByte(kAck);
}

void TcpController::endDnc(bool keep)
{
    port_.stopTimer(kDncQuietTimerId);
    if (keep && dnc_)
        lastDncPath_ = dnc_->commit();
    dnc_.reset();
    chunk_.clear();
    mode_ = Mode::Command;
}

// ---------------------------------------------------------------- helpers

bool TcpController::frameLimitReached() const
{
    return faults_.dropAfterFrames >= 0 && framesPassed_ >= faults_.dropAfterFrames;
}

void TcpController::streamStarted()
{
    // Dropping after no frame at all: the go-ahead still goes out, then the line is dropped.
    if (faults_.dropAfterFrames == 0)
        abandon();
}

void TcpController::abandon()
{
    closeRequested_ = true;
    mode_ = Mode::Closed;
    port_.stopTimer(kDncQuietTimerId);
    file_.drop();
    unwritten_.clear();
    dnc_.reset();
    upload_.clear();
}

void TcpController::reply(const QByteArray& bytes)
{
    writeInPieces(port_, bytes, faults_.splitPieces);
}

}  // namespace vantor::sim
