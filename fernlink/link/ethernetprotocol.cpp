// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/ethernetprotocol.h"

#include "common/gbk.h"

namespace vantor::fernlink::net {

namespace {
const QByteArray kLineEnd = " \r\n";
}

QByteArray changePartition(PartitionUse use)
{
    const char* word = "";
    switch (use) {
    case PartitionUse::ListUserPass: word = " user"; break;
    case PartitionUse::ListSysPass: word = " sys"; break;
    case PartitionUse::ListUsb: word = " usb"; break;
    case PartitionUse::UsbFirstDelete: word = "usb"; break;
    case PartitionUse::UsbItem: word = " usb"; break;
    case PartitionUse::SendUsb: word = "usb"; break;
    }
    return QByteArray("scd ") + word + kLineEnd;
}

QByteArray changePartition(const QString& label)
{
    return QByteArray("scd ") + toGbk(label) + kLineEnd;
}

QByteArray listCommand()
{
    return QByteArray("sls") + kLineEnd;
}

QByteArray deleteCommand(const QString& name)
{
    return QByteArray("sdel ") + toGbk(name) + kLineEnd;
}

QByteArray uploadCommand(const QString& name)
{
    return QByteArray("sul ") + toGbk(name) + kLineEnd;
}

QByteArray downloadCommand(const QString& name, qint64 size)
{
    return QByteArray("sdl ") + toGbk(name) + ' ' + QByteArray::number(size) + kLineEnd;
}

QByteArray dncCommand()
{
    QByteArray c = QByteArray("sdnc") + kLineEnd;
    c.append('\0');
    return c;
}

qint64 framesFor(qint64 size)
{
    return size <= 0 ? 0 : (size + kFramePayload - 1) / kFramePayload;
}

qint64 expectedStreamLength(qint64 size)
{
    if (size <= 0)
        return 0;
    return size + size / kFramePayload + (size % kFramePayload != 0 ? 1 : 0);
}

QByteArray sendFrame(QByteArrayView data)
{
    QByteArray frame(kFrameSize, '\0');
    frame[0] = kSoh;
    const qsizetype n = std::min<qsizetype>(data.size(), kFramePayload);
    std::copy_n(data.data(), n, frame.data() + 1);
    return frame;
}

std::optional<qint64> parseUploadSize(QByteArrayView reply)
{
    const qsizetype blank = reply.indexOf(' ');
    if (blank < 0)
        return std::nullopt;
    qint64 value = 0;
    qsizetype i = blank + 1;
    const qsizetype begin = i;
    for (; i < reply.size() && reply[i] >= '0' && reply[i] <= '9'; ++i) {
        const int digit = reply[i] - '0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    if (i == begin)
        return std::nullopt;
    return value;
}

bool ReplyGatherer::controlFirst() const
{
    return !buffer_.isEmpty() && static_cast<unsigned char>(buffer_.front()) < 0x20;
}

bool ReplyGatherer::hasLineEnd() const
{
    return buffer_.contains('\r') || buffer_.contains('\n') || buffer_.contains('\0');
}

QByteArray ReplyGatherer::take(qsizetype n)
{
    const QByteArray head = buffer_.left(n);
    buffer_.remove(0, std::min(n, buffer_.size()));
    return head;
}

QString labelFor(PartitionUse pass)
{
    switch (pass) {
    case PartitionUse::ListUserPass: return QString::fromLatin1(kLabelUser);
    case PartitionUse::ListSysPass: return QString::fromLatin1(kLabelSys);
    default: return QString::fromUtf8(kLabelUsb);
    }
}

qint64 dncStartOffset(QByteArrayView file, qint64 startLine)
{
    constexpr qsizetype kLineLimit = 1023;
    qsizetype pos = 0;
    for (qint64 line = 1; line < startLine && pos < file.size(); ++line) {
        const qsizetype end = std::min(file.size(), pos + kLineLimit);
        qsizetype next = pos;
        while (next < end && file[next] != '\n')
            ++next;
        pos = next < end ? next + 1 : end;
    }
    return pos;
}

qint64 lineCount(QByteArrayView file)
{
    if (file.isEmpty())
        return 0;
    const qint64 ends = file.count('\n');
    return ends + (file.back() != '\n' ? 1 : 0);
}

int dncPacketsTotal(qint64 total)
{
    constexpr qint64 kBlock = 128;
    return static_cast<int>(total % kBlock == 0 ? total / kBlock + 1 : total / kBlock + 2);
}

}  // namespace vantor::fernlink::net
