#include "host/roster/RosterSheet.h"

#include <QCoreApplication>

namespace Roster {

Workbook::RosterSheet sheet(const Month& month)
{
    Workbook::RosterSheet result;
    result.title = QCoreApplication::translate("Roster", "%1 排班表").arg(month.ym());
    result.idCaption = QCoreApplication::translate("Roster", "员工编号");
    result.nameCaption = QCoreApplication::translate("Roster", "姓名");
    result.legendCaption = QCoreApplication::translate("Roster", "班次");
    result.totalCaption = QCoreApplication::translate("Roster", "本月合计");
    result.emptyCaption = QCoreApplication::translate("Roster", "未排班");
    result.days = month.days();
    result.weekendShade = kWeekendColour & 0xFFFFFF;
    for (int day = 1; day <= month.days(); ++day) {
        result.weekdays << weekdayName(month.date(day));
        result.weekend << isWeekend(month.date(day));
    }
    result.codes = month.codes();
    for (int code = 0; code < month.codes().size(); ++code) {
        const auto c = static_cast<Month::Code>(code);
        result.background << (month.colour(c) != 0 ? month.colour(c) & 0xFFFFFF : 0xFFFFFF);
        result.foreground << (month.textColour(c) & 0xFFFFFF);
        result.totals << month.total(c);
        QList<int> perDay;
        for (int day = 1; day <= month.days(); ++day)
            perDay << month.count(c, day);
        result.counts << perDay;
    }
    for (const Month::Code code : month.legend())
        result.legend << code;
    for (int row = 0; row < month.rowCount(); ++row) {
        Workbook::RosterSheet::Row r { month.empId(row), month.name(row), {} };
        for (int day = 1; day <= month.days(); ++day)
            r.cells << month.cell(row, day);
        result.rows << r;
    }
    return result;
}

} // namespace Roster
