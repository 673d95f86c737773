// fernlink-cli ftpd and users: the FTP server headless, and the account file as the
// user-manager page edits it.
#include "cli/cli_commands.h"

#include "common/gbk.h"
#include "fernlink/app/messages.h"
#include "fernlink/ftpserver/ftpconstants.h"
#include "fernlink/ftpserver/ftpserver.h"
#include "fernlink/ftpserver/servermodels.h"
#include "fernlink/ftpserver/userstore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

#include <atomic>
#include <csignal>

namespace vantor::cli {

namespace {
using namespace vantor::ftp;

std::atomic<bool> g_interrupted{false};
extern "C" void onStopSignal(int) { g_interrupted = true; }

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}
QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

int usageError(const QString& why)
{
    err() << "fernlink-cli: " << why << "\n" << ftpUsage();
    err().flush();
    return 2;
}

// Takes "--name value" out of args; false (with a message) when the value is missing or bad.
bool takeInt(QStringList& args, const QString& name, int* value, int low, int high, QString* why)
{
    const qsizetype at = args.indexOf(name);
    if (at < 0)
        return true;
    bool ok = false;
    const int v = args.value(at + 1).toInt(&ok);
    if (!ok || v < low || v > high) {
        *why = QStringLiteral("%1 needs a number from %2 to %3").arg(name).arg(low).arg(high);
        return false;
    }
    *value = v;
    args.remove(at, 2);
    return true;
}

// Minutes may have a fraction (0.05 is 3 s), which keeps time-out checks short.
bool takeMinutes(QStringList& args, const QString& name, double* value, QString* why)
{
    const qsizetype at = args.indexOf(name);
    if (at < 0)
        return true;
    bool ok = false;
    const double v = args.value(at + 1).toDouble(&ok);
    if (!ok || v < 0 || v > 24 * 60) {
        *why = name + QStringLiteral(" needs minutes from 0 (never) to 1440");
        return false;
    }
    *value = v;
    args.remove(at, 2);
    return true;
}

bool takeString(QStringList& args, const QString& name, QString* value, QString* why)
{
    const qsizetype at = args.indexOf(name);
    if (at < 0)
        return true;
    if (at + 1 >= args.size()) {
        *why = name + QStringLiteral(" needs a value");
        return false;
    }
    *value = args[at + 1];
    args.remove(at, 2);
    return true;
}

bool takeFlag(QStringList& args, const QString& name)
{
    return args.removeAll(name) > 0;
}

QString usersPath(const QString& given)
{
    if (!given.isEmpty())
        return QFileInfo(given).absoluteFilePath();
    return QDir(defaultProgramFolder()).filePath(QLatin1String(kUsersFileName));
}

QString loadMessage(const CUserStore& store)
{
    switch (store.loadStatus()) {
    case LoadStatus::Foreign:
        return QStringLiteral("%1 is not an account file; it is left untouched (%2)").arg(store.path(), store.lastError());
    case LoadStatus::Damaged:
        return QStringLiteral("%1 is damaged; it is left untouched (%2)").arg(store.path(), store.lastError());
    default:
        return {};
    }
}

int runFtpd(QStringList args)
{
    int port = kDefaultPort;
    int maxUsers = kDefaultMaxUsers;
    double idleMinutes = kDefaultIdleMinutes;
    int loginSeconds = kLoginDeadlineSeconds;
    QString users;
    QString why;
    if (!takeInt(args, QStringLiteral("--port"), &port, 0, 65535, &why)
        || !takeInt(args, QStringLiteral("--login-timeout"), &loginSeconds, 0, 3600, &why)
        || !takeInt(args, QStringLiteral("--max-users"), &maxUsers, 1, 1000, &why)
        || !takeMinutes(args, QStringLiteral("--timeout"), &idleMinutes, &why)
        || !takeString(args, QStringLiteral("--users"), &users, &why))
        return usageError(why);
    if (!args.isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'").arg(args.first()));

    CUserStore store(usersPath(users));
    store.load();
    if (const QString problem = loadMessage(store); !problem.isEmpty())
        err() << "fernlink-cli ftpd: " << problem << "\n";
    err() << "fernlink-cli ftpd: " << store.getAll().size() << " account(s) from " << store.path() << "\n";
    err().flush();

    const QString userLog = QFileInfo(store.path()).absoluteDir().filePath(QLatin1String(kUserLogFileName));
    CFtpServerWnd server(store, {userLog});
    server.setPort(port);
    server.setMaxUsers(maxUsers);
    server.setIdleTimeoutSeconds(int(idleMinutes * 60 + 0.5));
    server.setLoginTimeoutSeconds(loginSeconds);
    QObject::connect(&server, &CFtpServerWnd::eventLine, [](const QString& line) {
        out() << line << "\n";
        out().flush();
    });
    QObject::connect(&server, &CFtpServerWnd::cncOutput, [](const QString& text) {
        out() << "CNC output: " << text << "\n";
        out().flush();
    });
    if (!server.start()) {
        err() << "fernlink-cli ftpd: cannot listen on port " << port << ": " << server.lastError() << "\n";
        if (port < 1024)
            err() << "  ports below 1024 need administrator rights on this system; try --port 2121\n";
        err().flush();
        return 1;
    }
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (g_interrupted)
            QCoreApplication::quit();
    });
    poll.start(100);
    QCoreApplication::exec();
    server.stop();
    const ServerCounters& c = server.counters();
    out() << "connections " << c.totalConnections << ", downloads " << c.filesDownloaded << " (failed "
          << c.failedDownloads << "), uploads " << c.filesUploaded << " (failed " << c.failedUploads << "), bytes sent "
          << c.bytesSent << ", received " << c.bytesReceived << "\n";
    out().flush();
    return 0;
}

