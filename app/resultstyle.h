#pragma once

#include <QString>

// How the window judges a result field, and colours its message line: the
// field's whole style sheet replaced by one of these.
namespace ResultStyle {

inline const QString Black = QStringLiteral("color:black");  // cleared: nothing judged
inline const QString Green = QStringLiteral("color:green");  // accepted
inline const QString Red = QStringLiteral("color:red");      // refused, or an error

} // namespace ResultStyle
