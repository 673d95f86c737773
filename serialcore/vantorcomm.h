#pragma once
// The serial port engine shared by Fernlink and Fernport. It knows nothing of the protocols
// above it: it opens a named port 8-N-1, writes whole frames, and hands what the line
// delivers to its owner on the GUI thread in chunks of at most 256 bytes.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>

class QSerialPort;

namespace vantor {

class CVantorComm : public QObject {
    Q_OBJECT
public:
    static constexpr int kChunkSize = 256;          // largest notification the protocols expect
    static constexpr int kDefaultBaud = 38400;
    static constexpr int kWriteMsPerByte = 50;      // write time-out: 50 ms per byte ...
    static constexpr int kWriteConstantMs = 5000;   // ... plus 5 s

    explicit CVantorComm(QObject* parent = nullptr);
    ~CVantorComm() override;

    // Stored as the user gave it; takes effect at the next open.
    void setPort(const QString& name, int baud);
    QString portName() const { return portName_; }
    int baudRate() const { return baud_; }

    // Fails when already open (the caller closes first); the first connection is untouched.
    bool open();
    bool isOpen() const;
    // Blocks until the bytes left or the write time-out passed; returns the count written.
    qint64 write(QByteArrayView bytes);
    // Prompt and safe when closed. Not to be called from a slot of received() on another port.
    void close();
    // Drops what the driver holds in both directions and what is queued for delivery.
    void purge();

    QString lastError() const { return lastError_; }

    // "ttyUSB0" -> "/dev/ttyUSB0"; a path stays a path.
    static QString devicePath(const QString& name);
    // Ports the platform enumerates; pseudo-terminals are not listed, so fields must accept typed names.
    static QStringList availablePorts();

Q_SIGNALS:
    // One chunk of 1..256 bytes; the next is emitted only after every slot returned.
    void received(const QByteArray& chunk);

private:
    void onReadyRead();

    QSerialPort* port_ = nullptr;
    QString portName_ = QStringLiteral("ttyS0");
    int baud_ = kDefaultBaud;
    QString lastError_;
    std::deque<QByteArray> pending_;
    bool delivering_ = false;
};

}  // namespace vantor