QString rights(const CUser& u)
{
    QStringList r;
    if (u.download)
        r << QStringLiteral("download");
    if (u.upload)
        r << QStringLiteral("upload");
    if (u.deleteRight)
        r << QStringLiteral("delete");
    if (u.makeDirectory)
        r << QStringLiteral("mkdir");
    if (u.disabled)
        r << QStringLiteral("disabled");
    return r.join(QLatin1Char(','));
}

int runUsers(QStringList args)
{
    QString users;
    QString why;
    if (!takeString(args, QStringLiteral("--users"), &users, &why))
        return usageError(why);
    CUserStore store(usersPath(users));
    store.load();
    const QString action = args.value(0);
    if (action == QLatin1String("keep-damaged") && args.size() == 1) {
        // The user asked for it by name: the unreadable file is renamed, never deleted.
        const auto kept = store.setAsideDamaged(QDateTime::currentDateTime());
        if (!kept) {
            err() << "fernlink-cli users: "
                  << (store.lastError().isEmpty() ? store.path() + QStringLiteral(" is readable; nothing to keep aside")
                                                  : store.lastError())
                  << "\n";
            err().flush();
            return 1;
        }
        out() << "kept " << *kept << "; the account list starts empty\n";
        out().flush();
        return 0;
    }
    if (const QString problem = loadMessage(store); !problem.isEmpty()) {
        err() << "fernlink-cli users: " << problem << "\n"
              << "  'fernlink-cli users keep-damaged' renames it with the date and starts an empty list\n";
        err().flush();
        if (action != QLatin1String("list"))
            return 1;
    }
    if (action == QLatin1String("list") && args.size() == 1) {
        for (const CUser& u : store.getAll())
            out() << u.name << "\t" << u.homeDirectory << "\t" << rights(u) << "\n";
        out().flush();
        return 0;
    }
    CUserManager manager(store);
    if (action == QLatin1String("add") && args.size() >= 2) {
        CUser u;
        u.name = args[1];
        args.remove(0, 2);
        if (!takeString(args, QStringLiteral("--password"), &u.password, &why)
            || !takeString(args, QStringLiteral("--home"), &u.homeDirectory, &why))
            return usageError(why);
        if (!u.homeDirectory.isEmpty())
            u.homeDirectory = QFileInfo(u.homeDirectory).absoluteFilePath();
        u.download = takeFlag(args, QStringLiteral("--download"));
        u.upload = takeFlag(args, QStringLiteral("--upload"));
        u.deleteRight = takeFlag(args, QStringLiteral("--delete"));
        u.makeDirectory = takeFlag(args, QStringLiteral("--mkdir"));
        u.disabled = takeFlag(args, QStringLiteral("--disabled"));
        if (!args.isEmpty())
            return usageError(QStringLiteral("unexpected argument '%1'").arg(args.first()));
        // The account file is GBK: what it cannot hold would be stored as '?'.
        for (const QString& text : {u.password, u.homeDirectory}) {
            if (!fitsGbk(text)) {
                err() << "fernlink-cli users: " << fernlink::messageEnglish(fernlink::Msg::NotGbkText).arg(text) << "\n";
                err().flush();
                return 1;
            }
        }
        const UserEditError e = manager.add(u, u.password);
        if (e != UserEditError::None) {
            err() << "fernlink-cli users: " << userEditMessage(e, 1)
                  << (e == UserEditError::SaveFailed ? QStringLiteral(": ") + store.lastError() : QString()) << "\n";
            err().flush();
            return 1;
        }
        out() << "added " << u.name << "\n";
        out().flush();
        return 0;
    }
    if (action == QLatin1String("remove") && args.size() == 2) {
        const UserEditError e = manager.remove(manager.indexOf(args[1]));
        if (e != UserEditError::None) {
            err() << "fernlink-cli users: " << userEditMessage(e, 1) << " '" << args[1] << "'\n";
            err().flush();
            return 1;
        }
        out() << "removed " << args[1] << "\n";
        out().flush();
        return 0;
    }
    return usageError(QStringLiteral("users needs list, add NAME ..., remove NAME or keep-damaged"));
}
}  // namespace

int runFtpCommand(const QStringList& args)
{
    if (args.value(0) == QLatin1String("ftpd"))
        return runFtpd(args.mid(1));
    if (args.value(0) == QLatin1String("users"))
        return runUsers(args.mid(1));
    return -1;
}

QString ftpUsage()
{
    return QStringLiteral(
        "  ftpd [--port N] [--max-users N] [--timeout MIN] [--login-timeout SEC] [--users FILE]\n"
        "        run the FTP server in the foreground until interrupted; a client must log in\n"
        "        within --login-timeout seconds (30; 0: no limit)\n"
        "  users [--users FILE] list\n"
        "  users [--users FILE] add NAME --password P --home DIR [--download] [--upload] [--delete] [--mkdir] [--disabled]\n"
        "  users [--users FILE] remove NAME\n"
        "  users [--users FILE] keep-damaged\n"
        "        rename an unreadable account file to FILE.damaged-DATE-TIME and start an empty list\n");
}

}  // namespace vantor::cli
