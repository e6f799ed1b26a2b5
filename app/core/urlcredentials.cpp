#include "urlcredentials.h"

void MoveUrlCredentials(QString& url, QString& user, QString& pass) {
  // Split where the engine splits: the login is what comes before the first
  // "@" of the part between the scheme and the first "/".
  const qsizetype scheme = url.indexOf(QStringLiteral("://"));
  const qsizetype begin = scheme < 0 ? 0 : scheme + 3;
  qsizetype end = url.indexOf(u'/', begin);
  if (end < 0) end = url.size();
  const qsizetype at = url.indexOf(u'@', begin);
  if (at < 0 || at >= end) return;
  const QString login = url.mid(begin, at - begin);
  const qsizetype colon = login.indexOf(u':');
  if (colon < 0) return;
  if (user.isEmpty()) {
    user = login.left(colon);
    pass = login.mid(colon + 1);
  }
  url.remove(begin, at + 1 - begin);
}

QString WithoutUrlCredentials(QString url) {
  QString user, pass;
  MoveUrlCredentials(url, user, pass);
  return url;
}
