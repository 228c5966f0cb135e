// The program speaks only Russian: Qt's own words (the buttons of standard dialogs, the context
// menu of an edit box, the calendar of a date picker) come from Qt's Russian translations,
// whatever language the system is set to, LANG=C included.
#pragma once

namespace vendrix {

/// Installs Qt's Russian translations and makes Russian the default locale. Returns false when
/// the translation files are missing (Qt's words then stay English); call once after the
/// QApplication exists.
bool InstallRussianTranslations();

} // namespace vendrix
