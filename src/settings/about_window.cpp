// The about window: colour strips, the centred labels, two decorative glyph buttons.
#include "settings/about_window.h"

#include "toolkit/qt_text.h"

#include "toolkit/glyphs.h"
#include "toolkit/keyboard.h"
#include "toolkit/menu_bar.h"
#include "toolkit/modal.h"
#include "toolkit/window_placement.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace vendrix {

namespace {

// The handheld names colours in blue-green-red order (0x00BBGGRR).
QColor Bgr(unsigned value)
{
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
        static_cast<int>((value >> 16) & 0xFF));
}

// A 20-pixel strip running from one colour at the top to another at the bottom.
class TColourStrip : public QWidget {
public:
    TColourStrip(QWidget* parent, QColor top, QColor bottom)
        : QWidget(parent)
        , m_top(top)
        , m_bottom(bottom)
    {
        setFixedWidth(20);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0, m_top);
        gradient.setColorAt(1, m_bottom);
        p.fillRect(rect(), gradient);
    }

private:
    QColor m_top, m_bottom;
};

QLabel* Label(QWidget* parent, const QString& text, int height, QColor colour, int fontPixels)
{
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setBold(true);
    font.setPixelSize(fontPixels);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    if (height > 0)
        label->setFixedHeight(height);
    return label;
}

} // namespace

TAboutWindow::TAboutWindow(QWidget* owner)
    : QDialog(owner)
{
    setWindowTitle(Q("О программе"));
    setWindowIcon(ProgramIcon());
    resize(kHandheldWidth, kHandheldHeight);

    QWidget* client = BuildClientArea();
    BuildMenuBar();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QScrollArea* credits = ScrollWhenShort(client);
    // The credits are no control: Tab passes them by.
    ScrollWithTab(credits);
    layout->addWidget(credits, 1);
    layout->addWidget(m_menu);
    // "[ Закрыть ]" is the window's one control.
    OpenOnFocus(m_menu->Button(about_menu::kClose));
}

// White, with the centre column between the two colour strips.
QWidget* TAboutWindow::BuildClientArea()
{
    auto* client = new QWidget(this);
    QPalette white = client->palette();
    white.setColor(QPalette::Window, Qt::white);
    client->setPalette(white);
    client->setAutoFillBackground(true);

    auto* column = new QVBoxLayout;
    column->setContentsMargins(4, 10, 4, 6);
    column->setSpacing(4);
    BuildLabels(client, column);
    column->addStretch(1);
    BuildGlyphs(client, column);

    auto* row = new QHBoxLayout(client);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(new TColourStrip(client, Bgr(0x008000), Bgr(0x00FF00)));
    row->addLayout(column, 1);
    row->addWidget(new TColourStrip(client, Bgr(0xFFB871), Bgr(0xCE6700)));
    return client;
}

void TAboutWindow::BuildLabels(QWidget* client, QVBoxLayout* column)
{
    const QColor ink(0x30, 0x30, 0x30);
    m_labels.push_back(Label(client, Q("Vendrix  v 1.51"), 23, Bgr(0x213EDE), 17));
    m_labels.push_back(Label(client, Q("Разработано"), 17, Bgr(0xA00000), 13));
    m_labels.push_back(Label(client, Q("командой Vendrix\nдля торговых агентов"), 0, ink, 12));
    m_labels.push_back(Label(client, Q("Журнал заказов"), 0, ink, 12));
    m_labels.push_back(Label(client, Q("Обмен с учётной системой"), 0, ink, 12));
    m_labels.push_back(Label(client, Q("Qt 6 · SQLite · zlib"), 0, ink, 12));
    m_labels.push_back(Label(client, Q("support@vendrix.example"), 0, ink, 11));
    QLabel* link = Label(client, Q("www.vendrix.example"), 0, QColor(0x00, 0x40, 0xC0), 11);
    QFont underlined = link->font();
    underlined.setUnderline(true);
    link->setFont(underlined);
    m_labels.push_back(link);
    for (QLabel* label : m_labels)
        column->addWidget(label);
}

// Decoration only, as on the handheld: the buttons do nothing.
void TAboutWindow::BuildGlyphs(QWidget* client, QVBoxLayout* column)
{
    auto* glyphs = new QHBoxLayout;
    glyphs->addStretch(1);
    const QIcon pictures[2]
        = {ProgramIcon(), QIcon(ImageList(QStringLiteral("FMAIN_IL_STATES"), 16, 12).at(2))};
    for (const QIcon& picture : pictures) {
        auto* button = new QToolButton(client);
        button->setIcon(picture);
        button->setIconSize(QSize(16, 16));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        glyphs->addWidget(button);
    }
    glyphs->addStretch(1);
    column->addLayout(glyphs);
}

void TAboutWindow::BuildMenuBar()
{
    using namespace about_menu;
    m_menu = new TMenuBar(this);
    for (const char* caption : kCaptions)
        m_menu->AddItem(Q(caption));
    m_menu->SetItemEnabled(kBlank, false);
    m_menu->onCommand = [this](int item) {
        if (item == kClose)
            CloseDialog(this, false);
    };
}

void TAboutWindow::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FitToScreen(this);
}

void RunAboutWindow(QWidget* owner)
{
    TAboutWindow window(owner);
    RunModal(window);
}

} // namespace vendrix
