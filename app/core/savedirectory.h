// The save directory of new downloads as the user types it: "~/" is the home
// folder and a relative directory lies below the program's directory.
#pragma once

#include <QString>

QString ResolveSaveDirectory(const QString& directory, const QString& programdirectory);

// Creates the missing directories, then proves the target writable by
// creating and deleting the file "~tmp1" in it (a file of that name that
// was already there is left as it was).
bool ProbeSaveDirectory(const QString& directory, const QString& programdirectory);

class CMessageSeam;

// Whether a download may be saved in `directory`: a file of that name, or
// a folder that cannot be written, is refused with one message naming it;
// a missing folder is offered to be made.
bool ConfirmSaveDirectory(const QString& directory, const QString& programdirectory, CMessageSeam& messages);
