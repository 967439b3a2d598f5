#pragma once

#include "marketdata/DataSource.h"
#include "marketdata/jquants/ApiKey.h"
#include "marketdata/jquants/JQuantsRefresh.h"

#include <filesystem>
#include <string>

namespace zuvemo::core {
class Clock;
class Mdl_Start;
} // namespace zuvemo::core

namespace zuvemo::ui {

// The "データ設定" dialog without widgets: where the folder takes its market data from. The key
// typed is held only until it is saved, and the stored key is never read back for the screen.
class DataSettingsModel
{
public:
    enum class Choice { JQuants, Csv, Sample };

    static constexpr const char* kTitle = "データ設定";
    static constexpr const char* kNoAddressReason
        = "株価の取得先が設定されていません。取得先を選んでください。";
    static constexpr const char* kNoKeyReason = "J-Quants の APIキーが設定されていません。";

    DataSettingsModel(core::Mdl_Start& module, const core::Clock& clock);

    // Reads the folder's source, its addresses and where a key is kept.
    void load();
    // Why the folder cannot fetch market data as it is set; empty when it can.
    static std::string unusableReason(core::Mdl_Start& module);

    Choice choice = Choice::Csv;
    std::string reason; // the line that says why the dialog opened by itself
    std::string keyInput; // typed into the password box; empty keeps the stored key
    std::string apiUrl = marketdata::DataSource::kDefaultApiUrl;
    std::string plan = "free";
    int days = marketdata::DataSource::kDefaultDays;
    std::string dailyUrl;
    std::string historyUrl;
    std::string checkMessage;

    // "保存済み（デスクトップのキーリング）" or "未設定".
    std::string keyStatus() const;
    marketdata::ApiKey::Place keyPlace() const { return m_keyPlace; }
    // Said under the key's line when the key file is open to other users; empty otherwise.
    std::string keyWarning() const;
    const core::Clock& clock() const { return m_clock; }

    // "接続確認": the options of the one request, then its answer in words.
    std::optional<marketdata::JQuantsClient::Options> probeOptions(std::string* error) const;
    std::string probeCode() const;
    static std::string probeText(const marketdata::JQuantsRefresh::Probe& probe, const std::string& plan);
    void checkConnection();
    // What a plan reaches and how long a first fill of days takes:
    // "Light プラン: 最長 1225 日（5 年）。初回の取得は約 3 分（月ごとの履歴ファイル）".
    static std::string planText(const std::string& plan, int days);
    // The check's answer, for the plan, key and address as they are now.
    void setCheckMessage(std::string message);
    // The plan, the key or the address was changed: an answer for other ones goes.
    void inputsChanged();

    // The sample server's addresses, once the window has started it.
    void setSampleAddresses(const std::string& daily, const std::string& history);
    bool hasSampleAddresses() const { return !m_sampleDaily.empty(); }

    // True when the choice takes data from elsewhere than before: the stock list and its
    // signals then go, the watch list and the user stay.
    bool sourceChanged() const;
    // "OK": checks, stores the key, writes the source in one transaction. False with a
    // Japanese reason in *error, and nothing changed.
    bool save(std::string* error);

private:
    marketdata::DataSource chosenSource() const;
    std::string checkedInputs() const;

    core::Mdl_Start& m_module;
    const core::Clock& m_clock;
    marketdata::DataSource m_loaded;
    std::string m_loadedDaily;
    std::string m_loadedHistory;
    std::string m_sampleDaily;
    std::string m_sampleHistory;
    std::string m_checkedWith; // checkedInputs() when checkMessage was set
    marketdata::ApiKey::Place m_keyPlace = marketdata::ApiKey::Place::None;
    bool m_keyMalformed = false;
};

} // namespace zuvemo::ui
