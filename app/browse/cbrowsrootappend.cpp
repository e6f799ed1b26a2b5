#include "cbrowsrootappend.h"

#include "core/carchive.h"

void CBrowsRootAppend::Serialize(CArchive& ar) { SerializeLogin(ar); }
