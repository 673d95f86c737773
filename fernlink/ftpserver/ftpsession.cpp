// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ftpserver/ftpsession.h"

#include "common/gbk.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vantor::ftp {

namespace {
constexpr unsigned char kIac = 0xFF;
constexpr qint64 kSendChunk = 1024 * 1024;   // bytes offered to the data socket at a time
constexpr qint64 kWritebackBytes = 8 * 1024 * 1024;

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// An argument echoed in a reply must not be able to end the line or start a new reply.
QString clean(QString text)
{
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    text.remove(QChar(0));
    return text;
}

QString fmt(const char* pattern, const QString& a)
{
    return QString::fromLatin1(pattern).arg(clean(a));
}

bool hasControlCharacter(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    return false;
}

// Only names a client can ask for again, spelled as listed, are listed: none that would
// break a listing line, none that GBK cannot carry (they would read as '?'), none that the
// path rules read differently (a backslash is a separator, dots at either end are dropped).
// *gbk: the name as the client sees it. Plain ASCII is its own GBK, without a converter.
bool fetchable(const QString& name, QByteArray* gbk)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')) || hasControlCharacter(name)
        || name.contains(QLatin1Char('\\')) || stripComponentDots(name) != name)
        return false;
    const bool ascii = std::all_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x80; });
    *gbk = ascii ? name.toLatin1() : toGbk(name);
    return ascii || fromGbk(*gbk) == name;
}

// A name a client wants to create: one it could list and fetch afterwards.
bool creatable(const QString& argument)
{
    return !hasControlCharacter(argument) && !argument.contains(QChar(0xFFFD)) && fitsGbk(argument);
}

// Last-write time of an entry; a link whose target is gone has only its own time.
QDateTime lastWriteOf(const QFileInfo& entry)
{
    QDateTime when = entry.lastModified();
    if (!when.isValid() && entry.isSymLink()) {
        struct stat st {};
        if (::lstat(QFile::encodeName(entry.absoluteFilePath()).constData(), &st) == 0)
            when = QDateTime::fromSecsSinceEpoch(st.st_mtime);
    }
    return when;
}
}  // namespace

qint64 SystemClock::monotonicMs() const
{
    static QElapsedTimer timer = [] { QElapsedTimer t; t.start(); return t; }();
    return timer.elapsed();
}

CFtpCommandSocket::CFtpCommandSocket(FtpSessionHost& host, FtpDataChannel& data, const FtpClock& clock,
                                     UserLookup lookup, FtpSessionSettings settings)
    : host_(host), data_(data), clock_(clock), lookup_(std::move(lookup)), settings_(std::move(settings))
{
    lastActivity_ = loggedOutSince_ = clock_.monotonicMs();
}

CFtpCommandSocket::~CFtpCommandSocket()
{
    // Dropping the connection mid-upload leaves nothing under the final name.
    upload_.reset();
    file_.reset();
}

