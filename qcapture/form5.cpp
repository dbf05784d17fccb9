#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include "platform/guard.h"
#include "platform/screengrab.h"
#include "qcapture/image.h"
#include "qcapture/qcapture.h"
#include "qcapture/selection.h"

TForm5* Form5 = nullptr;

// An override-redirect window rather than a full-screen request to the
// window manager: it lands on the primary display's exact rectangle at once,
// whatever the window manager thinks of multi-monitor full screen, and a
// mapped override-redirect window sits above every managed one, panels and
// docks included. The overlay takes no keys, so needing no focus costs nothing.
TForm5::TForm5(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::X11BypassWindowManagerHint),
      Timer1(new QTimer(this)),
      Grabber(std::make_unique<TScreenGrabber>())
{
    // Closing the overlay hides it; it never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    Image1 = new TImage(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Image1);
    connect(Image1, &TImage::MouseMoved, this, GuardedSlot(this, &TForm5::Image1MouseMove));
    connect(Image1, &TImage::MousePressed, this, GuardedSlot(this, &TForm5::Image1MouseDown));

    Timer1->setSingleShot(true);
    Timer1->setInterval(300);
    connect(Timer1, &QTimer::timeout, this, GuardedSlot(this, &TForm5::Timer1Timer));
}

TForm5::~TForm5() = default;

void TForm5::StartCapture()
{
    if (Timer1->isActive())
        return;
    Timer1->start();
    // The delay is dead time anyway: ready the picture buffer in it.
    Grabber->Prepare(PrimaryDisplayRect());
}

void TForm5::Timer1Timer()
{
    Timer1->stop();

    QScreen* screen = QGuiApplication::primaryScreen();
    const qreal dpr = screen ? screen->devicePixelRatio() : 1.0;
    const QRect display = PrimaryDisplayRect();
    {
        QImage grabbed = Grabber->Grab(display);
        Grabber->Release();
        // Set while the grab is not shared, so the picture is not copied.
        grabbed.setDevicePixelRatio(dpr);
        Image1->SetPicture(std::move(grabbed));
    }

    // Qt keeps a screen's top-left in both coordinate systems and divides
    // only its size by the ratio.
    QRect logical(display.topLeft(), QSize(qRound(display.width() / dpr), qRound(display.height() / dpr)));
    if (screen && screen->geometry().topLeft() == display.topLeft())
        logical = screen->geometry();
    if (screen)
        setScreen(screen);
    setGeometry(logical);
    show();
    raise();

    // The inverting pen needs no canvas state: TSelection draws by XOR.
    Selection.Arm();
    emit PictureGrabbed();
}

void TForm5::Image1MouseMove(int x, int y)
{
    const TChangedRects changed = Selection.MouseMove(Image1->Picture(), x, y);
    Image1->RepaintPicture(changed);
}

void TForm5::Image1MouseDown(Qt::MouseButton, int x, int y)
{
    const TPressResult press = Selection.MouseDown(Image1->Picture(), x, y);
    Image1->RepaintPicture(press.changed);
    if (press.region) {
        emit RegionSelected(*press.region);
        PictureOutput(*press.region);
    }
}
