// The settings form's controls at their handheld positions, the adapters that let the options
// binding table fill and read them, and the wiring of the enabling, resizing, information list,
// column-width reset and saving rules kept in the core.
#include "settings/settings_form.h"

#include "toolkit/qt_text.h"

#include "settings/settings_rules.h"
#include "storage/value_formats.h"
#include "toolkit/keyboard.h"
#include "toolkit/menu_bar.h"
#include "toolkit/message_box.h"
#include "toolkit/modal.h"
#include "toolkit/report_list.h"
#include "toolkit/stylus.h"
#include "toolkit/window_placement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vendrix {

namespace {

constexpr int kCheckHeight = 20;
constexpr int kEditHeight = 21;
constexpr int kLabelHeight = 20;
constexpr int kCheckWidth = 200;
constexpr int kCaptionEditLeft = 74;
constexpr int kCaptionEditWidth = 122;

class TCheckBoxControl : public TBoundControl {
public:
    explicit TCheckBoxControl(QCheckBox* box)
        : m_box(box)
    {
    }
    std::string ClassName() const override { return kCheckBoxClass; }
    bool Checked() const override { return m_box->isChecked(); }
    void SetChecked(bool on) override { m_box->setChecked(on); }

private:
    QCheckBox* m_box;
};

class TEditControl : public TBoundControl {
public:
    explicit TEditControl(QLineEdit* edit)
        : m_edit(edit)
    {
    }
    std::string ClassName() const override { return kEditClass; }
    std::string Text() const override { return m_edit->text().toStdString(); }
    void SetText(const std::string& text) override { m_edit->setText(Q(text)); }

private:
    QLineEdit* m_edit;
};

class TComboBoxControl : public TBoundControl {
public:
    explicit TComboBoxControl(QComboBox* list)
        : m_list(list)
    {
    }
    std::string ClassName() const override { return kComboBoxClass; }
    int ItemIndex() const override { return m_list->currentIndex(); }
    int ItemCount() const override { return m_list->count(); }
    void SetItemIndex(int index) override { m_list->setCurrentIndex(index); }

private:
    QComboBox* m_list;
};

} // namespace

// The rows of the "Информ." list: option name and description (hidden), caption and value.
class TInfoSource : public TReportSource {
public:
    int RowCount() const override { return static_cast<int>(rows.size()); }
    QString Cell(int row, int column) const override
    {
        const TInfoRow& r = rows.at(static_cast<std::size_t>(row));
        switch (column) {
        case 0:
            return Q(r.option);
        case 1:
            return Q(r.description);
        case 2:
            return Q(r.caption);
        default:
            return Q(r.value);
        }
    }
    int Image(int) const override { return -1; }

    std::vector<TInfoRow> rows;
};

TSettingsForm::TSettingsForm(QWidget* owner)
    : QDialog(owner)
    , m_infoRows(std::make_unique<TInfoSource>())
{
    setWindowTitle(Q("Настройки"));
    resize(kHandheldWidth, kHandheldHeight);

    m_tabs = new QTabWidget(this);
    // Five tabs share the handheld's 240 pixels: narrow padding, and scroll arrows rather than
    // a window wider than the screen should a face be wider still.
    m_tabs->tabBar()->setStyleSheet(
        QStringLiteral("QTabBar::tab { padding: 3px 1px; margin: 0px; font-size: 11px; }"));
    m_tabs->setUsesScrollButtons(true);
    TurnPagesByCtrlTab(m_tabs);
    BuildExchangePage();
    BuildLookPage();
    BuildFunctionsPage();
    BuildCaptionsPage();
    BuildInfoPage();
    BindControls();
    // The pages taller than the screen scroll to the control Tab reaches.
    for (int page = 0; page < m_tabs->count(); ++page) {
        if (auto* scroll = qobject_cast<QScrollArea*>(m_tabs->widget(page)))
            ScrollWithTab(scroll);
    }

    m_menu = new TMenuBar(this);
    for (const char* caption : settings_menu::kCaptions)
        m_menu->AddItem(Q(caption));
    m_menu->onCommand = [this](int item) {
        if (item == settings_menu::kOk)
            Save();
        else
            CloseDialog(this, false);
    };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_tabs, 1);
    layout->addWidget(m_menu);

    for (const char* option : {"USEFTP", "FTPAUTH", "USEZIP"})
        connect(CheckBox(option), &QCheckBox::clicked, this, [this] { ApplyEnabling(); });
}

