// What a download task or one of its branches is doing, as the list shows
// it. Derived from the task's record and the engine on every pass, never
// stored.
#pragma once

#include <QString>

enum class TaskState { NotStarted, Connecting, Downloading, Retrying, Stopped, Completed, Failed };

// "Retrying in 3 s" for a retry due in `retryms`; the plain name otherwise.
QString TaskStateText(TaskState state, int64_t retryms = 0);
