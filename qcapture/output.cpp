#include <QClipboard>
#include <QGuiApplication>
#include <QPixmapCache>
#include <malloc.h>

#include "qcapture/image.h"
#include "qcapture/jpeg.h"
#include "qcapture/qcapture.h"
#include "qcapture/savedialog.h"

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

// A save dialog makes icon engines of its own, so what it puts into the
// pixmap cache is keyed to it and never asked for again, and the cache keeps
// the text of such keys even after it drops the pixmaps. Nothing goes in
// while the dialog runs.
class TPixmapCacheOff {
public:
    TPixmapCacheOff() : limit_(QPixmapCache::cacheLimit()) { QPixmapCache::setCacheLimit(0); }
    ~TPixmapCacheOff()
    {
        QPixmapCache::clear();
        QPixmapCache::setCacheLimit(limit_);
    }
    TPixmapCacheOff(const TPixmapCacheOff&) = delete;
    TPixmapCacheOff& operator=(const TPixmapCacheOff&) = delete;

private:
    int limit_;
};

// glibc keeps the pages a capture freed between blocks still in use unless
// asked: hand them back when the capture ends, however it ends.
struct TTrimHeapAtEnd {
    ~TTrimHeapAtEnd() { malloc_trim(0); }
};

}  // namespace

void TForm5::PictureOutput(const QRect& region)
{
    const TTrimHeapAtEnd trim;
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

    bool accepted = false;
    {
        // Made for this capture only: a file dialog keeps a lot once it has
        // listed a folder (the model, its worker thread, icons, a backing store).
        const TPixmapCacheOff noCache;
        TSavePictureDialog dialog(this);
        dialog.SetFileName(SavedFileName);
        accepted = dialog.Execute();
        if (accepted)
            SavedFileName = dialog.FileName();
    }
    // The hidden overlay's window still has a screen-sized backing store
    // holding what it showed: a second copy of the frozen picture. Drop the
    // native windows; the next capture's show() makes them again.
    destroy();
    if (accepted) {
        // Read now: a quality typed and checked but never saved is the one used.
        SaveAsJpeg(SavedFileName, Image1->Picture(), QualityText ? QualityText() : QString());
    }
    close();
}