TSettingsForm::~TSettingsForm() = default;

QWidget* TSettingsForm::AddPage(const char* caption, int height)
{
    // The pages are taller than the handheld's screen: each scrolls up and down, never sideways.
    auto* scroll = new QScrollArea(m_tabs);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    auto* page = new QWidget(scroll);
    page->setMinimumHeight(height);
    scroll->setWidget(page);
    m_tabs->addTab(scroll, Q(caption));
    return page;
}

QLabel* TSettingsForm::AddLabel(QWidget* page, const char* caption, int left, int top, int width)
{
    auto* label = new QLabel(Q(caption), page);
    label->setGeometry(left, top, width > 0 ? width : label->sizeHint().width() + 2, kLabelHeight);
    return label;
}

QLabel* TSettingsForm::AddHeading(QWidget* page, const char* caption, int left, int top)
{
    auto* label = new QLabel(Q(caption), page);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    label->setGeometry(left, top, label->sizeHint().width() + 4, kLabelHeight);
    return label;
}

QCheckBox* TSettingsForm::AddCheck(
    QWidget* page, const char* caption, int left, int top, const char* option)
{
    auto* box = new QCheckBox(Q(caption), page);
    box->setGeometry(left, top, kCheckWidth, kCheckHeight);
    m_controls[UpperLatin(option)] = box;
    return box;
}

QLineEdit* TSettingsForm::AddEdit(
    QWidget* page, int left, int top, int width, const char* option, const char* initial)
{
    auto* edit = new QLineEdit(Q(initial), page);
    edit->setGeometry(left, top, width, kEditHeight);
    // The soft input panel comes up while an edit box has the focus.
    edit->installEventFilter(this);
    m_controls[UpperLatin(option)] = edit;
    return edit;
}

void TSettingsForm::BuildExchangePage()
{
    QWidget* page = AddPage(" Обмен ", 348);
    m_exchangePage = qobject_cast<QScrollArea*>(m_tabs->widget(0));
    m_exchangePage->installEventFilter(this);
    m_connectionHeading = AddHeading(page, "Настройки соединения", 4, 4);
    m_stretched.push_back(m_connectionHeading);

    // The controls are made from the top down, each check box before the edit boxes it
    // enables, so that Tab follows the screen: the server is typed after ticking the
    // connection.
    struct TControl {
        const char* caption;
        int left, top;
        int editLeft; // an edit box with its label at `left`; 0: a check box
        const char* option;
    };
    const TControl controls[] = {
        {" FTP соединение", 4, 25, 0, "USEFTP"},
        {"Сервер: ", 4, 49, 70, "FTPADDRESS"},
        {"Порт: ", 4, 73, 71, "FTPPORT"},
        {"Каталог: ", 4, 97, 71, "FTPPATH"},
        {" Авторизация", 4, 121, 0, "FTPAUTH"},
        {"Логин: ", 4, 145, 70, "FTPLOGIN"},
        {"Пароль: ", 4, 169, 71, "FTPPASSWORD"},
        {" ZIP-сжатие файлов обмена", 4, 195, 0, "USEZIP"},
        {" Начинать обмен сразу", 4, 223, 0, "FTPAUTO"},
        {" Подключать интернет (GPRS)", 4, 252, 0, "CONN_INET"},
        {"Подключать частную сеть", 22, 273, 0, "CONN_LAN"},
        {" Разрывать соединение...", 3, 295, 0, "BREAK_INET"},
        {" Пауза перед загрузкой", 4, 324, 0, "FTP_PAUSE"},
    };
    for (const TControl& c : controls) {
        if (c.editLeft == 0) {
            m_stretched.push_back(AddCheck(page, c.caption, c.left, c.top, c.option));
            continue;
        }
        m_editLabels[c.option] = AddLabel(page, c.caption, c.left, c.top, c.editLeft - 6);
        m_stretched.push_back(AddEdit(page, c.editLeft, c.top, 150, c.option));
    }
    Edit("FTPPORT")->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    Edit("FTPPASSWORD")->setEchoMode(QLineEdit::Password);
}