namespace {
// listingLine for a time read from the file system, without QDateTime's conversions: ten
// thousand entries are formatted in a blink.
void appendListingLine(QByteArray& out, bool directory, qint64 size, time_t lastWrite, qint64 now, const QByteArray& name)
{
    struct tm local {};
    ::localtime_r(&lastWrite, &local);
    char line[96];
    const qint64 ageDays = (now - qint64(lastWrite)) / 86400;
    const int n = ageDays <= 356
                      ? std::snprintf(line, sizeof line, "%s 1 user group %14lld %s %02d %02d:%02d ",
                                      directory ? "drwx------" : "-rwx------", directory ? 0LL : (long long)size,
                                      kMonths[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min)
                      : std::snprintf(line, sizeof line, "%s 1 user group %14lld %s %02d %04d ",
                                      directory ? "drwx------" : "-rwx------", directory ? 0LL : (long long)size,
                                      kMonths[local.tm_mon], local.tm_mday, local.tm_year + 1900);
    out.append(line, std::min<qsizetype>(n, sizeof line - 1));
    out += name;
    out += "\r\n";
}
}  // namespace

QByteArray CFtpCommandSocket::listingLine(bool directory, qint64 size, const QDateTime& lastWrite,
                                          const QDateTime& now, const QString& name)
{
    QByteArray line = directory ? "drwx------" : "-rwx------";
    line += " 1 user group ";
    line += QByteArray::number(directory ? 0 : size).rightJustified(14, ' ');
    // A time that cannot be read still gives a line every client parses.
    const QDateTime when = lastWrite.isValid() ? lastWrite : QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
    const QDate date = when.date();
    const qint64 ageDays = when.secsTo(now) / 86400;
    char field[40];
    if (ageDays <= 356)
        std::snprintf(field, sizeof field, " %s %02d %02d:%02d ", kMonths[date.month() - 1], date.day(),
                      when.time().hour(), when.time().minute());
    else
        std::snprintf(field, sizeof field, " %s %02d %04d ", kMonths[date.month() - 1], date.day(), date.year());
    line += field;
    line += toGbk(name);
    line += "\r\n";
    return line;
}

bool CFtpCommandSocket::reply(const QString& text)
{
    if (closed_)
        return false;
    const QByteArray line = toGbk(text) + "\r\n";
    if (!host_.sendControl(line)) {
        closed_ = true;
        destroyData();
        host_.closeControl();
        return false;
    }
    // The host counts the reply when it has really left.
    lastActivity_ = clock_.monotonicMs();
    return true;
}

void CFtpCommandSocket::endConnection(const char* lastReply)
{
    if (closed_)
        return;
    reply(QString::fromLatin1(lastReply));
    destroyData();
    closed_ = true;
    host_.closeControl();
}

void CFtpCommandSocket::onControlBytes(const QByteArray& chunk)
{
    if (closed_ || chunk.isEmpty())
        return;
    lastActivity_ = clock_.monotonicMs();
    host_.trafficReceived(chunk.size());
    if (takingInput_) {
        // Called again from inside a reply: the lines in hand are not finished yet.
        reentered_.append(chunk);
        return;
    }
    takingInput_ = true;
    takeControlBytes(chunk);
    while (!reentered_.isEmpty() && !closed_)
        takeControlBytes(std::exchange(reentered_, {}));
    takingInput_ = false;
}

void CFtpCommandSocket::endLine()
{
    // CR LF ends a line, and so does a bare LF as scripts and some controllers send it.
    if (receiveBuffer_.endsWith('\r'))
        receiveBuffer_.chop(1);
    if (discardingLine_) {
        discardingLine_ = false;   // the end of a line that was refused already
    } else if (!receiveBuffer_.isEmpty()) {
        queue_.append({fromGbk(receiveBuffer_), false});
    }
    receiveBuffer_.clear();
}

void CFtpCommandSocket::takeControlBytes(const QByteArray& chunk)
{
    if (receiveBuffer_.isEmpty() && !discardingLine_ && chunk.startsWith(kCncOutputPrefix)) {
        if (chunk.size() <= kControlReadBytes)
            host_.cncOutput(chunk.mid(kCncOutputPrefixLength));
        return;
    }
    // Telnet commands (IAC IP, IAC DM before an urgent ABOR, option talk) are not text.
    auto take = [this](char c) {
        if (c == '\n')
            return endLine();
        if (discardingLine_)
            return;
        receiveBuffer_.append(c);
        // One byte more than the longest line may be its CR.
        if (receiveBuffer_.size() > kMaxCommandLine + 1
            || (receiveBuffer_.size() == kMaxCommandLine + 1 && !receiveBuffer_.endsWith('\r'))) {
            // Refused whole: nothing of it runs, up to its line end.
            receiveBuffer_.clear();
            discardingLine_ = true;
            queue_.append({QString(), true});
        }
    };
    for (char c : chunk) {
        const auto byte = static_cast<unsigned char>(c);
        if (telnetState_ == 1) {
            if (byte == kIac) {
                take(c);
                telnetState_ = 0;
            } else if (byte >= 251) {
                telnetState_ = 2;   // WILL, WONT, DO, DONT carry one option byte
            } else {
                telnetState_ = 0;
                if (byte < 240)       // the DM went out of band: what follows is text
                    take(c);
            }
            continue;
        }
        if (telnetState_ == 2) {
            telnetState_ = 0;
            continue;
        }
        if (byte == kIac) {
            telnetState_ = 1;
            continue;
        }
        take(c);
    }
    runQueue();
    // Only a client that ignores the held-back login answer gets this far ahead.
    if (queue_.size() > kMaxQueuedCommands)
        endConnection(reply::kTooManyCommands);
}

void CFtpCommandSocket::runQueue()
{
    // A reply may bring more lines in (the connection reads again from inside it): they join
    // the queue, and the loop already running takes them after the command in hand.
    if (runningQueue_)
        return;
    runningQueue_ = true;
    while (!holding_ && !closed_ && !queue_.isEmpty()) {
        const QueuedLine line = queue_.takeFirst();
        if (line.tooLong)
            reply(QString::fromLatin1(reply::kLineTooLong));
        else
            runCommand(line.text);
    }
    runningQueue_ = false;
}

void CFtpCommandSocket::onTimer(int tag)
{
    if (closed_)
        return;
    if (tag == TimerDataWait && waitingForData_) {
        waitingForData_ = false;
        const bool listing = pending_ == Pending::Listing;
        pending_ = Pending::None;
        destroyData();
        if (!listing)
            state_ = StateIdle;
        reply(QString::fromLatin1(reply::kDataSocketFailed));
    } else if (tag == TimerLoginDelay && holding_) {
        holding_ = false;
        reply(QString::fromLatin1(reply::kLoginIncorrect));
        runQueue();
    }
}

void CFtpCommandSocket::onTick()
{
    if (closed_)
        return;
    const qint64 now = clock_.monotonicMs();
    // A download the client still reads from the kernel's buffers is activity too, and so is
    // one whose last byte has just been handed over (its end is reported at the next turn of
    // the loop, which a starved thread may reach only after this tick).
    const bool moved = data_.drainedSinceAsked();
    if (moved || finishing_)
        lastActivity_ = now;
    // Bytes dribbled in keep a connection from being idle, not from logging in.
    if (state_ == StateLoggedOut && settings_.loginSeconds > 0 && now - loggedOutSince_ >= qint64(settings_.loginSeconds) * 1000)
        return endConnection(reply::kLoginTimeout);
    if (settings_.idleSeconds > 0 && now - lastActivity_ > qint64(settings_.idleSeconds) * 1000)
        endConnection(reply::kIdleTimeout);
}

void CFtpCommandSocket::onControlClosed()
{
    if (closed_ && !upload_ && pending_ == Pending::None && state_ < StateListing)
        return;
    const bool storing = state_ == StateStoring || pending_ == Pending::Store;
    const bool retrieving = state_ == StateRetrieving || pending_ == Pending::Retrieve;
    const qint64 bytes = done_;
    closed_ = true;
    destroyData();
    if (storing || retrieving) {
        host_.transferDone(storing ? QStringLiteral("STOR") : QStringLiteral("RETR"), rules_.toVirtual(transferPath_),
                           bytes, false);
        host_.transferOutcome(storing ? OutcomeUploadFailed : OutcomeDownloadFailed);
    }
}

bool CFtpCommandSocket::recheckAccount()
{
    // An account deleted, disabled or given another password since login stops here;
    // changed rights take effect at once.
    const auto fresh = lookup_(userName_);
    if (!fresh || fresh->disabled || !homeIsUsable(fresh->homeDirectory)
        || fresh->password != rules_.account().password) {
        state_ = StateLoggedOut;
        destroyData();
        return false;
    }
    if (!(*fresh == rules_.account())) {
        const QString cwd = rules_.currentDirectory();
        rules_ = FtpPathRules(*fresh, settings_.protectedFiles);
        rules_.setCurrentDirectory(fresh->homeDirectory == rules_.account().homeDirectory ? cwd : QStringLiteral("/"));
        if (!rules_.resolve(rules_.currentDirectory()).valid)
            rules_.setCurrentDirectory(QStringLiteral("/"));
    }
    return true;
}

void CFtpCommandSocket::runCommand(const QString& line)
{
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    const QString word = (blank < 0 ? line : line.left(blank)).toUpper();
    const QString arg = blank < 0 ? QString() : line.mid(blank + 1);
    host_.traceCommand(word == QLatin1String("PASS") ? QStringLiteral("PASS ****") : arg.isEmpty() ? word : word + QLatin1Char(' ') + arg);

    if (word == QLatin1String("USER"))
        return cmdUser(arg);
    if (word == QLatin1String("PASS"))
        return cmdPass(arg);
    // PC clients ask for the features before they log in.
    if (word == QLatin1String("FEAT"))
        return cmdFeat();
    if (state_ == StateLoggedOut || !recheckAccount()) {
        if (word == QLatin1String("QUIT") || word == QLatin1String("BYE"))
            return endConnection(reply::kGoodbye);
        reply(QString::fromLatin1(reply::kPleaseLogin));
        return;
    }
    if (word == QLatin1String("QUIT") || word == QLatin1String("BYE"))
        return endConnection(reply::kGoodbye);
    if (word == QLatin1String("TYPE"))
        return cmdType(arg);
    if (word == QLatin1String("PWD"))
        return void(reply(fmt(reply::kCurrentDir, rules_.currentDirectory())));
    if (word == QLatin1String("CDUP"))
        return cmdChangeDir(QStringLiteral(".."));
    if (word == QLatin1String("CWD"))
        return cmdChangeDir(arg);
    if (word == QLatin1String("PORT"))
        return cmdPort(arg);
    if (word == QLatin1String("PASV"))
        return cmdPasv(false);
    if (word == QLatin1String("EPSV"))
        return cmdPasv(true);
    if (word == QLatin1String("LIST"))
        return cmdList(arg, false);
    if (word == QLatin1String("NLST"))
        return cmdList(arg, true);
    if (word == QLatin1String("MDTM"))
        return cmdModTime(arg);
    if (word == QLatin1String("MODE"))
        return void(reply(QString::fromLatin1(arg.compare(QLatin1String("S"), Qt::CaseInsensitive) == 0 ? reply::kModeOk
                                                                                                          : reply::kTypeUnknown)));
    if (word == QLatin1String("STRU"))
        return void(reply(QString::fromLatin1(arg.compare(QLatin1String("F"), Qt::CaseInsensitive) == 0 ? reply::kStruOk
                                                                                                          : reply::kTypeUnknown)));
    if (word == QLatin1String("RETR"))
        return cmdRetr(arg);
    if (word == QLatin1String("STOR"))
        return cmdStor(arg, false);
    if (word == QLatin1String("STOU"))
        return cmdStor(arg, true);
    if (word == QLatin1String("SIZE"))
        return cmdSize(arg);
    if (word == QLatin1String("DELE"))
        return cmdDele(arg);
    if (word == QLatin1String("RMD"))
        return cmdRmd(arg);
    if (word == QLatin1String("MKD"))
        return cmdMkd(arg);
    if (word == QLatin1String("ABOR"))
        return cmdAbor();
    if (word == QLatin1String("SYST"))
        return void(reply(QString::fromLatin1(reply::kSyst)));
    if (word == QLatin1String("NOOP"))
        return void(reply(QString::fromLatin1(reply::kNoop)));
    if (word == QLatin1String("SITE"))
        return cmdSite(arg);
    reply(QString::fromLatin1(reply::kNotImplemented));
}

void CFtpCommandSocket::cmdUser(const QString& arg)
{
    if (state_ != StateLoggedOut) {
        destroyData();
        loggedOutSince_ = clock_.monotonicMs();
    }
    state_ = StateLoggedOut;
    userName_ = arg;
    reply(fmt(reply::kPasswordRequired, arg));
}

void CFtpCommandSocket::cmdPass(const QString& arg)
{
    if (userName_.isEmpty())
        return void(reply(QString::fromLatin1(reply::kLoginFirst)));
    // A new login ends what the old one was doing, as USER does; otherwise the next transfer
    // would start on the data connection the running one still uses.
    if (state_ != StateLoggedOut)
        destroyData();
    std::optional<CUser> user;
    if (userName_.compare(QLatin1String(kAdminName), Qt::CaseInsensitive) != 0)
        user = lookup_(userName_);
    if (checkFtpLogin(user, arg)) {
        if (state_ != StateLoggedOut)
            loggedOutSince_ = clock_.monotonicMs();
        state_ = StateLoggedOut;
        if (++failedLogins_ >= kMaxFailedLogins) {
            reply(QString::fromLatin1(reply::kLoginIncorrect));
            return endConnection(reply::kTooManyFailures);
        }
        // Each failure waits longer before its answer, so guessing passwords is slow.
        holding_ = true;
        host_.schedule(TimerLoginDelay, kFailedLoginDelayMs * failedLogins_);
        return;
    }
    failedLogins_ = 0;
    rules_ = FtpPathRules(*user, settings_.protectedFiles);
    rules_.setCurrentDirectory(QStringLiteral("/"));
    state_ = StateIdle;
    if (reply(QString::fromLatin1(reply::kLoggedIn)))
        host_.userLoggedIn(userName_);
}

void CFtpCommandSocket::cmdChangeDir(const QString& arg)
{
    const CheckedPath checked = rules_.checkDirectory(arg, AccessList);
    if (checked.result == CheckDirNotFound)
        return void(reply(fmt(reply::kDirNotFoundQuoted, arg)));
    if (checked.result == CheckNoRight)
        return void(reply(fmt(reply::kPermissionDeniedQuoted, arg)));
    if (!QFileInfo(checked.local).isDir())
        return void(reply(fmt(reply::kDirNotFoundQuoted, arg)));
    rules_.setCurrentDirectory(rules_.toVirtual(checked.local));
    reply(fmt(reply::kDirChanged, rules_.currentDirectory()));
}

void CFtpCommandSocket::cmdPort(const QString& arg)
{
    const QStringList fields = arg.split(QLatin1Char(','));
    bool ok = fields.size() >= 6;
    int values[6] = {};
    for (int i = 0; ok && i < 6; ++i) {
        values[i] = fields[i].trimmed().toInt(&ok);
        ok = ok && values[i] >= 0 && values[i] <= 255;
    }
    const QString address = ok ? QStringLiteral("%1.%2.%3.%4").arg(values[0]).arg(values[1]).arg(values[2]).arg(values[3])
                               : QString();
    const int port = values[4] * 256 + values[5];
    // The data connection may only go back to the client itself, never to a third host.
    if (!ok || address != settings_.peerAddress || port < kLowestActivePort || port > 65535)
        return void(reply(QString::fromLatin1(reply::kIllegalPort)));
    if (pending_ != Pending::None || state_ >= StateListing)
        return void(reply(QString::fromLatin1(reply::kTransferBusy)));
    // PORT after PASV means active mode now: a passive socket left open would make the next
    // transfer wait for a connection the client will never make.
    destroyData();
    dataAddress_ = address;
    dataPort_ = port;
    reply(QString::fromLatin1(reply::kPortOk));
}

void CFtpCommandSocket::cmdPasv(bool extended)
{
    if (pending_ != Pending::None || state_ >= StateListing)
        return void(reply(QString::fromLatin1(reply::kTransferBusy)));
    destroyData();
    quint16 port = 0;
    if (!data_.listenPassive(&port)) {
        data_.abort();
        return void(reply(QString::fromLatin1(reply::kPasvFailed)));
    }
    dataInUse_ = true;
    passive_ = true;
    if (extended)
        return void(reply(QString::fromLatin1(reply::kEpsvOk).arg(port)));
    QString address = settings_.localAddress;
    address.replace(QLatin1Char('.'), QLatin1Char(','));
    reply(QString::fromLatin1(reply::kPasvOk).arg(address).arg(port / 256).arg(port % 256));
}

bool CFtpCommandSocket::openData(Pending what)
{
    if (!passive_) {
        if (dataAddress_.isEmpty() || dataPort_ < 0) {
            reply(QString::fromLatin1(reply::kCantOpenData));
            return false;
        }
        dataInUse_ = true;
        if (!data_.connectActive(dataAddress_, quint16(dataPort_))) {
            reply(QString::fromLatin1(reply::kCantOpenData));
            return false;
        }
    }
    pending_ = what;
    if (data_.isConnected()) {
        startPending();
    } else {
        waitingForData_ = true;
        host_.schedule(TimerDataWait, kDataConnectWaitMs);
    }
    return true;
}

void CFtpCommandSocket::onDataConnected()
{
    if (!waitingForData_)
        return;
    waitingForData_ = false;
    host_.cancel(TimerDataWait);
    startPending();
}

void CFtpCommandSocket::onDataConnectFailed()
{
    if (!waitingForData_)
        return;
    waitingForData_ = false;
    host_.cancel(TimerDataWait);
    pending_ = Pending::None;
    state_ = StateIdle;
    destroyData();
    reply(QString::fromLatin1(reply::kCantOpenData));
}

void CFtpCommandSocket::startPending()
{
    const Pending what = pending_;
    pending_ = Pending::None;
    done_ = 0;
    finishing_ = false;
    switch (what) {
    case Pending::None:
        return;
    case Pending::Listing:
        if (listing_.isEmpty()) {
            destroyData();
            state_ = StateIdle;
            reply(QString::fromLatin1(reply::kTransferCompleteDot));
            return;
        }
        state_ = StateListing;
        listingAt_ = 0;
        pumpSend();
        return;
    case Pending::Retrieve:
        file_ = std::make_unique<QFile>(transferPath_);
        if (!file_->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            file_.reset();
            state_ = StateIdle;
            destroyData();
            reply(QString::fromLatin1(reply::kTransferAborted));
            return;
        }
        state_ = StateRetrieving;
        total_ = file_->size();
        pumpSend();
        return;
    case Pending::Store: {
        syncedUpTo_ = 0;
        // Bytes go to a hidden file beside the target and replace it only when complete,
        // so a reader never sees half an upload and a failed one leaves no trace.
        const QFileInfo target(transferPath_);
        upload_ = std::make_unique<QTemporaryFile>(target.absolutePath() + QStringLiteral("/.fernlink-upload-XXXXXX"));
        if (!upload_->open()) {
            upload_.reset();
            state_ = StateIdle;
            destroyData();
            reply(QString::fromLatin1(reply::kCantAccessFile));
            host_.transferOutcome(OutcomeUploadFailed);
            return;
        }
        state_ = StateStoring;
        data_.receive();
        return;
    }
    }
}

void CFtpCommandSocket::pumpSend()
{
    if (finishing_ || closed_)
        return;
    if (state_ == StateListing) {
        for (;;) {
            if (listingAt_ == listing_.size()) {
                // The next piece is formatted only once the client has taken this one.
                listing_.clear();
                listingAt_ = 0;
                if (!nextListingPiece())
                    break;
            }
            const qint64 sent = data_.send(listing_.constData() + listingAt_, listing_.size() - listingAt_);
            if (sent == FtpDataChannel::SendLater)
                return;
            if (sent < 0)
                return finishTransfer(false, reply::kTransferAborted, 0);
            listingAt_ += sent;
            done_ += sent;
            lastActivity_ = clock_.monotonicMs();
            host_.trafficSent(sent);
        }
        finishing_ = true;
        data_.finish();
        return;
    }
    if (!(state_ == StateRetrieving && file_))
        return;
    while (done_ < total_) {
        const qint64 want = std::min<qint64>(kSendChunk, total_ - done_);
        const qint64 sent = data_.sendFile(*file_, done_, want);
        if (sent == FtpDataChannel::SendLater)
            return;
        // A file that shrank or failed under us: what the client has is not the file.
        if (sent < 0)
            return finishTransfer(false, reply::kTransferAborted, OutcomeDownloadFailed);
        done_ += sent;
        lastActivity_ = clock_.monotonicMs();
        host_.trafficSent(sent);
    }
    finishing_ = true;
    data_.finish();
}

void CFtpCommandSocket::onDataWritten()
{
    pumpSend();
}

void CFtpCommandSocket::onDataFinished()
{
    if (!finishing_)
        return;
    finishing_ = false;
    if (state_ == StateListing)
        finishTransfer(true, reply::kTransferComplete, 0);
    else if (state_ == StateRetrieving)
        finishTransfer(true, reply::kTransferComplete, OutcomeDownloaded);
}

void CFtpCommandSocket::onDataBytes(const QByteArray& bytes)
{
    if (state_ != StateStoring || !upload_ || bytes.isEmpty())
        return;
    lastActivity_ = clock_.monotonicMs();
    host_.trafficReceived(bytes.size());
    if (upload_->write(bytes) != bytes.size())
        return finishTransfer(false, reply::kCantAccessFile, OutcomeUploadFailed);
    done_ += bytes.size();
    // Start writing to disk while the bytes still come, so the sync at the end finds little
    // left to do; it does not wait for the disk.
    if (done_ - syncedUpTo_ >= kWritebackBytes && upload_->flush()) {
        ::sync_file_range(upload_->handle(), syncedUpTo_, done_ - syncedUpTo_, SYNC_FILE_RANGE_WRITE);
        syncedUpTo_ = done_;
    }
}

bool CFtpCommandSocket::syncUpload()
{
    // On disk before it takes the name: a power cut must not leave a short file there.
    return upload_->flush() && ::fsync(upload_->handle()) == 0;
}

bool CFtpCommandSocket::renameUpload()
{
    const QString temp = upload_->fileName();
    // The temporary file is private; the finished one gets the target's permissions,
    // or the usual ones for a new file.
    const QFileInfo target(transferPath_);
    upload_->setPermissions(target.exists() ? target.permissions()
                                            : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                                  | QFileDevice::ReadOther);
    upload_->setAutoRemove(false);
    upload_->close();
    const bool ok = ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(transferPath_).constData()) == 0;
    if (!ok)
        QFile::remove(temp);
    upload_.reset();
    return ok;
}

