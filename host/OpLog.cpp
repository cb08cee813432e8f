#include "host/OpLog.h"

#include "db/Query.h"
#include "db/Statements.h"
#include "host/Mainmodule.h"
#include "platform/System.h"

namespace OpLog {

void write(const QString& text, const QString& user)
{
    // A session the server ended since the last statement would lose the
    // entry, so it is written once more on the connection opened anew.
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            Db::Query insert(Mainmodule::db(), Db::sqlInsertOpLog);
            insert.bind(QStringLiteral("opTime"), Platform::now());
            insert.bind(QStringLiteral("BeWrite"), text);
            insert.bind(QStringLiteral("opUser"), user);
            insert.bind(QStringLiteral("opComputer"), Platform::GetComputerName().left(15));
            insert.exec();
            return;
        } catch (const Db::Error& error) {
            if (!error.connectionLost())
                return;
        } catch (...) {
            return;
        }
    }
}

} // namespace OpLog
