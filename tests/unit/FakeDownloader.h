#pragma once

#include "TestSupport.h"
#include "marketdata/Downloader.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zuvemo::test {

// Serves fixed bodies or failure codes by address; every other address fails with 404.
class FakeDownloader : public marketdata::Downloader
{
public:
    std::int32_t DownloadToFile(const std::string& url, const std::filesystem::path& path) override
    {
        requested.push_back(url);
        if (auto code = codes.find(url); code != codes.end()) {
            return code->second;
        }
        if (fallback) {
            writeFile(path, fallback(url));
            return 0;
        }
        auto it = bodies.find(url);
        if (it == bodies.end()) {
            return 404;
        }
        writeFile(path, it->second);
        return 0;
    }

    std::map<std::string, std::string> bodies;
    std::function<std::string(const std::string&)> fallback;
    std::map<std::string, std::int32_t> codes; // addresses that fail with a given code
    std::vector<std::string> requested;
};

} // namespace zuvemo::test
