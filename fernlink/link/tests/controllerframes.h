// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The stream the controller sends for a file over Ethernet, as the link tests feed it: frames of
// a header byte and 2047 payload bytes, the last one padded with zeros to 2048.
#include "fernlink/link/ethernetprotocol.h"

#include <QByteArray>

#include <algorithm>

namespace vantor::testing {

inline QByteArray controllerFrames(const QByteArray& data)
{
    using namespace vantor::fernlink;
    QByteArray all;
    for (qsizetype pos = 0; pos < data.size(); pos += net::kFramePayload) {
        QByteArray frame(net::kFrameSize, '\0');
        frame[0] = net::kSoh;
        const QByteArray part = data.mid(pos, net::kFramePayload);
        std::copy(part.begin(), part.end(), frame.begin() + 1);
        all += frame;
    }
    return all;
}

}  // namespace vantor::testing
