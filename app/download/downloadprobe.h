// A download task's probe of the server: where it stands, the answer it
// holds, its failed tries, the requests it sends and the readings of their
// answers. The download list drives it and starts the branches once it
// knows the length and whether the server resumes.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "probestate.h"

class QObject;

struct DownloadProbe {
  static constexpr unsigned kMessage = 0x67;  // the lParam kind of probe answers

  ProbeState state = ProbeState::Idle;
  QString reply;       // the last answer, lines ended by "\r\n"
  int stall = 0;       // ticks the probe connection refused the next request
  int tries = 0;       // probe connections in a row that failed
  uint32_t due = 0;    // when a failed probe connects again
  bool waits = false;  // waiting for `due`

  void Reset();
  // An answer to act on is in (not one that came while downloading).
  bool Answered() const;
  // The next step can be taken without the tick: an answer to read, a
  // connection up for the first request, or a retry to time.
  bool Moves(bool connected) const { return Answered() || (state == ProbeState::Idle && connected) || waits; }

  // The requests; each returns false when the connection cannot take it.
  bool SendFirst(void* node, QObject* receiver, int id);   // HTTP "Range: bytes=1-" or FTP "list"
  bool SendRest(void* node, QObject* receiver, int id);    // FTP "rest 1"
  bool SendSample(void* node, QObject* receiver, int id);  // FTP a few KiB from byte 1
  // Stores an answer that has just arrived.
  void TakeAnswer(const std::string& text);
};

// What an HTTP probe's answer ("Range: bytes=1-") says.
struct HttpProbeReading {
  enum class Verdict { Incomplete, Refused, Usable };
  Verdict verdict = Verdict::Incomplete;
  bool resumes = false;  // byte ranges can be trusted
  int64_t length = -1;   // -1: unknown
  QString failure;       // for Refused: the server's status line
};
HttpProbeReading ReadHttpProbe(const QString& reply);

// The size of `name` in an FTP "list" answer, -1 when the answer does not
// list that very file.
int64_t ReadFtpProbeSize(const QString& reply, const QByteArray& name);
