#pragma once

#include "PriceStore.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zuvemo::marketdata {

// The columns of the store's bars that its readers take, in a file of its own beside it, a
// stock's together: a pass over every bar reads them at the speed of the disk, not of SQLite's
// rows. The file names the store's stamp of its bars (which every write of a bar changes, in the
// same transaction): a copy of another stamp is not used, so it is never older than the store.
class BarCopy
{
public:
    static constexpr const char* kFileName = "zuvemo-prices.bars";

    // One bar as the store holds it; a NULL as its flag (its value then 0, a factor's 1).
    struct Row
    {
        std::string_view code, date;
        double c = 0, adjC = 0, adjH = 0, adjL = 0, adjVo = 0, va = 0, adjO = 0, o = 0, adjFactor = 1;
        bool cNull = false, adjCNull = false, oNull = false, factorNull = false;
        std::int8_t ul = -1, ll = -1; // -1 NULL, 1 the value 1, 0 any other
    };
    using EachRow = std::function<void(const Row&)>;

    // Writes the copy of stamp from rows, which hands every bar over in code then date order:
    // beside the file and renamed over it once whole, so a stop leaves the one before. False
    // (and no file changed) when it could not be written.
    static bool write(const std::filesystem::path& programFolder, const std::string& stamp,
        const std::function<void(const EachRow&)>& rows);
    // The stamp of the copy there; empty when there is none or it cannot be read.
    static std::string stampOf(const std::filesystem::path& programFolder);
    // The copy of the folder when it is of stamp, else null.
    static std::unique_ptr<BarCopy> open(
        const std::filesystem::path& programFolder, const std::string& stamp);

    struct Key
    {
        explicit Key() = default;
    };
    explicit BarCopy(Key); // open's alone
    ~BarCopy();
    BarCopy(const BarCopy&) = delete;
    BarCopy& operator=(const BarCopy&) = delete;

    const std::string& stamp() const { return m_stamp; }
    // As PriceStore::eachStockBars gives them, to the last digit; a stock whose part of the
    // file does not read back as written is handed to unreadable instead, for its reading from
    // the store.
    void eachStock(const std::vector<std::string>& days,
        const std::function<void(const std::string& code, const std::vector<PriceStore::DayBar>& bars)>& fn,
        bool closesOnly, const std::string& fromCode, const std::string& toCode,
        PriceStore::BarColumns columns, const std::function<void(const std::string& code)>& unreadable);

private:
    struct Stock
    {
        std::string code;
        std::uint64_t offset = 0, size = 0;
    };

    bool readBlock(const Stock& stock, std::vector<unsigned char>& block);

    std::ifstream m_file;
    std::string m_stamp;
    std::vector<std::string> m_dates;
    std::vector<Stock> m_stocks; // in code order
};

} // namespace zuvemo::marketdata
