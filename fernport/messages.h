// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fernport speaks English; every text it shows is named here once.
namespace vantor::fernport::msg {

inline constexpr char kUnableToOpenPort[] = "Unable to open port!";
inline constexpr char kPortNeedsDialout[] =
    "Serial port %1 cannot be opened: this user is not in the dialout group.\nRun once as root (su - or sudo):\n"
    "adduser %2 dialout\nthen log out and log in again.";
inline constexpr char kCaptionError[] = "Error";
inline constexpr char kCantCreateEvent[] = "Can't create event object!";
inline constexpr char kPleaseOpenFile[] = "Please open the file!";
inline constexpr char kFileCannotBeOpen[] = "File can not be open: %1.";
inline constexpr char kSaveUnencodable[] =
    "%1 was not saved: the character \"%3\" in line %2 cannot be stored in the file's encoding (%4). "
    "Change that line and save again.";
inline constexpr char kDncCompleted[] = "DNC Completed!";
inline constexpr char kEndCommunication[] = "Do you really to end the Communication?";
inline constexpr char kPortUnknown[] = "Port: Unknow";
inline constexpr char kBaudUnknown[] = "Baud: Unknow";
inline constexpr char kNcFileFilter[] = "NC file (*.txt *.nc *.cnc);;Backup file (*.bak);;All file(*)";
inline constexpr char kDocumentTitle[] = "Reraduzozidu";
inline constexpr char kPromptSend[] = "Send fle from PC to CNC";
inline constexpr char kPromptReceive[] = "Receive file from CNC";
inline constexpr char kPromptDnc[] = "DNC Communication";
inline constexpr char kPromptSetup[] = "Setup the series port";

// Transfers.
inline constexpr char kSendFileError[] = "Send file error: %1.";
inline constexpr char kNoRight[] = "Send file error %1: Not enough right!\n      Please setup the CNC.";
inline constexpr char kSendFail[] = "Send file %1 fail.";
inline constexpr char kNotSuit[] = "Send file Error %1: Not suit the system!\n Please make sure the selection suit with the system.";
inline constexpr char kFileExists[] = "File %1 has Exist!";
inline constexpr char kFileCommError[] = "File communicate error: %1";
inline constexpr char kListTimeOut[] = "Time out! Please check the COM setup.";
inline constexpr char kTooManyFiles[] = "Can not receive more than %1 files.";
inline constexpr char kAddFileFail[] = "Add file fail.";
inline constexpr char kCannotFind[] = "Can not find ";
inline constexpr char kPleaseRename[] = "Can not send file %1 to %2 part, please rename!";
inline constexpr char kNoFileOpened[] = "Not file is opened!";
inline constexpr char kOverwrite[] = "The file %1 already exists, overwrites the file?";
inline constexpr char kUnsafeName[] = "The controller's file name %1 would leave the folder %2; the file is not received.";
inline constexpr char kCannotSave[] = "The file %1 could not be completed; nothing was saved under its name.";
inline constexpr char kCannotSaveWhy[] = "The received file could not be saved (%1); nothing was saved under its name.";
inline constexpr char kRenameNote[] = "Only accept \"O + Numeral\" type";
inline constexpr char kFileCount[] = " %1 file";
inline constexpr char kUserPartFilter[] = "NC file (*.txt *.nc *.cnc);;All file(*)";
inline constexpr char kSysPartFilter[] = "Backup file (*.bak);;All file(*)";
inline constexpr char kSelectFolder[] = "Select folder";

// List states.
inline constexpr char kStateNotSent[] = "Not Sent";
inline constexpr char kStateSent[] = "Sent";
inline constexpr char kStateError[] = "Error";
inline constexpr char kStateNotRec[] = "Not Rec";
inline constexpr char kStateReceived[] = "Received";

// DNC start points, restarts and interruptions.
inline constexpr char kCaptionDnc[] = "DNC Communication";
inline constexpr char kCaptionSend[] = "Send File";
inline constexpr char kCaptionReceive[] = "Receive File";
inline constexpr char kDncRestartQuestion[] = "The last DNC of %1 was interrupted before line %2.\nRestart it at line %2?";
inline constexpr char kDncStartPoint[] = "Start the DNC at line number or N block number (e.g. 120 or N120):";
inline constexpr char kDncLineTooBig[] = "Line %1 is past the end of the program (%2 lines).";
inline constexpr char kDncBlockNotFound[] = "The program has no block %1.";
inline constexpr char kDncLinkLost[] =
    "The serial line failed during the DNC (%1).\nThe controller has the program up to line %2; restart it at line %3.";
inline constexpr char kDncInterrupted[] = "Interrupted: %1";
inline constexpr char kDncRestartAt[] = "DNC of %1 interrupted: last line sent %2, restart at line %3.";
inline constexpr char kDncReasonCancelled[] = "cancelled";
inline constexpr char kDncReasonRefused[] = "ended by the controller";
inline constexpr char kDncReasonLinkLost[] = "serial line failed: %1";
inline constexpr char kDncLogNotWritten[] = "The DNC log could not be written: %1";
inline constexpr char kDncHeaderPrompt[] =
    "Lines sent before a DNC that starts after line 1 (they should set units, plane, tool, offsets and spindle):";
inline constexpr char kClose[] = "Close";

}  // namespace vantor::fernport::msg
