#include "ExchangeOrder.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace zuvemo::marketdata {

namespace {

// A market's place: the first of these its name holds ("東証プライム" and J-Quants' "プライム"
// alike).
constexpr std::string_view kMarkets[] = {"プライム", "スタンダード", "グロース", "TOKYO PRO", "名証プレミア",
    "名証メイン", "名証ネクスト", "札証", "アンビシャス", "福証", "Q-Board"};

// The 33 industries by their codes, as JPX prints the names.
constexpr std::string_view kIndustries[] = {"水産・農林業", "鉱業", "建設業", "食料品", "繊維製品",
    "パルプ・紙", "化学", "医薬品", "石油・石炭製品", "ゴム製品", "ガラス・土石製品", "鉄鋼", "非鉄金属",
    "金属製品", "機械", "電気機器", "輸送用機器", "精密機器", "その他製品", "電気・ガス業", "陸運業",
    "海運業", "空運業", "倉庫・運輸関連業", "情報・通信業", "卸売業", "小売業", "銀行業",
    "証券、商品先物取引業", "保険業", "その他金融業", "不動産業", "サービス業", "その他"};

template <typename Rank> std::vector<std::string> ordered(std::vector<std::string> names, Rank rank)
{
    std::stable_sort(names.begin(), names.end(), [&rank](const std::string& a, const std::string& b) {
        // "All" first, whatever it is called by the list.
        if (a.empty() != b.empty()) {
            return a.empty();
        }
        const auto x = rank(a);
        const auto y = rank(b);
        return x != y ? x < y : a < b;
    });
    return names;
}

} // namespace

std::vector<std::string> ExchangeOrder::markets(std::vector<std::string> names)
{
    return ordered(std::move(names), [](const std::string& name) {
        for (std::size_t i = 0; i < std::size(kMarkets); ++i) {
            if (name.find(kMarkets[i]) != std::string::npos) {
                return i;
            }
        }
        return std::size(kMarkets);
    });
}

std::vector<std::string> ExchangeOrder::industries(std::vector<std::string> names)
{
    return ordered(std::move(names), [](const std::string& name) {
        const auto* it = std::find(std::begin(kIndustries), std::end(kIndustries), std::string_view(name));
        return static_cast<std::size_t>(it - std::begin(kIndustries));
    });
}

} // namespace zuvemo::marketdata
