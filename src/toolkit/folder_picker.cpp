// The handheld-sized folder picker.
#include "toolkit/folder_picker.h"

#include "toolkit/menu_bar.h"
#include "toolkit/modal.h"
#include "toolkit/stylus.h"
#include "toolkit/window_placement.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QStyle>
#include <QVBoxLayout>

namespace vendrix {

namespace {

const QString kUp = QStringLiteral("..");

} // namespace

TFolderPicker::TFolderPicker(QWidget* owner, const QString& start)
    : QDialog(owner)
{
    setWindowTitle(QString::fromUtf8("Выберите папку"));
    resize(kHandheldWidth, kHandheldHeight);

    m_path = new QLabel(this);
    m_path->setWordWrap(true);
    m_path->setTextFormat(Qt::PlainText);
    m_path->setContentsMargins(2, 2, 2, 2);
    QFont bold = m_path->font();
    bold.setBold(true);
    m_path->setFont(bold);

    m_list = new QListWidget(this);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setIconSize(QSize(16, 16));
    auto* taps = new TListTaps(m_list);
    taps->onTap = [this](int row, bool wasSelected) {
        if (row >= 0 && wasSelected)
            OpenRow(row);
    };

    m_menu = new TMenuBar(this);
    const int ok = m_menu->AddItem(QString::fromUtf8("[ OK ]"));
    m_menu->AddItem(QString::fromUtf8("[ Отмена ]"));
    m_menu->onCommand = [this, ok](int item) { CloseDialog(this, item == ok); };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_path);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_menu);

    const QFileInfo info(start);
    OpenFolder(info.isDir() ? info.absoluteFilePath() : QDir::homePath());
}

void TFolderPicker::OpenFolder(const QString& folder)
{
    QDir dir(folder);
    if (!dir.exists() || !dir.isReadable())
        return;
    m_folder = QDir::toNativeSeparators(dir.absolutePath());
    m_path->setText(m_folder);
    m_list->clear();
    const QIcon icon = style()->standardIcon(QStyle::SP_DirIcon);
    if (!dir.isRoot())
        new QListWidgetItem(style()->standardIcon(QStyle::SP_FileDialogToParent), kUp, m_list);
    const QStringList names = dir.entryList(
        QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names)
        new QListWidgetItem(icon, name, m_list);
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
}

void TFolderPicker::OpenRow(int row)
{
    const QListWidgetItem* item = m_list->item(row);
    if (!item)
        return;
    QDir dir(m_folder);
    if (item->text() == kUp)
        dir.cdUp();
    else
        dir.cd(item->text());
    OpenFolder(dir.absolutePath());
}

void TFolderPicker::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // As the program's other windows: the whole screen of a handheld; on a desktop the
    // handheld's size, centred over the program's window.
    FitToScreen(this);
    m_list->setFocus();
}

QString PickFolderDialog(QWidget* owner, const QString& start)
{
    TFolderPicker picker(owner, start);
    if (RunModal(picker) != kModalOk)
        return {};
    return picker.Folder();
}

} // namespace vendrix
