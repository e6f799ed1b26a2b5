#include "tasklogin.h"

#include "carchive.h"

void TaskLogin::SerializeLogin(CArchive& ar) {
  ar.Exchange(url);
  ar.Exchange(user);
  ar.Exchange(pass);
  ar.Exchange(ascimode);
  ar.Exchange(pasvmode);
  ar.Exchange(port);
}
