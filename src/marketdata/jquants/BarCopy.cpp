#include "BarCopy.h"

#include "core/Platform.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>
#include <system_error>

namespace zuvemo::marketdata {

namespace {

constexpr char kMagic[8] = {'Z', 'V', 'B', 'A', 'R', 'S', '0', '1'};
constexpr std::size_t kHeaderSize = 64;
constexpr std::size_t kMaxStamp = kHeaderSize - 8 - 8 - 8 - 1;
constexpr std::size_t kDateSize = 10; // YYYY-MM-DD
constexpr std::size_t kColumns = 9; // C, AdjC, AdjH, AdjL, AdjVo, Va, AdjO, O, AdjFactor
constexpr std::size_t kAdjC = 1, kAdjO = 6, kO = 7;
// The column another one is most often equal to (a stock never split), or none.
constexpr std::array<int, kColumns> kSameAs = {-1, 0, -1, -1, -1, -1, kO, -1, -1};

enum Kind : unsigned char { kZero = 0, kSame = 1, kOne = 2, kFloat = 3, kDouble = 4 };

// Another order of bytes than this machine's would read back as other numbers.
constexpr bool kUsable = std::endian::native == std::endian::little;

std::uint64_t hashOf(const unsigned char* data, std::size_t size)
{
    std::uint64_t h = 0xcbf29ce484222325ULL;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        h = (h ^ word) * 0x9E3779B97F4A7C15ULL;
        h ^= h >> 29;
    }
    for (; i < size; ++i) {
        h = (h ^ data[i]) * 0x100000001b3ULL;
    }
    return h;
}

bool sameBits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

template <typename T> void put(std::vector<unsigned char>& out, T value)
{
    const auto at = out.size();
    out.resize(at + sizeof(T));
    std::memcpy(out.data() + at, &value, sizeof(T));
}

// Reads what put wrote, refusing to read past the end.
struct Reader
{
    const unsigned char* data;
    std::size_t size;
    std::size_t at = 0;

    bool has(std::size_t n) const { return n <= size - at; }
    template <typename T> bool take(T& value)
    {
        if (!has(sizeof(T))) {
            return false;
        }
        std::memcpy(&value, data + at, sizeof(T));
        at += sizeof(T);
        return true;
    }
    const unsigned char* skip(std::size_t n)
    {
        if (!has(n)) {
            return nullptr;
        }
        const auto* p = data + at;
        at += n;
        return p;
    }
};

// One stock's rows, a column each, as the file holds them.
struct Block
{
    std::vector<std::uint16_t> dates;
    std::vector<unsigned char> flags;
    std::array<std::vector<double>, kColumns> values;

    void clear()
    {
        dates.clear();
        flags.clear();
        for (auto& v : values) {
            v.clear();
        }
    }

    void encode(std::vector<unsigned char>& out) const
    {
        out.clear();
        put<std::uint32_t>(out, static_cast<std::uint32_t>(dates.size()));
        for (const auto d : dates) {
            put(out, d);
        }
        out.insert(out.end(), flags.begin(), flags.end());
        for (std::size_t c = 0; c < kColumns; ++c) {
            const auto& v = values[c];
            auto all = [&](auto pred) { return std::all_of(v.begin(), v.end(), pred); };
            if (all([](double x) { return sameBits(x, 0.0); })) {
                put(out, kZero);
            } else if (all([](double x) { return sameBits(x, 1.0); })) {
                put(out, kOne);
            } else if (kSameAs[c] >= 0
                && std::equal(
                    v.begin(), v.end(), values[static_cast<std::size_t>(kSameAs[c])].begin(), sameBits)) {
                put(out, kSame);
            } else if (all([](double x) {
                           return sameBits(static_cast<double>(static_cast<float>(x)), x);
                       })) {
                put(out, kFloat);
                for (const double x : v) {
                    put(out, static_cast<float>(x));
                }
            } else {
                put(out, kDouble);
                for (const double x : v) {
                    put(out, x);
                }
            }
        }
        put(out, hashOf(out.data(), out.size()));
    }

