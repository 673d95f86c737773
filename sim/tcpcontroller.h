// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated controller's side of one TCP connection: the text command set, the file
// streams in 2048-byte frames and DNC input in raw chunks. Like the serial side it sees only
// bytes and ticks and answers through a LinkPort; the program around it owns the socket.
// Every connection gets its own session over the shared root folder.
#include "common/receivedfile.h"
#include "serialcore/linkport.h"
#include "sim/dncsink.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace vantor::sim {

// What this controller writes beyond the words and bytes the PC side names.
constexpr const char* kScdError = "scder";  // change of partition refused, partition kept
constexpr const char* kDncError = "dncer";  // DNC refused; the reason, if any, follows
// Header byte of the frames the controller streams; the PC looks only for EOT and CAN there.
constexpr char kFrameHeader = 0x01;

enum class DncRefusal { None, Auto, BuffNotEmpty, Other };

struct TcpFaults {
    char refuseDownload = 0;   // answer every sdl with this byte
    char refuseUpload = 0;     // answer every sul with this byte
    bool refusePartition = false;
    DncRefusal dncRefusal = DncRefusal::None;
    bool existsAsks = false;   // sdl of an existing name answers ESC
    int splitPieces = 0;       // replies and frames written in pieces of this many bytes
    bool silent = false;       // accept, never answer
    int dropAfterFrames = -1;  // close the connection once this many frames passed
    int cancelAfterFrames = -1; // CAN instead of the frame or ACK after this many
    bool dropAtEot = false;    // a download's final EOT closes the connection, nothing stored
    bool storeAltered = false; // a download is stored with its first byte changed
};

class TcpController {
public:
    static constexpr int kCommandLineLimit = 256;
    static constexpr int kDncQuietTimerId = 7201;
    // A raw DNC chunk carries no length: a partial one is taken as complete once the PC
    // has been quiet this long.
    static constexpr int kDncQuietMs = 30;
    // A download reaches the disk in pieces of about this size.
    static constexpr qsizetype kStorePiece = 1 << 20;

    TcpController(LinkPort& port, const QString& root, DncSink& sink, TcpFaults faults);
    ~TcpController();

    void onBytes(QByteArrayView bytes);
    void onTimer(int id);
    // The session wants the connection closed (a fault), once what it wrote has gone out.
    bool closeRequested() const { return closeRequested_; }
    // Path of the last DNC program stored by this session (empty when none).
    const QString& lastDncPath() const { return lastDncPath_; }

private:
    enum class Mode { Command, AwaitExistsAnswer, UploadAwaitAck, Uploading, Downloading, Dnc, Closed };

    void onByte(char c);
    void handleLine(const QByteArray& line);
    void onChangePartition(const QByteArray& word);
    void onList();
    void onDelete(const QString& name);
    void onUpload(const QString& name);
    void onDownload(const QString& name, const QByteArray& sizeText);
    void onDnc();
    bool startDownload();
    void streamStarted();
    void downloadByte(char c);
    void frameComplete();  // a whole frame of a download is in: store it, answer
    bool storeUnwritten();
    void finishDownload();
    void uploadByte(char c);
    void sendNextFrame();
    void dncByte(char c, bool lastOfRead);
    void completeDncChunk();
    void endDnc(bool keep);
    bool frameLimitReached() const;
    QString pathFor(const QString& name) const;
    void reply(const QByteArray& bytes);
    void replyByte(char c) { reply(QByteArray(1, c)); }
    void abandon();

    LinkPort& port_;
    QString root_;
    DncSink& sink_;
    TcpFaults faults_;
    Mode mode_ = Mode::Command;
    QByteArray line_;
    bool lineOverflow_ = false;
    QString partition_;
    int framesPassed_ = 0;       // this connection, for the drop fault
    int streamFrames_ = 0;       // this stream, for the cancel fault
    bool closeRequested_ = false;

    // download (sdl)
    QString target_;
    qint64 expected_ = 0;
    qint64 stored_ = 0;
    QByteArray frame_;
    QByteArray unwritten_;  // received, not yet handed to the file
    ReceivedFile file_;

    // upload (sul)
    QByteArray upload_;
    qint64 uploadPos_ = 0;
    QByteArray outFrame_;

    // DNC
    QByteArray chunk_;
    bool skipCommandZero_ = false;
    std::unique_ptr<DncStream> dnc_;
    QString lastDncPath_;
};

}  // namespace vantor::sim
