#include "platform/UserInterface.h"

#include <iostream>

namespace nb {

namespace {
UserInterfaceHooks& Hooks() {
    static UserInterfaceHooks hooks;
    return hooks;
}
}  // namespace

void SetUserInterfaceHooks(UserInterfaceHooks hooks) { Hooks() = std::move(hooks); }

void ServeMessageQueueOnce() {
    if (Hooks().ProcessMessages) Hooks().ProcessMessages();
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
