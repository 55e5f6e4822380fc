// Texts where they meet Qt: every text below the windows is a Windows-1252 byte string, Qt
// speaks UTF-16. These two are the only crossing points.
#ifndef VELDA_UI_QTEXT_H
#define VELDA_UI_QTEXT_H

#include <QString>
#include <string>

namespace ui {

QString ToQString(const std::string& cp1252);
// Characters that Windows-1252 cannot hold become '?', as the platform's own conversion does.
std::string FromQString(const QString& text);

}  // namespace ui

#endif
