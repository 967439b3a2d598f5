// J-Quants answers into a price store: whatever a server sends, an answer the checks take holds
// only rows a market could print, and only those reach the store.
#include "FuzzSupport.h"
#include "marketdata/jquants/JQuantsAnswer.h"
#include "marketdata/jquants/JQuantsRefresh.h"
#include "marketdata/jquants/PriceStore.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <set>
#include <unistd.h>

using namespace zuvemo::marketdata;
using nlohmann::json;

namespace {

const std::string kDay = "2026-12-08";
const std::string kFrom = "2026-01-01";
const std::string kTo = "2026-12-31";

// One store for the run, in memory where the system has /dev/shm, gone at exit.
struct Scratch
{
    std::filesystem::path dir;
    std::unique_ptr<PriceStore> store;
    Scratch()
    {
        const auto folder = std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                : std::filesystem::temp_directory_path();
        dir = folder / ("zuvemo-fuzz-jquants-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        store = std::make_unique<PriceStore>(dir);
    }
    ~Scratch()
    {
        store.reset(); // closed before its files go
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

PriceStore& store()
{
    static Scratch scratch;
    return *scratch.store;
}

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// Every bar the store hands out for a day the checks took is one a market could print.
void checkStored(const JQuantsAnswer::Check& check, const std::string& upTo)
{
    for (const auto& row : check.rows) {
        const auto days = store().history(row["Code"].get<std::string>(), 1, upTo);
        require(!days.empty());
        const auto& d = days.front();
        if (d.traded) {
            for (double v : {d.c, d.adjO, d.adjH, d.adjL, d.adjC}) {
                require(std::isfinite(v) && v > 0 && v <= JQuantsAnswer::kMaxPrice);
            }
            require(d.adjVo >= 0 && d.adjVo <= JQuantsAnswer::kMaxAmount && d.va >= 0);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const auto body = json::parse(zuvemo::fuzz::bytes(data + 1, size - 1), nullptr, false);
    if (body.is_discarded() || !body.is_object() || !body.contains("data")) {
        return 0;
    }
    const json& rows = body["data"];
    switch (data[0] % 4) {
    case 0: {
        const auto check = JQuantsAnswer::day(kDay, rows);
        if (!check.ok) {
            return 0;
        }
        std::set<std::string> codes;
        for (const auto& row : check.rows) {
            require(row["Date"] == kDay && codes.insert(row["Code"].get<std::string>()).second);
            require(JQuantsAnswer::possible(row));
        }
        require(check.leftOut.size() * 10 <= check.rows.size());
        store().storeDay(kDay, check.rows);
        require(store().hasDay(kDay));
        checkStored(check, kDay);
        break;
    }
    case 1: {
        const auto check = JQuantsAnswer::stock("72030", kFrom, kTo, rows);
        if (!check.ok || check.rows.empty()) {
            return 0;
        }
        for (const auto& row : check.rows) {
            require(row["Code"] == "72030" && row["Date"] >= kFrom && row["Date"] <= kTo);
            require(JQuantsAnswer::possible(row));
        }
        store().storeStock("72030", kFrom, kTo, check.rows);
        require(store().pendingRefetches().empty());
        break;
    }
    case 2: {
        const auto check = JQuantsAnswer::master(rows);
        if (!check.ok) {
            return 0;
        }
        // The day's list of the stocks it names: one line per bar the master knows, at most.
        json bars = json::array();
        for (const auto& row : check.rows) {
            bars.push_back({{"Code", row["Code"]}, {"Date", kDay}, {"O", 1.0}, {"H", 2.0}, {"L", 1.0},
                {"C", 2.0}, {"Vo", 1.0}, {"Va", 2.0}});
        }
        int unknown = 0;
        const std::string list = JQuantsRefresh::dailyList(kDay, bars, check.rows, &unknown);
        require(unknown == 0);
        std::size_t lines = 0;
        for (std::size_t at = list.find("\r\n"); at != std::string::npos; at = list.find("\r\n", at + 2)) {
            ++lines;
        }
        require(lines == check.rows.size() + 1);
        break;
    }
    default: {
        const auto check = JQuantsAnswer::calendar(kFrom, kTo, rows);
        if (!check.ok) {
            return 0;
        }
        store().storeCalendar(check.rows);
        for (const auto& day : store().tradingDays(kFrom, kTo)) {
            require(JQuantsAnswer::isDate(day) && day >= kFrom && day <= kTo);
        }
        break;
    }
    }
    return 0;
}
