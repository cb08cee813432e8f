#pragma once
// At start-up, a database file that is an Access database (a site's database
// copied in from the Windows suite): the offer to import it into a new
// database of this system, which then takes its place.
#include <QString>
#include <functional>

namespace Startup {

// Asks the operator whether to import the file; the text says what happens.
using ImportOffer = std::function<bool(const QString& text)>;

// The name the Access file `path` is kept under once imported, beside it.
QString accessKeptName(const QString& path);

// When the SQLite database file of the suite in `appDir` is an Access file:
// offers its import (by `offer`, default a message box) and runs it in a
// progress dialog. True when start-up goes on: nothing to do, or the new
// database is in place; false when the program ends (declined, cancelled or
// failed; the operator has been told).
bool importAccessDatabase(const QString& appDir, const ImportOffer& offer = {});

} // namespace Startup
