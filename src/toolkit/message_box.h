// The Qt side of the user-interface seam: message boxes and questions captioned "Агент продаж",
// owned by the active window and kept on top; the wait cursor; repainting; the folder picker.
#pragma once

#include "storage/ui_seam.h"

class QWidget;

namespace vendrix {

constexpr const char* kAppCaption = "Агент продаж";

class TQtUserInterface : public TUserInterface {
public:
    /// The window that owns the boxes when no window of the program is active (the main
    /// window once it exists); nullptr before.
    static void SetMainWindow(QWidget* window);

    void Message(const std::string& text, TIcon icon) override;
    TAnswer Ask(const std::string& text, TIcon icon, TButtons buttons) override;
    void SetBusyCursor(bool on) override;
    void ProcessEvents() override;
    std::string PickFolder(const std::string& start) override;
};

} // namespace vendrix
