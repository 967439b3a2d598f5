#pragma once

#include <array>
#include <optional>
#include <string>

namespace zuvemo::core {
class Mdl_Start;
}

namespace zuvemo::ui {

// Frm_TouRok without widgets: the purchase and target price of one watched stock.
class PriceDialogModel
{
public:
    static constexpr const char* kPurchaseNotAmount = "購入時株価が金額でない";
    static constexpr const char* kTargetNotAmount = "希望株価額が金額でない";
    static constexpr const char* kTargetNotPercent = "希望株価額が％でない";
    static constexpr const char* kRowGone = "個別売買指定株に登録されていません";

    explicit PriceDialogModel(core::Mdl_Start& module);

    // Loads the watch-list row of the code (Text_code). False when the row is gone; the
    // dialog then says so in Label3 and registers nothing.
    bool load(const std::string& code);

    void chooseAmount(); // Option1
    void choosePercent(); // Option2

    struct Saved
    {
        double purchase; // P
        double target; // the amount stored in WzuvemoM
    };
    // Command1: validates, stores and returns what the grid row shows; empty with Label3 set
    // when a box fails its check.
    std::optional<Saved> registerPrices();

    // Text to a whole number as the dialog reads it: commas ignored, the rest a decimal number,
    // a half to the even neighbour. Empty when no number or outside the 32-bit range.
    static std::optional<int> toWholeNumber(const std::string& text);

    std::array<std::string, 5> text1;
    bool option1 = true;
    bool option2 = false;
    std::string label2;
    std::string label3;
    bool rowExists = false;

private:
    core::Mdl_Start& m_module;
};

} // namespace zuvemo::ui
