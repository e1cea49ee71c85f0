// Text between the workbench (std::string, UTF-8, or Windows-1252 bytes read from old files)
// and Qt (QString).
#pragma once

#include <QString>
#include <QStringDecoder>
#include <string>

namespace polydec::gui {

// Text that is not valid UTF-8 comes from an 8-bit file; Latin-1 shows its letters.
inline QString ToQt(const std::string& s) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(QByteArrayView(s.data(), static_cast<qsizetype>(s.size())));
  if (utf8.hasError()) return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
  return text;
}

inline std::string FromQt(const QString& s) { return s.toStdString(); }

}  // namespace polydec::gui
