// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/app/messages.h"

#include <array>

namespace vantor::fernlink {

namespace {

struct Entry {
    Msg id;
    const char* chinese;
    const char* english;
};

// One row per message: Chinese, English. Texts are the controller software's own.
constexpr Entry kCatalogue[] = {
    {Msg::Tip, "提示", "Tip"},
    {Msg::PleaseConnect, "请连接后再操作", "Please Connect to CNC"},
    {Msg::TimeOut, "通信超时", "Time out"},
    {Msg::GetListCaption, "获取列表", "Get flie list"},
    {Msg::DeleteFileCaption, "删除文件", "Delete file"},
    {Msg::InsertFail, "插入列表项失败", "Insert fail."},
    {Msg::SendSelectFile, "请选择你要发送的文件", "Please Select File"},
    {Msg::IncorrectNameQuestion, "文件名错误\n\n [是]跳过本文件\n [否]结束本次传输",
     "Incorrect file name \n\n [Yes]ignore the file and continue to transfer [No]Over the transmission"},
    {Msg::SizeOver4MQuestion, "文件大小超过4M\n\n [是]跳过本文件\n [否]结束本次传输",
     "File size more than 4M\n\n [Yes]ignore the file and continue to transfer [No]Over the transmission"},
    {Msg::FileCannotOpenSerial, "文件 %1 打开失败!", "File can not be open: %1."},
    {Msg::SendNoRightQuestion, "传输文件 %1 失败:权限不够或系统不在MDI方式或系统有报警或在使用中 \n\n [是]结束本次传输\n [否]跳过该文件继续传输",
     "Send file Error %1:Not enough right or not on MDI or alarm or in used!\n Stop transfers?\n\n [Yes]Over the transmission\n [No]ignore the file and continue to transfer  "},
    {Msg::SendNotSuit, "传输文件 错误：系统不匹配。\n 请选择与系统相匹配的设置。",
     "Send file Error : Not suit the system!\n Please make sure the selection suit with the system."},
    {Msg::CncHasFile, "CNC已存在名为%1的文件，是否覆盖该文件？", "CNC had the file with same name , are you rewrite?"},
    {Msg::FileCountOver400, "文件个数已经达到400", "number of file over 400"},
    {Msg::StateUnsend, "unsend", "unsend"},
    {Msg::StateSent, "sent", "sent"},
    {Msg::StateError, "error", "error"},
    {Msg::StateSendFail, "发送失败", "Send Fail"},
    {Msg::StateNotEnoughRight, "CNC拒绝:权限不够/不在MDI方式/有报警/在使用中", "refused by the CNC: no right, not in MDI, alarm or in use"},
    {Msg::StateUnableToOpen, "打开文件失败", "Unable to open file"},
    {Msg::CrcError, "crc 错误", "crc 错误"},
    {Msg::ReceiveSelectFile, "没选择要接收的文件！", "Please select file"},
    {Msg::FileExistsOverwrite, "文件 %1 已存在!是否覆盖该文件？", "File %1 has Exist! are you rewrite?"},
    {Msg::StateNotReceiving, "未接收", "Not receiving"},
    {Msg::StateReceived, "已接收", "Received"},
    {Msg::StateReceiveError, "错误", "Error"},
    {Msg::StateUnableToCreate, "创建文件失败", "Unable to create file"},
    {Msg::StateReceiveNoRight, "权限不够或系统不在MDI方式或系统有报警", "Not enough right or not right or alarm "},
    {Msg::OpenFileFailed, "打开文件失败", "打开文件失败"},
    {Msg::DeleteSelectItem, "请选择要删除的子项", "Please Select item"},
    {Msg::DeleteNoRight, "删除文件 %1 错误：权限不够或正在使用。请对CNC系统进行设置。",
     "Delete file error %1: Not enough right or in used!  Please setup the CNC."},
    {Msg::DeleteConfirm, "确定要删除选择的文件？", "Are you sure"},
    {Msg::BusySendWhileSend, "正在发送文件不能再发送文件", "  Can't send it during the send process. "},
    {Msg::BusySendWhileReceive, "正在接收文件不能发送文件", " Can't send it during the receive file process. "},
    {Msg::BusySendWhileDelete, "正在删除文件不能发送文件", " Can't send it during delete file process. "},
    {Msg::BusySendWhileDnc, "正在DNC不能发送文件", " Can't send it during DNC process"},
    {Msg::BusySendWhileList, "正在获取文件列表不能发送文件", " Can't send it during the get list process. "},
    {Msg::BusyReceiveWhileSend, "正在发送文件不能接收文件列表", "Can't receive it during the send process."},
    {Msg::BusyReceiveWhileReceive, "正在接收文件不能接收文件列表", "Can't receive it during the receive process."},
    {Msg::BusyReceiveWhileDelete, "正在删除文件不能接收文件列表", "Can't receive it during the delete file process."},
    {Msg::BusyReceiveWhileDnc, "正在DNC不能接收文件列表", "Can't receive it during the DNC process."},
    {Msg::BusyReceiveWhileList, "正在获取文件列表不能接收文件列表", "Can't receive it during the get file  process."},
    {Msg::BusyDeleteWhileSend, "正在发送文件不能删除列表项", "Can't delete it during the send file process."},
    {Msg::BusyDeleteWhileReceive, "正在接收文件不能删除列表项", "Can't delete it during the receive file process."},
    {Msg::BusyDeleteWhileDelete, "正在删除CNC文件不能删除列表项", "Can't delete it during the delete file process."},
    {Msg::BusyDeleteWhileDnc, "正在DNC不能删除列表项", "Can't delete it during the DNC process."},
    {Msg::BusyDeleteWhileList, "正在获取文件列表不能删除列表项", "Can't delete it during the get file list process."},
    {Msg::NetListErrorMdi, "获取文件列表错误,请在MDI方式和没报警的时候操作", "Unable to get file list."},
    {Msg::NetListError, "获取文件列表错误", "Unable to get file list."},
    {Msg::NetDeleteError, "删除错误", "Delete file error"},
    {Msg::StateUnableToReceive, "接收文件错误", "Unable to receive file"},
    {Msg::NetFileCannotOpenQuestion, "打开%1 失败，是否结束本次传输", "File can not be open: %1,Stop transfers?"},
    {Msg::NetDiskFull, "写文件失败,可能磁盘空间已满", "写文件失败,可能磁盘空间已满"},
    {Msg::DncCaption, "DNC", "DNC"},
    {Msg::DncOnRunning, "在正运行不能发送", "On running"},
    {Msg::DncBufferNotEmpty, "缓冲区不为空,不能发送", "The DNC Buffer not empty"},
    {Msg::DncNotDncMode, "请在DNC方式下传输", "Please Send it in DNC mode."},
    {Msg::DncSendError, "发送错误", "Send file error"},
    {Msg::DncConnectError, "连接错误", "Connect  error"},
    {Msg::DncBufferFull, "发送错误或者缓冲区已满", "Error or the buffer is full"},
    {Msg::DncTooManyRetries, "重发次数太多！", "Error"},
    {Msg::DncError, "错误", "Error"},
    {Msg::DncCancelQuestion, "确定取消本次传输?", "are you can cancel transfer?"},
    {Msg::PleaseStopTransfer, "请先停止其他的传输！", "Please stop transfer"},
    {Msg::PleaseSaveFile, "请先保存编辑的文件", "Please save file"},
    {Msg::PleaseOpenFile, "未打开文件或者未使用编辑", "Please open file"},
    {Msg::DncUnableToOpen, "打开文件失败", "Unable to open file."},
    {Msg::DncFileEmpty, "文件为空", "file content is empty"},
    {Msg::DncStartLine, "开始行号", "开始行号"},
    {Msg::DncNumberTooBig, "输入的行号大于现有的行数", "The  number too big"},
    {Msg::UnableToConnect, "连接失败，%1错误", "Unable to connect to CNC ,%1"},
    {Msg::ConnectFailedStatus, "连接失败", "Unable to connect to CNC"},
    {Msg::EthernetConnected, "以太网已连接", "connect"},
    {Msg::EthernetDisconnected, "以太网已断开", "disconnect"},
    {Msg::ListFileFormatError, "文件格式不对", "file format error"},
    {Msg::ListFileAlreadyQueued, "已存在和%1相同的文件名,不能再添加", "The file %1 already exists."},
    {Msg::ListLoadWhileSending, "正在发送文件,不能载入文件列表", "Sending,Con not Load list."},
    // login, user manager, online users and statistics pages
    {Msg::LoginCaption, "登录", "Login"},
    {Msg::LoginWrongPassword, "密码错误", "Wrong password"},
    {Msg::LoginUnknownUser, "不存在的用户名", "No such user"},
    {Msg::LoginSuccess, "登录成功", "Logged in"},
    {Msg::LogoutCaption, "退出登录", "Logout"},
    {Msg::LogoutWhileSend, "正在传输文件,请先停止再退出", "Sending files, please stop the transfer before logging out"},
    {Msg::LogoutWhileReceive, "正在接收文件,请先停止传输再退出", "Receiving files, please stop the transfer before logging out"},
    {Msg::LogoutWhileDelete, "正在删除文件,请先停止传输再退出", "Deleting files, please stop the transfer before logging out"},
    {Msg::LogoutWhileDnc, "正在DNC,请先停止传输再退出", "DNC is running, please stop the transfer before logging out"},
    {Msg::LogoutWhileList, "正在获取文件列表,请先停止传输再退出", "Getting the file list, please stop the transfer before logging out"},
    {Msg::ChangePasswordCaption, "修改密码", "Change password"},
    {Msg::ChangePasswordMismatch, "两次输入的密码不相同", "The two passwords differ"},
    {Msg::ChangePasswordDone, "修改成功", "Password changed"},
    {Msg::LoginUserName, "用户名", "user name"},
    {Msg::LoginPassword, "密码", "Password"},
    {Msg::LoginNewPassword, "新密码", "New password"},
    {Msg::LoginConfirmPassword, "确认密码", "Confirm password"},
    {Msg::LoginStateUser, "当前用户: %1", "Logged in as %1"},
    {Msg::LoginStateIn, "已登录", "Logged in"},
    {Msg::LoginStateOut, "未登录", "Logged out"},
    {Msg::UserManagerCaption, "用户管理", "user manager"},
    {Msg::NoRightForUserManager, "没权限对此进行操作", "No right to do this"},
    {Msg::UserListColumn, "用户", "Users"},
    {Msg::UserDeleteConfirm, "确定要删除该用户 '%1'?", " Are you sure delte the user '%1'"},
    {Msg::UserChangedSave, "用户已经改变.\n\n 是否保存?", "had changed,save?"},
    {Msg::SelectPath, "选择路径:", "select path"},
    {Msg::UserAdd, "添加", "Add"},
    {Msg::UserEdit, "编辑", "Edit"},
    {Msg::UserDelete, "删除", "Delete"},
    {Msg::UserApply, "应用", "Apply"},
    {Msg::UserDisabled, "禁用", "Disabled"},
    {Msg::UserHomePath, "主目录", "Home path"},
    {Msg::UserBrowse, "浏览...", "Browse..."},
    {Msg::RightUpload, "上传", "Upload"},
    {Msg::RightDownload, "下载", "Download"},
    {Msg::UserStoreUnreadable, "账户文件无法读取, 修改不会写入文件: %1", "The account file could not be read; changes are not written to it: %1"},
    {Msg::UserStoreSetAside, "保留损坏的文件并新建账户列表...", "Keep the damaged file and start a new account list..."},
    {Msg::UserStoreSetAsideConfirm,
     "账户文件 %1 已损坏, 无法读取.\n\n是否将它改名保留在原目录 (文件名加上日期), 并从空的账户列表重新开始? 文件不会被删除.",
     "The account file %1 is damaged and cannot be read.\n\nKeep it beside under a dated name and start an empty account list? Nothing is deleted."},
    {Msg::UserStoreSetAsideDone, "损坏的账户文件已保留为 %1", "The damaged account file was kept as %1"},
    {Msg::UserStoreSetAsideFailed, "无法保留损坏的账户文件: %1", "The damaged account file could not be kept aside: %1"},
    {Msg::OnlineThreadId, "线程ID", "thread id"},
    {Msg::OnlineIpAddress, "IP 地址", "IP Addr"},
    {Msg::OnlineLogonTime, "登陆时间", "logon time"},
    {Msg::OnlineDisconnect, "断开该用户的连接", "disconnect this user"},
    {Msg::StatisticColumn, "统计", "statistic"},
    {Msg::StatisticValueColumn, "值", "value"},
    {Msg::StatTotalConnections, "总连接数", "total connections"},
    {Msg::StatCurrentConnections, "当前连接数", "current connections"},
    {Msg::StatFilesDownloaded, "文件下载数", "files downloaded"},
    {Msg::StatFilesUploaded, "文件上传数", "files uploaded"},
    {Msg::StatFailedDownloads, "文件下载失败数", "failed downloads"},
    {Msg::StatFailedUploads, "文件上传失败数", "failed uploads"},
    {Msg::StatBytesReceived, "总的接收字节数", "total bytes received"},
    {Msg::StatBytesSent, "总的发送字节数", "total bytes sent"},
    // send, receive, DNC and operation log pages
    {Msg::ColFilePath, "文件路径", "File Path"},
    {Msg::ColSaveName, "存储为(CNC)", "Save Name(CNC)"},
    {Msg::ColFileSize, "文件大小(B)", "File Size(B)"},
    {Msg::ColSavePath, "存储区", "Save Path"},
    {Msg::ColState, "状态", "State"},
    {Msg::ColFileName, "文件名", "File Name"},
    {Msg::SendAddWhileSending, "正在发送文件,不能添加列表", "Sending,Can not insert list."},
    {Msg::SendRemoveWhileSending, "正在发送文件,不能删除文件列表", "Sending,Can not delete file list."},
    {Msg::SendRemoveConfirm, "确定删除？", "Are you  sure ?"},
    {Msg::SendClearWhileSending, "正在发送文件,不能清空列表", "Sending ,Can not Clear list."},
    {Msg::SendClearConfirm, "确定清空列表？", "Are you sure ?"},
    {Msg::SendNeedLogin, "请登录后在操作", "请登录后在操作"},
    {Msg::PreviewNoFile, "未选择文件", "no select file"},
    {Msg::PreviewMultipleFiles, "已选择多个文件", "multi-files had selected!"},
    {Msg::AreaUser, "用户区", "用户区"},
    {Msg::AreaSys, "系统区", "系统区"},
    {Msg::AreaUsb, "U盘", "U盘"},
    {Msg::ListFileTruncated, "列表文件不完整,只载入了前%1项", "The list file is cut short: only its first %1 complete rows were loaded."},
    {Msg::SendButtonAdd, "添加", "Add"},
    {Msg::SendButtonRemove, "删除", "Remove"},
    {Msg::SendButtonClear, "清空", "Clear"},
    {Msg::SendButtonSaveList, "保存列表", "Save list"},
    {Msg::SendButtonLoadList, "载入列表", "Load list"},
    {Msg::SendButtonSend, "发送", "Send"},
    {Msg::ButtonStop, "停止", "Stop"},
    {Msg::ReceiveDeleteListSelect, "没选择要删除的项！", "Please select list"},
    {Msg::ReceiveCaption, "接收", "Receive"},
    {Msg::ReceiveDeleteListConfirm, "确定要删除选择的项？", "Are you sure"},
    {Msg::SelectFolder, "选择文件夹", "Select folder"},
    {Msg::UsbListNeedsEthernet, "该功能只能在通过网络连接时用！", "该功能只能在通过网络连接时用！"},
    {Msg::ReceiveButtonCncList, "获取CNC文件列表", "Get CNC file list"},
    {Msg::ReceiveButtonUsbList, "获取U盘文件列表", "Get USB file list"},
    {Msg::ReceiveButtonDeleteList, "从列表中删除", "Delete from list"},
    {Msg::ReceiveButtonDeleteFile, "删除文件", "Delete file"},
    {Msg::ReceiveButtonReceive, "接收", "Receive"},
    {Msg::ProgressCurrentFile, "当前文件", "Current file"},
    {Msg::ProgressPackets, "包", "Packets"},
    {Msg::ProgressFile, "文件进度", "File progress"},
    {Msg::ProgressElapsed, "已用时间", "Elapsed"},
    {Msg::ProgressRemaining, "剩余时间", "Remaining"},
    {Msg::ProgressSpeed, "速度", "Speed"},
    {Msg::DncErrorCheck, "校验", "Error check"},
    {Msg::DncRetries, "重发次数", "Retries"},
    {Msg::DncTotalErrors, "错误总数", "Total errors"},
    {Msg::DncButtonStart, "开始", "Start"},
    {Msg::DncButtonStop, "停止", "Stop"},
    {Msg::LogColTime, "时间", "Time"},
    {Msg::LogColWhat, "操作", "Operation"},
    {Msg::LogColName, "文件", "File"},
    {Msg::LogDeleted, "删除CNC文件", "CNC file deleted"},
    {Msg::LogReceiving, "接收文件", "Receiving file"},
    {Msg::LogSent, "发送文件", "File sent"},
    {Msg::LogDncStarted, "DNC开始", "DNC started"},
    {Msg::LogButtonClear, "清空", "Clear"},
    // main window, editor and settings page
    {Msg::EditorPosition, "行 %1/%2   %3 字节", "Line %1/%2   %3 B"},
    {Msg::LinkNotConnected, "尚未连接", "disconnect"},
    {Msg::SerialOpen, "串口已打开", "串口已打开"},
    {Msg::SerialClosed, "串口已断开", "串口已断开"},
    {Msg::SerialNeedsDialout,
     "无权打开串口 %1: 本用户不在 dialout 组中。\n请以 root 身份(su - 或 sudo)执行一次:\nadduser %2 dialout\n然后注销并重新登录。",
     "Serial port %1 cannot be opened: this user is not in the dialout group.\nRun once as root (su - or sudo):\n"
     "adduser %2 dialout\nthen log out and log in again."},
    {Msg::ServerRunning, " 服务器已开启", "serve runnin"},
    {Msg::ServerStopped, "服务器已停止", "serve stop"},
    {Msg::CloseWhileSend, "正在传输文件,请先停止传输再关闭程序", "Please close program after stop transfer "},
    {Msg::CloseWhileReceive, "正在接收文件,请先停止传输再关闭程序", "Please close program after stop transfer "},
    {Msg::CloseWhileDelete, "正在删除文件,请先停止传输再关闭程序", "Please close program after stop transfer "},
    {Msg::CloseWhileDnc, "正在DNC,请先停止传输再关闭程序", "Please close program after stop transfer "},
    {Msg::CloseWhileList, "正在获取文件列表,请先停止传输再关闭程序", "Please close program after stop transfer "},
    {Msg::DisconnectWhileSend, "正在传输文件,请先停止传输再关闭连接", "Please disconnect after stop transfer"},
    {Msg::DisconnectWhileReceive, "正在接收文件,请先停止传输再关闭连接", "Please disconnect after stop transfer"},
    {Msg::DisconnectWhileDelete, "正在删除文件,请先停止传输再关闭连接", "Please disconnect after stop transfer"},
    {Msg::DisconnectWhileDnc, "正在DNC,请先停止传输再关闭连接", "Please disconnect after stop transfer"},
    {Msg::DisconnectWhileList, "正在获取文件列表,请先停止传输再关闭连接", "Please disconnect after stop transfer"},
    {Msg::BaudWhileSend, "串口正在发送文件,不能改变波特率!", "串口正在发送文件,不能改变波特率!"},
    {Msg::BaudWhileReceive, "串口正在接收文件,不能改变波特率!", "串口正在接收文件,不能改变波特率!"},
    {Msg::BaudWhileDelete, "串口正在删除CNC文件,不能改变波特率!", "串口正在删除CNC文件,不能改变波特率!"},
    {Msg::BaudWhileDnc, "串口正在DNC,不能改变波特率!", "串口正在DNC,不能改变波特率!"},
    {Msg::BaudWhileList, "串口正在获取CNC文件,不能改变波特率!", "串口正在获取CNC文件,不能改变波特率!"},
    {Msg::PortWhileSend, "串口正在发送文件,不能改变串口!", "串口正在发送文件,不能改变串口!"},
    {Msg::PortWhileReceive, "串口正在接收文件,不能改变串口!", "串口正在接收文件,不能改变串口!"},
    {Msg::PortWhileDelete, "串口正在删除CNC文件,不能改变串口!", "串口正在删除CNC文件,不能改变串口!"},
    {Msg::PortWhileDnc, "串口正在DNC,不能改变串口!", "串口正在DNC,不能改变串口!"},
    {Msg::PortWhileList, "串口正在获取CNC文件,不能改变串口!", "串口正在获取CNC文件,不能改变串口!"},
    {Msg::RestartToApply, "重启程序后生效", "Please restart the program"},
    {Msg::ContentChangedReload, "内容已经改变,是否重新导入文件", "The content had change, do you reload?"},
    {Msg::EditorCaption, "CommQ5C", "CommQ5C"},
    {Msg::DncCantOpenRecent, "正在DNC,不能打开文件", "DNC,Can't open file"},
    {Msg::DncCantOpenFile, "正在DNC,不能打开文件", "DNC,Unable to open file."},
    {Msg::EditWhileBusy, "正在传输，不能编辑文件", "sending ,Unable to edit"},
    {Msg::ReplaceAllCount, "已完成搜索并完成%1处替换", "Finished %1."},
    {Msg::ReplaceAllNone, "已完成搜索并完成0处替换", "Finished."},
    {Msg::ReplaceNotFound, "已完成搜索，未找到搜索项", "Finished."},
    {Msg::FindNotFound, "已完成搜索。", "Finished."},
    {Msg::SaveFailed, "保存文件 %1 失败: %2", "Can not save %1: %2"},
    {Msg::SaveUnencodable, "文件 %1 未保存: 第 %2 行的字符 \"%3\" 无法以该文件的编码 (%4) 保存。请修改该行后再保存。",
     "%1 was not saved: the character \"%3\" in line %2 cannot be stored in the file's encoding (%4). Change that line and save again."},
    {Msg::SaveChangesQuestion, "是否保存对 %1 的修改?", "Save changes to %1?"},
    {Msg::Untitled, "无标题", "Untitled"},
    {Msg::GoToLinePrompt, "行号 (当前 %1, 最后 %2):", "Line number (current %1, last %2):"},
    {Msg::FindWhat, "查找内容:", "Find what:"},
    {Msg::ReplaceWith, "替换为:", "Replace with:"},
    {Msg::MatchCase, "区分大小写", "Match case"},
    {Msg::FindNextButton, "查找下一个", "Find Next"},
    {Msg::ReplaceButton, "替换", "Replace"},
    {Msg::ReplaceAllButton, "全部替换", "Replace All"},
    {Msg::CloseButton, "关闭", "Close"},
    {Msg::AddressCaption, "用以太网连接CNC", "Connect to CNC by Ethernet"},
    {Msg::AddressLabel, "CNC的IP地址:", "IP address of the CNC:"},
    {Msg::OutlookEdit, "编辑", "Edit"},
    {Msg::OutlookSend, "PC→CNC", "PC ->  CNC"},
    {Msg::OutlookReceive, "CNC→PC", "CNC -> PC"},
    {Msg::OutlookSettings, "设置", "Setting"},
    {Msg::OutlookOnline, "在线用户", "Online user"},
    {Msg::OperationLogTitle, "操作日志", "Operation log"},
    {Msg::StatisticsTitle, "统计", "Statistics"},
    {Msg::MenuFile, "文件(&F)", "&File"},
    {Msg::MenuNew, "新建(&N)", "&New"},
    {Msg::MenuOpen, "打开(&O)...", "&Open..."},
    {Msg::MenuSave, "保存(&S)", "&Save"},
    {Msg::MenuSaveAs, "另存为(&A)...", "Save &As..."},
    {Msg::MenuPrint, "打印(&P)...", "&Print..."},
    {Msg::MenuPrintPreview, "打印预览(&V)", "Print Pre&view"},
    {Msg::MenuPrintSetup, "打印设置(&R)...", "P&rint Setup..."},
    {Msg::MenuRecentFiles, "最近的文件", "Recent File"},
    {Msg::MenuExit, "退出(&X)", "E&xit"},
    {Msg::MenuEdit, "编辑(&E)", "&Edit"},
    {Msg::MenuUndo, "撤消(&U)", "&Undo"},
    {Msg::MenuCut, "剪切(&T)", "Cu&t"},
    {Msg::MenuCopy, "复制(&C)", "&Copy"},
    {Msg::MenuPaste, "粘贴(&P)", "&Paste"},
    {Msg::MenuSelectAll, "全选(&L)", "Select A&ll"},
    {Msg::MenuFind, "查找(&F)...", "&Find..."},
    {Msg::MenuFindNext, "查找下一个(&N)", "Find &Next"},
    {Msg::MenuReplace, "替换(&E)...", "R&eplace..."},
    {Msg::MenuGoToLine, "转到行(&G)...", "&Go to line..."},
    {Msg::MenuConnect, "连接(&C)", "&Connect"},
    {Msg::MenuConnectSerial, "用串口连接CNC", "Connect by serial port"},
    {Msg::MenuConnectNet, "用以太网连接CNC...", "Connect by network port..."},
    {Msg::MenuDisconnect, "断开连接", "Disconnect"},
    {Msg::MenuServer, "服务器(&S)", "&Server"},
    {Msg::MenuStartServer, "启动服务器", "Start server"},
    {Msg::MenuStopServer, "停止服务器", "Stop server"},
    {Msg::MenuView, "查看(&V)", "&View"},
    {Msg::MenuToolbar, "工具栏", "Toolbar"},
    {Msg::MenuStatusBar, "状态栏", "Status bar"},
    {Msg::MenuLanguage, "语言(&L)", "&Language"},
    {Msg::MenuHelp, "帮助(&H)", "&Help"},
    {Msg::MenuAbout, "关于 Fernlink", "About Fernlink"},
    {Msg::SettingsMachineType, "机床型号:", "Machine type:"},
    {Msg::SettingsBaudRate, "波特率:", "Baud rate:"},
    {Msg::SettingsPort, "串口:", "Serial port:"},
    {Msg::SettingsSerialGroup, "串口设置", "Serial port"},
    {Msg::SettingsStartGroup, "启动", "Start-up"},
    {Msg::SettingsStartInTray, "启动时最小化到托盘", "Start minimised in the tray"},
    {Msg::SettingsLaunchOnStartup, "登录时启动程序", "Start when I log on"},
    {Msg::SettingsFtpGroup, "FTP 服务器", "FTP server"},
    {Msg::SettingsFtpPort, "端口:", "Port:"},
    {Msg::SettingsMaxUsers, "最大连接数:", "Maximum connections:"},
    {Msg::SettingsMaxTimeout, "超时(分钟):", "Time-out (minutes):"},
    {Msg::SettingsPasvPorts, "被动模式端口(低-高,空:任意):", "Passive ports (LOW-HIGH, empty: any):"},
    {Msg::SettingsPasvPortsInvalid, "被动模式端口范围应写成 低-高, 1024 <= 低 <= 高 <= 65535",
     "Write the passive port range as LOW-HIGH, 1024 <= LOW <= HIGH <= 65535"},
    {Msg::SettingsAutoActivate, "启动时开启服务器", "Start the server at start-up"},
    {Msg::SettingsApply, "应用", "Apply"},
    {Msg::AutostartFailed, "无法写入自动启动项: %1", "Can not write the start-up entry: %1"},
    // send and receive pages: menus and the row editor
    {Msg::RowSelectAll, "全选", "Select all"},
    {Msg::MenuEditRow, "编辑", "Edit"},
    {Msg::RowEditTitle, "发送文件设置", "发送文件设置"},
    {Msg::RowEditBrowse, "浏览...", "Browse..."},
    // send page: the rename dialog
    {Msg::RenameTitle, "重命名", "重命名"},
    {Msg::RenameHint, "程序名只能是 字母O+数字(00001--99999)的形式", "File name format must be O00001--O99999 "},
    {Msg::RenameBadName, "你输入的文件名不符合规则", "Incorrect file name"},
    {Msg::RenameOldName, "原文件名", "Old name"},
    {Msg::RenameNewName, "新文件名", "New name"},
    // the address dialog's port and recent addresses; text the controller cannot hold
    {Msg::AddressRecent, "最近连接的地址", "Recent addresses"},
    {Msg::AddressPortTip, "CNC的TCP端口(通常为1234)", "TCP port of the CNC (normally 1234)"},
    {Msg::NotGbkQuestion, "%1 含有GBK编码无法表示的字符,CNC无法保存\n\n [是]跳过本文件\n [否]结束本次传输",
     "%1 holds characters that the CNC's code page (GBK) can not hold\n\n [Yes]ignore the file and continue to transfer [No]Over the transmission"},
    {Msg::NotGbkText, "%1 含有GBK编码无法表示的字符,不能保存", "%1 holds characters that GBK can not hold; it can not be saved."},
    {Msg::LogFailed, "失败", "Failed"},
    {Msg::StatePartitionRefused, "CNC拒绝存储区 %1", "CNC refused area %1"},
    {Msg::SendCaption, "发送", "Send"},
    {Msg::LogBatchEnded, "本次传输结束", "Batch ended"},
    {Msg::BatchSendSummary, "已发送 %1 个, 跳过 %2 个, 失败 %3 个", "%1 sent, %2 skipped, %3 failed"},
    {Msg::BatchReceiveSummary, "已接收 %1 个, 跳过 %2 个, 失败 %3 个", "%1 received, %2 skipped, %3 failed"},
    // what a "Time out" waited for, shown after it in brackets
    {Msg::WaitedForListing, "等待CNC的文件列表", "waiting for the CNC's file list"},
    {Msg::WaitedForAnswer, "等待CNC的应答", "waiting for the CNC's answer"},
    {Msg::WaitedForDelete, "等待CNC删除文件", "waiting for the CNC to delete the file"},
    {Msg::WaitedForDncStart, "等待CNC开始DNC", "waiting for the CNC to start the DNC"},
    {Msg::ServerPortNeedsPrivilege,
     "FTP服务器无法在端口 %1 上监听: 1024 以下的端口需要本用户没有的权限。\n"
     "请在设置页选择 1023 以上的端口(并在CNC的FTP设置中使用同一端口)，或以 root 身份执行一次:\n"
     "setcap cap_net_bind_service=+ep %2\n"
     "软件包升级后该权限会丢失; 要保留它, 请在 /etc/default/fernlink 中设置 GRANT_NET_BIND_SERVICE=yes "
     "并执行 dpkg-reconfigure fernlink。",
     "The FTP server cannot listen on port %1: ports below 1024 need a privilege this user lacks.\n"
     "Choose a port above 1023 on the settings page (and the same port in the CNC's FTP settings), "
     "or run once as root:\nsetcap cap_net_bind_service=+ep %2\n"
     "An upgrade of the package drops that right; to keep it, set GRANT_NET_BIND_SERVICE=yes in "
     "/etc/default/fernlink and run dpkg-reconfigure fernlink."},
    {Msg::SettingsTraceHelp,
     "如需技术支持,请先设置环境变量 QT_LOGGING_RULES=\"vantor.*.debug=true\" 再从终端启动本程序,跟踪信息会输出到标准错误(stderr)。",
     "For a support request, start the program from a terminal with QT_LOGGING_RULES=\"vantor.*.debug=true\": the trace goes to stderr."},
    {Msg::ReceivedFileNotSaved, "接收的文件未能保存,原有文件保持不变: %1", "The received file could not be saved (any earlier file is unchanged): %1"},
    {Msg::FileNotSaved, "文件未能保存,原有文件保持不变: %1", "The file could not be saved (any earlier file is unchanged): %1"},
    {Msg::StateNotConfirmed, "CNC未确认收到", "not confirmed by the CNC"},
    {Msg::StateVerifyFailed, "校验失败", "verify failed"},
    {Msg::WaitedForConfirm, "等待CNC确认收到文件", "waiting for the CNC to confirm the file"},
    {Msg::SettingsVerifyAfterSend, "发送后读回校验", "Verify after send (read back and compare)"},
    {Msg::DncLinkLost, "连接中断, DNC在第 %1 行中断。\n可从第 %1 行重新开始。",
     "The link was lost: the DNC stopped at line %1.\nIt can be restarted from line %1."},
    {Msg::LogDncInterrupted, "DNC中断", "DNC interrupted"},
    {Msg::DncRestartQuestion, "%1 上次DNC在第 %2 行中断, 是否从该行重新开始?",
     "The last DNC of %1 stopped at line %2. Restart from there?"},
    {Msg::DncStartAt, "开始行号或N段号(如 N120):", "Start line or block number (for example N120):"},
    {Msg::DncStartNotFound, "程序中没有段号 %1", "The program has no block %1"},
    {Msg::DncHeaderGroup, "重新开始时先发送", "Before a restart, send"},
    {Msg::DncHeaderNone, "无", "nothing"},
    {Msg::DncHeaderProgram, "程序开头(到第一个运动指令为止)", "the program's first lines, up to the first motion"},
    {Msg::DncHeaderCustom, "以下程序头:", "this header:"},
    {Msg::LogButtonExport, "导出...", "Export..."},
    {Msg::LogButtonOpenFolder, "日志文件夹", "Log folder"},
    {Msg::LogFileFailed, "传输日志无法写入: %1", "The transfer log can not be written: %1"},
    {Msg::LogExportFailed, "日志无法导出: %1", "The log can not be exported: %1"},
    {Msg::StateDeleteStopped, "已停止, CNC未回答", "stopped before the CNC answered"},
    {Msg::UserPageCaption, "RI Vivoze", "RI Vivoze"},
    {Msg::SerialLineLost, "串口连接中断, 操作已停止", "The serial line was lost: the operation was stopped."},
};

static_assert(std::size(kCatalogue) == static_cast<size_t>(Msg::Count), "one catalogue row per message");

constexpr bool rowsInOrder()
{
    for (size_t i = 0; i < std::size(kCatalogue); ++i)
        if (static_cast<size_t>(kCatalogue[i].id) != i)
            return false;
    return true;
}
static_assert(rowsInOrder(), "catalogue rows follow the order of Msg");

}  // namespace

QString messageChinese(Msg id)
{
    return QString::fromUtf8(kCatalogue[static_cast<size_t>(id)].chinese);
}

QString messageEnglish(Msg id)
{
    return QString::fromUtf8(kCatalogue[static_cast<size_t>(id)].english);
}

QString message(Msg id, Language language)
{
    return language == Language::English ? messageEnglish(id) : messageChinese(id);
}

OperationKind kindOf(OperationState state)
{
    switch (state) {
    case OperationState::OpIdle: return OperationKind::None;
    case OperationState::OpSerialSend:
    case OperationState::OpNetSend: return OperationKind::Send;
    case OperationState::OpSerialReceive:
    case OperationState::OpNetReceive: return OperationKind::Receive;
    case OperationState::OpSerialDelete:
    case OperationState::OpNetDelete: return OperationKind::Delete;
    case OperationState::OpSerialDnc:
    case OperationState::OpNetDnc: return OperationKind::Dnc;
    case OperationState::OpSerialList:
    case OperationState::OpNetList: return OperationKind::List;
    }
    return OperationKind::None;
}

Msg busyMessage(OperationKind asked, OperationKind running)
{
    static constexpr Msg send[] = {Msg::BusySendWhileSend, Msg::BusySendWhileReceive, Msg::BusySendWhileDelete,
                                   Msg::BusySendWhileDnc, Msg::BusySendWhileList};
    static constexpr Msg receive[] = {Msg::BusyReceiveWhileSend, Msg::BusyReceiveWhileReceive, Msg::BusyReceiveWhileDelete,
                                      Msg::BusyReceiveWhileDnc, Msg::BusyReceiveWhileList};
    static constexpr Msg remove[] = {Msg::BusyDeleteWhileSend, Msg::BusyDeleteWhileReceive, Msg::BusyDeleteWhileDelete,
                                     Msg::BusyDeleteWhileDnc, Msg::BusyDeleteWhileList};
    const int column = static_cast<int>(running) - static_cast<int>(OperationKind::Send);
    const int i = column < 0 ? 0 : column;
    if (asked == OperationKind::Send)
        return send[i];
    if (asked == OperationKind::Delete)
        return remove[i];
    return receive[i];
}

}  // namespace vantor::fernlink
