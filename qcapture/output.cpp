#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>

#include "qcapture/image.h"
#include "qcapture/jpeg.h"
#include "qcapture/qcapture.h"
#include "qcapture/savedialog.h"
#include "setkey/setkey.h"

namespace {

// The region of the frozen picture as a picture of its own. The copy also
// sets the pad byte, which a raw grab leaves at 0x00: other programs reading
// the clipboard would take it for a transparent alpha.
QImage CutOut(const QImage& frozen, const QRect& region)
{
    QImage crop(region.size(), QImage::Format_RGB32);
    crop.setDevicePixelRatio(frozen.devicePixelRatio());
    for (int y = 0; y < region.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(frozen.constScanLine(region.top() + y)) + region.left();
        auto* to = reinterpret_cast<QRgb*>(crop.scanLine(y));
        for (int x = 0; x < region.width(); ++x)
            to[x] = from[x] | 0xff000000u;
    }
    return crop;
}

}  // namespace

void TForm5::PictureOutput(const QRect& region)
{
    const QRect inside = region & Image1->Picture().rect();
    // Two presses on one row or column select nothing: the capture just ends,
    // and the frozen picture goes with it.
    if (inside.isEmpty()) {
        close();
        Image1->SetPicture(QImage());
        destroy();
        return;
    }

    // Replacing Image1's picture frees the frozen one: nothing else holds it.
    const QImage crop = CutOut(Image1->Picture(), inside);
    Image1->SetPicture(crop);
    QGuiApplication::clipboard()->setImage(crop, QClipboard::Clipboard);
    hide();

    if (!SavePictureDialog1)
        SavePictureDialog1 = new TSavePictureDialog(this);
    const bool accepted = SavePictureDialog1->Execute();
    // The hidden overlay's window still has a screen-sized backing store
    // holding what it showed: a second copy of the frozen picture. Drop the
    // native windows; the next capture's show() makes them again.
    destroy();
    if (!accepted) {
        close();
        return;
    }
    // Read now: a quality typed and checked but never saved is the one used.
    const QString quality = Form2 ? Form2->Edit1->text() : QStringLiteral("50");
    SaveAsJpeg(SavePictureDialog1->FileName(), Image1->Picture(), quality);
    close();
}
