#include "programdirectory.h"

#include <QFile>

#include "programdir.h"

QString ProgramDirectory() { return QFile::decodeName(QByteArray::fromStdString(lark::programdirectory())); }
