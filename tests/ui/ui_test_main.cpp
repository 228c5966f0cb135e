// Entry of a window test program: a private runtime folder, the offscreen platform unless the
// caller chose one, and a QApplication around the GoogleTest run.
#include "toolkit/handheld_style.h"
#include "toolkit/translations.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv)
{
    std::string runtime = (std::filesystem::temp_directory_path() / "vendrix-xdg-XXXXXX").string();
    if (mkdtemp(runtime.data()))
        qputenv("XDG_RUNTIME_DIR", runtime.c_str());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vendrix::ApplyHandheldStyle();
    vendrix::InstallRussianTranslations();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(runtime, ec);
    return result;
}