void TSettingsForm::BuildLookPage()
{
    QWidget* page = AddPage("Оформл.", 388);
    AddHeading(page, " Линии сетки в таблицах: ", 6, 8);
    AddCheck(page, " Журнал документов", 17, 31, "LINES_ZH");
    AddCheck(page, " Таб. части документа", 17, 55, "LINES_DOC");
    AddCheck(page, " Прочие диалоги", 17, 79, "LINES_OTHER");
    AddHeading(page, " Шрифты: ", 6, 108);
    auto* fonts = new QComboBox(page);
    for (const char* size : {"Мелкий", "Средний", "Крупный", "Оч. крупный"})
        fonts->addItem(Q(size));
    fonts->setGeometry(17, 129, 120, 22);
    m_controls["FONT_SIZE"] = fonts;
    AddHeading(page, " Прочие функции: ", 6, 159);
    AddCheck(page, " Вопрос при закрытии", 17, 183, "Q_ON_EXIT");
    AddCheck(page, " Иконка в трее", 17, 208, "TRAY_ICON");
    AddCheck(page, " [ x ] - кн. выхода", 17, 233, "X_IS_CLOSE");
    AddHeading(page, "Скрыть пункты меню: ", 6, 267);
    AddCheck(page, " Выбор периода", 17, 291, "HIDE_PERIOD");
    AddCheck(page, " Настройки обмена", 17, 315, "HIDE_FTP_PAGE");
    AddCheck(page, " Локально выгр./загр.", 17, 339, "HIDE_L_EXCH");
    AddCheck(page, " О программе...", 17, 364, "HIDE_ABOUTBOX");
}

void TSettingsForm::BuildFunctionsPage()
{
    QWidget* page = AddPage("Функц.", 450);
    AddHeading(page, " Документ: ", 6, 8);
    AddCheck(page, " Торговая точка", 17, 31, "DOC_TRADE_P");
    AddCheck(page, " ТЧ  \"SKU\"", 17, 55, "DOC_SKU");
    // Shown by no build of the program, but bound and saved all the same.
    AddCheck(page, " ТЧ  \"Цены...\"", 17, 79, "DOC_PRICES")->hide();
    AddLabel(page, "Нов док. Дата отгрузки =", 17, 107);
    AddLabel(page, "= Тек. дата +", 33, 129, 94);
    QLineEdit* days = AddEdit(page, 129, 129, 29, "NEWDOC_DATE", "0");
    days->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // At most two digits: a new order ships 0 to 99 days from today.
    days->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,2}")), this));
    AddLabel(page, "дн.", 161, 129);
    AddCheck(page, " Откр. стр. \"Заявка\"", 17, 153, "DOCPAGE");
    AddHeading(page, " Справочники: ", 6, 188);
    AddCheck(page, " Быстрый поиск", 17, 209, "SPR_QSEARCH");
    AddCheck(page, " Использовать коды", 17, 230, "SPR_CODES");
    AddCheck(page, " Быстр. ввод клиента", 17, 252, "SPR_QCLIENT");
    AddCheck(page, " Цены для товаров", 17, 274, "UseSUMS");
    AddHeading(page, " Не копировать:", 6, 306);
    QLabel* note = AddLabel(page, "(при вводе копированием)", 6, 324);
    QFont small = note->font();
    small.setPixelSize(12);
    note->setFont(small);
    note->setGeometry(6, 324, note->sizeHint().width() + 2, 16);
    AddCheck(page, " Дату отгрузки", 18, 340, "NOCOPY_DATE");
    AddCheck(page, " Торг. точку", 18, 361, "NOCOPY_TP");
    AddCheck(page, " Комментарий", 18, 382, "NOCOPY_COMM");
    AddCheck(page, " ТЧ  \"SKU\"", 17, 403, "NOCOPY_SKU");
    AddCheck(page, " ТЧ  \"Цены...\"", 17, 426, "NOCOPY_PRICES")->hide();
}

