#include "CliArguments.h"

#include "core/Value.h"

#include <algorithm>
#include <charconv>

namespace zuvemo::cli {

namespace {

// An option given twice would leave one of its values unread, and which one counts is a guess.
void refuseRepeat(const std::vector<std::string>& words, const std::string& name)
{
    if (std::find(words.begin(), words.end(), name) != words.end()) {
        throw UsageError(name + " が 2 度指定されています。");
    }
}

} // namespace

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
            throw UsageError(count > 1 ? name + " には値を " + std::to_string(count) + " つ指定してください。"
                                       : name + " の値を指定してください。");
        }
        std::vector<std::string> values(
            m_words.begin() + static_cast<long>(i) + 1, m_words.begin() + static_cast<long>(i) + 1 + count);
        m_words.erase(
            m_words.begin() + static_cast<long>(i), m_words.begin() + static_cast<long>(i) + 1 + count);
        refuseRepeat(m_words, name);
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

std::vector<std::string> CliArguments::takeOptions(const std::string& name)
{
    std::vector<std::string> values;
    for (auto it = std::find(m_words.begin(), m_words.end(), name); it != m_words.end();
         it = std::find(m_words.begin(), m_words.end(), name)) {
        if (it + 1 == m_words.end()) {
            throw UsageError(name + " の値を指定してください。");
        }
        values.push_back(*(it + 1));
        it = m_words.erase(it, it + 2);
    }
    return values;
}

bool CliArguments::takeFlag(const std::string& name)
{
    const auto it = std::find(m_words.begin(), m_words.end(), name);
    if (it == m_words.end()) {
        return false;
    }
    m_words.erase(it);
    refuseRepeat(m_words, name);
    return true;
}

std::vector<std::string> CliArguments::positional(std::size_t min, std::size_t max)
{
    for (const auto& w : m_words) {
        if (w.size() > 2 && w.rfind("--", 0) == 0) {
            throw UsageError("不明なオプションです: " + w);
        }
    }
    if (m_words.size() < min) {
        throw UsageError("引数が足りません。");
    }
    if (m_words.size() > max) {
        throw UsageError("余分な引数があります: " + m_words[max]);
    }
    return m_words;
}

int parseInt(const std::string& text, const std::string& option, int min, int max)
{
    // The whole text or nothing: no blanks, no sign but a minus, no point, no exponent.
    int value = 0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || value < min || value > max) {
        throw UsageError(option + " には " + std::to_string(min) + " から " + std::to_string(max)
            + " までの整数を指定してください（" + text + "）。");
    }
    return value;
}

double parseDouble(const std::string& text, const std::string& option)
{
    const auto value = core::Value::decimal(text);
    if (!value) {
        throw UsageError(option + " には数値を指定してください（" + text + "）。");
    }
    return *value;
}

} // namespace zuvemo::cli
