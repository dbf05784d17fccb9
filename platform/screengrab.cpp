#include "platform/screengrab.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <unistd.h>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/xcbutil.h"

namespace {

using xcbutil::Connection;
using xcbutil::DefaultScreen;
using xcbutil::Reply;

// The grab hands the server's bytes to Qt as they are, which is only right
// for 32-bit pixels of a 24-bit visual, little end first, on a little-endian
// host: the layout of Format_RGB32 apart from the pad byte.
bool NativeLayoutIsRgb32(xcb_connection_t* c, const xcb_screen_t* screen)
{
    if (Q_BYTE_ORDER != Q_LITTLE_ENDIAN)
        return false;
    const xcb_setup_t* setup = xcb_get_setup(c);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST || screen->root_depth != 24)
        return false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
        if (it.data->depth == 24)
            return it.data->bits_per_pixel == 32 && it.data->scanline_pad == 32;
    return false;
}

// Format_RGB32 wants 0xff in the byte the server leaves 0x00.
// Sixteen bytes at a time: this pass runs over the whole screen inside the
// grab, and the plain loop is not vectorised at -O2.
void ForceOpaque(uint32_t* pixels, size_t count)
{
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i alpha = _mm_set1_epi32(int(0xff000000u));
    for (; i + 4 <= count; i += 4) {
        auto* p = reinterpret_cast<__m128i*>(pixels + i);
        _mm_storeu_si128(p, _mm_or_si128(_mm_loadu_si128(p), alpha));
    }
#endif
    for (; i < count; ++i)
        pixels[i] |= 0xff000000u;
}

void CopyOpaque(uint32_t* to, const uint32_t* from, size_t count)
{
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i alpha = _mm_set1_epi32(int(0xff000000u));
    for (; i + 4 <= count; i += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i),
                         _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)), alpha));
#endif
    for (; i < count; ++i)
        to[i] = from[i] | 0xff000000u;
}

// Where there is no X connection (another platform) Qt's own grab is all we have.
QImage GrabThroughQt(const QRect& area)
{
    QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
    if (!screen)
        return {};
    const qreal dpr = screen->devicePixelRatio();
    QImage image = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
    image.setDevicePixelRatio(1);
    const QPoint origin = (screen->geometry().topLeft() * dpr);
    return image.copy(area.translated(-origin));
}

}  // namespace

struct TScreenGrabber::Segment {
    xcb_connection_t* connection = nullptr;
    xcb_shm_seg_t seg = 0;
    uchar* addr = nullptr;
    size_t bytes = 0;
    QSize size;

    ~Segment()
    {
        // After the application object is gone its connection is closed,
        // and the server dropped the attachment with it.
        if (seg && Connection() == connection) {
            xcb_shm_detach(connection, seg);
            xcb_flush(connection);
        }
        if (addr)
            shmdt(addr);
    }

    // A private segment the server has attached for writing. It is marked
    // for removal at once, so it disappears with its last attachment even if
    // the process dies.
    static std::unique_ptr<Segment> Create(xcb_connection_t* c, const QSize& size)
    {
        auto s = std::make_unique<Segment>();
        s->connection = c;
        s->size = size;
        s->bytes = size_t(size.width()) * size_t(size.height()) * 4;
        if (s->bytes == 0)
            return nullptr;
        const int id = shmget(IPC_PRIVATE, s->bytes, IPC_CREAT | 0600);
        if (id < 0)
            return nullptr;
        void* addr = shmat(id, nullptr, 0);
        if (addr == reinterpret_cast<void*>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            return nullptr;
        }
        s->addr = static_cast<uchar*>(addr);
        // One call for all our page tables instead of a fault per page
        // (each costs tens of microseconds in a virtual machine). Without
        // support the pages simply fault in later.
#ifdef MADV_POPULATE_WRITE
        madvise(addr, s->bytes, MADV_POPULATE_WRITE);
#endif
        const xcb_shm_seg_t seg = xcb_generate_id(c);
        const Reply<xcb_generic_error_t> error(xcb_request_check(c, xcb_shm_attach_checked(c, seg, id, 0)));
        shmctl(id, IPC_RMID, nullptr);
        if (error)
            return nullptr;  // the destructor detaches our side
        s->seg = seg;
        return s;
    }

    // Server-side copy of area into the segment; false when refused.
    bool Fill(xcb_connection_t* c, xcb_window_t root, const QRect& area)
    {
        auto cookie = xcb_shm_get_image(c, root, int16_t(area.x()), int16_t(area.y()), uint16_t(area.width()),
                                        uint16_t(area.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, seg, 0);
        const Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c, cookie, nullptr));
        return reply && reply->depth == 24 && reply->size >= bytes;
    }
};

