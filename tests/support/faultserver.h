#pragma once

#include <string>

#include "loopbackserver.h"

namespace testsupport {

enum class FaultProtocol { Http, Ftp };

struct FaultServerOptions {
    // FTP login pair; empty accepts any user and password.
    std::string user;
    std::string password;
    // The server exits by itself after this long without traffic.
    int idleSeconds = 300;
};

// faultserver.py: a server that misbehaves on purpose, serving files from
// `root`. `scenarios` is a comma-separated list of names, some with a value:
//
// HTTP (every response closes the connection):
//   plain              206 + Content-Range for "Range: bytes=N-" (and N-M),
//                      416 with "bytes */SIZE" when N >= size, 200 without
//                      Range; Content-Length always; 404 for a missing file.
//   norange            200 and the whole file, whatever Range asks.
//   nolength           200 and the whole file, no Content-Length; the close
//                      ends the body.
//   chunked            Transfer-Encoding: chunked with chunks of 1 to 65536
//                      bytes, extensions (";piece=N") on some and a trailer
//                      "X-Trailer: done"; ranges work, the 206 body chunked too.
//   redirect-relative  GET /redirect/F -> 302 "via/F" -> 302 "../../F" (one
//                      more "../" per "/" in F) -> the file F.
//   redirect-absolute  GET /redirect/F -> 301 "http://127.0.0.1:PORT/F".
//   redirect-loop      every request -> 302 to its own path.
//   query-redirect     GET /redirect/F -> 302 "/F?next=http://127.0.0.1:9/x";
//                      F is served for /F whatever the query.
//   upper-scheme       GET /redirect/F -> 301 "HTTP://127.0.0.1:PORT/F".
//   redirect-scheme=S  GET /redirect/F -> 302 "S://127.0.0.1:PORT/F" (default
//                      ftp), to another protocol on the same port.
//   host-check         400 unless the Host header is exactly
//                      "127.0.0.1:PORT" (this server's port), else plain.
//   content-location   GET /redirect/F -> 302 with "Content-Location:
//                      /elsewhere/F" (a 404) before "Location: /F".
//   split-header       the header in 1-byte writes, 2 ms apart ("=MS").
//   endless-header     "200 OK", then 100-byte header lines without end, as
//                      fast as the client reads (64 KiB in milliseconds), for
//                      30 s, then a close.
//   many-headers=N     N short header lines (default 500, about 7 KiB) before
//                      the usual ones, then the body as plain sends it.
//   lf-only            status and header lines end with LF alone; ranges work.
//   cut                announces the full length, sends half the body, closes.
//   cut-every=N        every 200/206 announces its full length, as plain does
//                      (Range honoured), and closes after N body bytes.
//   chunked-cut=N      as chunked, but the connection closes after N bytes of
//                      content, before the last chunk, every time.
//   bad-chunk=KIND     chunked: one good 1000-byte chunk, then the size line
//                      "zz" (KIND nothex, the default), "ffffffffffffffffff"
//                      (huge: 2^72-1) or "4000000000000001" (big: 2^62+1),
//                      then 4000 more bytes and a close.
//   silent-body=N      the header and N body bytes, then the connection held
//                      open without another byte (up to 60 s, until the
//                      client closes).
//   wrong-range        206 whose Content-Range starts at byte 0 when asked for
//                      N > 0, at byte 1 when asked for 0 (the bytes match it).
//   status=CODE        every request answered with CODE (default 500).
//   retry-after=S      with status=CODE: a "Retry-After: S" field.
//   slow=BYTES         bodies at most BYTES per second (default 100000).
//   hang               accepts, never reads, never answers (until the client
//                      closes, at most 60 s).
//   silent             accepts, reads the request, never answers (as hang).
//
// FTP (multi-line greeting; any login, or FaultServerOptions' pair):
//   plain              USER PASS TYPE PWD CWD CDUP LIST NLST SIZE MDTM REST
//                      RETR PASV PORT NOOP SYST FEAT QUIT; EPSV/EPRT get 502.
//   multiline          every reply multi-line, with a continuation line that
//                      carries no code.
//   split-replies      replies written 3 bytes at a time, 5 ms apart.
//   refuse-login       530 to PASS.
//   refuse-cwd         550 to CWD.
//   refuse-rest        502 to REST.
//   ignore-rest        350 to REST, but RETR sends from byte 0.
//   rest-other=SHIFT   350 to REST r, but for r > 0 RETR sends the file from
//                      max(0, r + SHIFT) (default -1000; 17 sends from r + 17).
//   cut-every=N        each RETR sends N bytes (unless fewer remain), closes
//                      the data connection, replies 426.
//   close-every=KIB    each RETR sends KIB KiB (unless fewer remain), then
//                      "421" and both connections closed.
//   silent-data=N      RETR sends N bytes, then holds the data connection
//                      open: no byte, no reply (up to 60 s, until the client
//                      closes it).
//   silent-greeting    the greeting, then no reply to anything (as above).
//   data-close-early   RETR sends half the bytes, closes the data
//                      connection, then replies 426.
//   drop-control       RETR sends half the bytes, then closes the control and
//                      the data connection without a reply.
//   no-226             transfers end without their 226; later commands are
//                      still answered.
//   pasv-foreign       the 227 reply names 10.255.255.1 with the real port.
//   pasv-bare          "227 Entering Passive Mode 127,0,0,1,P1,P2": no
//                      parentheses.
//   pasv-refuse=CODE   PASV and PORT answered with CODE (default 421, which
//                      also closes the control connection; 451 keeps it).
//   lf-only            every reply line ends with LF alone.
//   epsv-port=N        EPSV answered "229 ... (|||N|)" (default 0); nothing
//                      listens there.
//   endless-reply      USER answered by "331-" lines without end, as fast as
//                      the client reads, for 30 s, then a close.
//   empty-list         LIST and NLST send no lines (150, empty data, 226).
//   long-lines         LIST adds three entries whose lines exceed 600
//                      characters.
//   slow=BYTES         data at most BYTES per second (default 100000).
//
// Scenarios combine where that makes sense ("chunked,slow=50000",
// "redirect-relative,split-header", "multiline,split-replies").
class FaultServer : public LoopbackServer {
public:
    FaultServer(FaultProtocol protocol, const std::string& scenarios, const std::filesystem::path& root,
                FaultServerOptions options = {});
};

} // namespace testsupport
