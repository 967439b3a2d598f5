#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace zuvemo::marketdata {

// The checks a J-Quants answer passes before one row of it is stored. A day, a stock's history,
// the master and the calendar are each taken whole or not at all: a row dated another day, a
// price sent as text or a code sent twice makes the whole answer malformed. A bar whose values
// cannot have traded is kept as a day without a trade, unless too many are.
class JQuantsAnswer
{
public:
    struct Check
    {
        bool ok = false;
        std::string fault; // Japanese, when not ok
        nlohmann::json rows = nlohmann::json::array(); // what may be stored
        std::vector<std::string> leftOut; // codes (or dates) whose bar could not have traded
        int putAside = 0; // figures that cannot be (a market value of 0 or less, a dividend below 0, …)
    };

    // Highest believable price in yen, and volume or turnover.
    static constexpr double kMaxPrice = 1e8;
    static constexpr double kMaxAmount = 1e15;
    // The longest field taken: a figure, and a text (a date, a document's kind).
    static constexpr std::size_t kMaxNumberChars = 64;
    static constexpr std::size_t kMaxTextChars = 200;
    // More bars than this share (in percent) left out refuses the answer.
    static constexpr std::size_t kLeftOutPercent = 10;

    // /equities/bars/daily?date=date
    static Check day(const std::string& date, const nlohmann::json& rows);
    // /equities/bars/daily?code=code&from=from&to=to
    static Check stock(
        const std::string& code, const std::string& from, const std::string& to, const nlohmann::json& rows);
    // /equities/master: every record with its code, name and market, each code once.
    static Check master(const nlohmann::json& rows);
    // /markets/calendar?from=from&to=to
    static Check calendar(const std::string& from, const std::string& to, const nlohmann::json& rows);

    // /equities/valuation?date=date: each stock once ("13210" and "1321" are one); its figures
    // numbers, or none (null, "", "-", text that is no plain decimal number, a value that is not
    // finite, a market value of 0 or less), kept as null. A text longer than kMaxNumberChars
    // refuses the answer.
    static Check valuation(const std::string& date, const nlohmann::json& rows);
    // /fins/summary?date=date: filings of that disclosure day, each (code, DiscNo) once; the
    // fields kept as the text sent, but a dividend below 0 and an equity ratio below 0 or over 100
    // as none (""). A field longer than its kind's limit refuses the answer, never cut.
    static Check filings(const std::string& date, const nlohmann::json& rows);
    // A figure as the program takes it: a finite number, or a plain decimal text of at most
    // kMaxNumberChars (core::Value::decimal); none otherwise.
    static std::optional<double> figure(const nlohmann::json& value);
    static std::optional<double> figure(const std::string& text);

    // A server's text inside a message: in quotes, short, one line of plain characters.
    static std::string shown(const std::string& text);

    // "2026-12-08": a real day, written as the API writes it.
    static bool isDate(const std::string& text);
    // "72030", "130A0", "7203".
    static bool isCode(const std::string& text);
    // A traded bar whose prices, volumes and factor could be real; a bar without a trade (all
    // four prices null) always is.
    static bool possible(const nlohmann::json& row);

private:
    static Check bars(const nlohmann::json& rows, bool byDate, const std::string& key,
        const std::string& from, const std::string& to);
};

} // namespace zuvemo::marketdata
