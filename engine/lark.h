// lark: the transfer engine of Skylark.
//
// Threads: every function here may be called from any one program thread
// (the program calls them from its window thread). Two engine threads, the
// control worker and the receive worker, drive every active node; they call
// the installed MessagePoster, while they hold that node's lock, when a
// queued request's result is ready. The poster must only hand the message
// over to the program's own thread (it may call takeoutcontent from there at
// once). deletenode must not be called from the poster or from two threads
// at once.
//
// Status codes: 0 success; 1 no node (NULL) or engine not running; 2 node
// still active; 3 wrong kind or state of node; 4 node busy with another
// request; 101 URL not accepted. Nothing throws across this boundary.
#pragma once

#include <cstdint>
#include <string>

#define LARK_EXPORT __attribute__((visibility("default")))

namespace lark {

// The status codes above, by name (values fixed).
enum Status : unsigned {
    StatusOk = 0,
    StatusNoNode = 1,
    StatusActive = 2,
    StatusWrongState = 3,
    StatusBusy = 4,
    StatusUrlRejected = 101,
};

// What addnode made, or in check-only mode would make.
enum AddedKind : unsigned { AddedBrowse = 0, AddedDownload = 1 };

// getfilepointer/setfilepointer `type`.
enum FilePointer : unsigned { RestartOffset = 0, WriteOffset = 1, EndOffset = 2 };

// Why a node's last connection ended without finishing, from getfailure.
enum FailureKind : unsigned {
    FailureNone = 0,     // nothing failed since the last connect
    FailureRetry = 1,    // another try may succeed: a cut, a time-out, a 4xx FTP reply
    FailureFinal = 2,    // the same request would fail again: a 404, a refused login
    FailureUnproven = 3, // the bytes did not start where asked: fetch from byte 0 on one branch
};

// Engine start-up; 0 started, 1 already running. Call before anything else;
// may be called again after releasedllres to start a fresh engine.
LARK_EXPORT unsigned startengine();

// Lifecycle.
LARK_EXPORT unsigned addnode(void*& node, std::string url, unsigned branchcount, unsigned port, std::string user,
                             std::string pass, std::string localdir, bool connectnow, bool pasv, bool ascii,
                             bool checkonly);
LARK_EXPORT unsigned connect(void* node, int reload);
LARK_EXPORT unsigned disconnect(void* node, int thisnodeonly);
LARK_EXPORT unsigned deletenode(void* node);
LARK_EXPORT unsigned releasedllres();
LARK_EXPORT std::string extractfilenamefrompath(std::string path);

// Accessors.
LARK_EXPORT unsigned getURL(void* node, std::string& url);
LARK_EXPORT unsigned getservername(void* node, std::string& name);
LARK_EXPORT unsigned getftppathfile(void* node, std::string& path);
// The name of the node's file in its save directory.
LARK_EXPORT unsigned getlocalfilename(void* node, std::string& name);
LARK_EXPORT unsigned getlocaldir(void* node, std::string& dir);
LARK_EXPORT unsigned getuser(void* node, std::string& user);
LARK_EXPORT unsigned getpass(void* node, std::string& pass);
LARK_EXPORT unsigned getserverprotocol(void* node, unsigned& protocol);
// The URL scheme the node speaks: "ftp", "ftps", "ftpes", "http", "https".
LARK_EXPORT unsigned getscheme(void* node, std::string& scheme);
LARK_EXPORT unsigned getserverport(void* node, unsigned& port);
LARK_EXPORT unsigned getstarttime(void* node, unsigned& t);
LARK_EXPORT unsigned getlasttime(void* node, unsigned& t);
LARK_EXPORT unsigned getdownbranchcount(void* node, unsigned& count);
LARK_EXPORT unsigned getascimode(void* node, int& mode);
LARK_EXPORT unsigned getpasvmode(void* node, int& mode);
LARK_EXPORT unsigned getresumeenable(void* node, int& enable);
LARK_EXPORT unsigned getserverconnected(void* node, int& connected, int thisnodeonly);
LARK_EXPORT unsigned getdownbranch(void* node, unsigned index, void*& branch);
LARK_EXPORT unsigned getfilepointer(void* node, int64_t& value, unsigned type);
LARK_EXPORT unsigned setfilepointer(void* node, int64_t value, unsigned type);
LARK_EXPORT unsigned setresumeenable(void* node, int enable);
LARK_EXPORT unsigned setstarttime(void* node, unsigned t);
LARK_EXPORT unsigned setlasttime(void* node, unsigned t);
LARK_EXPORT unsigned setdownstarted(void* node, int started);

// Command scripts and restart points.
LARK_EXPORT unsigned generateinitcommand(void* node);
LARK_EXPORT unsigned adjustrestpoint(void* node);
LARK_EXPORT unsigned savecommand(void* node, std::string script);
LARK_EXPORT unsigned copyredirectinfo(void* from, void* to);

// The first failure since the node's last connect, with a one-line reason.
LARK_EXPORT unsigned getfailure(void* node, std::string& reason, unsigned& kind);
// Seconds a 429 or 503 asked to wait before the next try (Retry-After), 0
// when it named none.
LARK_EXPORT unsigned getretryafter(void* node, unsigned& seconds);

// Time-outs of every node in milliseconds, 0 keeping a value: connecting
// (control, data, an active-mode data connection from the server; default
// 30000) and silence while a reply or data is awaited (default 60000).
LARK_EXPORT unsigned settimeouts(unsigned connectms, unsigned idlems);

// FTP data connections by EPSV and EPRT on IPv4 too (1), or only on IPv6,
// where PASV and PORT cannot name the address (0, the default). A server
// that refuses EPSV is asked with PASV instead.
LARK_EXPORT unsigned setextendedpassive(int enable);
// TLS of every connection made from now on: a CA file trusted besides the
// system's store ("" none) and whether certificates are checked at all (1,
// the default) or not (0). 3 when the CA file cannot be loaded; nothing
// changes then. May be called before startengine.
LARK_EXPORT unsigned settlsoptions(std::string cafile, int verify);

// Protocol log.
LARK_EXPORT unsigned getoutputmsg(void* node, std::string& text, int all);
LARK_EXPORT unsigned clearlogmessage(void* node);

// 1 when an FTP reply refuses what was asked (kind 1: workers' rules,
// kind 2: a directory change queued by the program).
LARK_EXPORT int ServerRejected(std::string reply, int kind, std::string command);

// Queued requests: one at a time on a connected, idle node.
LARK_EXPORT unsigned fetchftpcontent(void* node, std::string line, void* wnd, unsigned msg, unsigned extra, int lparam,
                                     int notify);
LARK_EXPORT unsigned takeoutcontent(void* node, std::string& text);

// Stands in for posting a window message: called from a worker thread with
// the target, the message number, the node handle and the caller's lparam.
using MessagePoster = void (*)(void* wnd, unsigned msg, void* wparam, int lparam);
LARK_EXPORT unsigned setmessageposter(MessagePoster poster);

} // namespace lark
