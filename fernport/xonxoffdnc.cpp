// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernport/xonxoffdnc.h"

#include "common/gbk.h"

#include <QStringList>

namespace vantor::fernport {

XonXoffDnc::XonXoffDnc(std::vector<QByteArray> lines) : lines_(std::move(lines)) {}

std::vector<QByteArray> XonXoffDnc::linesFromText(const QString& text)
{
    std::vector<QByteArray> lines;
    if (text.isEmpty())
        return lines;
    QString normalised = text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalised.replace(QChar(0x2029), QChar(u'\n'));  // paragraph separators from the editor
    QStringList parts = normalised.split(QChar(u'\n'));
    if (parts.last().isEmpty())
        parts.removeLast();
    for (const QString& part : parts)
        lines.push_back(toGbk(part) + QByteArray("\r\n"));
    return lines;
}

bool XonXoffDnc::finished() const
{
    if (line_ >= lines_.size())
        return true;
    // A stop takes effect only between lines.
    return stopRequested_ && offset_ == 0;
}

QByteArray XonXoffDnc::takeBytes(qsizetype max)
{
    QByteArray out;
    while (!halted_ && !finished() && out.size() < max) {
        const QByteArray& line = lines_[line_];
        const qsizetype n = std::min(max - out.size(), line.size() - offset_);
        out.append(line.constData() + offset_, n);
        offset_ += n;
        bytesTaken_ += std::uint64_t(n);
        if (offset_ >= line.size()) {
            bytesSent_ += std::uint64_t(line.size());
            ++linesSent_;
            ++line_;
            offset_ = 0;
        }
    }
    return out;
}

void XonXoffDnc::onReceived(QByteArrayView chunk)
{
    for (char byte : chunk)
        halted_ = byte != kXon;
}

void XonXoffDnc::requestStop()
{
    stopRequested_ = true;
}

QString XonXoffDnc::timeText() const
{
    return QString::asprintf("%02d:%02d", seconds_ / 60, seconds_ % 60);
}

}  // namespace vantor::fernport
