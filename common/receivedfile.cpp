// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/receivedfile.h"

namespace vantor {

bool ReceivedFile::open(const QString& target)
{
    drop();
    error_.clear();
    writer_ = std::make_unique<AtomicFileWriter>(target);
    if (writer_->open())
        return true;
    error_ = writer_->errorString();
    writer_.reset();
    return false;
}

bool ReceivedFile::write(QByteArrayView bytes)
{
    return writer_ && writer_->write(bytes);
}

bool ReceivedFile::commit()
{
    if (!writer_)
        return false;
    if (!writer_->commit())
        return false;
    writer_.reset();
    return true;
}

void ReceivedFile::drop()
{
    error_.clear();
    if (!writer_)
        return;
    writer_->cancelWriting();
    writer_.reset();
}

bool isSafeLocalName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (QChar c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QChar(0) || c == QLatin1Char(':'))
            return false;
    return true;
}

}  // namespace vantor
