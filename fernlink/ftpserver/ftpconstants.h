// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bytes the controller sees on the FTP control connection and the fixed texts of the
// account files. Replies are sent as written here, followed by CR LF.
#include <QByteArray>

namespace vantor::ftp {

// Stored-file headers: the first archive string of each file.
inline constexpr char kUsersHeader[] = "Orvenna Software Solutions - StoreObject";
inline constexpr char kUserLogHeader[] = "Fernlink_UserLog_StoreObject";
inline constexpr char kUsersFileName[] = "users.dat";
inline constexpr char kUserLogFileName[] = "userlog.dat";

// The built-in administrator gates the user interface only; it is never an FTP login.
inline constexpr char kAdminName[] = "VantorQ5";
inline constexpr char kAdminPassword[] = "P4X9L2";

// A chunk starting with these 11 bytes is controller output text, not a command.
inline constexpr char kCncOutputPrefix[] = "CNCOUTDATA ";
inline constexpr int kCncOutputPrefixLength = 11;

inline constexpr int kDefaultPort = 21;
inline constexpr int kDefaultMaxUsers = 10;
inline constexpr int kDefaultIdleMinutes = 5;
// Connection threads kept waiting for the next client once theirs has gone.
inline constexpr int kIdleThreads = 16;
inline constexpr int kControlReadBytes = 2048;   // one read of the control connection
inline constexpr int kDataConnectWaitMs = 10000; // PORT connect or PASV accept must happen by then
// Longest command line we buffer; the controller's lines are a few dozen bytes.
inline constexpr int kMaxCommandLine = 4096;
// Failed PASS attempts before the connection is closed; each one waits a little longer.
inline constexpr int kMaxFailedLogins = 3;
inline constexpr int kFailedLoginDelayMs = 500;
// A connection that has not logged in by then is closed, whatever it keeps sending.
inline constexpr int kLoginDeadlineSeconds = 30;
// Replies not yet taken by a client that does not read: above this we stop reading its
// commands, and a connection stuck there for kFloodCloseMs is closed.
inline constexpr qint64 kMaxReplyBacklog = 64 * 1024;
inline constexpr int kFloodCloseMs = 10000;
// Replies still unread in the kernel when we end a connection: more than this and the client
// was not reading them, so the connection is reset rather than left to deliver them.
inline constexpr int kUnreadRepliesReset = 2048;
// A killed client's two connections close one after the other within microseconds, the
// data connection often first. After the end of an upload's data connection, its control
// connection's end is awaited this long, the disk sync included, before the upload is stored:
// mostly the dying client's second close needs the processor for a moment, not time.
inline constexpr int kUploadSettleUs = 1000;
// Descriptors one connection may hold at once: control, data, passive listener, a download
// still draining, the file, and its thread's wake-up descriptor.
inline constexpr int kDescriptorsPerConnection = 6;
// Descriptors kept for everything else the program opens (windows, logs, saves, idle threads).
inline constexpr int kDescriptorReserve = 64;
// A directory listing is formatted in pieces of about this size as the client reads it.
inline constexpr int kListingPieceBytes = 64 * 1024;
// How often the account file is looked at for changes made by another program.
inline constexpr int kUsersCheckMs = 1000;
// Commands waiting while a failed login is held back; a client that sends more is closed.
inline constexpr int kMaxQueuedCommands = 64;
// Bytes taken from the control socket's kernel buffer at most; the rest waits there.
inline constexpr qint64 kControlReadBuffer = 16 * 1024;
// Active data connections go back only to unprivileged ports of the client, so PORT cannot
// make us talk to the client host's own services (mail, FTP, printers).
inline constexpr int kLowestActivePort = 1024;

// Transfer states of a control connection.
enum TransferState { StateIdle = 0, StateLoggedOut = 1, StateListing = 2, StateStoring = 3, StateRetrieving = 4 };

// Access kinds asked of the path rules.
enum AccessKind { AccessDownload = 1, AccessUpload = 2, AccessReserved = 3, AccessDelete = 4, AccessMakeDir = 5, AccessList = 6 };

// Transfer outcomes counted by the server.
enum Outcome { OutcomeDownloaded = 2, OutcomeUploaded = 3, OutcomeDownloadFailed = 4, OutcomeUploadFailed = 5 };

// Reply texts.
namespace reply {
inline constexpr char kTooManyUsers[] = "421 Too many users are connected, please try again later.";
inline constexpr char kWelcome[] = "220 Welcome to   ";
inline constexpr char kGoodbye[] = "220 Bye";
inline constexpr char kPleaseLogin[] = "530 Please login with USER and PASS.";
inline constexpr char kPasswordRequired[] = "331 Password required for %1";
inline constexpr char kLoginFirst[] = "503 Login with USER first.";
inline constexpr char kLoginIncorrect[] = "530 Not logged in, user or password incorrect!";
inline constexpr char kLoggedIn[] = "230 User successfully logged in.";
inline constexpr char kTypeSet[] = "200 Type set to %1";
inline constexpr char kCurrentDir[] = "257 \"%1\" is current directory.";
inline constexpr char kDirChanged[] = "250 \"%1\" is current directory.";
inline constexpr char kDirNotFoundQuoted[] = "550 \"%1\": Directory not found.";
inline constexpr char kPermissionDeniedQuoted[] = "550 \"%1\": Permission denied.";
inline constexpr char kPortOk[] = "200 Port command successful.";
inline constexpr char kPasvFailed[] = "421 Failed to create socket.";
inline constexpr char kPasvOk[] = "227 Entering Passive Mode (%1,%2,%3).";
inline constexpr char kListOpening[] = "150 Opening ASCII mode data connection for directory list.";
inline constexpr char kFileOpening[] = "150 Opening BINARY mode data connection for file transfer.";
inline constexpr char kTransferComplete[] = "226 Transfer complete";
inline constexpr char kTransferCompleteDot[] = "226 Transfer complete.";
inline constexpr char kFileNotFound[] = "550 File not found.";
inline constexpr char kPermissionDenied[] = "550 Permission denied.";
inline constexpr char kFilenameInvalid550[] = "550 Filename invalid.";
inline constexpr char kFilenameInvalid501[] = "501 Filename invalid.";
inline constexpr char kSize[] = "213 %1";
inline constexpr char kFileDeleted[] = "250 File \"%1\" was deleted successfully.";
inline constexpr char kFileDeleteFailed[] = "450 Internal error deleting the file: \"%1\".";
inline constexpr char kDirNotFound[] = "550 Directory not found.";
inline constexpr char kDirDeleted[] = "250 Directory deleted successfully.";
inline constexpr char kDirNotEmpty[] = "550 Directory not empty.";
inline constexpr char kDirDeleteFailed[] = "450 Internal error deleting the directory.";
inline constexpr char kDirExists[] = "550 Directory already exists.";
inline constexpr char kMkdDenied[] = "550 Can't create directory. Permission denied.";
inline constexpr char kDirCreated[] = "250 Directory created successfully.";
inline constexpr char kDirCreateFailed[] = "450 Internal error creating the directory.";
inline constexpr char kDataClosed[] = "426 Data connection closed.";
inline constexpr char kAborOk[] = "226 ABOR command successful.";
inline constexpr char kSyst[] = "215 UNIX emulated by Tidewell FTP Server.";
inline constexpr char kNoop[] = "200 OK";
inline constexpr char kNotImplemented[] = "502 Command not implemented.";
inline constexpr char kCantOpenData[] = "425 Can't open data connection.";
inline constexpr char kDataSocketFailed[] = "421 Failed to create data connection socket.";
inline constexpr char kTransferAborted[] = "426 Connection closed; transfer aborted.";
inline constexpr char kCantAccessFile[] = "450 Can't access file.";
// Replies of our own for input the controller never sends.
inline constexpr char kLineTooLong[] = "500 Command line too long.";
inline constexpr char kIllegalPort[] = "501 Illegal PORT command.";
inline constexpr char kIdleTimeout[] = "421 Connection timed out.";
inline constexpr char kTooManyFailures[] = "421 Too many failed logins.";
inline constexpr char kTransferBusy[] = "425 A transfer is already running.";
inline constexpr char kLoginTimeout[] = "421 Login time-out.";
inline constexpr char kTooManyCommands[] = "421 Too many commands.";
// What PC clients (lftp, FileZilla, browsers) ask beyond the controller's commands.
inline constexpr char kTypeUnknown[] = "504 Command not implemented for that parameter.";
inline constexpr char kModeOk[] = "200 Mode set to S.";
inline constexpr char kStruOk[] = "200 Structure set to F.";
inline constexpr char kFeatBegin[] = "211-Features:";
inline constexpr char kFeatEnd[] = "211 End";
inline constexpr char kModTime[] = "213 %1";
inline constexpr char kEpsvOk[] = "229 Entering Extended Passive Mode (|||%1|)";
inline constexpr char kNameListOpening[] = "150 Opening ASCII mode data connection for file list.";
// Files keep the permissions the PC gives them; mirroring clients ask anyway.
inline constexpr char kSiteChmod[] = "200 SITE CHMOD ignored: permissions are kept.";
}  // namespace reply

}  // namespace vantor::ftp
