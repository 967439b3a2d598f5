#pragma once

#include <optional>
#include <string>

namespace zuvemo::core {
class Connection;
class Mdl_Start;
} // namespace zuvemo::core

namespace zuvemo::marketdata {

// The first row of Table_Url, each value through the text rule and trimmed.
struct UrlSettings
{
    std::string dailyUrl; // kabuHUrl
    std::string historyUrl; // kabuMUrl
    std::string suffix; // kabuSi
    std::string tradingDate; // kabuHdate, eight digits

    static constexpr const char* kNoAddressMessage = "取得するURLが見当たりません。";

    // Reads the row through SqlBuffer and SharedRecordset. Without a row it shows
    // "取得するURLが見当たりません。" and returns nothing.
    static std::optional<UrlSettings> read(core::Mdl_Start& module);
    // The same without the message.
    static std::optional<UrlSettings> find(core::Mdl_Start& module);
    // The trading date of the list held as YYYY-MM-DD, empty without one; through a recordset
    // of its own, so a caller's open SharedRecordset stays as it is.
    static std::string listDate(core::Connection& connection);
};

} // namespace zuvemo::marketdata