    bool decode(const unsigned char* data, std::size_t size, std::size_t dateCount)
    {
        clear();
        if (size < 8 || hashOf(data, size - 8) != [&] {
                std::uint64_t h;
                std::memcpy(&h, data + size - 8, 8);
                return h;
            }()) {
            return false;
        }
        Reader r{data, size - 8};
        std::uint32_t rows = 0;
        if (!r.take(rows) || !r.has(static_cast<std::size_t>(rows) * 3)) {
            return false;
        }
        dates.resize(rows);
        for (auto& d : dates) {
            r.take(d);
            if (d >= dateCount) {
                return false;
            }
        }
        const auto* f = r.skip(rows);
        flags.assign(f, f + rows);
        std::array<unsigned char, kColumns> kinds{};
        for (std::size_t c = 0; c < kColumns; ++c) {
            if (!r.take(kinds[c])) {
                return false;
            }
            auto& v = values[c];
            switch (kinds[c]) {
            case kZero:
                v.assign(rows, 0.0);
                break;
            case kOne:
                v.assign(rows, 1.0);
                break;
            case kSame:
                if (kSameAs[c] < 0) {
                    return false;
                }
                break;
            case kFloat: {
                const auto* p = r.skip(static_cast<std::size_t>(rows) * sizeof(float));
                if (!p) {
                    return false;
                }
                v.resize(rows);
                for (std::size_t i = 0; i < rows; ++i) {
                    float x;
                    std::memcpy(&x, p + i * sizeof(float), sizeof(float));
                    v[i] = x;
                }
                break;
            }
            case kDouble: {
                const auto* p = r.skip(static_cast<std::size_t>(rows) * sizeof(double));
                if (!p) {
                    return false;
                }
                v.resize(rows);
                std::memcpy(v.data(), p, static_cast<std::size_t>(rows) * sizeof(double));
                break;
            }
            default:
                return false;
            }
        }
        for (std::size_t c = 0; c < kColumns; ++c) {
            if (kinds[c] == kSame) {
                const auto ref = static_cast<std::size_t>(kSameAs[c]);
                if (kinds[ref] == kSame) {
                    return false;
                }
                values[c] = values[ref];
            }
        }
        return r.at == r.size;
    }
};

unsigned char limitBits(std::int8_t flag)
{
    return flag < 0 ? 0 : flag == 1 ? 1 : 2;
}

} // namespace

BarCopy::BarCopy(Key) { }

BarCopy::~BarCopy() = default;

