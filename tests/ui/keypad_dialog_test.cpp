// The numeric keypad as the agent uses it: keys and keyboard through the filter, the running
// sum, OK and cancel as seen by the caller, the caption and unit, both layouts.
#include "documents/keypad_dialog.h"
#include "ui/document_fixture.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace vendrix {
namespace {

const QSize kPortrait(240, 320);
const QSize kLandscape(320, 240);

void Press(TKeypadDialog* k, const char* keys)
{
    for (const char* c = keys; *c; ++c) {
        QPushButton* key = k->Key(QString(QChar(*c)));
        ASSERT_NE(key, nullptr) << *c;
        key->click();
    }
}

TEST(KeypadDialog, FirstKeyReplacesTheShownValue)
{
    TKeypadDialog k(nullptr, 0, -1, "", "", kPortrait);
    k.show();
    EXPECT_EQ(k.Entry()->text(), QStringLiteral("0.00"));
    EXPECT_EQ(k.Entry()->selectedText(), QStringLiteral("0.00"));
    Press(&k, ".");
    EXPECT_EQ(k.Entry()->text(), QStringLiteral("0.00")) << "a point over 0.00 is refused";
    Press(&k, "5");
    EXPECT_EQ(k.Entry()->text(), QStringLiteral("5"));
    QTest::keyClicks(k.Entry(), QStringLiteral(",5x-7"));
    EXPECT_EQ(k.Entry()->text(), QStringLiteral("5.57")) << "comma as point, x and - dropped";
    Press(&k, "99");
    EXPECT_EQ(k.Entry()->text(), QStringLiteral("5.579")) << "three decimals at most";
    k.Key(QStringLiteral("<--"))->click();
    EXPECT_EQ(k.Entry()->text(), QStringLiteral("5.57"));
    QTest::keyClick(k.Entry(), Qt::Key_Backspace);
    EXPECT_EQ(k.Entry()->text(), QStringLiteral("5.5"));
    QApplication::clipboard()->setText(QStringLiteral("1a2.3.45"));
    QTest::keySequence(k.Entry(), QKeySequence::Paste);
    EXPECT_EQ(k.Entry()->text(), QStringLiteral("5.512")) << "pasting goes through the filter";
}

TEST(KeypadDialog, OkAndCancelAsTheCallerSeesThem)
{
    test::TProgramFolder folder; // a scripted user interface, should anything be shown
    struct TCase {
        const char* name;
        std::function<void(TKeypadDialog*)> act;
        bool ok;
        TAmount value;
    } const cases[] = {
        {"typed 5",
            [](TKeypadDialog* k) {
                Press(k, "5");
                k->OkButton()->click();
            },
            true, 50000},
        {"typed 1,5 on the keyboard, Enter",
            [](TKeypadDialog* k) {
                QTest::keyClicks(k->Entry(), QStringLiteral("1,5"));
                QTest::keyClick(k->Entry(), Qt::Key_Return);
            },
            true, 15000},
        {"C, 0, OK",
            [](TKeypadDialog* k) {
                Press(k, "C");
                k->OkButton()->click();
                EXPECT_TRUE(k->isVisible()) << "an empty entry keeps the keypad open";
                Press(k, "0");
                k->OkButton()->click();
            },
            true, 0},
        {"cancelled after typing",
            [](TKeypadDialog* k) {
                Press(k, "8");
                k->CancelButton()->click();
            },
            false, 70000},
        {"Esc", [](TKeypadDialog* k) { QTest::keyClick(k->Entry(), Qt::Key_Escape); }, false,
            70000},
    };
    for (const TCase& c : cases) {
        TAmount value = 70000;
        auto ran = test::WhenShown<TKeypadDialog>(c.act);
        EXPECT_EQ(RunKeypad(nullptr, value, 125000), c.ok) << c.name;
        EXPECT_TRUE(*ran) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
    }
}

TEST(KeypadDialog, PriceLinesShowTheRunningSum)
{
    TKeypadDialog k(nullptr, 0, 125000, "", "", kPortrait);
    k.show();
    EXPECT_TRUE(k.PriceLine()->isVisible());
    EXPECT_EQ(k.PriceLine()->text(), QString::fromUtf8("Цена  12.50"));
    EXPECT_EQ(k.SumLine()->text(), QString::fromUtf8("Сумма 0.00"));
    Press(&k, "3");
    EXPECT_EQ(k.SumLine()->text(), QString::fromUtf8("Сумма 37.50"));
    Press(&k, "C");
    EXPECT_EQ(k.SumLine()->text(), QString::fromUtf8("Сумма 37.50")) << "kept while empty";

    TKeypadDialog free(nullptr, 0, 0, "", "", kPortrait);
    free.show();
    EXPECT_TRUE(free.SumLine()->isVisible());
    EXPECT_EQ(free.PriceLine()->text(), QString::fromUtf8("Цена  0.00"));

    // A sum too long for its line at its own size is drawn smaller, never cut.
    TKeypadDialog big(nullptr, 0, 98765432100, "", "", kPortrait);
    big.show();
    Press(&big, "9999");
    const QLabel* sum = big.SumLine();
    EXPECT_EQ(sum->text(), QString::fromUtf8("Сумма 98755555556.79"));
    EXPECT_LE(QFontMetrics(sum->font()).horizontalAdvance(sum->text()), sum->width());

    TKeypadDialog none(nullptr, 20000, -1, "", "", kPortrait);
    none.show();
    EXPECT_FALSE(none.PriceLine()->isVisible());
    EXPECT_FALSE(none.SumLine()->isVisible());
}

TEST(KeypadDialog, CaptionAndUnit)
{
    TKeypadDialog plain(nullptr, 0, -1, "  ", "", kPortrait);
    EXPECT_EQ(plain.windowTitle(), QString::fromUtf8("Количество"));
    EXPECT_TRUE(plain.UnitLabel()->isHidden());
    EXPECT_EQ(plain.Entry()->width(), 183);

    TKeypadDialog titled(nullptr, 0, -1, "Сок яблочный", "шт", kPortrait);
    EXPECT_EQ(titled.windowTitle(), QString::fromUtf8("Количество  Сок яблочный"));
    EXPECT_FALSE(titled.UnitLabel()->isHidden());
    EXPECT_EQ(titled.UnitLabel()->text(), QString::fromUtf8("шт"));
    EXPECT_EQ(titled.Entry()->width(), 146);
    EXPECT_EQ(titled.OkButton()->text(), QString::fromUtf8("O\u043a"));
    EXPECT_TRUE(titled.OkButton()->isDefault());
}

TEST(KeypadDialog, PortraitAndLandscapeLayouts)
{
    TKeypadDialog portrait(nullptr, 0, 10000, "", "шт", kPortrait);
    portrait.show();
    EXPECT_EQ(portrait.size(), QSize(200, 250));
    EXPECT_EQ(portrait.Panel()->geometry(), QRect(7, 35, 184, 109));
    EXPECT_EQ(portrait.OkButton()->geometry(), QRect(8, 147, 91, 29));
    EXPECT_EQ(portrait.CancelButton()->geometry(), QRect(103, 147, 89, 29));
    EXPECT_EQ(portrait.SumLine()->geometry(), QRect(7, 203, 184, 23));
    EXPECT_EQ(portrait.Key(QStringLiteral("0"))->geometry(), QRect(1, 87, 122, 22));

    TKeypadDialog landscape(nullptr, 0, 10000, "", "шт", kLandscape);
    landscape.show();
    EXPECT_EQ(landscape.size(), QSize(310, 145));
    EXPECT_EQ(landscape.Panel()->pos(), QPoint(196, 6)) << "keys on the right";
    EXPECT_EQ(landscape.OkButton()->y(), 35);
    EXPECT_EQ(landscape.PriceLine()->y(), 67);
    EXPECT_EQ(landscape.SumLine()->y(), 91);
    EXPECT_EQ(landscape.Key(QStringLiteral("9"))->geometry(), QRect(69, 21, 34, 22));
    const QRect keys = landscape.Panel()->geometry();
    EXPECT_LE(keys.right(), landscape.width());

    // On a desktop the keypad lays itself out against the program's window.
    QWidget owner;
    owner.resize(240, 320);
    owner.show();
    TKeypadDialog onOwner(&owner, 0, -1, "", "");
    onOwner.show();
    EXPECT_EQ(onOwner.size(), QSize(200, 250));
}

} // namespace
} // namespace vendrix