void CFtpCommandSocket::onDataPeerClosed()
{
    if (state_ == StateStoring && upload_) {
        // A client killed mid-upload closes its data connection as cleanly as one that has
        // finished; its control connection goes at the same moment. Without it nobody will
        // read the 226, so the bytes are not taken for the whole file. It is looked at after
        // the disk sync, whose time counts towards the moment a close on its way is given.
        const bool synced = syncUpload();
        if (!host_.controlAlive()) {
            finishTransfer(false, reply::kTransferAborted, OutcomeUploadFailed);
            closed_ = true;
            return;
        }
        const bool ok = synced && renameUpload();
        finishTransfer(ok, ok ? reply::kTransferComplete : reply::kCantAccessFile,
                       ok ? OutcomeUploaded : OutcomeUploadFailed);
        return;
    }
    if (state_ == StateListing || state_ == StateRetrieving) {
        if (finishing_)
            return;   // our own close after the last byte
        finishTransfer(false, reply::kTransferAborted, 0);
    }
}

void CFtpCommandSocket::onDataError()
{
    if (waitingForData_)
        return onDataConnectFailed();
    if (state_ == StateStoring)
        finishTransfer(false, reply::kTransferAborted, OutcomeUploadFailed);
    else if (state_ == StateRetrieving)
        finishTransfer(false, reply::kTransferAborted, OutcomeDownloadFailed);
    else if (state_ == StateListing)
        finishTransfer(false, reply::kTransferAborted, 0);
}

