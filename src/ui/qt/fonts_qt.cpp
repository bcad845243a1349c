#include "ui/qt/fonts_qt.h"

#include <QFontDatabase>
#include <QString>
#include <array>

namespace kestrova::ui {
namespace {

bool IsFixedPitchName(const QString& name) {
  static const std::array<const char*, 6> kFixed = {"Fixedsys", "Terminal", "Courier", "Courier New", "Consolas",
                                                   "Lucida Console"};
  for (const char* fixed : kFixed) {
    if (name.compare(QLatin1String(fixed), Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

}  // namespace

QFont ToQFont(const TFont& font) {
  const QString name = QString::fromStdString(font.name);
  QFont q;
  if (IsFixedPitchName(name)) {
    q.setFamily(QStringLiteral("monospace"));
    q.setStyleHint(QFont::TypeWriter);
    q.setFixedPitch(true);
  } else if (QFontDatabase::hasFamily(name)) {
    q.setFamily(name);
  } else {
    // Windows are laid out in pixels for the target system's sans-serif; a family
    // with its metrics keeps captions inside their labels, the generic one is the
    // fall-back.
    q.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("sans-serif")});
    q.setStyleHint(QFont::SansSerif);
  }
  q.setPixelSize(font.height > 0 ? font.height : 11);
  q.setBold(font.bold);
  q.setItalic(font.italic);
  q.setUnderline(font.underline);
  return q;
}

}  // namespace kestrova::ui
