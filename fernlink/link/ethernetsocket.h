// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes of the TCP link that reach the kernel in the call that makes them. Both ends of the
// link answer every frame before the next one comes, so the cost of a write is paid once a
// frame on each side.
#include <QTcpSocket>

#include <cerrno>
#include <sys/socket.h>

namespace vantor::fernlink {

// QTcpSocket keeps every write in its buffer and switches its write notifier on and off
// around it; under the GLib event loop each switch wakes the loop, two extra turns a frame.
// While nothing waits in that buffer the bytes go to the socket directly, so the order on
// the wire stays the same; what the kernel does not take now (a full send buffer, an error)
// is left to QTcpSocket, which sends it later or reports the failure as it always has.
inline void writeThrough(QTcpSocket& socket, const QByteArray& bytes)
{
    qsizetype sent = 0;
    const qintptr fd = socket.socketDescriptor();
    if (fd >= 0 && socket.bytesToWrite() == 0 && socket.state() == QAbstractSocket::ConnectedState) {
        while (sent < bytes.size()) {
            const ssize_t n = ::send(int(fd), bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += n;
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                break;
            }
        }
    }
    if (sent < bytes.size()) {
        socket.write(bytes.constData() + sent, bytes.size() - sent);
        socket.flush();
    }
}

}  // namespace vantor::fernlink