void CFtpCommandSocket::finishTransfer(bool ok, const char* replyText, int outcome)
{
    const int was = state_;
    const qint64 bytes = done_;
    destroyData();
    state_ = StateIdle;
    if (was == StateRetrieving || was == StateStoring)
        host_.transferDone(was == StateRetrieving ? QStringLiteral("RETR") : QStringLiteral("STOR"),
                           rules_.toVirtual(transferPath_), bytes, ok);
    reply(QString::fromLatin1(replyText));
    if (outcome)
        host_.transferOutcome(outcome);
}

void CFtpCommandSocket::destroyData()
{
    if (waitingForData_) {
        waitingForData_ = false;
        host_.cancel(TimerDataWait);
    }
    if (dataInUse_)
        data_.abort();
    dataInUse_ = false;
    finishing_ = false;
    pending_ = Pending::None;
    file_.reset();
    upload_.reset();
    listing_.clear();
    listingAt_ = 0;
    cursor_.reset();
    done_ = total_ = 0;
    dataAddress_.clear();
    dataPort_ = -1;
    passive_ = false;
    if (state_ >= StateListing)
        state_ = StateIdle;
}

bool CFtpCommandSocket::buildListing(const QString& arg, bool namesOnly)
{
    QString path = arg;
    while (path.endsWith(QLatin1Char('*')))
        path.chop(1);
    if (path.isEmpty())
        path = rules_.currentDirectory();
    const CheckedPath checked = rules_.checkDirectory(path, AccessList);
    if (checked.result == CheckDirNotFound) {
        reply(fmt(reply::kDirNotFoundQuoted, arg));
        return false;
    }
    if (checked.result == CheckNoRight) {
        reply(fmt(reply::kPermissionDeniedQuoted, arg));
        return false;
    }
    // Only the names are held, sorted as a directory listing is; each line is made when its
    // piece is sent, so a folder of ten thousand programs costs its names, not its listing.
    auto cursor = std::make_unique<ListingCursor>();
    cursor->namesOnly = namesOnly;
    cursor->now = clock_.now();
    for (const QString& file : settings_.protectedFiles)
        cursor->protectedNames.insert(QFileInfo(file).fileName());
    const QFileInfo target(checked.local);
    if (target.isDir()) {
        cursor->directory = checked.local;
        if (DIR* dir = ::opendir(QFile::encodeName(checked.local).constData())) {
            while (const dirent* entry = ::readdir(dir)) {
                // Hidden names and the directory's own entries are never listed.
                if (entry->d_name[0] != '.')
                    cursor->names.append(QFile::decodeName(entry->d_name));
            }
            ::closedir(dir);
        }
        std::sort(cursor->names.begin(), cursor->names.end());
    } else {
        cursor->directory = target.absolutePath();
        cursor->names.append(target.fileName());
    }
    cursor_ = std::move(cursor);
    listing_.clear();
    listingAt_ = 0;
    nextListingPiece();
    return true;
}

