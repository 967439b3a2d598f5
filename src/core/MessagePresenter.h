#pragma once

#include <memory>
#include <string>

namespace zuvemo::core {

class DatabaseError;

// Where ShowMessage sends its box: a Qt message box in the programs, standard error in the
// command-line tool, a recorder in tests. show() returns when the user has pressed OK.
class MessagePresenter
{
public:
    virtual ~MessagePresenter() = default;
    virtual void show(const std::string& title, const std::string& text) = 0;
    // A question with "はい" and "いいえ"; true for yes. Where nobody can answer, the text is
    // shown and the answer is no.
    virtual bool ask(const std::string& title, const std::string& text)
    {
        show(title, text);
        return false;
    }
};

// The error being handled, as the empty-text form of ShowMessage reports it.
struct ErrorState
{
    long number = 0;
    std::string description;
    // The engine's words and the statement, written to standard error after the next message.
    std::string detail;
};

ErrorState& Err();
void ClearErr();
void SetErr(long number, std::string description);
// A refused statement as the error being handled: the box shows the Japanese text of its code,
// and the engine's own text with the statement goes to standard error.
void SetErr(const DatabaseError& e);

// Installs the presenter; returns the one it replaces.
std::shared_ptr<MessagePresenter> SetMessagePresenter(std::shared_ptr<MessagePresenter> presenter);

// Shows text with the title "初期設定判定"; an empty text shows the error being handled
// with the title "判定". A database error's detail follows on standard error, once.
void ShowMessage(const std::string& text);

// Asks text with the title "初期設定判定"; true when the user answered yes.
bool AskMessage(const std::string& text);

} // namespace zuvemo::core
