// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The serial port engine shared by Fernlink and Fernport. It knows nothing of the protocols
// above it: it opens a named port 8-N-1, writes whole frames, and hands what the line
// delivers to its owner on the GUI thread in chunks of at most 256 bytes.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

class QSerialPort;

namespace vantor {

class CVantorComm : public QObject {
    Q_OBJECT
public:
    static constexpr int kChunkSize = 256;          // largest notification the protocols expect
    static constexpr int kDefaultBaud = 38400;
    static constexpr int kWriteMsPerByte = 50;      // write time-out: 50 ms per byte ...
    static constexpr int kWriteConstantMs = 5000;   // ... plus 5 s
    static constexpr int kCloseDrainLimitMs = 2000; // the longest a close waits for the line

    explicit CVantorComm(QObject* parent = nullptr);
    ~CVantorComm() override;

    // Stored as the user gave it; takes effect at the next open.
    void setPort(const QString& name, int baud);
    QString portName() const { return portName_; }
    int baudRate() const { return baud_; }

    // What the driver already holds when the port opens: normally stale and dropped; a
    // receiver started before us may have sent its first C there, which must be kept.
    enum class EarlyInput { Drop, Keep };
    // Fails when already open (the caller closes first); the first connection is untouched.
    bool open(EarlyInput early = EarlyInput::Drop);
    bool isOpen() const;
    // Blocks until the bytes left or the write time-out passed; returns the count written.
    qint64 write(QByteArrayView bytes);
    // Prompt and safe when closed. Not to be called from a slot of received() on another port.
    void close();
    // Bytes written but still in the driver's output queue, not yet on the wire; 0 where the
    // platform cannot tell (pseudo-terminals pass bytes on at once).
    qint64 queuedOutput() const;
    // Drops what the driver holds in both directions and what is queued for delivery.
    void purge();

    QString lastError() const { return lastError_; }
    // The last open failed because this user may not use the device (on Linux: not in the
    // dialout group), so the program can say how to get the right in its own language.
    bool lastErrorIsPermission() const { return permissionDenied_; }

    // "ttyUSB0" -> "/dev/ttyUSB0"; a path stays a path.
    static QString devicePath(const QString& name);
    // The processes that have the device open ("name (process PID)"), as far as the system
    // lets this user see; empty where it cannot tell.
    static QStringList portHolders(const QString& canonicalDevicePath);
    // Ports the platform enumerates; pseudo-terminals are not listed, so fields must accept typed names.
    static QStringList availablePorts();
    // The same with what the platform knows of each (description, maker, serial number), and
    // the stable /dev/serial/by-id names, which survive replugging, after them.
    struct PortEntry {
        QString name;         // what the port field takes
        QString description;  // what the list shows beside it
    };
    static std::vector<PortEntry> describedPorts();
    // As pairs of name and description, the form the port fields take.
    static std::vector<std::pair<QString, QString>> describedPortPairs()
    {
        std::vector<std::pair<QString, QString>> pairs;
        for (const PortEntry& p : describedPorts())
            pairs.emplace_back(p.name, p.description);
        return pairs;
    }

Q_SIGNALS:
    // One chunk of 1..256 bytes; the next is emitted only after every slot returned.
    void received(const QByteArray& chunk);
    // The line went away under the open port (the adapter pulled out, the device gone, the
    // other end of a pseudo-terminal closed). The port is closed by then; emitted once, from
    // the event loop, never from inside a write or a received() slot.
    void lost(const QString& reason);

private:
    void onReadyRead();
    void onPortError(int error);

    QSerialPort* port_ = nullptr;
    QString portName_ = QStringLiteral("ttyS0");
    int baud_ = kDefaultBaud;
    QString lastError_;
    bool permissionDenied_ = false;
    std::deque<QByteArray> pending_;
    bool delivering_ = false;
};

}  // namespace vantor