bool CFtpCommandSocket::nextListingPiece()
{
    if (!cursor_)
        return false;
    ListingCursor& c = *cursor_;
    const QByteArray directory = QFile::encodeName(c.directory) + '/';
    const qint64 now = c.now.toSecsSinceEpoch();
    while (listing_.size() < kListingPieceBytes && c.next < c.names.size()) {
        const QString name = std::exchange(c.names[c.next++], QString());
        QByteArray gbk;
        if (!fetchable(name, &gbk))
            continue;
        const QByteArray path = directory + QFile::encodeName(name);
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0)
            continue;
        // The listed directory is inside the home, and so is every entry in it but a link:
        // only links (which may lead out) and the account files get the full check.
        if ((S_ISLNK(st.st_mode) || c.protectedNames.contains(name))
            && !rules_.accessAllowed(QFile::decodeName(path), AccessList))
            continue;
        if (c.namesOnly) {
            listing_ += gbk + "\r\n";
            continue;
        }
        // A link is listed as what it leads to; one whose target is gone, as itself.
        struct stat target {};
        if (S_ISLNK(st.st_mode) && ::stat(path.constData(), &target) == 0)
            st = target;
        const qint64 size = S_ISLNK(st.st_mode) ? 0 : qint64(st.st_size);
        appendListingLine(listing_, S_ISDIR(st.st_mode), size, st.st_mtime, now, gbk);
    }
    if (c.next >= c.names.size())
        cursor_.reset();
    return !listing_.isEmpty();
}