void TSettingsForm::BuildCaptionsPage()
{
    QWidget* page = AddPage("Надписи", 322);
    struct TCaption {
        const char* label;
        int top;
        const char* option;
        const char* initial;
    };
    const TCaption captions[] = {
        {"Дата:", 23, "DATE", "Дата отгрузки:"},
        {"Клиент:", 47, "CLIENT", "Клиент:"},
        {"Т. точка:", 71, "TP", "Т. точка:"},
        {"Прим.:", 95, "PRIM", "Примечание"},
        {"Заявка:", 145, "TABLE1", "Заявка"},
        {"SKU:", 169, "TABLE2", " SKU "},
        {"Цены:", 193, "TABLE3", " Цены "},
        {"Подбор:", 247, "MultiSelFormText", " Подбор товаров:"},
        {"Товар:", 271, "Nomenkl", "Товар"},
        {"Кол-во:", 297, "Count", "Кол-во"},
    };
    AddHeading(page, " Документ (шапка): ", 6, 4);
    AddHeading(page, " Документ (таб. части): ", 6, 125);
    AddHeading(page, " Справочники: ", 6, 224);
    for (const TCaption& c : captions) {
        m_editLabels[UpperLatin(c.option)]
            = AddLabel(page, c.label, 6, c.top, kCaptionEditLeft - 8);
        m_captionEdits.push_back(
            AddEdit(page, kCaptionEditLeft, c.top, kCaptionEditWidth, c.option, c.initial));
    }
}

void TSettingsForm::BuildInfoPage()
{
    auto* page = new QWidget(m_tabs);
    m_tabs->addTab(page, Q("Информ."));
    m_infoList = new TReportList(page);
    m_infoList->setRootIsDecorated(false);
    m_infoList->SetColumns({{QString(), 0, Qt::AlignLeft}, {QString(), 0, Qt::AlignLeft},
        {Q("Имя"), 80, Qt::AlignLeft}, {Q("Значение"), 80, Qt::AlignLeft}});
    m_infoList->setColumnHidden(0, true);
    m_infoList->setColumnHidden(1, true);
    m_infoList->SetFitColumn(3);
    m_infoList->SetSource(m_infoRows.get());
    connect(m_infoList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        [this] { ShowInfoRow(m_infoList->SelectedRow()); });
    // A tap on the row that is already selected shows it whole; the first tap selects.
    auto* infoTaps = new TListTaps(m_infoList);
    infoTaps->onTap = [this](int row, bool wasSelected) {
        if (row >= 0 && wasSelected)
            OnInfoTapped(row);
    };

    m_infoLabel = new QLabel(Q("<Информация по строке>"), page);
    m_infoLabel->setFixedHeight(42);
    m_infoLabel->setWordWrap(true);
    m_infoLabel->setTextFormat(Qt::PlainText);
    m_infoLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The device identifier wraps to two lines above its description: three lines in 42 pixels.
    QFont small = m_infoLabel->font();
    small.setPixelSize(11);
    m_infoLabel->setFont(small);
    m_infoLabel->setContentsMargins(4, 1, 4, 0);

    auto* strip = new QWidget(page);
    strip->setFixedHeight(38);
    m_resetWidths = new QPushButton(Q("Сброс ширины колонок..."), strip);
    m_resetWidths->setGeometry(6, 4, 200, 24);
    // Enter in an edit box must not ask about the column widths; on the button itself it does.
    m_resetWidths->setAutoDefault(false);
    PressOnEnter(m_resetWidths);
    connect(m_resetWidths, &QPushButton::clicked, this, [this] { ResetWidths(); });

    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_infoList, 1);
    column->addWidget(m_infoLabel);
    column->addWidget(strip);
}

void TSettingsForm::BindControls()
{
    // The binding order is the order the options are written back in.
    for (const char* option : kSettingsOptions) {
        QWidget* control = m_controls.at(UpperLatin(option));
        std::unique_ptr<TBoundControl> bound;
        if (auto* box = qobject_cast<QCheckBox*>(control))
            bound = std::make_unique<TCheckBoxControl>(box);
        else if (auto* edit = qobject_cast<QLineEdit*>(control))
            bound = std::make_unique<TEditControl>(edit);
        else if (auto* list = qobject_cast<QComboBox*>(control))
            bound = std::make_unique<TComboBoxControl>(list);
        m_binding.Bind(std::move(bound), option);
    }
}

bool TSettingsForm::Load()
{
    if (!LoadSettings(m_binding))
        return false;
    TBusyScope busy;
    m_infoList->BeginUpdate();
    m_infoRows->rows = ReadInfoRows();
    m_infoList->EndUpdate();
    m_infoList->SelectRow(0);
    ShowInfoRow(0);
    m_tabs->setCurrentIndex(static_cast<int>(StartingTab(CheckBox("HIDE_FTP_PAGE")->isChecked())));
    ApplyEnabling();
    return true;
}

