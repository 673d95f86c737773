#include "serialcore/vantorcomm.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QSerialPortInfo>

namespace vantor {

CVantorComm::CVantorComm(QObject* parent) : QObject(parent) {}

CVantorComm::~CVantorComm()
{
    close();
}

void CVantorComm::setPort(const QString& name, int baud)
{
    portName_ = name;
    baud_ = baud;
}

QString CVantorComm::devicePath(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.contains(QLatin1Char('/')) || trimmed.contains(QLatin1Char('\\')))
        return trimmed;
#ifdef Q_OS_WIN
    return QStringLiteral("\\\\.\\") + trimmed;
#else
    return QStringLiteral("/dev/") + trimmed;
#endif
}

QStringList CVantorComm::availablePorts()
{
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names << info.portName();
    names.sort();
    return names;
}

bool CVantorComm::isOpen() const
{
    return port_ != nullptr && port_->isOpen();
}

bool CVantorComm::open()
{
    if (isOpen()) {
        lastError_ = tr("port already open");
        return false;
    }
    auto* port = new QSerialPort(this);
    // QSerialPort takes a full path when it contains a separator, so a pty symlink works too.
    port->setPortName(devicePath(portName_));
    if (!port->open(QIODevice::ReadWrite)) {
        lastError_ = port->errorString();
        delete port;
        return false;
    }
    const bool lineOk = port->setBaudRate(baud_) && port->setDataBits(QSerialPort::Data8)
                        && port->setParity(QSerialPort::NoParity) && port->setStopBits(QSerialPort::OneStop);
    // Only software output flow control is switched off; hardware handshake stays as the driver had it.
    bool flowOk = true;
    if (port->flowControl() == QSerialPort::SoftwareControl)
        flowOk = port->setFlowControl(QSerialPort::NoFlowControl);
    if (!lineOk || !flowOk) {
        lastError_ = port->errorString();
        port->close();
        delete port;
        return false;
    }
    port->clear(QSerialPort::AllDirections);
    pending_.clear();
    port_ = port;
    connect(port_, &QSerialPort::readyRead, this, &CVantorComm::onReadyRead);
    lastError_.clear();
    return true;
}

qint64 CVantorComm::write(QByteArrayView bytes)
{
    if (!isOpen() || bytes.isEmpty())
        return 0;
    const qint64 accepted = port_->write(bytes.data(), bytes.size());
    if (accepted <= 0) {
        lastError_ = port_->errorString();
        return 0;
    }
    const qint64 limitMs = qint64(kWriteMsPerByte) * bytes.size() + kWriteConstantMs;
    QElapsedTimer clock;
    clock.start();
    while (port_ && port_->bytesToWrite() > 0) {
        const qint64 left = limitMs - clock.elapsed();
        if (left <= 0 || !port_->waitForBytesWritten(int(left)))
            break;
    }
    if (!port_)
        return 0;
    return accepted - port_->bytesToWrite();
}

void CVantorComm::close()
{
    if (!port_)
        return;
    QSerialPort* port = port_;
    port_ = nullptr;
    pending_.clear();
    port->disconnect(this);
    port->close();
    port->deleteLater();
}

void CVantorComm::purge()
{
    pending_.clear();
    if (port_)
        port_->clear(QSerialPort::AllDirections);
}

void CVantorComm::onReadyRead()
{
    // A slot may spin the event loop (a modal question, a blocking write). Qt does not emit
    // readyRead again while one is being handled, so bytes that arrive meanwhile are picked up
    // here, behind the chunk being handled, instead of overtaking it or waiting for more input.
    if (delivering_)
        return;
    delivering_ = true;
    while (port_) {
        if (pending_.empty()) {
            // An empty read simply produces no notification.
            QByteArray chunk = port_->read(kChunkSize);
            if (chunk.isEmpty())
                break;
            pending_.push_back(std::move(chunk));
        }
        QByteArray chunk = std::move(pending_.front());
        pending_.pop_front();
        Q_EMIT received(chunk);
    }
    delivering_ = false;
}

}  // namespace vantor
