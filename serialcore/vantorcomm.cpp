// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialcore/vantorcomm.h"

#include "common/logging.h"

#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QSerialPortInfo>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QThread>
#endif

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

std::vector<CVantorComm::PortEntry> CVantorComm::describedPorts()
{
    std::vector<PortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QStringList parts;
        for (const QString& part : {info.description(), info.manufacturer()})
            if (!part.trimmed().isEmpty() && !parts.contains(part.trimmed()))
                parts << part.trimmed();
        if (!info.serialNumber().isEmpty())
            parts << QStringLiteral("S/N ") + info.serialNumber();
        ports.push_back({info.portName(), parts.join(QStringLiteral(", "))});
    }
    std::sort(ports.begin(), ports.end(), [](const PortEntry& a, const PortEntry& b) { return a.name < b.name; });
#ifdef Q_OS_LINUX
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::Files | QDir::System, QDir::Name))
        ports.push_back({link.absoluteFilePath(), QFileInfo(link.symLinkTarget()).fileName()});
#endif
    return ports;
}

bool CVantorComm::isOpen() const
{
    return port_ != nullptr && port_->isOpen();
}

bool CVantorComm::open(EarlyInput early)
{
    permissionDenied_ = false;
    if (isOpen()) {
        lastError_ = tr("port already open");
        return false;
    }
    auto* port = new QSerialPort(this);
    // QSerialPort takes a full path when it contains a separator, so a pty symlink works too.
    port->setPortName(devicePath(portName_));
    if (!port->open(QIODevice::ReadWrite)) {
        lastError_ = port->errorString();
        permissionDenied_ = port->error() == QSerialPort::PermissionError;
#ifdef Q_OS_LINUX
        // Qt reports a port another program holds as a permission error too; only a device we
        // may not open is the dialout group's business.
        if (port->error() == QSerialPort::PermissionError) {
            const QString path = QFileInfo(devicePath(portName_)).canonicalFilePath();
            if (!path.isEmpty() && ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0) {
                const QStringList holders = portHolders(path);
                lastError_ = holders.isEmpty() ? tr("the port is in use by another program")
                                               : tr("the port is in use by %1").arg(holders.join(QStringLiteral(", ")));
            } else {
                // The usual cause on a fresh machine, and one the error text does not name.
                lastError_ += tr(" (serial ports need membership of the dialout group: sudo usermod -aG dialout $USER, then log in again)");
            }
        }
#endif
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
    port->clear(early == EarlyInput::Keep ? QSerialPort::Output : QSerialPort::AllDirections);
    pending_.clear();
    port_ = port;
    connect(port_, &QSerialPort::readyRead, this, &CVantorComm::onReadyRead);
    connect(port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) { onPortError(int(e)); });
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
        qCDebug(lcSerial, "write failed: %s", qUtf8Printable(lastError_));
        return 0;
    }
    qCDebug(lcSerial, "-> %s", traceBytes(bytes).constData());
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

qint64 CVantorComm::queuedOutput() const
{
    if (!isOpen())
        return 0;
    qint64 queued = port_->bytesToWrite();
#ifdef Q_OS_LINUX
    int inDriver = 0;
    if (::ioctl(int(port_->handle()), TIOCOUTQ, &inDriver) == 0 && inDriver > 0)
        queued += inDriver;
#endif
    return queued;
}

QStringList CVantorComm::portHolders(const QString& devicePath)
{
    QStringList holders;
#ifdef Q_OS_LINUX
    // Where the system says so: the open files of the processes this user may look into.
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        pid.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() != devicePath)
                continue;
            QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
            QString name;
            if (comm.open(QIODevice::ReadOnly))
                name = QString::fromLocal8Bit(comm.readAll()).trimmed();
            holders << (name.isEmpty() ? tr("process %1").arg(pid) : tr("%1 (process %2)").arg(name, pid));
            break;
        }
    }
#else
    Q_UNUSED(devicePath);
#endif
    return holders;
}

void CVantorComm::close()
{
    if (!port_)
        return;
    QSerialPort* port = port_;
    port_ = nullptr;
    pending_.clear();
    port->disconnect(this);
#ifdef Q_OS_LINUX
    // The kernel keeps a closing program waiting until the line has taken everything queued;
    // a controller that holds the line (its XOFF, its handshake line down) would keep the
    // program alive with the port held. What has not gone after the time the line needs,
    // and a little more, is dropped.
    const int fd = int(port->handle());
    int queued = 0;
    if (fd >= 0 && ::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        const qint64 limitMs = std::min<qint64>(kCloseDrainLimitMs, qint64(queued) * 10 * 1000 / std::max(baud_, 1) + 200);
        QElapsedTimer clock;
        clock.start();
        while (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0 && clock.elapsed() < limitMs)
            QThread::msleep(10);
    }
    // Only a line that is still held gets its queue dropped: what the driver already passed
    // on (a pseudo-terminal passes everything on at once) must still reach the other side.
    if (fd >= 0 && ::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        ::tcflush(fd, TCOFLUSH);
        ::tcflow(fd, TCOON);
    }
#endif
    port->close();
    port->deleteLater();
}

void CVantorComm::onPortError(int error)
{
    // A vanished device makes every read fail at once and for ever (Qt reports it again for
    // each wake-up of the read notifier): the port is closed at the first report.
    const auto e = QSerialPort::SerialPortError(error);
    if (!port_ || (e != QSerialPort::ResourceError && e != QSerialPort::ReadError))
        return;
#ifdef Q_OS_LINUX
    // Qt reports a wake-up that found no byte (EAGAIN) as it reports a vanished device. A
    // line that is gone (hung up, unplugged) no longer gives its settings; one that does is
    // still there.
    termios settings;
    if (::tcgetattr(int(port_->handle()), &settings) == 0)
        return;
#endif
    lastError_ = port_->errorString();
    qCDebug(lcSerial, "line lost: %s", qUtf8Printable(lastError_));
    close();
    QMetaObject::invokeMethod(this, [this, reason = lastError_] { Q_EMIT lost(reason); }, Qt::QueuedConnection);
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
        qCDebug(lcSerial, "<- %s", traceBytes(chunk).constData());
        Q_EMIT received(chunk);
    }
    delivering_ = false;
}

}  // namespace vantor
