// The about window "О программе": the product name and version, who made it, and the two colour
// strips down its edges. Opened modally from the main window's menu.
#pragma once

#include <QDialog>

#include <iterator>
#include <vector>

class QLabel;
class QVBoxLayout;

namespace vendrix {

class TMenuBar;

/// The about window's menu bar: its items' numbers, in the order they are added, and their
/// captions by number; the blank is a disabled spacer. A plain enum, since the bar numbers its
/// items with ints.
namespace about_menu {
enum TItem : int { kBlank, kClose, kItemCount };
inline constexpr const char* kCaptions[] = {" ", "[ Закрыть ]"};
static_assert(std::size(kCaptions) == kItemCount, "one caption per item");
} // namespace about_menu

class TAboutWindow : public QDialog {
public:
    explicit TAboutWindow(QWidget* owner);

    TMenuBar& Menu() const { return *m_menu; }
    /// The labels of the centre column, top to bottom: title, "Разработано", six credits.
    const std::vector<QLabel*>& Labels() const { return m_labels; }

protected:
    void changeEvent(QEvent* event) override;

private:
    // The construction steps, in the order the constructor takes them.
    QWidget* BuildClientArea();
    void BuildLabels(QWidget* client, QVBoxLayout* column);
    void BuildGlyphs(QWidget* client, QVBoxLayout* column);
    void BuildMenuBar();

    TMenuBar* m_menu = nullptr;
    std::vector<QLabel*> m_labels;
};

/// Shows the about window modally over `owner` and frees it when it closes.
void RunAboutWindow(QWidget* owner);

} // namespace vendrix
