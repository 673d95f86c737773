// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The controller and every stored file speak the ANSI code page of a Chinese PC (GBK).
// Inside the programs all text is QString; these two functions are the only crossing.
#include <QByteArray>
#include <QString>

namespace vantor {

// Bytes that are not valid GBK decode to U+FFFD rather than being dropped, so a
// damaged name is still visible (and can be refused) instead of silently changed.
QString fromGbk(QByteArrayView bytes);
// Characters GBK cannot hold become '?', as the ANSI code page does.
QByteArray toGbk(const QString& text);
// True when every character survives the round trip.
bool fitsGbk(const QString& text);

}  // namespace vantor
