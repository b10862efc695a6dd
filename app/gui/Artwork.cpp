// Writes the banner and the program icon as files for the Windows build's resources: the
// banner as 24-bit bitmaps for 100 %, 150 % and 200 % display scaling, the icon as one .ico
// holding PNG images of the usual sizes.
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <vector>

#include "app/gui/Banner.h"

namespace {

bool WriteIcon(const QString& path) {
    const std::vector<int> sizes{16, 20, 24, 32, 40, 48, 64, 256};
    std::vector<QByteArray> images;
    for (int size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!nb::DrawAppIcon(size).save(&buffer, "PNG")) return false;
        images.push_back(png);
    }
    QByteArray ico;
    auto put16 = [&](int v) { ico.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); };
    auto put32 = [&](qint64 v) { put16(int(v & 0xffff)), put16(int((v >> 16) & 0xffff)); };
    put16(0);  // reserved
    put16(1);  // icon
    put16(int(sizes.size()));
    qint64 offset = 6 + 16 * qint64(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        int side = sizes[i] >= 256 ? 0 : sizes[i];  // 0 stands for 256
        ico.append(char(side)).append(char(side)).append(char(0)).append(char(0));
        put16(1);   // planes
        put16(32);  // bits per pixel
        put32(images[i].size());
        put32(offset);
        offset += images[i].size();
    }
    for (const QByteArray& png : images) ico.append(png);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(ico) == ico.size();
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: nestbridge-artwork OUTPUT-FOLDER\n");
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    bool ok = true;
    for (int dpi : {96, 144, 192}) {
        QString path = folder.filePath(QStringLiteral("banner-%1.bmp").arg(dpi));
        // Format_RGB888 is what the bitmap writer stores as 24 bits per pixel.
        ok &= nb::DrawBanner(dpi / 96.0).convertToFormat(QImage::Format_RGB888).save(path, "BMP");
    }
    ok &= WriteIcon(folder.filePath(QStringLiteral("nestbridge.ico")));
    if (!ok) std::fprintf(stderr, "nestbridge-artwork: could not write into %s\n", argv[1]);
    return ok ? 0 : 1;
}
