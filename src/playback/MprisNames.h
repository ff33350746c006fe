#pragma once

#include <QString>

namespace sonavista::mpris {

// D-Bus names shared by the MPRIS adapters.
inline const QString busService = QStringLiteral("org.freedesktop.DBus");
inline const QString busPath = QStringLiteral("/org/freedesktop/DBus");
inline const QString mprisPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
inline const QString mprisPath = QStringLiteral("/org/mpris/MediaPlayer2");
inline const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
inline const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

}  // namespace sonavista::mpris
