#include "JetSql.h"

#include <cctype>
#include <string_view>
#include <vector>

namespace zuvemo::core::JetSql {

namespace {

bool isIdentChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

// A minimal tokenizer position helper: finds a keyword at top level (outside quotes and
// parentheses), as a whole word, case-insensitively, from position 'from'.
std::size_t findKeyword(const std::string& s, std::string_view keyword, std::size_t from)
{
    int depth = 0;
    bool quoted = false;
    char quote = 0;
    for (std::size_t i = from; i < s.size(); ++i) {
        char c = s[i];
        if (quoted) {
            if (c == quote) {
                quoted = false;
            }
            continue;
        }
        if (c == '\'' || c == '"') {
            quoted = true;
            quote = c;
            continue;
        }
        if (c == '(') {
            ++depth;
            continue;
        }
        if (c == ')') {
            --depth;
            continue;
        }
        if (depth != 0 || i + keyword.size() > s.size()) {
            continue;
        }
        if (i > 0 && isIdentChar(s[i - 1])) {
            continue;
        }
        bool match = true;
        for (std::size_t k = 0; k < keyword.size(); ++k) {
            if (std::toupper(static_cast<unsigned char>(s[i + k])) != keyword[k]) {
                match = false;
                break;
            }
        }
        if (!match) {
            continue;
        }
        if (i + keyword.size() < s.size() && isIdentChar(s[i + keyword.size()])) {
            continue;
        }
        return i;
    }
    return std::string::npos;
}

std::string trim(std::string_view s)
{
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) {
        ++b;
    }
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) {
        --e;
    }
    return std::string(s.substr(b, e - b));
}

std::vector<std::string> splitTopLevel(const std::string& s, char sep)
{
    std::vector<std::string> parts;
    int depth = 0;
    bool quoted = false;
    char quote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (quoted) {
            if (c == quote) {
                quoted = false;
            }
            continue;
        }
        if (c == '\'' || c == '"') {
            quoted = true;
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == sep && depth == 0) {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(s.substr(start));
    return parts;
}

} // namespace

std::string translate(const std::string& sql)
{
    std::size_t update = findKeyword(sql, "UPDATE", 0);
    if (update == std::string::npos || trim(sql.substr(0, update)) != "") {
        return sql;
    }
    std::size_t inner = findKeyword(sql, "INNER", update);
    std::size_t set = findKeyword(sql, "SET", update);
    if (inner == std::string::npos || set == std::string::npos || inner > set) {
        return sql;
    }
    std::size_t join = findKeyword(sql, "JOIN", inner);
    std::size_t on = findKeyword(sql, "ON", join == std::string::npos ? inner : join);
    if (join == std::string::npos || on == std::string::npos || on > set || join > set) {
        return sql;
    }
    std::string target = trim(std::string_view(sql).substr(update + 6, inner - update - 6));
    std::string joined = trim(std::string_view(sql).substr(join + 4, on - join - 4));
    std::string condition = trim(std::string_view(sql).substr(on + 2, set - on - 2));
    std::size_t where = findKeyword(sql, "WHERE", set);
    std::string assignments = trim(
        std::string_view(sql).substr(set + 3, (where == std::string::npos ? sql.size() : where) - set - 3));
    std::string extra
        = where == std::string::npos ? std::string() : trim(std::string_view(sql).substr(where + 5));
    if (target.empty() || joined.empty() || condition.empty() || assignments.empty()) {
        return sql;
    }

    // SQLite takes no qualified column on the left of SET: drop "Target." there.
    std::string setList;
    for (const auto& part : splitTopLevel(assignments, ',')) {
        std::string a = trim(part);
        std::size_t eq = a.find('=');
        if (eq != std::string::npos) {
            std::string lhs = trim(std::string_view(a).substr(0, eq));
            std::size_t dot = lhs.rfind('.');
            if (dot != std::string::npos) {
                lhs = lhs.substr(dot + 1);
            }
            std::string rhs = trim(std::string_view(a).substr(eq + 1));
            a = lhs;
            a += " = ";
            a += rhs;
        }
        if (!setList.empty()) {
            setList += ", ";
        }
        setList += a;
    }

    std::string out
        = "UPDATE " + target + " SET " + setList + " FROM " + joined + " WHERE (" + condition + ")";
    if (!extra.empty()) {
        out += " AND (" + extra + ")";
    }
    return out;
}

} // namespace zuvemo::core::JetSql
