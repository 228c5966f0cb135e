// Entry of a window test program: a private runtime folder, the offscreen platform unless the
// caller chose one, and a QApplication around the GoogleTest run.
#include "support/test_support.h"
#include "toolkit/handheld_style.h"
#include "toolkit/translations.h"

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv)
{
    const vendrix::test::TTemporaryFolder runtime("vendrix-xdg");
    if (!runtime.Path().empty())
        qputenv("XDG_RUNTIME_DIR", runtime.Path().c_str());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vendrix::ApplyHandheldStyle();
    vendrix::InstallRussianTranslations();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