namespace vendrix {
namespace {

// A quantity whose line an order cannot hold is refused with the reason, whether OK is tapped
// or Enter typed; the keypad stays open with the digits going back into the entry, so that the
// agent types the right quantity at once.
TEST(KeypadDialog, RefusesATooLargeQuantityAndKeepsTheDigitsComing)
{
    test::TProgramFolder folder; // records what the agent is told
    struct TCase {
        const char* name;
        const char* typed;
        bool enter; // Enter typed; otherwise OK tapped (the button takes the focus)
        const char* message;
    } const cases[] = {
        {"the sum at 56.00 does not fit, OK", "178571428572", false,
            "Слишком большое количество: сумма строки не помещается."},
        {"fourteen digits, OK", "99999999999999", false, "Слишком большое количество."},
        {"fifteen digits, Enter", "999999999999999", true, "Слишком большое количество."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        folder.ui.Clear();
        TAmount value = 70000;
        auto ran = test::WhenShown<TKeypadDialog>([&](TKeypadDialog* k) {
            Press(k, c.typed);
            EXPECT_EQ(k->SumLine()->text(), QString::fromUtf8("Сумма слишком велика"))
                << "never a sum cut short";
            if (c.enter)
                QTest::keyClick(k->Entry(), Qt::Key_Return);
            else
                QTest::mouseClick(k->OkButton(), Qt::LeftButton);
            EXPECT_TRUE(k->isVisible()) << "refused: the keypad stays open";
            EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {c.message});
            EXPECT_EQ(k->focusWidget(), k->Entry()) << "the digits go to the entry, not to Oк";
            // The next digits typed on the keyboard replace the refused quantity.
            QTest::keyClicks(k->focusWidget(), QStringLiteral("12"));
            EXPECT_EQ(k->Entry()->text(), QStringLiteral("12"));
            EXPECT_EQ(k->SumLine()->text(), QString::fromUtf8("Сумма 672.00"));
            QTest::keyClick(k->focusWidget(), Qt::Key_Return);
            if (k->isVisible())
                k->reject(); // the Enter went astray: fail rather than wait
        });
        EXPECT_TRUE(RunKeypad(nullptr, value, 560000));
        EXPECT_TRUE(*ran);
        EXPECT_EQ(value, 120000);
    }

    // An empty entry is still refused without a word, the digits going to the entry all the same.
    folder.ui.Clear();
    TKeypadDialog k(nullptr, 0, 560000, "", "", kPortrait);
    k.show();
    Press(&k, "C");
    QTest::mouseClick(k.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(k.isVisible());
    EXPECT_TRUE(folder.ui.shown.empty());
    EXPECT_EQ(k.focusWidget(), k.Entry());
}

} // namespace
} // namespace vendrix
