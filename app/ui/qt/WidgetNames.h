#pragma once
// Small helpers every window uses: controls carry their description names as
// objectName (tests and assistive technologies find them by it).

#include <QString>
#include <string>

namespace pelkor {

template <class W> W* Named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

inline QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace pelkor
