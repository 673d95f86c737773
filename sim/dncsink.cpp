// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/dncsink.h"

#include <QDebug>
#include <QDir>
#include <QRegularExpression>

namespace vantor::sim {

namespace {
const char* const kFolder = "dnc";
}

DncStream::DncStream(DncSink& sink, int number, const QString& path) : sink_(sink), number_(number), file_(path) {}

DncStream::~DncStream()
{
    if (!done_)
        file_.cancelWriting();
    sink_.release(number_);
}

bool DncStream::write(QByteArrayView bytes)
{
    if (!ok_ || done_)
        return false;
    ok_ = file_.write(bytes);
    if (!ok_)
        qWarning().noquote() << file_.errorString();
    size_ += bytes.size();
    return ok_;
}

QString DncStream::commit()
{
    if (done_)
        return {};
    done_ = true;
    if (!ok_) {
        file_.cancelWriting();
        return {};
    }
    if (file_.commit())
        return file_.fileName();
    qWarning().noquote() << file_.errorString();
    return {};
}

DncSink::DncSink(QString root) : root_(std::move(root)) {}

QString DncSink::folder() const
{
    return QDir(root_).filePath(QLatin1String(kFolder));
}

QString DncSink::fileName(int number)
{
    return QStringLiteral("stream-%1.nc").arg(number, 3, 10, QLatin1Char('0'));
}

std::unique_ptr<DncStream> DncSink::begin()
{
    const QDir dir(folder());
    if (!QDir().mkpath(dir.path()))
        return nullptr;
    static const QRegularExpression pattern(QStringLiteral("^stream-(\\d+)\\.nc$"));
    int highest = inUse_.empty() ? 0 : *inUse_.rbegin();
    for (const QString& name : dir.entryList(QDir::Files)) {
        const auto m = pattern.match(name);
        if (m.hasMatch())
            highest = std::max(highest, m.captured(1).toInt());
    }
    const int number = highest + 1;
    auto stream = std::unique_ptr<DncStream>(new DncStream(*this, number, dir.filePath(fileName(number))));
    if (!stream->file_.open()) {
        qWarning().noquote() << stream->file_.errorString();
        return nullptr;
    }
    inUse_.insert(number);
    return stream;
}

}  // namespace vantor::sim
