#include "platform/Console.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>
#include <streambuf>
#include <string>

#include "platform/win32/Win32.h"

namespace nb {

namespace {

bool IsConsole(HANDLE h) {
    DWORD mode = 0;
    return ::GetConsoleMode(h, &mode) != 0;
}

// UTF-8 in, WriteConsoleW out; a character split across two writes waits for its last byte.
class TConsoleBuf : public std::streambuf {
public:
    explicit TConsoleBuf(HANDLE console) : console_(console) {}

protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) pending_ += static_cast<char>(c);
        return Flush() ? traits_type::not_eof(c) : traits_type::eof();
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        pending_.append(s, static_cast<size_t>(n));
        return Flush() ? n : 0;
    }

private:
    bool Flush() {
        size_t complete = pending_.size();
        // Back off over an unfinished multi-byte sequence at the end.
        size_t back = 0;
        while (back < 4 && back < complete &&
               (static_cast<unsigned char>(pending_[complete - 1 - back]) & 0xC0) == 0x80)
            ++back;
        if (back < complete) {
            auto lead = static_cast<unsigned char>(pending_[complete - 1 - back]);
            size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if (need > back + 1) complete -= back + 1;
        }
        std::wstring wide = win32::Widen(pending_.substr(0, complete));
        pending_.erase(0, complete);
        DWORD written = 0;
        return wide.empty() ||
               ::WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    }

    HANDLE console_;
    std::string pending_;
};

void Prepare(std::ostream& stream, DWORD which, FILE* file) {
    HANDLE h = ::GetStdHandle(which);
    if (!IsConsole(h)) {
        ::_setmode(::_fileno(file), _O_BINARY);
        return;
    }
    if (which == STD_OUTPUT_HANDLE) {
        static TConsoleBuf out(h);
        stream.rdbuf(&out);
    } else {
        static TConsoleBuf err(h);
        stream.rdbuf(&err);
    }
}

}  // namespace

bool StderrIsTerminal() { return IsConsole(::GetStdHandle(STD_ERROR_HANDLE)); }

bool StdinIsTerminal() { return IsConsole(::GetStdHandle(STD_INPUT_HANDLE)); }

bool ReadLineWithoutEcho(const std::string& prompt, std::string& line) {
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!::GetConsoleMode(in, &mode)) return false;
    ::SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::cerr << prompt << std::flush;
    std::wstring wide;
    wchar_t c = 0;
    DWORD n = 0;
    bool ok = false;
    while (::ReadConsoleW(in, &c, 1, &n, nullptr) && n == 1) {
        if (c == L'\n') {
            ok = true;
            break;
        }
        if (c != L'\r') wide += c;
    }
    ::SetConsoleMode(in, mode);
    std::cerr << "\n" << std::flush;
    line = win32::Narrow(wide);
    return ok || !line.empty();
}

void PrepareConsoleStreams() {
    // The C library's own writes (printf) reach the console as UTF-8 too.
    ::SetConsoleOutputCP(CP_UTF8);
    Prepare(std::cout, STD_OUTPUT_HANDLE, stdout);
    Prepare(std::cerr, STD_ERROR_HANDLE, stderr);
}

}  // namespace nb
