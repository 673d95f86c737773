// SPDX-License-Identifier: GPL-3.0-or-later
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

// "--name value" as a number in low..high; false (with *why) when it is not.
bool intOption(const QCommandLineParser& parser, const QCommandLineOption& option, int* value, int low, int high, QString* why)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const int v = parser.value(option).toInt(&ok);
    if (!ok || v < low || v > high) {
        *why = QStringLiteral("--%1 needs a number from %2 to %3").arg(option.names().constFirst()).arg(low).arg(high);
        return false;
    }
    *value = v;
    return true;
}

// Minutes may have a fraction (0.05 is 3 s), which keeps time-out checks short.
bool minutesOption(const QCommandLineParser& parser, const QCommandLineOption& option, double* value, QString* why)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const double v = parser.value(option).toDouble(&ok);
    if (!ok || v < 0 || v > 24 * 60) {
        *why = QStringLiteral("--%1 needs minutes from 0 (never) to 1440").arg(option.names().constFirst());
        return false;
    }
    *value = v;
    return true;
}

const QCommandLineOption kUsersOpt(QStringLiteral("users"), QStringLiteral("The account file (default: the program folder's)."),
                                   QStringLiteral("FILE"));

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

int runFtpd(const CommandLine& line, const CommonOptions& common)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs the FTP server in the foreground until interrupted; a client must log in within\n"
        "--login-timeout seconds. Event lines go to stdout, the counters when it stops."));
    const QCommandLineOption portOpt(QStringLiteral("port"), QStringLiteral("Port to listen on (default 21; 0: any free one)."),
                                     QStringLiteral("N"));
    const QCommandLineOption maxUsersOpt(QStringLiteral("max-users"), QStringLiteral("Clients at the same time."), QStringLiteral("N"));
    const QCommandLineOption idleOpt(QStringLiteral("timeout"), QStringLiteral("Idle minutes before a client is dropped (0: never)."),
                                     QStringLiteral("MIN"));
    const QCommandLineOption loginOpt(QStringLiteral("login-timeout"), QStringLiteral("Seconds to log in (default 30; 0: no limit)."),
                                      QStringLiteral("SEC"));
    const QCommandLineOption pasvOpt(QStringLiteral("pasv-ports"),
                                     QStringLiteral("Ports for passive data connections, LOW-HIGH (default: the system's range)."),
                                     QStringLiteral("LOW-HIGH"));
    parser.addOptions({portOpt, maxUsersOpt, idleOpt, loginOpt, pasvOpt, kUsersOpt});
    if (const auto status = parseVerbArguments(parser, line, common, 0, 0))
        return *status;
    int port = kDefaultPort;
    int maxUsers = kDefaultMaxUsers;
    double idleMinutes = kDefaultIdleMinutes;
    int loginSeconds = kLoginDeadlineSeconds;
    const QString users = parser.value(kUsersOpt);
    QString why;
    if (!intOption(parser, portOpt, &port, 0, 65535, &why) || !intOption(parser, loginOpt, &loginSeconds, 0, 3600, &why)
        || !intOption(parser, maxUsersOpt, &maxUsers, 1, 1000, &why) || !minutesOption(parser, idleOpt, &idleMinutes, &why))
        return verbUsageError(line, why);
    const auto passivePorts = parsePassivePorts(parser.value(pasvOpt));
    if (!passivePorts)
        return verbUsageError(line, QStringLiteral("--pasv-ports wants LOW-HIGH with 1024 <= LOW <= HIGH <= 65535, not \"%1\"")
                                        .arg(parser.value(pasvOpt)));

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
    server.setPassivePorts(*passivePorts);
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
        if (server.portNeedsPrivilege())
            err() << "  ports below 1024 need a privilege this user lacks: choose --port 2121 (and the same port in the\n"
                     "  controller's FTP settings), or let the program bind low ports once as root:\n"
                     "  sudo setcap cap_net_bind_service=+ep " << QCoreApplication::applicationFilePath() << "\n";
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

