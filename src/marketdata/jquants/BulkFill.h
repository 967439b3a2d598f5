#pragma once

#include "BulkFileReader.h"
#include "JQuantsAnswer.h"
#include "JQuantsClient.h"
#include "JQuantsRefresh.h"
#include "KeyMask.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zuvemo::marketdata {

class PriceStore;

// The deep part of a fill from J-Quants' monthly files (/bulk/list, /bulk/get): a month's
// bars or disclosures for two requests instead of one a day. Each file is downloaded from its
// signed address without the key, unpacked as it comes, read by its header's names and checked
// day by day as that day's answer would be; only then is each wanted day of it stored, in its
// own transaction and marked as a day fetched alone. A file that fails stores nothing and is
// named with its reason; its days are left to the one-day requests that follow, as are all the
// files left once the file host has timed out twice in a row.
class BulkFill
{
public:
    struct Hooks
    {
        // Before each file and once after the last; false stops the fill (what is stored stays).
        JQuantsRefresh::FileProgress progress;
        std::function<void(const std::string& day, const JQuantsAnswer::Check&)> barsStored;
        std::function<void(const std::string& what, const JQuantsAnswer::Check&)> filingsStored;
    };
    struct Outcome
    {
        bool cancelled = false;
        int files = 0; // read whole and used
        std::int64_t bytes = 0; // downloaded, as sent (packed)
        int priceDays = 0;
        int filingDays = 0;
        std::vector<std::string> notes; // why files were not used, one line each
        // Disclosure days a file read whole shows without a filing: taken out of the days
        // wanted, to be asked of the API once more, as a day empty once is.
        std::vector<std::string> emptyFilingDays;
    };

    // Fewer wanted days than this of an endpoint ask for no list: a few days cost less alone.
    static constexpr std::size_t kMinListDays = 20;
    // A month with fewer wanted days than this is fetched a day at a time.
    static constexpr std::size_t kMinFileDays = 3;
    // Time-outs of the file host in a row that end the files: the rest would each wait as long.
    static constexpr int kTimeoutsInRow = 2;
    static constexpr const char* kNoFilesNote
        = "履歴ファイルを使えません（契約プランかサーバーが対応していません）。1 日ずつ取得します。";
    static constexpr const char* kHostStalledNote
        = "履歴ファイルのサーバーが 2 回続けて時間内に応答しませんでした。残りの月は 1 日ずつ取得します。";

    BulkFill(JQuantsClient& client, PriceStore& store, const JQuantsClient::Options& options);

    // The days of the whole depth, stored or not: the files are counted over them, so that a fill
    // that goes on after a stop counts the files its earlier runs read. Without them the count
    // is of the files this run reads.
    void countOver(std::vector<std::string> priceDays, std::vector<std::string> filingDays);

    // priceDays and filingDays: the days wanted, newest first; the days the files stored are
    // taken out of them. newest: the newest day, whose disclosures may still be coming in.
    Outcome run(std::vector<std::string>& priceDays, std::vector<std::string>& filingDays,
        const std::string& newest, const Hooks& hooks);

    // The dividend notices of days (notice days, newest first) from the monthly files of
    // /fins/dividend: each file read whole and handed with its wanted days to store, which checks
    // and keeps them (false with the fault: the file is named and its days left). The days stored
    // are taken out of days. goOn before each file; false stops.
    using NoticeSink = std::function<bool(
        const nlohmann::json& rows, const std::vector<std::string>& days, std::string& fault)>;
    Outcome dividends(
        std::vector<std::string>& days, const NoticeSink& store, const std::function<bool()>& goOn);

    // The lists of past days (days: one a month at most) from the monthly files of
    // /equities/master: each wanted day's rows, whatever days a file holds, handed to store, which
    // checks and keeps them as that day's list (false with the fault: the file is named and the
    // day left). The days stored are taken out of days. goOn before each file; false stops.
    using ListSink
        = std::function<bool(const nlohmann::json& rows, const std::string& day, std::string& fault)>;
    Outcome lists(std::vector<std::string>& days, const ListSink& store, const std::function<bool()>& goOn);

    // The month a monthly file's key names ("…/equities_bars_daily_202403.csv.gz" → "2024-03");
    // empty for any other key (a day's file, another kind).
    static std::string monthOfKey(const std::string& key);

private:
    struct File
    {
        BulkFileReader::Kind kind;
        std::string month;
        std::string key;
        std::int64_t size = 0;
        // The day its adjusted values were computed on: when the list says it was made, and
        // never before its month ended.
        std::string asOf;
        int wanted = 0; // days of it wanted when the files were chosen
    };
    // The files of the whole depth that earlier runs read: their months, of the lists asked
    // (or, for a kind not asked for its few days wanted, of the other kind's list), have days
    // enough of the depth and no longer enough wanted.
    int readBefore(const std::vector<File>& listed, const std::vector<BulkFileReader::Kind>& unasked,
        const std::vector<std::string>& priceDays, const std::vector<std::string>& filingDays) const;
    // The monthly files an endpoint lists, by month; false (with a note) when there are none to use.
    bool list(const std::string& endpoint, BulkFileReader::Kind kind, std::vector<File>& files,
        Outcome& outcome, bool& refused);
    // Downloads a file into reader, read whole; false when it failed (named in the notes), with
    // goOn false when the fill should stop taking files.
    bool download(const File& file, BulkFileReader& reader, Outcome& outcome, bool& goOn);
    // A note naming the file and why it is not used; true (the next file is taken).
    bool refuse(const File& file, const std::string& reason, Outcome& outcome) const;
    // Each listed file of endpoint with minDays or more of days (at least one), downloaded and
    // read whole, handed to take; false when the fill stops (cancelled, the host stalled). quiet:
    // a server that lists no such files is no note, its days being asked alone.
    using Take = std::function<void(const File& file, const BulkFileReader& reader, const KeyMask& mask)>;
    bool eachFile(const std::string& endpoint, BulkFileReader::Kind kind,
        const std::vector<std::string>& days, int minDays, bool quiet, Outcome& outcome,
        const std::function<bool()>& goOn, const Take& take);
    // Reads one file and stores its wanted days; false when the fill should stop taking files.
    bool take(const File& file, std::vector<std::string>& days, const std::string& newest, const Hooks& hooks,
        Outcome& outcome);

    JQuantsClient& m_client;
    PriceStore& m_store;
    std::vector<std::string> m_depthPrices;
    std::vector<std::string> m_depthFilings;
    std::map<std::string, std::string> m_basis; // each day a file stored: the day its file was made on
    JQuantsClient::Options m_options;
    int m_timeoutsInRow = 0;
};

} // namespace zuvemo::marketdata
