#pragma once
// A month's roster as a workbook's sheet shows it: what goes in which cell.
#include "formats/xlsx/Workbook.h"
#include "host/roster/Roster.h"

namespace Roster {

// The month as the window shows it, for Workbook::Writer::writeRoster().
Workbook::RosterSheet sheet(const Month& month);

} // namespace Roster