bool BarCopy::write(const std::filesystem::path& programFolder, const std::string& stamp,
    const std::function<void(const EachRow&)>& rows)
{
    if (!kUsable || stamp.empty() || stamp.size() > kMaxStamp) {
        return false;
    }
    const auto target = programFolder / kFileName;
    auto temp = target;
    temp += ".new";
    std::error_code ignored;
    bool ok = true;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        std::vector<unsigned char> bytes(kHeaderSize, 0);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        std::uint64_t offset = kHeaderSize;
        std::vector<std::string> dates;
        std::vector<std::pair<std::string, std::uint16_t>> dateIndex; // sorted by date
        std::vector<Stock> stocks;
        Block block;
        std::string code;
        auto flush = [&] {
            if (block.dates.empty()) {
                return;
            }
            block.encode(bytes);
            out.write(
                reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            stocks.push_back(Stock{code, offset, bytes.size()});
            offset += bytes.size();
            block.clear();
        };
        auto indexOf = [&](std::string_view date) -> int {
            auto it = std::lower_bound(dateIndex.begin(), dateIndex.end(), date,
                [](const auto& e, std::string_view d) { return e.first < d; });
            if (it != dateIndex.end() && it->first == date) {
                return it->second;
            }
            if (date.size() != kDateSize || dates.size() > 0xFFFF) {
                return -1;
            }
            const auto index = static_cast<std::uint16_t>(dates.size());
            dates.emplace_back(date);
            dateIndex.emplace(it, std::string(date), index);
            return index;
        };
        rows([&](const Row& row) {
            if (!ok) {
                return;
            }
            if (row.code != code) {
                flush();
                if (!stocks.empty() && row.code <= stocks.back().code) {
                    ok = false; // not in the key's order: a reader would not find it
                    return;
                }
                code = row.code;
            }
            const int date = indexOf(row.date);
            if (date < 0) {
                ok = false;
                return;
            }
            block.dates.push_back(static_cast<std::uint16_t>(date));
            block.flags.push_back(static_cast<unsigned char>((row.cNull ? 1U : 0U) | (row.adjCNull ? 2U : 0U)
                | (row.oNull ? 4U : 0U) | (row.factorNull ? 8U : 0U) | (limitBits(row.ul) << 4)
                | (limitBits(row.ll) << 6)));
            const std::array<double, kColumns> v
                = {row.c, row.adjC, row.adjH, row.adjL, row.adjVo, row.va, row.adjO, row.o, row.adjFactor};
            for (std::size_t c = 0; c < kColumns; ++c) {
                block.values[c].push_back(v[c]);
            }
        });
        if (ok) {
            flush();
            std::vector<unsigned char> footer;
            put<std::uint32_t>(footer, static_cast<std::uint32_t>(dates.size()));
            for (const auto& d : dates) {
                footer.insert(footer.end(), d.begin(), d.end());
            }
            put<std::uint32_t>(footer, static_cast<std::uint32_t>(stocks.size()));
            for (const auto& s : stocks) {
                ok = ok && s.code.size() < 256;
                put<std::uint8_t>(footer, static_cast<std::uint8_t>(s.code.size()));
                footer.insert(footer.end(), s.code.begin(), s.code.end());
                put(footer, s.offset);
                put(footer, s.size);
            }
            put(footer, hashOf(footer.data(), footer.size()));
            out.write(
                reinterpret_cast<const char*>(footer.data()), static_cast<std::streamsize>(footer.size()));
            std::vector<unsigned char> header;
            header.insert(header.end(), std::begin(kMagic), std::end(kMagic));
            put(header, offset);
            put<std::uint64_t>(header, footer.size());
            put<std::uint8_t>(header, static_cast<std::uint8_t>(stamp.size()));
            header.insert(header.end(), stamp.begin(), stamp.end());
            header.resize(kHeaderSize - 8, 0);
            put(header, hashOf(header.data(), header.size()));
            out.seekp(0);
            out.write(
                reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
        }
        out.flush();
        ok = ok && out.good();
    }
    std::string error;
    if (!ok || !core::Platform::syncFile(temp) || !core::Platform::replaceFile(temp, target, &error, false)) {
        std::filesystem::remove(temp, ignored);
        return false;
    }
    return true;
}

namespace {

struct Header
{
    std::uint64_t footerOffset = 0, footerSize = 0;
    std::string stamp;
};

std::optional<Header> readHeader(std::ifstream& in)
{
    std::array<unsigned char, kHeaderSize> bytes{};
    if (!kUsable || !in.read(reinterpret_cast<char*>(bytes.data()), kHeaderSize)) {
        return std::nullopt;
    }
    std::uint64_t hash;
    std::memcpy(&hash, bytes.data() + kHeaderSize - 8, 8);
    if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0
        || hashOf(bytes.data(), kHeaderSize - 8) != hash) {
        return std::nullopt;
    }
    Header h;
    std::memcpy(&h.footerOffset, bytes.data() + 8, 8);
    std::memcpy(&h.footerSize, bytes.data() + 16, 8);
    const std::size_t length = bytes[24];
    if (length == 0 || length > kMaxStamp) {
        return std::nullopt;
    }
    h.stamp.assign(reinterpret_cast<const char*>(bytes.data()) + 25, length);
    return h;
}

} // namespace

std::string BarCopy::stampOf(const std::filesystem::path& programFolder)
{
    std::ifstream in(programFolder / kFileName, std::ios::binary);
    const auto header = in ? readHeader(in) : std::nullopt;
    return header ? header->stamp : std::string();
}

std::unique_ptr<BarCopy> BarCopy::open(const std::filesystem::path& programFolder, const std::string& stamp)
{
    if (stamp.empty()) {
        return nullptr;
    }
    auto copy = std::make_unique<BarCopy>(Key{});
    auto& in = copy->m_file;
    in.open(programFolder / kFileName, std::ios::binary);
    const auto header = in ? readHeader(in) : std::nullopt;
    if (!header || header->stamp != stamp || header->footerSize < 16 || header->footerSize > (1ULL << 30)) {
        return nullptr;
    }
    std::vector<unsigned char> footer(header->footerSize);
    in.seekg(static_cast<std::streamoff>(header->footerOffset));
    if (!in.read(reinterpret_cast<char*>(footer.data()), static_cast<std::streamsize>(footer.size()))) {
        return nullptr;
    }
    std::uint64_t hash;
    std::memcpy(&hash, footer.data() + footer.size() - 8, 8);
    if (hashOf(footer.data(), footer.size() - 8) != hash) {
        return nullptr;
    }
    Reader r{footer.data(), footer.size() - 8};
    std::uint32_t dates = 0, stocks = 0;
    if (!r.take(dates) || !r.has(static_cast<std::size_t>(dates) * kDateSize)) {
        return nullptr;
    }
    for (std::uint32_t i = 0; i < dates; ++i) {
        copy->m_dates.emplace_back(reinterpret_cast<const char*>(r.skip(kDateSize)), kDateSize);
    }
    if (!r.take(stocks)) {
        return nullptr;
    }
    for (std::uint32_t i = 0; i < stocks; ++i) {
        std::uint8_t length = 0;
        Stock s;
        const unsigned char* code = nullptr;
        if (!r.take(length) || !(code = r.skip(length)) || !r.take(s.offset) || !r.take(s.size)
            || s.offset < kHeaderSize || s.size > header->footerOffset
            || s.offset > header->footerOffset - s.size) {
            return nullptr;
        }
        s.code.assign(reinterpret_cast<const char*>(code), length);
        if (!copy->m_stocks.empty() && s.code <= copy->m_stocks.back().code) {
            return nullptr;
        }
        copy->m_stocks.push_back(std::move(s));
    }
    if (r.at != r.size) {
        return nullptr;
    }
    copy->m_stamp = stamp;
    return copy;
}

