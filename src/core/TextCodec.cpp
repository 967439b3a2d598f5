#include "TextCodec.h"

#include <cerrno>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace zuvemo::core::TextCodec {

namespace {

#ifndef _WIN32
class IconvHandle
{
public:
    IconvHandle(const char* to, const char* from)
        : m_handle(iconv_open(to, from))
    {
    }
    ~IconvHandle()
    {
        if (valid()) {
            iconv_close(m_handle);
        }
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool valid() const { return m_handle != reinterpret_cast<iconv_t>(-1); }

    std::optional<std::string> convert(std::string_view input)
    {
        if (!valid()) {
            return std::nullopt;
        }
        iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        out.resize(input.size() * 3 + 16);
        char* in = const_cast<char*>(input.data());
        size_t inLeft = input.size();
        char* outPtr = out.data();
        size_t outLeft = out.size();
        while (inLeft > 0) {
            size_t r = iconv(m_handle, &in, &inLeft, &outPtr, &outLeft);
            if (r == static_cast<size_t>(-1)) {
                if (errno == E2BIG) {
                    size_t used = static_cast<size_t>(outPtr - out.data());
                    out.resize(out.size() * 2);
                    outPtr = out.data() + used;
                    outLeft = out.size() - used;
                    continue;
                }
                return std::nullopt;
            }
        }
        out.resize(static_cast<size_t>(outPtr - out.data()));
        return out;
    }

private:
    iconv_t m_handle;
};
#endif

} // namespace

std::optional<std::string> decodeCp932(std::string_view bytes)
{
    if (bytes.empty()) {
        return std::string();
    }
#ifdef _WIN32
    int wlen = MultiByteToWideChar(
        932, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (wlen <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<size_t>(wlen), L'\0');
    MultiByteToWideChar(
        932, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), wide.data(), wlen);
    int len = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wlen, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wlen, out.data(), len, nullptr, nullptr);
    return out;
#else
    // Plain ASCII is the same in both, and most lines of a quote file are mostly ASCII.
    bool ascii = true;
    for (unsigned char c : bytes) {
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        return std::string(bytes);
    }
    thread_local IconvHandle handle("UTF-8", "CP932");
    return handle.convert(bytes);
#endif
}

std::string decodeCp932Lossy(std::string_view bytes)
{
    if (auto whole = decodeCp932(bytes)) {
        return *whole;
    }
    std::string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        auto c = static_cast<unsigned char>(bytes[i]);
        bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        if (lead && i + 1 < bytes.size()) {
            if (auto pair = decodeCp932(bytes.substr(i, 2))) {
                out += *pair;
                i += 2;
                continue;
            }
        } else if (!lead) {
            if (auto single = decodeCp932(bytes.substr(i, 1))) {
                out += *single;
                i += 1;
                continue;
            }
        }
        out += "\xEF\xBF\xBD";
        i += 1;
    }
    return out;
}

std::optional<std::string> encodeCp932(std::string_view utf8)
{
    if (utf8.empty()) {
        return std::string();
    }
#ifdef _WIN32
    int wlen = MultiByteToWideChar(
        CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (wlen <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<size_t>(wlen), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), wlen);
    BOOL lossy = FALSE;
    int len = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), wlen, nullptr, 0, nullptr, &lossy);
    if (len <= 0 || lossy) {
        return std::nullopt;
    }
    std::string out(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), wlen, out.data(), len, nullptr, nullptr);
    return out;
#else
    thread_local IconvHandle handle("CP932", "UTF-8");
    return handle.convert(utf8);
#endif
}

} // namespace zuvemo::core::TextCodec
