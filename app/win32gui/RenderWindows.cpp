// Draws both windows into PNG files, for people to look at (scripts/render-windows.sh): each
// window is shown, left to paint, and copied from the screen with its frame.
#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/win32gui/Unit1Window.h"
#include "app/win32gui/Unit2.h"

namespace {

void Pump(int milliseconds) {
    DWORD end = ::GetTickCount() + static_cast<DWORD>(milliseconds);
    while (static_cast<int>(end - ::GetTickCount()) > 0) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::Sleep(10);
    }
}

void PutBigEndian(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xff);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    PutBigEndian(out, static_cast<uint32_t>(
                          crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

// rgb: rows top to bottom, three bytes a pixel.
bool WritePng(const std::string& path, int width, int height, const std::vector<unsigned char>& rgb) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // no filter
        raw.append(reinterpret_cast<const char*>(&rgb[static_cast<size_t>(y) * width * 3]),
                   static_cast<size_t>(width) * 3);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), 9) != Z_OK)
        return false;
    packed.resize(packedSize);
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    PutBigEndian(header, static_cast<uint32_t>(width));
    PutBigEndian(header, static_cast<uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", "");
    FILE* file = _wfopen(nb::Widen(path).c_str(), L"wb");
    if (!file) return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && ok;
}

bool Save(HWND window, const std::string& path) {
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
    ::UpdateWindow(window);
    Pump(700);
    RECT r;
    ::GetWindowRect(window, &r);
    int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;  // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP picture = ::CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, picture);
    ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    const auto* bgrx = static_cast<const unsigned char*>(bits);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        rgb[i * 3] = bgrx[i * 4 + 2];
        rgb[i * 3 + 1] = bgrx[i * 4 + 1];
        rgb[i * 3 + 2] = bgrx[i * 4];
    }
    ::SelectObject(memory, old);
    ::DeleteObject(picture);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    bool saved = WritePng(path, width, height, rgb);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", path.c_str());
    return saved;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: nestbridge-render OUTPUT-FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::string suffix = nb::DisplayDpi() == 96 ? "" : "-" + std::to_string(nb::DisplayDpi());
    bool ok = true;

    nb::TForm1Window form1;
    form1.SetUserIDText("HOSTID");  // what a first start shows
    ok &= Save(form1.Handle(), folder + "\\form1" + suffix + ".png");

    // The same window in the middle of an upload.
    form1.SetPasswordText("secret");
    form1.SetStatusText("Uploade speed 612.48 KB/s");
    form1.SetProgressPosition(40);
    for (HWND control : {form1.btnBackupWizard, form1.btnRestoreWizard, form1.Image1}) ::EnableWindow(control, FALSE);
    ok &= Save(form1.Handle(), folder + "\\form1-upload" + suffix + ".png");
    ::ShowWindow(form1.Handle(), SW_HIDE);

    nb::TForm2 form2(nullptr);
    ok &= Save(form2.Handle(), folder + "\\form2" + suffix + ".png");
    return ok ? 0 : 1;
}
