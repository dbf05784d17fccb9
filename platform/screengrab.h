#pragma once
// Reading the primary display of the X screen into a QImage, through the xcb
// connection of the running QGuiApplication.

#include <QImage>
#include <QRect>
#include <memory>

// The primary display in device pixels of the X screen: the CRTC of RandR's
// primary output, or the whole root window when RandR names no primary output
// (Xvfb) or has no CRTC for it.
QRect PrimaryDisplayRect();

// Grabs areas of the X screen.
//
// Every image Grab returns is Format_RGB32 with the top byte of every pixel
// set to 0xff, so painting it and any QImage conversion of it are correct.
// (The server leaves that pad byte 0x00; the grab sets it in the same pass
// that makes the pixels ours.)
//
// With MIT-SHM the image does not own heap memory: it wraps the shared
// segment the server wrote into, and the segment is detached and freed when
// the last QImage sharing it goes away. Replacing the frozen picture is
// therefore enough to give its memory back to the system.
//
// Prepare() does the slow part ahead of time: it creates and attaches a
// segment for the area, faults its pages in on both sides (ours and the
// server's), so a later Grab of an area of that size only copies pixels.
class TScreenGrabber {
public:
    enum class Method {
        Automatic,     // MIT-SHM when the server offers it, else GetImage
        SharedMemory,  // MIT-SHM only: a null image when unavailable
        GetImage       // plain xcb_get_image
    };

    TScreenGrabber();
    ~TScreenGrabber();
    TScreenGrabber(const TScreenGrabber&) = delete;
    TScreenGrabber& operator=(const TScreenGrabber&) = delete;

    // Readies a shared segment for a later Grab of an area of the same size
    // (the server writes this area once to fault its side in).
    // Does nothing when the server has no MIT-SHM.
    void Prepare(const QRect& area);
    // Drops a prepared segment that was not used.
    void Release();
    bool Prepared() const;

    // The pixels of area (X screen coordinates), clipped to nothing: the area
    // must lie on the screen. A null image when the server refuses.
    QImage Grab(const QRect& area, Method method = Method::Automatic);

    // Whether the server offers MIT-SHM to this connection.
    static bool SharedMemoryAvailable();

    struct Segment;

private:
    std::unique_ptr<Segment> prepared_;
};
