#include "UrlSettings.h"

#include "core/DatabaseError.h"
#include "core/Mdl_Start.h"
#include "core/MessagePresenter.h"
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

} // namespace zuvemo::marketdata
