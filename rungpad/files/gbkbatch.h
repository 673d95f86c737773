// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Comment texts cross the code page by the ten thousand per ladder file: ASCII texts go
// straight through, the well-formed rest in one converter call, anything doubtful one by
// one. Each text comes out as its own conversion would give it.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

namespace rungpad {

std::vector<QString> decodeGbkTexts(const std::vector<QByteArrayView>& texts);
std::vector<QByteArray> encodeGbkTexts(const std::vector<const QString*>& texts);

}  // namespace rungpad
