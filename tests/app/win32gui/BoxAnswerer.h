#pragma once
// Answers the modal windows a test provokes: records each message box (and the About window)
// as the Win32 API shows it, then closes it with a chosen button, from a timer that the modal
// window's own message loop serves.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace nb::test {

enum class TBoxIcon { None, Information, Stop, Question, Other };

struct SeenBox {
    std::string Title;
    std::string Text;
    TBoxIcon Icon = TBoxIcon::None;
    std::vector<int> Buttons;  // the control numbers of its buttons (IDOK, IDCANCEL, ...)
    bool IsMessageBox = false;
};

class BoxAnswerer {
public:
    // answer: the button pressed where the box has it, else OK, else No.
    explicit BoxAnswerer(int answer = IDOK);
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    // Called with each modal window before it is answered (e.g. to look at the main window then).
    std::function<void(HWND modal)> OnModal;
    std::vector<SeenBox> Seen;
    std::vector<std::string> Texts() const;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void Poll();

    int answer_;
    UINT_PTR timer_ = 0;
};

// A window's text as UTF-8, line breaks as "\n".
std::string TextOf(HWND window);
std::string ClassOf(HWND window);

}  // namespace nb::test
