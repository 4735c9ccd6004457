#pragma once
// Desktop services without a desktop: message boxes and questions are recorded (questions get
// `answer`), file dialogs answer from a queue, opened pages and files and the taskbar's
// progress are recorded, and an HTTP request waits until the test replies to it.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "desktop/DesktopServices.h"

namespace svt::test {

class FakeDesktopServices final : public DesktopServices {
  public:
    struct Message {
        std::string text, caption;
    };

    void inform(const std::string& text, const std::string& caption) override {
        messages.push_back({text, caption});
    }
    bool confirm(const std::string& text, const std::string&) override {
        questions.push_back(text);
        return answer;
    }
    FileDialogResult chooseFiles(const FileDialogRequest& request) override {
        dialogs.push_back(request);
        if (choices.empty()) return {};
        FileDialogResult next = choices.front();
        choices.pop_front();
        return next;
    }
    bool openUrl(const std::string& url) override {
        opened.push_back(url);
        return opens;
    }
    bool openFile(const std::string& path) override {
        opened.push_back(path);
        return opens;
    }
    bool post(const HttpRequest& request, std::function<void(const HttpReply&)> done) override {
        if (pending) return false;
        requests.push_back(request);
        pending = std::move(done);
        return true;
    }
    void setTaskbarProgress(double progress) override { taskbar.push_back(progress); }
    bool locateEncoder(std::function<bool(const std::string&)>,
                       std::function<void()> download) override {
        ++encoderDialogs;
        encoderDownloadOffered = static_cast<bool>(download);
        return false;
    }

    // Answers the waiting request.
    void reply(const HttpReply& answer) {
        auto done = std::move(pending);
        pending = nullptr;
        if (done) done(answer);
    }
    void choose(std::vector<std::string> paths, int filter = 0) {
        choices.push_back({std::move(paths), filter});
    }

    bool answer = false;
    bool opens = true;
    std::vector<Message> messages;
    std::vector<std::string> questions;
    std::vector<FileDialogRequest> dialogs;
    std::deque<FileDialogResult> choices;
    std::vector<std::string> opened;
    std::vector<HttpRequest> requests;
    std::function<void(const HttpReply&)> pending;
    std::vector<double> taskbar;
    int encoderDialogs = 0;
    bool encoderDownloadOffered = false;
};

}  // namespace svt::test
