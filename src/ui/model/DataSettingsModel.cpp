#include "DataSettingsModel.h"

#include "core/Connection.h"
#include "core/Mdl_Start.h"
#include "core/Recordset.h"
#include "core/Statement.h"
#include "core/Utf8.h"
#include "marketdata/MarketDataRefresh.h"
#include "marketdata/UrlSettings.h"
#include "marketdata/jquants/ApiKey.h"

namespace zuvemo::ui {

namespace {

marketdata::UrlSettings addressesOf(core::Mdl_Start& module)
{
    return marketdata::UrlSettings::find(module).value_or(marketdata::UrlSettings{});
}

bool usableAddress(const std::string& url)
{
    return marketdata::MarketDataRefresh::isUsableDailyUrl(url)
        && url.find_first_of(" \t\r\n") == std::string::npos;
}

} // namespace

DataSettingsModel::DataSettingsModel(core::Mdl_Start& module, const core::Clock& clock)
    : m_module(module)
    , m_clock(clock)
{
}

void DataSettingsModel::load()
{
    m_loaded = marketdata::DataSource::read(*m_module.SharedConnection);
    const auto addresses = addressesOf(m_module);
    m_loadedDaily = addresses.dailyUrl;
    m_loadedHistory = addresses.historyUrl;
    choice = m_loaded.isJQuants() ? Choice::JQuants : (m_loaded.isSample() ? Choice::Sample : Choice::Csv);
    apiUrl = m_loaded.apiUrl;
    plan = m_loaded.plan;
    days = m_loaded.days;
    // A J-Quants or sample folder's row holds no address of the user's.
    const bool own = !m_loaded.isJQuants() && !m_loaded.isSample();
    dailyUrl = own ? m_loadedDaily : std::string();
    historyUrl = own ? m_loadedHistory : std::string();
    keyInput.clear();
    checkMessage.clear();
    m_keyMalformed = !marketdata::ApiKey::read(&m_keyPlace) && m_keyPlace != marketdata::ApiKey::Place::None;
}

std::string DataSettingsModel::unusableReason(core::Mdl_Start& module)
{
    const auto source = marketdata::DataSource::read(*module.SharedConnection);
    if (source.isJQuants()) {
        return marketdata::ApiKey::read() ? std::string() : kNoKeyReason;
    }
    if (source.isSample()) {
        return std::string();
    }
    const auto addresses = addressesOf(module);
    return usableAddress(addresses.dailyUrl) && usableAddress(addresses.historyUrl) ? std::string()
                                                                                    : kNoAddressReason;
}

std::string DataSettingsModel::keyStatus() const
{
    if (m_keyPlace == marketdata::ApiKey::Place::None) {
        return "未設定";
    }
    if (m_keyMalformed) {
        return std::string(marketdata::ApiKey::kMalformedMessage) + "（"
            + marketdata::ApiKey::describe(m_keyPlace) + "）";
    }
    return "保存済み（" + marketdata::ApiKey::describe(m_keyPlace) + "）";
}

std::string DataSettingsModel::keyWarning() const
{
    return m_keyPlace == marketdata::ApiKey::Place::File ? marketdata::ApiKey::fileWarning() : std::string();
}

std::string DataSettingsModel::probeCode() const
{
    // A stock the folder lists answers for sure; a new folder takes one from the day's master
    // (a code guessed could be missing from the market asked, which then names no day).
    auto rs
        = m_module.SharedConnection->openRecordset("SELECT MgCode FROM Table_Code ORDER BY MgCode LIMIT 1");
    if (rs->isEof()) {
        return {};
    }
    const std::string code = core::Utf8::trim(rs->field(0).toText());
    return code.size() == 4 ? code + "0" : std::string();
}

std::optional<marketdata::JQuantsClient::Options> DataSettingsModel::probeOptions(std::string* error) const
{
    std::optional<std::string> key;
    if (!core::Utf8::trim(keyInput).empty()) {
        key = core::Utf8::trim(keyInput);
    } else {
        key = marketdata::ApiKey::read();
    }
    if (!key) {
        *error = "APIキーを入力してください。";
        return std::nullopt;
    }
    if (!marketdata::ApiKey::isWellFormed(*key)) {
        *error = "APIキーの形式が正しくありません。";
        return std::nullopt;
    }
    if (!usableAddress(apiUrl)) {
        *error = "API のアドレスが正しくありません。";
        return std::nullopt;
    }
    marketdata::JQuantsClient::Options options;
    options.baseUrl = apiUrl;
    options.apiKey = *key;
    options.requestsPerMinute = marketdata::DataSource::requestsPerMinute(plan);
    options.totalTimeoutMs = 15000;
    return options;
}

std::string DataSettingsModel::probeText(
    const marketdata::JQuantsRefresh::Probe& probe, const std::string& plan)
{
    if (!probe.ok) {
        return probe.message;
    }
    std::string text = "接続できました。";
    if (probe.newest.empty()) {
        return text + "（最新日は確認できませんでした）";
    }
    text += "取得できる最新日: " + probe.newest + "（" + marketdata::DataSource::planName(plan) + " プラン";
    if (const int weeks = marketdata::DataSource::delayWeeks(plan); weeks > 0) {
        text += ": " + std::to_string(weeks) + " 週遅れ";
    }
    return text + "）";
}

std::string DataSettingsModel::planText(const std::string& plan, int days)
{
    using marketdata::DataSource;
    const int most = DataSource::maxDays(plan);
    if (most == 0) {
        return {};
    }
    if (auto problem = DataSource::daysProblem(plan, days); !problem.empty()) {
        return problem;
    }
    std::string text = DataSource::planName(plan) + " プラン: 最長 " + std::to_string(most) + " 日（"
        + std::to_string(most / 245) + " 年";
    if (const int weeks = DataSource::delayWeeks(plan); weeks > 0) {
        text += "、" + std::to_string(weeks) + " 週遅れ";
    }
    text += "）。初回の取得は約 " + std::to_string(std::max(1L, DataSource::firstFillMinutes(plan, days)))
        + " 分（" + (DataSource::hasBulkFiles(plan) ? "月ごとの履歴ファイル" : "1 日ずつ") + "）";
    // What the plan leaves out of the figures before buying, so a blank column is no surprise.
    if (!DataSource::hasBulkFiles(plan)) {
        text += "。対TOPIX は Light、信用残は Standard プラン以上";
    } else if (!DataSource::hasMarginBalances(plan)) {
        text += "。信用残は Standard プラン以上";
    }
    return text;
}

void DataSettingsModel::checkConnection()
{
    std::string error;
    const auto options = probeOptions(&error);
    if (!options) {
        setCheckMessage(error);
        return;
    }
    setCheckMessage(probeText(marketdata::JQuantsRefresh::probe(*options, probeCode(), m_clock), plan));
}

std::string DataSettingsModel::checkedInputs() const
{
    return plan + '\n' + keyInput + '\n' + apiUrl;
}

void DataSettingsModel::setCheckMessage(std::string message)
{
    checkMessage = std::move(message);
    m_checkedWith = checkedInputs();
}

void DataSettingsModel::inputsChanged()
{
    if (!checkMessage.empty() && checkedInputs() != m_checkedWith) {
        checkMessage.clear();
    }
}

void DataSettingsModel::setSampleAddresses(const std::string& daily, const std::string& history)
{
    m_sampleDaily = daily;
    m_sampleHistory = history;
}

marketdata::DataSource DataSettingsModel::chosenSource() const
{
    marketdata::DataSource source = m_loaded;
    source.kind = choice == Choice::JQuants ? marketdata::DataSource::kJQuants
        : choice == Choice::Sample          ? marketdata::DataSource::kSample
                                            : marketdata::DataSource::kCsv;
    if (choice == Choice::JQuants) {
        source.apiUrl = apiUrl;
        source.plan = plan;
        source.days = days;
    }
    return source;
}

bool DataSettingsModel::sourceChanged() const
{
    const auto chosen = chosenSource();
    if (chosen.kind != m_loaded.kind) {
        return true;
    }
    if (choice == Choice::JQuants) {
        return chosen.apiUrl != m_loaded.apiUrl;
    }
    // A sample server started again listens on another port: the same market still.
    if (choice == Choice::Sample) {
        return false;
    }
    return core::Utf8::trim(dailyUrl) != m_loadedDaily || core::Utf8::trim(historyUrl) != m_loadedHistory;
}

bool DataSettingsModel::save(std::string* error)
{
    const std::string daily = core::Utf8::trim(dailyUrl);
    const std::string history = core::Utf8::trim(historyUrl);
    const std::string key = core::Utf8::trim(keyInput);
    if (choice == Choice::Csv && (!usableAddress(daily) || !usableAddress(history))) {
        *error = "アドレスは http:// または https:// で始めてください。";
        return false;
    }
    if (choice == Choice::Sample && !hasSampleAddresses()) {
        *error = "サンプル市場を起動できません。";
        return false;
    }
    if (choice == Choice::JQuants) {
        if (!usableAddress(apiUrl)) {
            *error = "API のアドレスが正しくありません。";
            return false;
        }
        if (marketdata::DataSource::requestsPerMinute(plan) == 0) {
            *error = "プランと取得日数（20〜5000 日）を確かめてください。";
            return false;
        }
        if (const auto problem = marketdata::DataSource::daysProblem(plan, days); !problem.empty()) {
            *error = problem;
            return false;
        }
        if (key.empty() && m_keyPlace == marketdata::ApiKey::Place::None) {
            *error = "APIキーを入力してください。";
            return false;
        }
        if (!key.empty() && !marketdata::ApiKey::isWellFormed(key)) {
            *error = "APIキーの形式が正しくありません。";
            return false;
        }
    }
    // The key first: a key that cannot be stored leaves the folder as it was.
    if (choice == Choice::JQuants && !key.empty()) {
        auto place = marketdata::ApiKey::Place::None;
        if (!marketdata::ApiKey::store(key, error, &place)) {
            return false;
        }
        m_keyPlace = place;
    }
    const bool changed = sourceChanged();
    const auto source = chosenSource();
    auto& connection = *m_module.SharedConnection;
    {
        core::Transaction transaction(connection);
        marketdata::DataSource::writeWithin(connection, source);
        std::string rowDaily = m_loadedDaily;
        std::string rowHistory = m_loadedHistory;
        if (choice == Choice::Csv) {
            rowDaily = daily;
            rowHistory = history;
        } else if (choice == Choice::Sample) {
            rowDaily = m_sampleDaily;
            rowHistory = m_sampleHistory;
        }
        auto count = connection.openRecordset("SELECT count(*) FROM Table_Url");
        const bool hasRow = count->field(0).toDouble() > 0;
        count.reset();
        if (!hasRow) {
            connection.execute(
                "INSERT INTO Table_Url (kabuHUrl, kabuMUrl, kabuHdate, kabuSi) VALUES ('', '', ' ', '.csv')");
        }
        core::Statement update(connection, "UPDATE Table_Url SET kabuHUrl = ?, kabuMUrl = ?");
        update.bindText(1, rowDaily);
        update.bindText(2, rowHistory);
        update.run();
        if (changed) {
            // The list and its signals came from the old source; its date would stop the new
            // source's older days (a delayed plan) from ever being loaded.
            connection.execute("DELETE FROM Table_Code");
            connection.execute("UPDATE Table_Url SET kabuHdate = ' '");
        }
        transaction.commit();
    }
    keyInput.clear();
    m_loaded = source;
    return true;
}

} // namespace zuvemo::ui
