#include "MessagePresenter.h"

#include "DatabaseError.h"

#include <iostream>
#include <mutex>

namespace zuvemo::core {

namespace {

class StderrPresenter : public MessagePresenter
{
public:
    void show(const std::string& title, const std::string& text) override
    {
        std::string line = text;
        for (auto& c : line) {
            if (c == '\r' || c == '\n') {
                c = ' ';
            }
        }
        std::cerr << title << ": " << line << std::endl;
    }
};

std::shared_ptr<MessagePresenter>& presenter()
{
    static std::shared_ptr<MessagePresenter> p = std::make_shared<StderrPresenter>();
    return p;
}

ErrorState& errState()
{
    static ErrorState e;
    return e;
}

} // namespace

ErrorState& Err()
{
    return errState();
}

void ClearErr()
{
    errState() = ErrorState{};
}

void SetErr(long number, std::string description)
{
    errState().number = number;
    errState().description = std::move(description);
    errState().detail.clear();
}

void SetErr(const DatabaseError& e)
{
    SetErr(e.code(), e.userText());
    errState().detail = e.detail();
}

std::shared_ptr<MessagePresenter> SetMessagePresenter(std::shared_ptr<MessagePresenter> p)
{
    auto old = presenter();
    presenter() = p ? std::move(p) : std::make_shared<StderrPresenter>();
    return old;
}

namespace {

void writeDetail()
{
    auto& detail = errState().detail;
    if (!detail.empty()) {
        std::cerr << "  (" << detail << ")" << std::endl;
        detail.clear();
    }
}

} // namespace

void ShowMessage(const std::string& text)
{
    if (!text.empty()) {
        presenter()->show("初期設定判定", text);
        writeDetail();
        return;
    }
    const auto& e = errState();
    presenter()->show("判定", "(ｴﾗｰ番号:" + std::to_string(e.number) + ")\t\r" + e.description);
    writeDetail();
}

bool AskMessage(const std::string& text)
{
    return presenter()->ask("初期設定判定", text);
}

} // namespace zuvemo::core