QCheckBox* TSettingsForm::CheckBox(std::string_view option) const
{
    const auto found = m_controls.find(UpperLatin(option));
    return found == m_controls.end() ? nullptr : qobject_cast<QCheckBox*>(found->second);
}

QLineEdit* TSettingsForm::Edit(std::string_view option) const
{
    const auto found = m_controls.find(UpperLatin(option));
    return found == m_controls.end() ? nullptr : qobject_cast<QLineEdit*>(found->second);
}

QComboBox* TSettingsForm::ComboBox(std::string_view option) const
{
    const auto found = m_controls.find(UpperLatin(option));
    return found == m_controls.end() ? nullptr : qobject_cast<QComboBox*>(found->second);
}

QLabel* TSettingsForm::EditLabel(std::string_view option) const
{
    const auto found = m_editLabels.find(UpperLatin(option));
    return found == m_editLabels.end() ? nullptr : found->second;
}

void TSettingsForm::ApplyEnabling()
{
    const TFtpEnabling e
        = FtpEnabling(CheckBox("USEFTP")->isChecked(), CheckBox("FTPAUTH")->isChecked());
    for (const char* option : {"FTPAUTO", "CONN_INET", "CONN_LAN", "BREAK_INET", "FTP_PAUSE",
             "FTPADDRESS", "FTPPORT", "FTPPATH", "FTPAUTH"})
        m_controls.at(option)->setEnabled(e.connection);
    Edit("FTPLOGIN")->setEnabled(e.login);
    Edit("FTPPASSWORD")->setEnabled(e.password);
    for (const char* option : {"FTPADDRESS", "FTPPORT", "FTPPATH", "FTPLOGIN", "FTPPASSWORD"})
        EditLabel(option)->setEnabled(Edit(option)->isEnabled());
}

void TSettingsForm::StretchExchangePage()
{
    const int left = Edit("FTPADDRESS")->x();
    for (const char* option : {"FTPPORT", "FTPPATH", "FTPLOGIN", "FTPPASSWORD"})
        Edit(option)->move(left, Edit(option)->y());
    const int pageWidth = m_exchangePage->width();
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    for (QWidget* w : m_stretched)
        w->resize(StretchedWidth(w->x(), pageWidth, bar), w->height());
    const int captionLeft = m_captionEdits.front()->x();
    for (QLineEdit* edit : m_captionEdits)
        edit->move(captionLeft, edit->y());
}

void TSettingsForm::ShowInfoRow(int row)
{
    if (row < 0 || row >= m_infoRows->RowCount())
        return;
    m_infoLabel->setText(Lines(InfoLabelText(m_infoRows->rows[static_cast<std::size_t>(row)])));
}

void TSettingsForm::OnInfoTapped(int row)
{
    if (row < 0 || row >= m_infoRows->RowCount())
        return;
    UI().Message(InfoMessageText(m_infoRows->rows[static_cast<std::size_t>(row)]), TIcon::None);
}

void TSettingsForm::ResetWidths()
{
    ResetColumnWidths(m_binding);
}

void TSettingsForm::Save()
{
    // When the table could not be rewritten the agent has been told why and every setting is
    // as it was; the form stays open so that his changes are not lost with it.
    if (SaveSettings(m_binding))
        CloseDialog(this, true);
}

void TSettingsForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_shown = true;
    StretchExchangePage();
    ApplyEnabling();
    // The form opens on its tab bar, the first control from the top.
    ShowFocus(m_tabs);
}

void TSettingsForm::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FitToScreen(this);
}

bool TSettingsForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_exchangePage && event->type() == QEvent::Resize && m_shown) {
        StretchExchangePage();
    } else if (qobject_cast<QLineEdit*>(watched)) {
        if (event->type() == QEvent::FocusIn)
            QGuiApplication::inputMethod()->show();
        else if (event->type() == QEvent::FocusOut)
            QGuiApplication::inputMethod()->hide();
    }
    return QDialog::eventFilter(watched, event);
}

bool RunSettingsForm(QWidget* owner)
{
    std::unique_ptr<TSettingsForm> form;
    {
        TBusyScope busy;
        form = std::make_unique<TSettingsForm>(owner);
    }
    if (!form->Load())
        return false;
    TModalChildScope modalChild;
    return RunModal(*form) == kModalOk;
}

} // namespace vendrix
