#pragma once

#include "Value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zuvemo::core {

// One blank for Null or a blank text, otherwise the text without surrounding blanks.
std::string TrimOrSpace(const Value& value);
std::string TrimOrSpace(std::string_view text);

// "0" for Null, blank or anything but the digits 0 to 9, otherwise the trimmed digit text.
std::string NumberOrZero(const Value& value);
std::string NumberOrZero(std::string_view text);

// NumberOrZero that also takes a decimal: digits, one point, digits ("2465.5", "0.1"). For
// prices, volumes and turnovers: stocks trade in 0.1-yen steps and adjusted prices are decimals.
std::string PriceOrZero(const Value& value);
std::string PriceOrZero(std::string_view text);

// Mode "T": digits; "S": digits and comma; "K": digits, point and comma; any other mode accepts all.
bool IsAllowedChars(std::string_view text, std::string_view mode);

// The number formats the forms use: "#,###", "#,##0", "#,##0.00", "#.##" and "0.00%".
// Halves round away from zero on the exact binary value, as the original runtime's Format did.
std::string FormatNumber(double value, std::string_view pattern);

// Rounds to a whole number, a half to the even neighbour; empty when outside the 32-bit range.
std::optional<std::int32_t> RoundToLong(double value);

// A value spliced between single quotes in SQL text: each single quote doubled.
std::string SqlText(std::string_view text);

} // namespace zuvemo::core
