#pragma once
// Reading an output of a wlroots compositor (sway and its kin) into a QImage
// through the wlr-screencopy protocol.

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <memory>
#include <vector>

struct TWlOutput {
    QString name;         // the xdg-output name (HEADLESS-1, DP-2, ...), what Grab takes
    QString description;
    QPoint position;      // in the compositor's logical space
    QSize logicalSize;
    QSize modeSize;       // device pixels: the size of a grab of this output
    int scale = 1;
};

// A connection to the compositor of its own, not Qt's: Qt's display is
// dispatched by Qt's event loop, so waiting on it for a frame would mean
// spinning that loop (and handing events to widgets) inside a grab, and its
// registry is private API. Ours is blocked on with a timeout and nothing
// else reads it.
//
// Every image Grab returns is Format_RGB32 in device pixels with the top byte
// of every pixel 0xff, whatever the compositor left in its pad byte.
class TWlScreencopy {
public:
    // display: a socket name in XDG_RUNTIME_DIR or an absolute socket path,
    // as WAYLAND_DISPLAY takes; empty for WAYLAND_DISPLAY's own.
    explicit TWlScreencopy(const QString& display = {}, int timeoutMs = 2000);
    ~TWlScreencopy();
    TWlScreencopy(const TWlScreencopy&) = delete;
    TWlScreencopy& operator=(const TWlScreencopy&) = delete;

    bool Connected() const;
    // Whether the compositor offers wlr-screencopy to this connection.
    bool CanCapture() const;

    // The outputs as the compositor describes them now (outputs added or
    // removed since the connection was made are taken into account).
    std::vector<TWlOutput> Outputs();

    // The whole output named outputName. A null image on failure, with the
    // reason in Error().
    QImage Grab(const QString& outputName, int timeoutMs = 2000);

    // Why the connection or the last call failed; empty after a success.
    const QString& Error() const;

    // Whether a compositor answers at display and offers wlr-screencopy.
    static bool Available(const QString& display = {});

    struct State;

private:
    std::unique_ptr<State> d_;
};
