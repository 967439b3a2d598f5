#include "UrlSettings.h"

#include "core/Connection.h"
#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
#include "core/Recordset.h"
#include "core/Utf8.h"
#include "core/ValueRules.h"

namespace zuvemo::marketdata {

std::optional<UrlSettings> UrlSettings::read(core::Mdl_Start& m)
{
    auto settings = find(m);
    if (!settings) {
        core::ShowMessage(kNoAddressMessage);
    }
    return settings;
}

std::optional<UrlSettings> UrlSettings::find(core::Mdl_Start& m)
{
    if (!m.SharedConnection) {
        throw core::DatabaseError(21, "the database is not open");
    }
    m.SqlBuffer = " SELECT * FROM Table_Url";
    auto& url = m.OpenShared();
    if (url.isEof()) {
        m.SharedRecordset.reset();
        return std::nullopt;
    }
    auto value
        = [&url](const char* column) { return core::Utf8::trim(core::TrimOrSpace(url.field(column))); };
    UrlSettings s{value("kabuHUrl"), value("kabuMUrl"), value("kabuSi"), value("kabuHdate")};
    m.SharedRecordset.reset();
    return s;
}

std::string UrlSettings::listDate(core::Connection& connection)
{
    auto rs = connection.openRecordset(" SELECT kabuHdate FROM Table_Url");
    if (rs->isEof()) {
        return {};
    }
    const std::string d = core::Utf8::trim(core::TrimOrSpace(rs->field("kabuHdate")));
    if (d.size() != 8) {
        return {};
    }
    return d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2);
}

} // namespace zuvemo::marketdata
