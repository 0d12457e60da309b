// Windows-1251 texts of the forms layer to and from Qt strings.
#pragma once

#include <QString>
#include <string>

#include "platform/Cp1251.h"

namespace kestrel::forms::qt {

inline QString ToQt(const std::string& cp1251) { return QString::fromStdString(text::Cp1251ToUtf8(cp1251)); }

// Characters Windows-1251 cannot hold become '?'.
inline std::string FromQt(const QString& s) { return text::Utf8ToCp1251(s.toStdString()); }

}  // namespace kestrel::forms::qt