QRect PrimaryDisplayRect()
{
    xcb_connection_t* c = Connection();
    if (!c) {
        QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
        if (!screen)
            return {};
        const qreal dpr = screen->devicePixelRatio();
        return QRect(screen->geometry().topLeft() * dpr, screen->geometry().size() * dpr);
    }
    xcb_screen_t* screen = DefaultScreen(c);
    if (!screen)
        return {};
    const QRect root(0, 0, screen->width_in_pixels, screen->height_in_pixels);
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (!randr || !randr->present)
        return root;

    const Reply<xcb_randr_get_output_primary_reply_t> primary(
        xcb_randr_get_output_primary_reply(c, xcb_randr_get_output_primary(c, screen->root), nullptr));
    if (!primary || primary->output == XCB_NONE)
        return root;
    const Reply<xcb_randr_get_output_info_reply_t> output(xcb_randr_get_output_info_reply(
        c, xcb_randr_get_output_info(c, primary->output, XCB_CURRENT_TIME), nullptr));
    if (!output || output->crtc == XCB_NONE)
        return root;
    const Reply<xcb_randr_get_crtc_info_reply_t> crtc(
        xcb_randr_get_crtc_info_reply(c, xcb_randr_get_crtc_info(c, output->crtc, XCB_CURRENT_TIME), nullptr));
    QRect rect = crtc ? QRect(crtc->x, crtc->y, crtc->width, crtc->height) : QRect();
    rect &= root;
    return rect.isEmpty() ? root : rect;
}

TScreenGrabber::TScreenGrabber() = default;
TScreenGrabber::~TScreenGrabber() = default;

bool TScreenGrabber::SharedMemoryAvailable()
{
    xcb_connection_t* c = Connection();
    if (!c)
        return false;
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    return shm && shm->present;
}

void TScreenGrabber::Prepare(const QRect& area)
{
    xcb_connection_t* c = Connection();
    if (prepared_ && prepared_->connection == c && prepared_->size == area.size())
        return;
    prepared_.reset();
    xcb_screen_t* screen = c ? DefaultScreen(c) : nullptr;
    if (!screen || area.isEmpty() || !SharedMemoryAvailable() || !NativeLayoutIsRgb32(c, screen))
        return;
    std::unique_ptr<Segment> s = Segment::Create(c, area.size());
    if (!s)
        return;
    // The server's side of fresh shared pages faults in as it first writes
    // them: let it do that now, during the capture delay, with a grab whose
    // reply nobody waits for. The real grab queues behind it.
    auto cookie = xcb_shm_get_image(c, screen->root, int16_t(area.x()), int16_t(area.y()), uint16_t(area.width()),
                                    uint16_t(area.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, s->seg, 0);
    xcb_discard_reply(c, cookie.sequence);
    xcb_flush(c);
    // Our side: the first access to each page of a new mapping is slow even
    // with the page tables populated (about 5 us a page in a virtual
    // machine); take it here, while the server works on its side.
    const long page = sysconf(_SC_PAGESIZE);
    for (size_t i = 0; i < s->bytes; i += size_t(page))
        s->addr[i] = 0;
    prepared_ = std::move(s);
}

void TScreenGrabber::Release()
{
    prepared_.reset();
}

bool TScreenGrabber::Prepared() const
{
    return prepared_ != nullptr;
}

QImage TScreenGrabber::Grab(const QRect& area, Method method)
{
    xcb_connection_t* c = Connection();
    if (!c)
        return method == Method::Automatic ? GrabThroughQt(area) : QImage();
    xcb_screen_t* screen = DefaultScreen(c);
    if (!screen || area.isEmpty())
        return {};
    if (!NativeLayoutIsRgb32(c, screen))
        return method == Method::Automatic ? GrabThroughQt(area) : QImage();
    const size_t pixels = size_t(area.width()) * size_t(area.height());

    if (method != Method::GetImage && SharedMemoryAvailable()) {
        std::unique_ptr<Segment> s;
        if (prepared_ && prepared_->connection == c && prepared_->size == area.size())
            s = std::move(prepared_);
        else
            s = Segment::Create(c, area.size());
        if (s && s->Fill(c, screen->root, area)) {
            ForceOpaque(reinterpret_cast<uint32_t*>(s->addr), pixels);
            uchar* data = s->addr;
            return QImage(
                data, area.width(), area.height(), area.width() * 4, QImage::Format_RGB32,
                [](void* segment) { delete static_cast<Segment*>(segment); }, s.release());
        }
        if (method == Method::SharedMemory)
            return {};
    }

    auto cookie = xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, int16_t(area.x()), int16_t(area.y()),
                                uint16_t(area.width()), uint16_t(area.height()), ~0u);
    const Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(c, cookie, nullptr));
    if (!reply)
        return {};
    QImage image;
    if (reply->depth == 24 && size_t(xcb_get_image_data_length(reply.get())) >= pixels * 4) {
        image = QImage(area.size(), QImage::Format_RGB32);
        const auto* from = reinterpret_cast<const uint32_t*>(xcb_get_image_data(reply.get()));
        if (image.bytesPerLine() == area.width() * 4) {
            CopyOpaque(reinterpret_cast<uint32_t*>(image.bits()), from, pixels);
        } else {
            for (int y = 0; y < area.height(); ++y)
                CopyOpaque(reinterpret_cast<uint32_t*>(image.scanLine(y)), from + size_t(y) * area.width(),
                           size_t(area.width()));
        }
    }
    return image;
}
