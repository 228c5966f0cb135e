// The about window: caption, menu, the title and credit labels, closing with result 2, and the
// modal-child-open flag while the main window shows it.
#include "settings/about_window.h"
#include "shell/main_window.h"
#include "support/test_support.h"
#include "toolkit/menu_bar.h"
#include "toolkit/modal.h"
#include "ui/ui_support.h"

#include <QAction>
#include <QLabel>

namespace vendrix {
namespace {

TEST(AboutWindow, ShowsNameVersionAndCredits)
{
    TAboutWindow w(nullptr);
    w.show();
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("О программе"));
    ASSERT_EQ(w.Menu().ItemCount(), 2);
    EXPECT_EQ(w.Menu().ItemCaption(0), QString::fromUtf8(" "));
    EXPECT_FALSE(w.Menu().ItemEnabled(0));
    EXPECT_EQ(w.Menu().ItemCaption(1), QString::fromUtf8("[ Закрыть ]"));
    ASSERT_EQ(w.Labels().size(), 8u);
    EXPECT_EQ(w.Labels()[0]->text(), QString::fromUtf8("Vendrix  v 1.51"));
    EXPECT_EQ(w.Labels()[0]->height(), 23);
    EXPECT_EQ(w.Labels()[0]->palette().color(QPalette::WindowText), QColor(0xDE, 0x3E, 0x21));
    EXPECT_EQ(w.Labels()[1]->text(), QString::fromUtf8("Разработано"));
    EXPECT_EQ(w.Labels()[1]->height(), 17);
    EXPECT_EQ(w.Labels()[1]->palette().color(QPalette::WindowText), QColor(0x00, 0x00, 0xA0));
    EXPECT_TRUE(w.Labels()[2]->text().contains('\n')) << "the two-line credit";
    EXPECT_TRUE(w.Labels()[7]->font().underline()) << "the last contact line is a link";
    for (QLabel* label : w.Labels())
        EXPECT_TRUE(label->font().bold());
}

TEST(AboutWindow, ClosesWithCancelAndHoldsTheModalChildFlag)
{
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    TMainWindow main({[] { return test::Day(2009, 10, 25); }, [] {}});
    main.show();
    bool flag = false;
    auto ran = test::OnNextModal<TAboutWindow>([&](TAboutWindow* w) {
        flag = ModalChildOpen();
        w->Menu().Activate(0); // the blank item does nothing
        EXPECT_TRUE(w->isVisible());
        w->Menu().Activate(1);
    });
    main.Menu().Action(main_menu::kAbout)->trigger();
    EXPECT_TRUE(*ran);
    EXPECT_TRUE(flag);
    EXPECT_FALSE(ModalChildOpen());

    TAboutWindow w(nullptr);
    test::OnNextModal<TAboutWindow>([](TAboutWindow* shown) { shown->Menu().Activate(1); });
    EXPECT_EQ(RunModal(w), kModalCancel);
}

} // namespace
} // namespace vendrix
