#include "cbrowsrootappend.h"

#include "core/carchive.h"

void CBrowsRootAppend::Serialize(CArchive& ar) {
  ar.Exchange(url);
  ar.Exchange(user);
  ar.Exchange(pass);
  ar.Exchange(ascimode);
  ar.Exchange(pasvmode);
  ar.Exchange(port);
}
