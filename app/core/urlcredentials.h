// A URL's "user:password@" belongs in the task's login fields: kept in the
// URL it would be stored in the list files, the URL column, the recent URL
// history and the logs.
#pragma once

#include <QString>

// Takes "user:password@" out of `url`. When `user` is empty the URL's login
// fills `user` and `pass`, as the engine would have used it; otherwise the
// fields already win and the URL's login is only dropped. A URL without a
// password is left as it is.
void MoveUrlCredentials(QString& url, QString& user, QString& pass);

// The URL without its password, for anything shown or stored.
QString WithoutUrlCredentials(QString url);
