#include "platform/display.h"

#include <QDir>
#include <QFile>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include <xcb/xcb.h>

namespace {

bool WaylandAnswers(const QString& display)
{
    QString path = display;
    if (!QDir::isAbsolutePath(path)) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (runtime.isEmpty())
            return false;
        path = runtime + u'/' + display;
    }
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (size_t(name.size()) >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}

bool XAnswers(const QByteArray& display)
{
    xcb_connection_t* c = xcb_connect(display.constData(), nullptr);
    const bool ok = c && xcb_connection_has_error(c) == 0;
    if (c)
        xcb_disconnect(c);
    return ok;
}

}  // namespace

std::optional<QString> MissingDisplay()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    const bool anyPlatform = platform.isEmpty();
    const bool wantX = anyPlatform || platform.startsWith(QLatin1String("xcb"));
    const bool wantWayland = anyPlatform || platform.startsWith(QLatin1String("wayland"));
    if (!wantX && !wantWayland)
        return std::nullopt;

    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (wantWayland && !wayland.isEmpty() && WaylandAnswers(wayland))
        return std::nullopt;
    const QByteArray x = qgetenv("DISPLAY");
    if (wantX && !x.isEmpty() && XAnswers(x))
        return std::nullopt;

    if (wantX && !x.isEmpty())
        return QStringLiteral("cannot open the X display \"%1\"").arg(QString::fromLocal8Bit(x)) +
               (wantWayland && !wayland.isEmpty()
                    ? QStringLiteral(", and no Wayland compositor answers at \"%1\"").arg(wayland)
                    : QString());
    if (wantWayland && !wayland.isEmpty())
        return QStringLiteral("no Wayland compositor answers at \"%1\"").arg(wayland) +
               (wantX ? QStringLiteral(", and DISPLAY is not set") : QString());
    return QStringLiteral("no display: neither DISPLAY nor WAYLAND_DISPLAY is set");
}
