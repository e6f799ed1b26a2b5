#include "downloadprobe.h"

#include "httptext.h"
#include "lark.h"
#include "listing/listingparser.h"
#include "taskrequests.h"

void DownloadProbe::Reset() { *this = DownloadProbe{}; }

bool DownloadProbe::Answered() const {
  return state == ProbeState::ProbeAnswered || state == ProbeState::RestAnswered || state == ProbeState::SampleAnswered;
}

bool DownloadProbe::SendFirst(void* node, QObject* receiver, int id) {
  const std::string request =
      IsHttp(node) ? HttpRequestHead(node) + "Range: bytes=1-\r\n\r\n" : "list " + FtpPath(node);
  if (lark::fetchftpcontent(node, request, receiver, kMessage, 0, id, 1) != 0) return false;
  state = ProbeState::ProbeSent;
  return true;
}

bool DownloadProbe::SendRest(void* node, QObject* receiver, int id) {
  if (lark::fetchftpcontent(node, "rest 1", receiver, kMessage, 0, id, 1) != 0) return false;
  state = ProbeState::RestSent;
  stall = 0;
  return true;
}

bool DownloadProbe::SendSample(void* node, QObject* receiver, int id) {
  if (lark::fetchftpcontent(node, "retr " + FtpPath(node), receiver, kMessage, 0, id, 1) != 0) return false;
  state = ProbeState::SampleSent;
  stall = 0;
  return true;
}

void DownloadProbe::TakeAnswer(const std::string& text) {
  state = AfterAnswer(state);
  reply = QString::fromStdString(text);
  reply.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  reply.replace(u'\r', u'\n');
  reply.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
}

HttpProbeReading ReadHttpProbe(const QString& reply) {
  HttpProbeReading reading;
  const int lineend = reply.indexOf(QStringLiteral("\r\n"));
  if (lineend < 0) return reading;
  const std::string head = reply.toStdString();
  const int code = lark::httpstatus(head);
  if (code < 0) return reading;
  const lark::ContentRange range = lark::contentrange(head);
  reading.verdict = HttpProbeReading::Verdict::Usable;
  if (code == 416) {
    // Nothing from byte 1 on: a file of 0 or 1 bytes, fetched whole.
    reading.length = range.total;
  } else if (code >= 300) {
    // A redirect the engine did not follow, or a refusal: the answer stands.
    reading.verdict = HttpProbeReading::Verdict::Refused;
    reading.failure = QStringLiteral("the server answered \"%1\"").arg(reply.left(lineend).trimmed());
  } else {
    // A 206 that does not start at byte 1 cannot be trusted with ranges.
    reading.resumes = code == 206 && range.start == 1;
    const int64_t contentlength = lark::contentlength(head);
    if (reading.resumes)
      reading.length = contentlength >= 0 ? contentlength + 1 : range.total;
    else if (code == 206)
      reading.length = range.total;
    else if (contentlength >= 0 && !lark::ischunked(head))
      reading.length = contentlength;
  }
  return reading;
}

int64_t ReadFtpProbeSize(const QString& reply, const QByteArray& name) {
  const int lineend = reply.indexOf(QStringLiteral("\r\n"));
  if (lineend < 0) return -1;
  const QByteArray line = reply.left(lineend).toUtf8().left(499);
  ParsedLine parsed{};
  if (parselistingline(parsed, line.constData(), static_cast<int>(line.size())) != 1 || parsed.sizetype != 1) return -1;
  // A listing of something else (a directory named like the file) must not
  // set the file's length.
  const QByteArray listed(parsed.name, parsed.namelen);
  return listed == name || listed.endsWith('/' + name) ? parsed.size : -1;
}