bool BarCopy::readBlock(const Stock& stock, std::vector<unsigned char>& block)
{
    block.resize(stock.size);
    m_file.clear();
    m_file.seekg(static_cast<std::streamoff>(stock.offset));
    return static_cast<bool>(
        m_file.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size())));
}

void BarCopy::eachStock(const std::vector<std::string>& days,
    const std::function<void(const std::string& code, const std::vector<PriceStore::DayBar>& bars)>& fn,
    bool closesOnly, const std::string& fromCode, const std::string& toCode, PriceStore::BarColumns columns,
    const std::function<void(const std::string& code)>& unreadable)
{
    if (days.empty()) {
        return;
    }
    // Each date of the file as a day of those asked, or none.
    std::vector<std::int64_t> dayOf(m_dates.size(), -1);
    for (std::size_t i = 0; i < m_dates.size(); ++i) {
        const auto it = std::lower_bound(days.begin(), days.end(), m_dates[i]);
        if (it != days.end() && *it == m_dates[i]) {
            dayOf[i] = it - days.begin();
        }
    }
    const bool highLow = !closesOnly && columns.highLow;
    const bool touches = !closesOnly && columns.touches;
    std::vector<unsigned char> bytes;
    Block block;
    std::vector<PriceStore::DayBar> bars;
    bars.reserve(days.size());
    auto first = std::lower_bound(m_stocks.begin(), m_stocks.end(), fromCode,
        [](const Stock& s, const std::string& code) { return s.code < code; });
    for (auto it = first; it != m_stocks.end() && (toCode.empty() || it->code <= toCode); ++it) {
        if (!readBlock(*it, bytes) || !block.decode(bytes.data(), bytes.size(), m_dates.size())) {
            unreadable(it->code);
            continue;
        }
        bars.clear();
        const auto& v = block.values;
        for (std::size_t i = 0; i < block.dates.size(); ++i) {
            const auto day = dayOf[block.dates[i]];
            if (day < 0) {
                continue;
            }
            const unsigned f = block.flags[i];
            PriceStore::DayBar bar;
            bar.day = static_cast<std::size_t>(day);
            bar.traded = (f & 3U) == 0;
            if (bar.traded) {
                bar.adjH = highLow ? v[2][i] : 0;
                bar.adjL = highLow ? v[3][i] : 0;
                bar.adjC = v[kAdjC][i];
                bar.adjVo = v[4][i];
                bar.va = v[5][i];
                bar.c = v[0][i];
                bar.adjO = closesOnly ? 0 : v[kAdjO][i];
                if (!closesOnly && (f & 4U) == 0) {
                    bar.o = v[kO][i];
                }
            }
            if (!closesOnly && (f & 8U) == 0) {
                bar.adjFactor = v[8][i];
            }
            if (touches) {
                if (const unsigned ul = (f >> 4) & 3U; ul != 0) {
                    bar.ul = static_cast<std::int8_t>(ul == 1);
                }
                if (const unsigned ll = (f >> 6) & 3U; ll != 0) {
                    bar.ll = static_cast<std::int8_t>(ll == 1);
                }
            }
            bars.push_back(bar);
        }
        if (!bars.empty()) {
            fn(it->code, bars);
        }
    }
}

} // namespace zuvemo::marketdata
