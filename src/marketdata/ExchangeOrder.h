#pragma once

#include <string>
#include <vector>

namespace zuvemo::marketdata {

// The order in which the exchange lists its markets and industries: a list box that offers them
// shows them so, not in the order of their characters.
class ExchangeOrder
{
public:
    // プライム, スタンダード, グロース, TOKYO PRO MARKET, then the other exchanges' markets; names
    // the order does not know last, in text order. An empty entry ("all") stays first.
    static std::vector<std::string> markets(std::vector<std::string> names);
    // The 33 industries in the order of their codes (水産・農林業 0050 … サービス業 9050), then
    // その他 and the names the order does not know.
    static std::vector<std::string> industries(std::vector<std::string> names);
};

} // namespace zuvemo::marketdata
