#include "PriceDialogModel.h"

#include "core/Mdl_Start.h"
#include "core/Utf8.h"
#include "core/Value.h"
#include "core/ValueRules.h"
#include "marketdata/WatchList.h"

#include <charconv>
#include <cmath>

namespace zuvemo::ui {

PriceDialogModel::PriceDialogModel(core::Mdl_Start& module)
    : m_module(module)
{
}

bool PriceDialogModel::load(const std::string& codeText)
{
    auto& m = m_module;
    const std::string code = core::Utf8::trim(core::TrimOrSpace(std::string_view(codeText)));
    m.SqlBuffer2 = " SELECT * FROM Table_KOCYU";
    m.SqlBuffer2 += " WHERE WmgCode='" + core::SqlText(code) + "'";
    auto& rs = m.OpenShared2();
    rowExists = !rs.isEof();
    if (!rowExists) {
        m.SharedRecordset2.reset();
        label3 = kRowGone;
        return false;
    }
    auto amount = [](const core::Value& v) {
        return core::FormatNumber(core::Value(core::NumberOrZero(v)).toDouble(), "#,###");
    };
    text1[0] = core::TrimOrSpace(rs.field("Wmgcode"));
    text1[1] = core::TrimOrSpace(rs.field("Wmgmei"));
    text1[2] = amount(rs.field("WzuvemoK"));
    text1[3] = core::FormatNumber(marketdata::WatchList::close(rs.field("WzuvemoG")), "#,###");
    if (core::NumberOrZero(rs.field("WzuvemoP")) != "1") {
        option1 = true;
        option2 = false;
        label2.clear();
        text1[4] = amount(rs.field("WzuvemoM"));
    } else {
        option1 = false;
        option2 = true;
        label2 = "%";
        text1[4] = core::FormatNumber(rs.field("WzuvemoPc").toDouble(), "#.##");
    }
    m.SharedRecordset2.reset();
    return true;
}

void PriceDialogModel::chooseAmount()
{
    option1 = true;
    option2 = false;
    label2.clear();
}

void PriceDialogModel::choosePercent()
{
    option1 = false;
    option2 = true;
    label2 = "%";
}

std::optional<int> PriceDialogModel::toWholeNumber(const std::string& text)
{
    std::string digits;
    for (char c : text) {
        if (c != ',') {
            digits.push_back(c);
        }
    }
    if (digits.empty() || digits == ".") {
        return std::nullopt;
    }
    double v = 0;
    const char* first = digits.data();
    const char* last = digits.data() + digits.size();
    // "10." reads as 10, as the original conversion did.
    if (digits.back() == '.') {
        --last;
    }
    auto res = std::from_chars(first, last, v, std::chars_format::fixed);
    if (res.ec != std::errc() || res.ptr != last) {
        return std::nullopt;
    }
    auto whole = core::RoundToLong(v);
    if (!whole) {
        return std::nullopt;
    }
    return *whole;
}

std::optional<PriceDialogModel::Saved> PriceDialogModel::registerPrices()
{
    label3.clear();
    if (!rowExists) {
        label3 = kRowGone;
        return std::nullopt;
    }
    if (!core::IsAllowedChars(text1[2], "S") || !toWholeNumber(text1[2])) {
        label3 = kPurchaseNotAmount;
        return std::nullopt;
    }
    if (option1 && (!core::IsAllowedChars(text1[4], "S") || !toWholeNumber(text1[4]))) {
        label3 = kTargetNotAmount;
        return std::nullopt;
    }
    if (option2 && (!core::IsAllowedChars(text1[4], "K") || !toWholeNumber(text1[4]))) {
        label3 = kTargetNotPercent;
        return std::nullopt;
    }
    const double P = *toWholeNumber(text1[2]);
    auto& m = m_module;
    m.SqlBuffer = " UPDATE Table_KOCYU SET";
    m.SqlBuffer += " WzuvemoK=" + core::Value::numberText(P) + ",";
    Saved saved{P, 0};
    if (option1) {
        const double T = *toWholeNumber(text1[4]);
        m.SqlBuffer += " WzuvemoP=0,";
        m.SqlBuffer += " WzuvemoM=" + core::Value::numberText(T) + ",";
        m.SqlBuffer += " WzuvemoPc=0";
        saved.target = T;
    } else {
        const double C = *toWholeNumber(text1[4]);
        const double X = (C / 100 + 1) * P;
        // The watch list holds whole yen: the target is stored as the grid shows it, a half
        // rounded away from zero, so the judgement compares the amount the user sees.
        const double stored = std::round(X);
        m.SqlBuffer += " WzuvemoP=1,";
        m.SqlBuffer += " WzuvemoM=" + core::Value::numberText(stored) + ",";
        m.SqlBuffer += " WzuvemoPc=" + core::Value::numberText(C);
        saved.target = stored;
    }
    m.SqlBuffer += " WHERE WmgCode='" + core::SqlText(text1[0]) + "'";
    m.ExecuteShared();
    return saved;
}

} // namespace zuvemo::ui
