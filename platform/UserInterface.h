#pragma once
// The few things components ask of whatever window layer hosts them. Without a window the
// message queue hook does nothing, error boxes go to stderr and prompts answer Cancel.
#include <functional>
#include <string>

namespace nb {

struct UserInterfaceHooks {
    std::function<void()> ProcessMessages;                     // serve the message queue once
    std::function<void(const std::string& text)> ErrorBox;     // modal box, stop icon, OK
    std::function<bool(const std::string& text)> OkCancelBox;  // modal info box; true for OK
};

// Installs the hooks (an empty member keeps the headless behaviour) for the calling thread, the
// window's: the message queue is served only there.
void SetUserInterfaceHooks(UserInterfaceHooks hooks);

// Does nothing on any other thread than the hooks' (an archive packed in the background).
void ServeMessageQueueOnce();
void ShowErrorBox(const std::string& text);
bool AskOkCancel(const std::string& text);

}  // namespace nb
