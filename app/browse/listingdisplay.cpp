#include "listingdisplay.h"

#include <QStringDecoder>

#include <ctime>
#include <string_view>

#include "core/citeminfo.h"
#include "listing/listingparser.h"

QString DecodeServerText(std::string_view bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString name = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (!utf8.hasError()) return name;
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void SetServerName(CItemInfo& info, std::string_view bytes) {
  info.text = DecodeServerText(bytes);
  const QByteArray shown = info.text.toUtf8();
  if (std::string_view(shown.constData(), static_cast<size_t>(shown.size())) == bytes) {
    if (info.subitems.size() > kServerNameSubItem) info.subitems[kServerNameSubItem].clear();
    return;
  }
  info.SetSubItem(kServerNameSubItem, QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string ServerName(const CItemInfo& info) {
  const QString kept = info.GetSubItem(kServerNameSubItem);
  return (kept.isEmpty() ? info.text.toUtf8() : kept.toLatin1()).toStdString();
}

QString UrlPathSegment(const CItemInfo& info) {
  if (info.GetSubItem(kServerNameSubItem).isEmpty()) return QString(info.text).replace(u'%', QStringLiteral("%25"));
  QString segment;
  for (const char c : ServerName(info)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '%' || byte > 0x7F)
      segment += QString::asprintf("%%%02X", byte);
    else
      segment += QLatin1Char(c);
  }
  return segment;
}

std::string PwdDirectory(const std::string& reply) {
  const size_t open = reply.find('"');
  const size_t close = open == std::string::npos ? open : reply.find('"', open + 1);
  return close == std::string::npos ? std::string() : reply.substr(open + 1, close - open - 1);
}

QString GroupDigits(int64_t value) {
  const QString digits = QString::number(value);
  const int sign = value < 0 ? 1 : 0;
  QString grouped;
  const int count = static_cast<int>(digits.size()) - sign;
  for (int i = 0; i < count; ++i) {
    if (i > 0 && (count - i) % 3 == 0) grouped += QLatin1Char(',');
    grouped += digits[sign + i];
  }
  return sign ? QLatin1Char('-') + grouped : grouped;
}

QString ListingTime(int64_t mtime) {
  const time_t seconds = static_cast<time_t>(mtime);
  std::tm parts{};
  if (!gmtime_r(&seconds, &parts)) return QStringLiteral("1970/01/01 00:00");
  return QString::asprintf("%04d/%02d/%02d %02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                           parts.tm_hour, parts.tm_min);
}

std::vector<ListingEntry> ParseListing(const std::string& reply) {
  std::string_view separator;
  if (reply.find("\r\n") != std::string::npos)
    separator = "\r\n";
  else if (reply.find('\n') != std::string::npos)
    separator = "\n";
  else
    return {};

  std::vector<ListingEntry> directories;
  std::vector<ListingEntry> files;
  const std::string_view text(reply);
  for (size_t start = 0, end; (end = text.find(separator, start)) != std::string_view::npos;
       start = end + separator.size()) {
    const std::string_view line = text.substr(start, end - start);
    if (line.size() > static_cast<size_t>(INT32_MAX)) continue;
    ParsedLine parsed{};
    if (!parselistingline(parsed, line.data(), static_cast<int>(line.size()))) continue;
    const std::string_view name(parsed.name, static_cast<size_t>(parsed.namelen));
    if (name == "." || name == "..") continue;
    ListingEntry entry;
    entry.name = DecodeServerText(name);
    entry.raw = std::string(name);
    entry.directory = parsed.trycwd == 1;
    entry.size = GroupDigits(parsed.sizetype ? parsed.size : 0);
    entry.time = ListingTime(parsed.mtimetype ? parsed.mtime : 0);
    (entry.directory ? directories : files).push_back(std::move(entry));
  }
  directories.insert(directories.end(), std::make_move_iterator(files.begin()), std::make_move_iterator(files.end()));
  return directories;
}
