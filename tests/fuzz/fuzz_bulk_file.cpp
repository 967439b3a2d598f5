// A monthly file of J-Quants as any server may send it: packed or not, cut anywhere into the
// pieces a transfer brings. However it is cut, it reads the same; a file taken holds only rows of
// its month, each day of which the day's own check takes or refuses whole.
#include "FuzzSupport.h"
#include "marketdata/GzipInflater.h"
#include "marketdata/jquants/BulkFileReader.h"
#include "marketdata/jquants/JQuantsAnswer.h"

#include <cstdlib>

using namespace zuvemo::marketdata;

namespace {

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// The file read from text in pieces of step bytes (0: whole), unpacked first when packed:
// its fault, or its days' rows.
std::string read(BulkFileReader::Kind kind, std::string_view text, bool packed, std::size_t step)
{
    BulkFileReader reader(kind, "2024-03");
    GzipInflater inflater([&reader](std::string_view piece) { return reader.feed(piece); }, 1 << 22);
    bool fed = true;
    for (std::size_t at = 0; fed && at < text.size(); at += step ? step : text.size()) {
        const auto piece = text.substr(at, step ? step : text.size());
        fed = packed ? inflater.feed(piece.data(), piece.size()) : reader.feed(piece);
    }
    if (!fed || (packed && !inflater.complete()) || !reader.finish()) {
        return "fault";
    }
    std::string out;
    for (const auto& day : reader.days()) {
        require(day.compare(0, 7, "2024-03") == 0 && JQuantsAnswer::isDate(day));
        const auto rows = reader.dayRows(day);
        require(!rows.empty());
        const auto check = kind == BulkFileReader::Kind::Bars ? JQuantsAnswer::day(day, rows)
                                                                : JQuantsAnswer::filings(day, rows);
        require(check.ok || !check.fault.empty());
        out += day + rows.dump() + "\n";
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    // The first byte picks the kind and whether the rest is packed, the second the pieces.
    const auto kind = data[0] & 1 ? BulkFileReader::Kind::Filings : BulkFileReader::Kind::Bars;
    const bool packed = data[0] & 2;
    const std::size_t step = 1 + data[1] % 17;
    const auto text = zuvemo::fuzz::bytes(data + 2, size - 2);
    require(read(kind, text, packed, step) == read(kind, text, packed, 0));
    return 0;
}
