#include "platform/UserInterface.h"

#include <iostream>
#include <thread>

namespace nb {

namespace {
UserInterfaceHooks& Hooks() {
    static UserInterfaceHooks hooks;
    return hooks;
}
std::thread::id& WindowThread() {
    static std::thread::id id;
    return id;
}
}  // namespace

void SetUserInterfaceHooks(UserInterfaceHooks hooks) {
    Hooks() = std::move(hooks);
    WindowThread() = std::this_thread::get_id();
}

void ServeMessageQueueOnce() {
    if (Hooks().ProcessMessages && std::this_thread::get_id() == WindowThread()) Hooks().ProcessMessages();
}

void ShowErrorBox(const std::string& text) {
    if (Hooks().ErrorBox)
        Hooks().ErrorBox(text);
    else
        std::cerr << text << '\n';
}

bool AskOkCancel(const std::string& text) {
    if (Hooks().OkCancelBox) return Hooks().OkCancelBox(text);
    std::cerr << text << '\n';
    return false;
}

}  // namespace nb
