#pragma once
// Fernlink's message catalogue: every user-visible text of the CNC link, Chinese first and
// English second, fetched by its name in the language the program runs in.
#include "fernlink/app/programstate.h"

#include <QString>

namespace vantor::fernlink {

enum class Msg {
    Tip,
    PleaseConnect,
    TimeOut,
    GetListCaption,
    DeleteFileCaption,
    InsertFail,
    // send
    SendSelectFile,
    IncorrectNameQuestion,
    SizeOver4MQuestion,
    FileCannotOpenSerial,
    SendNoRightQuestion,
    SendNotSuit,
    CncHasFile,
    FileCountOver400,
    StateUnsend,
    StateSent,
    StateError,
    StateSendFail,
    StateNotEnoughRight,
    StateUnableToOpen,
    CrcError,
    // receive
    ReceiveSelectFile,
    FileExistsOverwrite,
    StateNotReceiving,
    StateReceived,
    StateReceiveError,
    StateUnableToCreate,
    StateReceiveNoRight,
    OpenFileFailed,
    // delete
    DeleteSelectItem,
    DeleteNoRight,
    DeleteConfirm,
    // refusals while another operation runs
    BusySendWhileSend,
    BusySendWhileReceive,
    BusySendWhileDelete,
    BusySendWhileDnc,
    BusySendWhileList,
    BusyReceiveWhileSend,
    BusyReceiveWhileReceive,
    BusyReceiveWhileDelete,
    BusyReceiveWhileDnc,
    BusyReceiveWhileList,
    BusyDeleteWhileSend,
    BusyDeleteWhileReceive,
    BusyDeleteWhileDelete,
    BusyDeleteWhileDnc,
    BusyDeleteWhileList,
    // Ethernet link and DNC
    NetListErrorMdi,
    NetListError,
    NetDeleteError,
    StateUnableToReceive,
    NetFileCannotOpenQuestion,
    NetDiskFull,
    DncCaption,
    DncOnRunning,
    DncBufferNotEmpty,
    DncNotDncMode,
    DncSendError,
    DncConnectError,
    DncBufferFull,
    DncTooManyRetries,
    DncError,
    DncCancelQuestion,
    PleaseStopTransfer,
    PleaseSaveFile,
    PleaseOpenFile,
    DncUnableToOpen,
    DncFileEmpty,
    DncStartLine,
    DncNumberTooBig,
    // connecting over Ethernet
    UnableToConnect,
    ConnectFailedStatus,
    EthernetConnected,
    EthernetDisconnected,
    // saved transfer lists
    ListFileFormatError,
    ListFileAlreadyQueued,
    ListLoadWhileSending,
    // login, user manager, online users and statistics pages
    LoginCaption,
    LoginWrongPassword,
    LoginUnknownUser,
    LoginSuccess,
    LogoutCaption,
    LogoutWhileSend,
    LogoutWhileReceive,
    LogoutWhileDelete,
    LogoutWhileDnc,
    LogoutWhileList,
    ChangePasswordCaption,
    ChangePasswordMismatch,
    ChangePasswordDone,
    LoginUserName,
    LoginPassword,
    LoginNewPassword,
    LoginConfirmPassword,
    LoginStateUser,
    LoginStateIn,
    LoginStateOut,
    UserManagerCaption,
    NoRightForUserManager,
    UserListColumn,
    UserDeleteConfirm,
    UserChangedSave,
    SelectPath,
    UserAdd,
    UserEdit,
    UserDelete,
    UserApply,
    UserDisabled,
    UserHomePath,
    UserBrowse,
    RightUpload,
    RightDownload,
    UserStoreUnreadable,
    OnlineThreadId,
    OnlineIpAddress,
    OnlineLogonTime,
    OnlineDisconnect,
    StatisticColumn,
    StatisticValueColumn,
    StatTotalConnections,
    StatCurrentConnections,
    StatFilesDownloaded,
    StatFilesUploaded,
    StatFailedDownloads,
    StatFailedUploads,
    StatBytesReceived,
    StatBytesSent,
    Count
};

// The text in the given language.
QString message(Msg id, Language language);
// The text in both languages, for logs.
QString messageChinese(Msg id);
QString messageEnglish(Msg id);

// The refusal shown when `kind` is asked for while `running` runs; empty when idle.
Msg busyMessage(OperationKind asked, OperationKind running);

}  // namespace vantor::fernlink