void CFtpCommandSocket::cmdList(const QString& arg, bool namesOnly)
{
    if (pending_ != Pending::None || state_ >= StateListing)
        return void(reply(QString::fromLatin1(reply::kTransferBusy)));
    if (!buildListing(arg, namesOnly))
        return;
    reply(QString::fromLatin1(namesOnly ? reply::kNameListOpening : reply::kListOpening));
    if (!openData(Pending::Listing))
        destroyData();
}

void CFtpCommandSocket::cmdRetr(const QString& arg)
{
    if (pending_ != Pending::None || state_ >= StateListing)
        return void(reply(QString::fromLatin1(reply::kTransferBusy)));
    const CheckedPath checked = rules_.checkFile(arg, AccessDownload);
    if (checked.result == CheckNotFound)
        return void(reply(QString::fromLatin1(reply::kFileNotFound)));
    if (checked.result != CheckOk)
        return void(reply(QString::fromLatin1(reply::kPermissionDenied)));
    reply(QString::fromLatin1(reply::kFileOpening));
    transferPath_ = checked.local;
    if (!openData(Pending::Retrieve)) {
        state_ = StateIdle;
        destroyData();
    }
}

void CFtpCommandSocket::cmdStor(const QString& arg, bool unique)
{
    if (pending_ != Pending::None || state_ >= StateListing)
        return void(reply(QString::fromLatin1(reply::kTransferBusy)));
    CheckedPath checked;
    if (unique) {
        if (!creatable(arg))
            return void(reply(QString::fromLatin1(reply::kFilenameInvalid501)));
        checked = rules_.checkUniqueFile(arg);
        if (checked.result == CheckInvalid)
            return void(reply(QString::fromLatin1(reply::kFilenameInvalid501)));
        if (checked.result != CheckOk)
            return void(reply(QString::fromLatin1(reply::kPermissionDenied)));
    } else {
        if (!creatable(arg))
            return void(reply(QString::fromLatin1(reply::kFilenameInvalid550)));
        checked = rules_.checkFile(arg, AccessUpload);
        if (checked.result == CheckNotFound)
            return void(reply(QString::fromLatin1(reply::kFilenameInvalid550)));
        if (checked.result != CheckOk)
            return void(reply(QString::fromLatin1(reply::kPermissionDenied)));
    }
    reply(QString::fromLatin1(reply::kFileOpening));
    transferPath_ = checked.local;
    if (!openData(Pending::Store)) {
        state_ = StateIdle;
        destroyData();
    }
}

