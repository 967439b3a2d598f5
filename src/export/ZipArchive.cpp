#include "ZipArchive.h"

#include "core/Platform.h"

#include <zip.h>

namespace zuvemo::exporting {

ZipArchive::~ZipArchive()
{
    discard();
}

bool ZipArchive::open(const std::filesystem::path& path, std::string* error)
{
    discard();
    int code = 0;
    m_zip = zip_open(core::Platform::toUtf8(path).c_str(), 0, &code);
    if (!m_zip) {
        if (error) {
            zip_error_t ze;
            zip_error_init_with_code(&ze, code);
            *error = zip_error_strerror(&ze);
            zip_error_fini(&ze);
        }
        return false;
    }
    return true;
}

std::optional<std::string> ZipArchive::read(const std::string& name) const
{
    if (!m_zip) {
        return std::nullopt;
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(m_zip, name.c_str(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
        return std::nullopt;
    }
    zip_file_t* file = zip_fopen(m_zip, name.c_str(), 0);
    if (!file) {
        return std::nullopt;
    }
    std::string data(static_cast<std::size_t>(st.size), '\0');
    zip_int64_t got = zip_fread(file, data.data(), st.size);
    zip_fclose(file);
    if (got < 0 || static_cast<zip_uint64_t>(got) != st.size) {
        return std::nullopt;
    }
    return data;
}

bool ZipArchive::replace(const std::string& name, std::string contents, std::string* error)
{
    if (!m_zip) {
        return false;
    }
    m_buffers.push_back(std::move(contents));
    const std::string& kept = m_buffers.back();
    zip_source_t* source = zip_source_buffer(m_zip, kept.data(), kept.size(), 0);
    if (!source) {
        if (error) {
            *error = zip_strerror(m_zip);
        }
        return false;
    }
    zip_int64_t index = zip_name_locate(m_zip, name.c_str(), 0);
    bool ok = index >= 0
        ? zip_file_replace(m_zip, static_cast<zip_uint64_t>(index), source, ZIP_FL_ENC_UTF_8) == 0
        : zip_file_add(m_zip, name.c_str(), source, ZIP_FL_ENC_UTF_8) >= 0;
    if (!ok) {
        zip_source_free(source);
        if (error) {
            *error = zip_strerror(m_zip);
        }
    }
    return ok;
}

bool ZipArchive::remove(const std::string& name)
{
    zip_int64_t index = m_zip ? zip_name_locate(m_zip, name.c_str(), 0) : -1;
    return index >= 0 && zip_delete(m_zip, static_cast<zip_uint64_t>(index)) == 0;
}

bool ZipArchive::close(std::string* error)
{
    if (!m_zip) {
        return false;
    }
    if (zip_close(m_zip) != 0) {
        if (error) {
            *error = zip_strerror(m_zip);
        }
        zip_discard(m_zip);
        m_zip = nullptr;
        m_buffers.clear();
        return false;
    }
    m_zip = nullptr;
    m_buffers.clear();
    return true;
}

void ZipArchive::discard()
{
    if (m_zip) {
        zip_discard(m_zip);
        m_zip = nullptr;
    }
    m_buffers.clear();
}

} // namespace zuvemo::exporting
