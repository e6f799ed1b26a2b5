// What a browse site is doing, as its row shows it. Derived from the engine
// and the listing cycle on every pass, never stored.
#pragma once

#include <QString>

enum class SiteState { Disconnected, Connecting, Listing, Connected, LoginRefused };

QString SiteStateText(SiteState state);
