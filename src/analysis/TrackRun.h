#pragma once

#include "Indicators.h"
#include "StockFinder.h"
#include "TrackRecord.h"
#include "TrackReport.h"

#include <functional>
#include <string>
#include <vector>

namespace zuvemo::core {
class Mdl_Start;
}

namespace zuvemo::analysis {

// The track record of the signals over the histories a folder holds: a J-Quants folder's price
// store, or the screening's history files of the latest trading day in csv/. The stocks are the
// rows of Table_Code the screening would select. Throws DatabaseError when a table refuses.
class TrackRun
{
public:
    enum class GroupBy { None, Market, Industry };

    struct Options
    {
        std::string market;
        std::string industry;
        std::vector<int> horizons{1, 5, 20};
        GroupBy by = GroupBy::None;
        int threads = 0; // 0: one per core
        // Told each stock's marks, oldest day first, as the stock is counted (index into the
        // selection in code order); called from several threads at once.
        std::function<void(std::size_t index, const std::string& code, const std::vector<Indicators::Mark>& h,
            const std::vector<Indicators::Mark>& k)>
            eachStock;
    };

    static constexpr const char* kNoStocksMessage = StockFinder::kNoListMessage;
    static constexpr const char* kNoneSelectedMessage = "条件に合う銘柄がありません。";
    static constexpr const char* kNoHistoriesMessage
        = "成績を出す株価の履歴がありません。先に注目株検査を実行してください。";
    static constexpr const char* kNoStoreMessage
        = "成績を出す株価の履歴がありません。先に検索開始で株価を取得してください。";

    explicit TrackRun(core::Mdl_Start& module);

    TrackReport run(const Options& options);

private:
    struct Stock
    {
        std::string code; // as Table_Code holds it
        std::string group;
    };

    TrackRecord fromStore(const std::vector<Stock>& stocks, const Options& options, int days);
    TrackRecord fromFiles(const std::vector<Stock>& stocks, const Options& options, const std::string& latest,
        const std::string& suffix);

    core::Mdl_Start& m_module;
};

} // namespace zuvemo::analysis
