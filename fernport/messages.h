#pragma once
// Fernport speaks English; every text it shows is named here once.
namespace vantor::fernport::msg {

inline constexpr char kUnableToOpenPort[] = "Unable to open port!";
inline constexpr char kCaptionError[] = "Error";
inline constexpr char kCantCreateEvent[] = "Can't create event object!";
inline constexpr char kPleaseOpenFile[] = "Please open the file!";
inline constexpr char kFileCannotBeOpen[] = "File can not be open: %1.";
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
inline constexpr char kNotAvailable[] = "This command is not available in this build yet.";

}  // namespace vantor::fernport::msg
