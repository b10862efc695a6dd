// The widget tests run inside one application object, on the offscreen platform unless told otherwise.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/gui/Style.h"

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    nb::SetApplicationTitle(QStringLiteral("Nestbridge"));
    return RUN_ALL_TESTS();
}
