// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The controller's command set over TCP: the bytes it fixes on the wire, the commands the
// PC writes, the gathering of its replies and the frame arithmetic of the file streams.
#include <QByteArray>
#include <QString>

#include <optional>

namespace vantor::fernlink::net {

constexpr quint16 kPort = 1234;            // the controller listens here
constexpr int kConnectTimeoutMs = 2000;    // a connect abandoned after this long
constexpr int kFrameSize = 2048;           // every file frame in either direction
constexpr int kFramePayload = 2047;        // one header byte per frame
constexpr int kDncChunk = 2048;            // DNC chunks carry no header and no padding
constexpr int kListingBufferSize = 100000; // listing bytes beyond this are dropped
constexpr int kReplyWordSize = 5;          // replies are judged on their first five bytes

// Control bytes, each alone in a message unless the text says otherwise.
constexpr char kSoh = 0x01;  // first byte of every frame the PC sends
constexpr char kEot = 0x04;  // end of file, both directions
constexpr char kAck = 0x06;  // accepted / go on
constexpr char kDle = 0x10;  // refused: no right, not in MDI, alarm, or in use
constexpr char kNak = 0x15;  // the name was changed, a new download command follows
constexpr char kCan = 0x18;  // abort, both directions; also ends a listing
constexpr char kSub = 0x1A;  // download refused: the file does not suit the system
constexpr char kEsc = 0x1B;  // download: the controller has a file of that name
constexpr char kFs = 0x1C;   // download refused: the controller holds 400 files

// Reply words.
constexpr const char* kScdOk = "scdok";
constexpr const char* kSlsOk = "slsok";
constexpr const char* kSulOk = "sulok";
constexpr const char* kSdlOk = "sdlok";
constexpr const char* kDncOk = "dncok";
// DNC refusals, from the sixth byte of the reply on.
constexpr const char* kDncAuto = " AUTO";
constexpr const char* kDncBuffNotEmpty = " BUFF NOT EMPTY";

// Partition labels of the controller's file list rows.
constexpr const char* kLabelUser = "USER";
constexpr const char* kLabelSys = "SYS";
constexpr const char* kLabelUsb = "U盘";

// The partition word of each change-partition command, blanks and case as the controller
// has always been sent them by each operation.
enum class PartitionUse {
    ListUserPass,   // " user"
    ListSysPass,    // " sys"
    ListUsb,        // " usb"
    UsbFirstDelete, // "usb"
    UsbItem,        // " usb": further deletes and receives
    SendUsb,        // "usb"
};

QByteArray changePartition(PartitionUse use);
QByteArray changePartition(const QString& label);  // "USER" or "SYS" as they are
QByteArray listCommand();                            // "sls \r\n"
QByteArray deleteCommand(const QString& name);       // "sdel name \r\n"
QByteArray uploadCommand(const QString& name);       // "sul name \r\n"
QByteArray downloadCommand(const QString& name, qint64 size);  // "sdl name size \r\n"
QByteArray dncCommand();                             // "sdnc \r\n" and its zero byte

// Bytes the controller streams for a file of this size: one header byte per frame.
qint64 expectedStreamLength(qint64 size);
qint64 framesFor(qint64 size);
// One frame the PC sends: SOH, up to 2047 bytes, zero padding to 2048.
QByteArray sendFrame(QByteArrayView data);
// The size after "sulok "; nullopt when no digits follow or the number does not fit.
std::optional<qint64> parseUploadSize(QByteArrayView reply);

// Gathers a reply that may arrive over several reads. A control byte first is judged at
// once; a text reply once its five-byte word is in and, when the caller needs what follows
// the word, once a line end (or zero byte) arrived or the caller decides it has waited enough.
class ReplyGatherer {
public:
    void reset() { buffer_.clear(); }
    void feed(QByteArrayView chunk) { buffer_.append(chunk.data(), chunk.size()); }
    bool empty() const { return buffer_.isEmpty(); }
    bool controlFirst() const;
    bool hasWord() const { return buffer_.size() >= kReplyWordSize; }
    bool hasLineEnd() const;
    bool startsWith(const char* word) const { return buffer_.startsWith(word); }
    char first() const { return buffer_.isEmpty() ? char(0) : buffer_.front(); }
    const QByteArray& bytes() const { return buffer_; }
    // Takes the first n bytes away, leaving what followed for the next reader.
    QByteArray take(qsizetype n);

private:
    QByteArray buffer_;
};

// The label a listing pass gives its rows.
QString labelFor(PartitionUse pass);

// Start offset of a DNC stream: the bytes of the first startLine - 1 lines, each line read
// as a text line of at most 1023 bytes (a longer line counts as several).
qint64 dncStartOffset(QByteArrayView file, qint64 startLine);
// Lines as the editor counts them: a last line without line end counts.
qint64 lineCount(QByteArrayView file);
// Serial DNC packets as the page counts them: one more than the blocks (two when short).
int dncPacketsTotal(qint64 total);

}  // namespace vantor::fernlink::net
