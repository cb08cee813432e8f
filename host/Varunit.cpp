#include "host/Varunit.h"

namespace Varunit {

TAccount Account;
QString User_name;
QString User_id;
QString pwd;
QString UserName;
QString share_parameter;

void reset()
{
    Account = {};
    User_name.clear();
    User_id.clear();
    pwd.clear();
    UserName.clear();
    share_parameter.clear();
}

} // namespace Varunit
