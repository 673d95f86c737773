// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialcore/serialcommands.h"

#include "common/gbk.h"
#include "serialcore/serialwire.h"

#include <QStringList>

namespace vantor {

using namespace wire;

SerialCommandTransmitter::SerialCommandTransmitter(LinkPort& port, int downloadLinePauseMs)
    : port_(port), downloadLinePauseMs_(downloadLinePauseMs)
{
}

void SerialCommandTransmitter::sendPaced(const QByteArray& text, int linePauseMs)
{
    for (char c : text) {
        port_.write(QByteArray(1, c));
        if (c == '\n')
            port_.pause(linePauseMs);
        port_.pause(kCommandBytePauseMs);
    }
}

bool SerialCommandTransmitter::changePartition(const QString& partition)
{
    const QByteArray text = "\nxcd " + toGbk(partition.toLower()) + "\n";
    if (text.size() > kMaxShortCommand)
        return false;
    sendPaced(text, kChangePartitionLinePauseMs);
    return true;
}

bool SerialCommandTransmitter::list()
{
    sendPaced("xls\n", kListLinePauseMs);
    return true;
}

bool SerialCommandTransmitter::remove(const QString& name)
{
    const QByteArray text = "xdel " + toGbk(name) + "\n";
    if (name.isEmpty() || text.size() > kMaxLongCommand)
        return false;
    sendPaced(text, kDeleteLinePauseMs);
    return true;
}

bool SerialCommandTransmitter::download(const QString& name, const QString& typeFlag)
{
    const QByteArray text = "xdl " + toGbk(name) + " " + toGbk(typeFlag) + "\n";
    if (name.isEmpty() || text.size() > kMaxLongCommand)
        return false;
    sendPaced(text, downloadLinePauseMs_);
    return true;
}

bool SerialCommandTransmitter::upload(const QString& name, const QString& typeFlag)
{
    const QByteArray text = "xul " + toGbk(name) + " " + toGbk(typeFlag) + "\n";
    if (name.isEmpty() || text.size() > kMaxLongCommand)
        return false;
    port_.write("\n");
    port_.pause(kUploadLeadPauseMs);
    port_.pause(kCommandBytePauseMs);
    sendPaced(text, kUploadLinePauseMs);
    return true;
}

bool SerialCommandTransmitter::retryDownload(const QString& name, const QString& typeFlag)
{
    if (!remove(name))
        return false;
    port_.pause(100);
    return download(name, typeFlag);
}

QString SerialCommandTransmitter::typeFlagFor(const QString& partition)
{
    return QLatin1String(partition.compare(QLatin1String(kPartUser), Qt::CaseInsensitive) == 0 ? kTypeText : kTypeData);
}

// ---------------------------------------------------------------- prompt

void PromptCheck::reset(const QString& partition)
{
    partition_ = toGbk(partition.toLower());
    buffer_.clear();
}

PromptCheck::Outcome PromptCheck::feed(QByteArrayView chunk)
{
    for (char c : chunk) {
        if (buffer_.size() >= kPromptBufferSize)
            buffer_.remove(0, buffer_.size() - kPromptBufferSize / 2);
        buffer_.append(c);
        if (c == kPrompt) {
            const bool matched = buffer_.toLower().contains(partition_);
            buffer_.clear();
            return matched ? Outcome::Matched : Outcome::Mismatched;
        }
    }
    return Outcome::Pending;
}

// ---------------------------------------------------------------- listing

void ListingCollector::reset()
{
    buffer_.clear();
    overflowTail_.clear();
    truncated_ = false;
    state_ = State::Collecting;
}

static qsizetype listingStart(const QByteArray& buffer, bool* echoSeen)
{
    const qsizetype echo = buffer.indexOf("xls");
    *echoSeen = echo >= 0;
    return echo >= 0 ? echo + 4 : 0;
}

ListingCollector::State ListingCollector::feed(QByteArrayView chunk)
{
    if (state_ != State::Collecting)
        return state_;
    qsizetype n = chunk.indexOf(kCan);
    const bool ended = n >= 0;
    if (!ended)
        n = chunk.size();
    // The buffer keeps the first 100000 bytes; what follows is only watched for the end.
    const qsizetype room = std::max<qsizetype>(0, kListingBufferSize - buffer_.size());
    if (n > room) {
        if (!truncated_)
            overflowTail_ = buffer_.right(1);
        truncated_ = true;
    }
    buffer_.append(chunk.first(std::min(n, room)));
    if (ended) {
        state_ = State::Complete;
        return state_;
    }
    bool echoSeen = false;
    const qsizetype start = listingStart(buffer_, &echoSeen);
    if (!echoSeen)
        return state_;
    if (truncated_) {
        overflowTail_.append(chunk.first(n));
        if (overflowTail_.contains("\\:"))
            state_ = State::Complete;
        overflowTail_ = overflowTail_.right(1);
    } else if (buffer_.indexOf("\\:", start + 8) >= 0) {
        state_ = State::Complete;
    }
    return state_;
}

QByteArray ListingCollector::listing() const
{
    bool echoSeen = false;
    const qsizetype start = listingStart(buffer_, &echoSeen);
    if (start > buffer_.size())
        return QByteArray();
    QByteArray text = buffer_.mid(start);
    // A cut listing ends at its last whole line, so no entry comes with half its size.
    if (truncated_)
        text.truncate(text.lastIndexOf('\n') + 1);
    return text;
}

std::vector<ListingEntry> parseListing(QByteArrayView text)
{
    std::vector<ListingEntry> entries;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i + 1 < n) {
        if (!(text[i] == ':' && text[i + 1] == ' ')) {
            ++i;
            continue;
        }
        const qsizetype nameStart = i + 2;
        const qsizetype tab = text.indexOf('\t', nameStart);
        if (tab < 0)
            break;
        ListingEntry entry;
        entry.name = fromGbk(text.sliced(nameStart, tab - nameStart));
        qsizetype d = tab + 1;
        if (d < n && text[d] == ' ')
            ++d;
        const qsizetype digits = d;
        while (d < n && text[d] >= '0' && text[d] <= '9')
            ++d;
        entry.size = QString::fromLatin1(text.sliced(digits, d - digits));
        entries.push_back(std::move(entry));
        i = tab + 1;
    }
    return entries;
}

bool isControllerSystemFile(const QString& name)
{
    static const QStringList files = {
        QStringLiteral("ladinit.val"), QStringLiteral("ladpara.val"),  QStringLiteral("para.val"),
        QStringLiteral("screwcom.inf"), QStringLiteral("macro.hep"),   QStringLiteral("macroen.hep"),
        QStringLiteral("macrors.hep"), QStringLiteral("macrosp.hep"), QStringLiteral("macrovar.mea"),
    };
    return files.contains(name, Qt::CaseInsensitive);
}

}  // namespace vantor
