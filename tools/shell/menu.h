// The host's menus: a framed pop-up over the current screen.
#pragma once

#include <string>

#include "zarelin/host_api.h"

namespace shell {

// Shows `count` items under the OEM `title` and returns the index chosen with Enter,
// or -1 for Esc. `checkColumn` keeps a column for check marks even when none is set.
int ShowMenu(const std::string& title, const MenuItem* items, int count, bool checkColumn);

} // namespace shell