void CFtpCommandSocket::cmdType(const QString& arg)
{
    // Files always move as bytes; these are the types clients ask for. The reply echoes
    // the argument as the controller has always seen it.
    const QString type = arg.trimmed().toUpper();
    static const QStringList known = {QStringLiteral("A"), QStringLiteral("A N"), QStringLiteral("I"), QStringLiteral("L 8")};
    if (!known.contains(type))
        return void(reply(QString::fromLatin1(reply::kTypeUnknown)));
    reply(fmt(reply::kTypeSet, arg));
}

void CFtpCommandSocket::cmdFeat()
{
    reply(QString::fromLatin1(reply::kFeatBegin));
    for (const char* feature : {" EPSV", " MDTM", " SIZE"})
        reply(QString::fromLatin1(feature));
    reply(QString::fromLatin1(reply::kFeatEnd));
}

void CFtpCommandSocket::cmdModTime(const QString& arg)
{
    const CheckedPath checked = rules_.checkFile(arg, AccessDownload);
    if (checked.result == CheckNotFound)
        return void(reply(QString::fromLatin1(reply::kFileNotFound)));
    if (checked.result != CheckOk)
        return void(reply(QString::fromLatin1(reply::kPermissionDenied)));
    const QDateTime when = lastWriteOf(QFileInfo(checked.local)).toUTC();
    reply(QString::fromLatin1(reply::kModTime).arg(when.toString(QStringLiteral("yyyyMMddHHmmss"))));
}

