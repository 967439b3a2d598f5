#pragma once

#include <filesystem>
#include <list>
#include <optional>
#include <string>

typedef struct zip zip_t;

namespace zuvemo::exporting {

// An Office Open XML package opened for reading and changing its parts. Changes are written by
// close(); the replaced contents stay alive here until then, as libzip requires.
class ZipArchive
{
public:
    ZipArchive() = default;
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool open(const std::filesystem::path& path, std::string* error);
    std::optional<std::string> read(const std::string& name) const;
    bool replace(const std::string& name, std::string contents, std::string* error);
    bool remove(const std::string& name);
    bool close(std::string* error);
    void discard();

private:
    zip_t* m_zip = nullptr;
    std::list<std::string> m_buffers;
};

} // namespace zuvemo::exporting
