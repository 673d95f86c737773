// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace vantor {

QString fromGbk(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return {};
    QStringDecoder decoder("GBK");
    if (!decoder.isValid())
        return QString::fromLatin1(bytes.data(), bytes.size());
    return decoder.decode(bytes);
}

QByteArray toGbk(const QString& text)
{
    if (text.isEmpty())
        return {};
    QStringEncoder encoder("GBK", QStringConverter::Flag::Default);
    if (!encoder.isValid())
        return text.toLatin1();
    QByteArray out = encoder.encode(text);
    return out;
}

bool fitsGbk(const QString& text)
{
    return fromGbk(toGbk(text)) == text;
}

}  // namespace vantor
