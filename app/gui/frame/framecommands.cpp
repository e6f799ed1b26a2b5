#include "framecommands.h"

#include <QString>

#include <array>

namespace {

const std::array<CommandEntry, 23> kCommands{{
    {command::kNew, "&New", "New site or file\nNew", Qt::CTRL | Qt::Key_N, "document-new", QStyle::SP_FileIcon},
    {command::kDelete, "&Delete", "Delete whole node\nDelete", Qt::Key_Delete, "edit-delete", QStyle::SP_TrashIcon},
    {command::kExit, "E&xit", "Exit\nExit", Qt::CTRL | Qt::Key_Q, "application-exit", QStyle::SP_DialogCloseButton},
    {command::kConnect, "&Connect", "Connect or reconnect server\nConnect server", Qt::CTRL | Qt::Key_S,
     "network-connect", QStyle::SP_DriveNetIcon},
    {command::kDisconnect, "&Disconnect", "Disconnect server\nDisconnect server", Qt::CTRL | Qt::Key_D,
     "network-disconnect", QStyle::SP_BrowserStop},
    {command::kRefresh, "&Refresh", "Refresh a directory\nRefresh", Qt::CTRL | Qt::Key_R, "view-refresh",
     QStyle::SP_BrowserReload},
    {command::kDownload, "Down&load", "Download the file\nDownload", Qt::CTRL | Qt::Key_L, "go-down",
     QStyle::SP_ArrowDown},
    {command::kStartDownload, "St&art download", "Restart all download branch\nRestart all", Qt::CTRL | Qt::Key_A,
     "media-playback-start", QStyle::SP_MediaPlay},
    {command::kResumeDownload, "Resu&me download", "Resume download\nResume", Qt::CTRL | Qt::Key_M,
     "media-seek-forward", QStyle::SP_MediaSeekForward},
    {command::kStopDownload, "S&top download", "Disconnect all branch\n Disconnect all", Qt::CTRL | Qt::Key_B,
     "media-playback-stop", QStyle::SP_MediaStop},
    {command::kToolBar, "Normal &ToolBar", "Show Toolbar\nToolbar", Qt::CTRL | Qt::Key_T, "", QStyle::SP_CustomBase},
    {command::kQuickConnectBar, "&Quick Connect Bar", "", Qt::CTRL | Qt::Key_K, "", QStyle::SP_CustomBase},
    {command::kStatusBar, "&Statusbar", "", Qt::CTRL | Qt::Key_U, "", QStyle::SP_CustomBase},
    {command::kDefault, "&Default", "Default set\nDefault", Qt::CTRL | Qt::Key_P, "preferences-system",
     QStyle::SP_FileDialogDetailedView},
    {command::kHelp, "&Help", "Show help file\nHelp", {}, "help-contents", QStyle::SP_MessageBoxQuestion},
    {command::kWebsite, "&Visit Skylark Website", "", {}, "", QStyle::SP_CustomBase},
    {command::kAbout, "&About", "", {}, "help-about", QStyle::SP_MessageBoxInformation},
    {command::kStartBranch, "&Start branch", "Start the Branch\nStart the Branch", {}, "", QStyle::SP_CustomBase},
    {command::kStopBranch, "&Stop branch", "Stop the Branch\nStop the Branch", {}, "", QStyle::SP_CustomBase},
    {command::kClearBranchLog,
     "Clea&r log display",
     "Clear branch log message\nClear branch log",
     {},
     "",
     QStyle::SP_CustomBase},
    {command::kExecuteLocalFile,
     "&Execute local file",
     "Execute the downloaded file\nExecute local file",
     {},
     "",
     QStyle::SP_CustomBase},
    {command::kClearBrowsLog, "Clea&r log display", "", {}, "", QStyle::SP_CustomBase},
    {command::kQuickConnect, "Connect", "", {}, "", QStyle::SP_CustomBase},
}};

}  // namespace

std::span<const CommandEntry> CommandTable() { return kCommands; }

QString PromptStatus(const char* prompt) { return QString::fromLatin1(prompt).section(QLatin1Char('\n'), 0, 0); }

QString PromptTip(const char* prompt) { return QString::fromLatin1(prompt).section(QLatin1Char('\n'), 1); }
