#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zuvemo::cli {

// A wrong call of the tool: reported as one line, exit status 2.
class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The words after a command, taken option by option; what remains must be positional.
class CliArguments
{
public:
    explicit CliArguments(std::vector<std::string> words);

    std::optional<std::string> takeOption(const std::string& name);
    std::optional<std::vector<std::string>> takeOption(const std::string& name, int count);
    bool takeFlag(const std::string& name);
    // Every value of an option that may be given more than once, in the order given.
    std::vector<std::string> takeOptions(const std::string& name);
    // The remaining words; throws UsageError for a left-over option or a count outside [min, max].
    std::vector<std::string> positional(std::size_t min, std::size_t max);

private:
    std::vector<std::string> m_words;
};

int parseInt(const std::string& text, const std::string& option, int min, int max);
double parseDouble(const std::string& text, const std::string& option);

} // namespace zuvemo::cli
