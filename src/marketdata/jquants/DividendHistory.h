#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace zuvemo::core {
class Connection;
class Statement;
} // namespace zuvemo::core

namespace zuvemo::marketdata {

// Dividends per share by ex-date (/fins/dividend, Premium plan), kept beside the prices as JPX
// notifies them: new notices, corrections that replace the notice they name, deletions that
// remove it with its corrections. Only a decided dividend with a figure counts.
class DividendHistory
{
public:
    // One notice as kept; the texts as sent.
    struct Notice
    {
        std::string refNo, caRefNo, statCode; // StatCode: 1 new, 2 correction, 3 deletion
        std::string code, exDate, recDate, payDate, pubDate;
        std::string divRate; // per share; "-" undecided, "" none
        std::string ifCode, frCode, commSpecCode; // 1 中間 / 2 期末; 1 決定 / 2 予想; 0 通常 …
        friend bool operator==(const Notice&, const Notice&) = default;
    };
    struct Check
    {
        bool ok = false;
        std::string fault; // why the whole answer is refused
        std::vector<Notice> notices; // in the order sent
    };
    // An answer checked whole: every notice with a RefNo, once, a code and a StatCode of 1 to
    // 3; a correction or deletion names the notice it concerns; dates are real days or empty.
    static Check check(const nlohmann::json& rows);

    // A dividend that counts: decided, with a figure.
    struct Dividend
    {
        std::string code, exDate;
        double perShare = 0;
        std::string refNo;
    };

    // Notices put aside as no dividend can be: a DivRate below 0 or above the stock's close on
    // the day of the notice (closeOf: nothing when the store has none), or an ex-date that is no
    // trading day (isTradingDay). Deletions name no figure and are kept as sent.
    struct Sorted
    {
        std::vector<Notice> kept;
        int impossibleRates = 0;
        int noTradingDays = 0;
    };
    static Sorted putAside(std::vector<Notice> notices,
        const std::function<std::optional<double>(const std::string& code, const std::string& day)>& closeOf,
        const std::function<bool(const std::string& day)>& isTradingDay);

    explicit DividendHistory(core::Connection& prices);
    // Applies notices in order, in one transaction, with the notice days they are the whole of
    // (daysAsked), so a fill that goes on after a stop asks none of those again. A notice a
    // deletion removed stays removed should it come again; a notice a stored correction
    // replaced is not taken back.
    void apply(const std::vector<Notice>& notices, const std::vector<std::string>& daysAsked = {});
    // The notice days whose notices are all kept, ascending.
    std::vector<std::string> askedDays();
    // The dividends that count with an ex-date in from … to (both included), by ex-date.
    std::vector<Dividend> dividends(const std::string& from, const std::string& to);
    // The forecasts (FRCode 2) with an ex-date in from … to that no decided notice of the same
    // code, ex-date and kind (中間 or 期末) has followed yet, by ex-date: dividends that may still
    // be missing from those days.
    std::vector<Notice> undecided(const std::string& from, const std::string& to);
    // The figure of a decided dividend, or nothing ("-", "", text that is no plain number, a
    // negative one).
    static std::optional<double> perShare(const Notice& notice);

private:
    // A row of kColumns.
    static Notice noticeOf(core::Statement& row);

    core::Connection& m_db;
};

} // namespace zuvemo::marketdata
