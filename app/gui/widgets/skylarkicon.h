// The program's icon, painted so that no image plugin is needed: a bird's
// wings over a downward arrow on a sky-blue tile. resources/skylark.svg is
// the same picture for the desktop entry.
#pragma once

#include <QIcon>

QIcon SkylarkIcon();
