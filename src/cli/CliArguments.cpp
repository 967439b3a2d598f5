#include "CliArguments.h"

#include <charconv>
#include <cmath>

namespace zuvemo::cli {

CliArguments::CliArguments(std::vector<std::string> words)
    : m_words(std::move(words))
{
}

std::optional<std::vector<std::string>> CliArguments::takeOption(const std::string& name, int count)
{
    for (std::size_t i = 0; i < m_words.size(); ++i) {
        if (m_words[i] != name) {
            continue;
        }
        if (i + static_cast<std::size_t>(count) >= m_words.size()) {
            throw UsageError(name + " needs " + std::to_string(count) + " value" + (count > 1 ? "s" : ""));
        }
        std::vector<std::string> values(
            m_words.begin() + static_cast<long>(i) + 1, m_words.begin() + static_cast<long>(i) + 1 + count);
        m_words.erase(
            m_words.begin() + static_cast<long>(i), m_words.begin() + static_cast<long>(i) + 1 + count);
        return values;
    }
    return std::nullopt;
}

std::optional<std::string> CliArguments::takeOption(const std::string& name)
{
    auto v = takeOption(name, 1);
    if (!v) {
        return std::nullopt;
    }
    return v->front();
}

bool CliArguments::takeFlag(const std::string& name)
{
    for (auto it = m_words.begin(); it != m_words.end(); ++it) {
        if (*it == name) {
            m_words.erase(it);
            return true;
        }
    }
    return false;
}

std::vector<std::string> CliArguments::positional(std::size_t min, std::size_t max)
{
    for (const auto& w : m_words) {
        if (w.size() > 2 && w.rfind("--", 0) == 0) {
            throw UsageError("unknown option " + w);
        }
    }
    if (m_words.size() < min) {
        throw UsageError("missing argument");
    }
    if (m_words.size() > max) {
        throw UsageError("unexpected argument " + m_words[max]);
    }
    return m_words;
}

int parseInt(const std::string& text, const std::string& option, int min, int max)
{
    int value = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), value);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || value < min || value > max) {
        throw UsageError(
            option + " takes a whole number from " + std::to_string(min) + " to " + std::to_string(max));
    }
    return value;
}

double parseDouble(const std::string& text, const std::string& option)
{
    double value = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), value);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || !std::isfinite(value)) {
        throw UsageError(option + " takes a number, not '" + text + "'");
    }
    return value;
}

} // namespace zuvemo::cli