void CFtpCommandSocket::cmdSize(const QString& arg)
{
    const CheckedPath checked = rules_.checkFile(arg, AccessDownload);
    if (checked.result == CheckNotFound)
        return void(reply(QString::fromLatin1(reply::kFileNotFound)));
    if (checked.result != CheckOk)
        return void(reply(QString::fromLatin1(reply::kPermissionDenied)));
    reply(QString::fromLatin1(reply::kSize).arg(QFileInfo(checked.local).size()));
}

void CFtpCommandSocket::cmdDele(const QString& arg)
{
    const CheckedPath checked = rules_.checkFile(arg, AccessDelete);
    if (checked.result == CheckNotFound)
        return void(reply(QString::fromLatin1(reply::kFileNotFound)));
    if (checked.result != CheckOk)
        return void(reply(QString::fromLatin1(reply::kPermissionDenied)));
    const QString virtualPath = rules_.toVirtual(checked.local);
    if (QFile::remove(checked.local))
        reply(fmt(reply::kFileDeleted, virtualPath));
    else
        reply(fmt(reply::kFileDeleteFailed, virtualPath));
}

void CFtpCommandSocket::cmdRmd(const QString& arg)
{
    const CheckedPath checked = rules_.checkDirectory(arg, AccessDelete);
    if (checked.result == CheckDirNotFound)
        return void(reply(QString::fromLatin1(reply::kDirNotFound)));
    if (checked.result != CheckOk || rules_.toVirtual(checked.local) == QLatin1String("/"))
        return void(reply(QString::fromLatin1(reply::kPermissionDenied)));
    if (::rmdir(QFile::encodeName(checked.local).constData()) == 0)
        return void(reply(QString::fromLatin1(reply::kDirDeleted)));
    if (errno == ENOTEMPTY || errno == EEXIST)
        return void(reply(QString::fromLatin1(reply::kDirNotEmpty)));
    reply(QString::fromLatin1(reply::kDirDeleteFailed));
}

void CFtpCommandSocket::cmdMkd(const QString& arg)
{
    if (!creatable(arg))
        return void(reply(QString::fromLatin1(reply::kFilenameInvalid550)));
    const CheckedPath checked = rules_.checkDirectory(arg, AccessMakeDir);
    if (checked.result == CheckOk)
        return void(reply(QString::fromLatin1(reply::kDirExists)));
    if (checked.result == CheckNoRight)
        return void(reply(QString::fromLatin1(reply::kMkdDenied)));
    if (checked.local.isEmpty())
        return void(reply(QString::fromLatin1(reply::kDirCreateFailed)));
    if (QDir().mkpath(checked.local))
        reply(QString::fromLatin1(reply::kDirCreated));
    else
        reply(QString::fromLatin1(reply::kDirCreateFailed));
}

void CFtpCommandSocket::cmdAbor()
{
    if (dataInUse_ || pending_ != Pending::None) {
        if (state_ != StateIdle)
            reply(QString::fromLatin1(reply::kDataClosed));
        destroyData();
    }
    reply(QString::fromLatin1(reply::kAborOk));
}

void CFtpCommandSocket::cmdSite(const QString& arg)
{
    // Mirroring clients set modes after each upload and give up when that fails; the
    // files keep the permissions the PC gives them, so the request is answered and ignored.
    if (arg.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty).compare(QLatin1String("CHMOD"), Qt::CaseInsensitive) == 0)
        return void(reply(QString::fromLatin1(reply::kSiteChmod)));
    reply(QString::fromLatin1(reply::kNotImplemented));
}

}  // namespace vantor::ftp
