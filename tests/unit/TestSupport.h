#pragma once

#include "core/MessagePresenter.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zuvemo::test {

// A fresh folder below the system's temporary folder, removed with its contents at the end.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// Records message boxes instead of showing them; installed for the lifetime of the object.
class RecordingPresenter : public core::MessagePresenter
{
public:
    struct Box
    {
        std::string title;
        std::string text;
    };
    void show(const std::string& title, const std::string& text) override { boxes.push_back({title, text}); }
    bool ask(const std::string& title, const std::string& text) override
    {
        boxes.push_back({title, text});
        return answer;
    }
    std::vector<Box> boxes;
    bool answer = false; // what a question is answered
};

class PresenterScope
{
public:
    PresenterScope();
    ~PresenterScope();
    RecordingPresenter& recorder() { return *m_recorder; }

private:
    std::shared_ptr<RecordingPresenter> m_recorder;
    std::shared_ptr<core::MessagePresenter> m_previous;
};

void writeFile(const std::filesystem::path& path, const std::string& bytes);
std::string readFile(const std::filesystem::path& path);

// Runs a shell command; returns its exit status and fills output with standard output.
int runCommand(const std::string& command, std::string* output = nullptr);

// Folder of the built programs (ZUVEMO_BIN_DIR, set by CTest).
std::filesystem::path binFolder();

// "zuvemo-cli --home HOME" as a shell command prefix.
std::string cliCommand(const std::filesystem::path& home);

} // namespace zuvemo::test
