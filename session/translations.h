#pragma once

class QSettings;
class QTranslator;

// The German catalogues that the "language" setting asks for.
namespace Translations {

// True when the setting holds exactly 1; any other value means English.
bool germanWanted(const QSettings &settings);
// Loads the program's and Qt's German catalogues into the two translators
// and installs both; a missing catalogue leaves its translator empty.
void installGerman(QTranslator &app, QTranslator &qt);

} // namespace Translations