int runUsers(const CommandLine& line, const CommonOptions& common)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "list: NAME<TAB>HOME<TAB>RIGHTS per account. add, remove: as the user manager page.\n"
        "keep-damaged: renames an unreadable account file to FILE.damaged-DATE-TIME and starts an empty list."));
    parser.addPositionalArgument(QStringLiteral("ACTION"), QStringLiteral("list, add, remove or keep-damaged."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The account, for add and remove."), QStringLiteral("[NAME]"));
    const QCommandLineOption passwordOpt(QStringLiteral("password"), QStringLiteral("add: the password."), QStringLiteral("P"));
    const QCommandLineOption homeOpt(QStringLiteral("home"), QStringLiteral("add: the account's folder."), QStringLiteral("DIR"));
    const QCommandLineOption downloadOpt(QStringLiteral("download"), QStringLiteral("add: may download."));
    const QCommandLineOption uploadOpt(QStringLiteral("upload"), QStringLiteral("add: may upload."));
    const QCommandLineOption deleteOpt(QStringLiteral("delete"), QStringLiteral("add: may delete."));
    const QCommandLineOption mkdirOpt(QStringLiteral("mkdir"), QStringLiteral("add: may make folders."));
    const QCommandLineOption disabledOpt(QStringLiteral("disabled"), QStringLiteral("add: the account is switched off."));
    const QList<QCommandLineOption> addOptions{passwordOpt, homeOpt, downloadOpt, uploadOpt, deleteOpt, mkdirOpt, disabledOpt};
    parser.addOption(kUsersOpt);
    parser.addOptions(addOptions);
    if (const auto status = parseVerbArguments(parser, line, common, 1, 2))
        return *status;
    const QStringList args = parser.positionalArguments();
    const QString users = parser.value(kUsersOpt);
    const bool named = args.size() == 2;
    const QString action = args.value(0);
    const bool known = ((action == QLatin1String("list") || action == QLatin1String("keep-damaged")) && !named)
        || ((action == QLatin1String("add") || action == QLatin1String("remove")) && named);
    if (!known)
        return verbUsageError(line, QStringLiteral("users needs list, add NAME ..., remove NAME or keep-damaged"));
    if (action != QLatin1String("add"))
        for (const QCommandLineOption& option : addOptions)
            if (parser.isSet(option))
                return verbUsageError(line, QStringLiteral("--%1 is for add").arg(option.names().constFirst()));

    CUserStore store(usersPath(users));
    store.load();
    if (action == QLatin1String("keep-damaged")) {
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
    if (action == QLatin1String("list")) {
        for (const CUser& u : store.getAll())
            out() << u.name << "\t" << u.homeDirectory << "\t" << rights(u) << "\n";
        out().flush();
        return 0;
    }
    CUserManager manager(store);
    if (action == QLatin1String("add")) {
        CUser u;
        u.name = args[1];
        u.password = parser.value(passwordOpt);
        u.homeDirectory = parser.value(homeOpt);
        if (!u.homeDirectory.isEmpty())
            u.homeDirectory = QFileInfo(u.homeDirectory).absoluteFilePath();
        u.download = parser.isSet(downloadOpt);
        u.upload = parser.isSet(uploadOpt);
        u.deleteRight = parser.isSet(deleteOpt);
        u.makeDirectory = parser.isSet(mkdirOpt);
        u.disabled = parser.isSet(disabledOpt);
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
}  // namespace

int runFtpCommand(const CommandLine& line, const CommonOptions& common)
{
    if (line.verb().name == QLatin1String("ftpd"))
        return runFtpd(line, common);
    return runUsers(line, common);
}

QList<Verb> ftpVerbs()
{
    return {
        {QStringLiteral("ftpd"), QStringLiteral("[--port N] [--max-users N] [--timeout MIN] [--login-timeout SEC] [--pasv-ports LOW-HIGH] [--users FILE]"),
         QStringLiteral("run the FTP server in the foreground until interrupted")},
        {QStringLiteral("users"),
         QStringLiteral("[--users FILE] list | add NAME --password P --home DIR [--download] [--upload] [--delete] [--mkdir] "
                        "[--disabled] | remove NAME | keep-damaged"),
         QStringLiteral("the FTP accounts")},
    };
}

}  // namespace vantor::cli
