#include "wlscreencopy.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>

#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kOutputVersion = 2;      // mode and scale; names come from xdg-output
constexpr uint32_t kXdgOutputVersion = 2;   // name and description, with its own done event
constexpr uint32_t kScreencopyVersion = 3;  // buffer_done tells when every buffer type is listed

}  // namespace

struct TWlScreencopy::State {
    struct Output {
        State* owner = nullptr;
        uint32_t globalName = 0;
        wl_output* output = nullptr;
        zxdg_output_v1* xdgOutput = nullptr;
        TWlOutput info;
    };

    // What the compositor says about one capture.
    struct Frame {
        bool haveShm = false;
        uint32_t format = 0, width = 0, height = 0, stride = 0;
        bool buffersListed = false;
        bool yInvert = false;
        bool ready = false;
        bool failed = false;
    };

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_shm* shm = nullptr;
    zwlr_screencopy_manager_v1* screencopy = nullptr;
    uint32_t screencopyVersion = 0;
    zxdg_output_manager_v1* xdgOutputs = nullptr;
    std::vector<std::unique_ptr<Output>> outputs;
    QString where;
    QString error;

    ~State()
    {
        for (auto& o : outputs)
            DropOutput(*o);
        if (screencopy)
            zwlr_screencopy_manager_v1_destroy(screencopy);
        if (xdgOutputs)
            zxdg_output_manager_v1_destroy(xdgOutputs);
        if (shm)
            wl_shm_destroy(shm);
        if (registry)
            wl_registry_destroy(registry);
        if (display)
            wl_display_disconnect(display);
    }

    static void DropOutput(Output& o)
    {
        if (o.xdgOutput)
            zxdg_output_v1_destroy(o.xdgOutput);
        if (o.output)
            wl_output_destroy(o.output);
        o.xdgOutput = nullptr;
        o.output = nullptr;
    }

    bool Fail(const QString& why)
    {
        error = why;
        return false;
    }

    QImage NoImage(const QString& why)
    {
        error = why;
        return {};
    }

    QString ConnectionError() const
    {
        const int code = wl_display_get_error(display);
        return QStringLiteral("the connection to the compositor at %1 broke (%2)").arg(where, QString::fromLocal8Bit(strerror(code)));
    }

    // Reads and dispatches events until done() holds. libwayland's own
    // blocking calls wait forever; a compositor that hangs must not hang us.
    bool DispatchUntil(const std::function<bool()>& done, Clock::time_point deadline)
    {
        while (true) {
            if (wl_display_dispatch_pending(display) < 0)
                return Fail(ConnectionError());
            if (done())
                return true;
            while (wl_display_prepare_read(display) != 0) {
                if (wl_display_dispatch_pending(display) < 0)
                    return Fail(ConnectionError());
            }
            if (done()) {
                wl_display_cancel_read(display);
                return true;
            }
            // Requests first, or the compositor is never asked anything.
            while (wl_display_flush(display) < 0) {
                if (errno != EAGAIN) {
                    wl_display_cancel_read(display);
                    return Fail(ConnectionError());
                }
                pollfd out{wl_display_get_fd(display), POLLOUT, 0};
                poll(&out, 1, 10);
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                wl_display_cancel_read(display);
                return Fail(QStringLiteral("the compositor at %1 did not answer in time").arg(where));
            }
            pollfd in{wl_display_get_fd(display), POLLIN, 0};
            const int n = poll(&in, 1, static_cast<int>(left));
            if (n < 0 && errno != EINTR) {
                wl_display_cancel_read(display);
                return Fail(ConnectionError());
            }
            if (n > 0) {
                if (wl_display_read_events(display) < 0)
                    return Fail(ConnectionError());
            } else {
                wl_display_cancel_read(display);
            }
        }
    }

    bool Roundtrip(Clock::time_point deadline)
    {
        bool done = false;
        static const wl_callback_listener listener = {
            [](void* data, wl_callback* cb, uint32_t) {
                *static_cast<bool*>(data) = true;
                wl_callback_destroy(cb);
            }};
        wl_callback* cb = wl_display_sync(display);
        wl_callback_add_listener(cb, &listener, &done);
        if (DispatchUntil([&] { return done; }, deadline))
            return true;
        // The callback still points at our stack: it must never fire.
        if (!done)
            wl_callback_destroy(cb);
        return false;
    }

    // New globals arrive with the first roundtrip, the xdg-output details of
    // outputs bound in it with the second.
    bool Sync(Clock::time_point deadline)
    {
        return Roundtrip(deadline) && Roundtrip(deadline);
    }

    void DescribeOutput(Output& o)
    {
        if (!xdgOutputs || o.xdgOutput)
            return;
        static const zxdg_output_v1_listener listener = {
            [](void* data, zxdg_output_v1*, int32_t x, int32_t y) {
                static_cast<Output*>(data)->info.position = QPoint(x, y);
            },
            [](void* data, zxdg_output_v1*, int32_t w, int32_t h) {
                static_cast<Output*>(data)->info.logicalSize = QSize(w, h);
            },
            [](void*, zxdg_output_v1*) {},
            [](void* data, zxdg_output_v1*, const char* name) {
                static_cast<Output*>(data)->info.name = QString::fromUtf8(name);
            },
            [](void* data, zxdg_output_v1*, const char* description) {
                static_cast<Output*>(data)->info.description = QString::fromUtf8(description);
            }};
        o.xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgOutputs, o.output);
        zxdg_output_v1_add_listener(o.xdgOutput, &listener, &o);
    }

    void AddOutput(uint32_t name, uint32_t version)
    {
        static const wl_output_listener listener = {
            [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*, int32_t) {},
            [](void* data, wl_output*, uint32_t flags, int32_t w, int32_t h, int32_t) {
                if (flags & WL_OUTPUT_MODE_CURRENT)
                    static_cast<Output*>(data)->info.modeSize = QSize(w, h);
            },
            [](void*, wl_output*) {},
            [](void* data, wl_output*, int32_t factor) { static_cast<Output*>(data)->info.scale = factor; },
            // Version 4 only; xdg-output names outputs for older compositors too.
            [](void*, wl_output*, const char*) {},
            [](void*, wl_output*, const char*) {},
        };
        auto o = std::make_unique<Output>();
        o->owner = this;
        o->globalName = name;
        o->output = static_cast<wl_output*>(
            wl_registry_bind(registry, name, &wl_output_interface, std::min(version, kOutputVersion)));
        wl_output_add_listener(o->output, &listener, o.get());
        DescribeOutput(*o);
        outputs.push_back(std::move(o));
    }

    void OnGlobal(uint32_t name, const char* interface, uint32_t version)
    {
        if (strcmp(interface, wl_shm_interface.name) == 0 && !shm) {
            shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
        } else if (strcmp(interface, wl_output_interface.name) == 0) {
            AddOutput(name, version);
        } else if (strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0 && !screencopy) {
            screencopyVersion = std::min(version, kScreencopyVersion);
            screencopy = static_cast<zwlr_screencopy_manager_v1*>(
                wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, screencopyVersion));
        } else if (strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 && !xdgOutputs) {
            xdgOutputs = static_cast<zxdg_output_manager_v1*>(
                wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface, std::min(version, kXdgOutputVersion)));
            // Outputs may have been listed before the manager.
            for (auto& o : outputs)
                DescribeOutput(*o);
        }
    }

    void OnGlobalRemoved(uint32_t name)
    {
        for (auto it = outputs.begin(); it != outputs.end(); ++it) {
            if ((*it)->globalName == name) {
                DropOutput(**it);
                outputs.erase(it);
                return;
            }
        }
    }

    QImage Capture(Output& output, Clock::time_point deadline);
};

namespace {

// An shm buffer the compositor writes one frame into.
struct ShmBuffer {
    void* data = MAP_FAILED;
    size_t size = 0;
    wl_buffer* buffer = nullptr;

    ~ShmBuffer()
    {
        if (buffer)
            wl_buffer_destroy(buffer);
        if (data != MAP_FAILED)
            munmap(data, size);
    }

    bool Create(wl_shm* shm, uint32_t format, uint32_t width, uint32_t height, uint32_t stride)
    {
        size = size_t(stride) * height;
        const int fd = memfd_create("zelbrik-screencopy", MFD_CLOEXEC);
        if (fd < 0)
            return false;
        if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
            close(fd);
            return false;
        }
        data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (data == MAP_FAILED) {
            close(fd);
            return false;
        }
        wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(size));
        buffer = wl_shm_pool_create_buffer(pool, 0, static_cast<int32_t>(width), static_cast<int32_t>(height),
                                           static_cast<int32_t>(stride), format);
        // The buffer keeps the memory; neither the pool nor our descriptor is needed any more.
        wl_shm_pool_destroy(pool);
        close(fd);
        return true;
    }
};

}  // namespace

QImage TWlScreencopy::State::Capture(Output& output, Clock::time_point deadline)
{
    static const zwlr_screencopy_frame_v1_listener listener = {
        [](void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t w, uint32_t h, uint32_t stride) {
            auto* f = static_cast<Frame*>(data);
            // Offered once for each shm format; the first 32-bit one we can read is taken.
            if (f->haveShm || (format != WL_SHM_FORMAT_XRGB8888 && format != WL_SHM_FORMAT_ARGB8888))
                return;
            f->haveShm = true;
            f->format = format;
            f->width = w;
            f->height = h;
            f->stride = stride;
        },
        [](void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
            static_cast<Frame*>(data)->yInvert = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
        },
        [](void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) { static_cast<Frame*>(data)->ready = true; },
        [](void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->failed = true; },
        [](void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {},
        [](void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {},
        [](void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->buffersListed = true; },
    };

    Frame frame;
    zwlr_screencopy_frame_v1* handle = zwlr_screencopy_manager_v1_capture_output(screencopy, 0, output.output);
    zwlr_screencopy_frame_v1_add_listener(handle, &listener, &frame);
    struct Release {
        zwlr_screencopy_frame_v1* handle;
        ~Release() { zwlr_screencopy_frame_v1_destroy(handle); }
    } release{handle};

    const QString name = output.info.name;
    // Before version 3 the buffer event is the only one; from 3 on the list ends with buffer_done.
    const bool listEnds = screencopyVersion >= 3;
    if (!DispatchUntil([&] { return frame.failed || (listEnds ? frame.buffersListed : frame.haveShm); }, deadline))
        return {};
    if (frame.failed)
        return NoImage(QStringLiteral("the compositor refused to capture %1").arg(name));
    if (!frame.haveShm)
        return NoImage(QStringLiteral("the compositor offers no 32-bit RGB shm buffer for %1").arg(name));
    if (frame.width == 0 || frame.height == 0 || frame.stride < frame.width * 4)
        return NoImage(QStringLiteral("the compositor described an unusable buffer for %1 (%2x%3, stride %4)")
                        .arg(name)
                        .arg(frame.width)
                        .arg(frame.height)
                        .arg(frame.stride));

    ShmBuffer shmBuffer;
    if (!shmBuffer.Create(shm, frame.format, frame.width, frame.height, frame.stride))
        return NoImage(QStringLiteral("no shared memory for a %1x%2 frame: %3")
                        .arg(frame.width)
                        .arg(frame.height)
                        .arg(QString::fromLocal8Bit(strerror(errno))));
    zwlr_screencopy_frame_v1_copy(handle, shmBuffer.buffer);
    if (!DispatchUntil([&] { return frame.ready || frame.failed; }, deadline))
        return {};
    if (frame.failed)
        return NoImage(QStringLiteral("the compositor could not copy %1").arg(name));

    // XRGB8888 and ARGB8888 are little-endian 0xAARRGGBB words, which is
    // QImage's RGB32 once the pad byte is made opaque.
    QImage image(int(frame.width), int(frame.height), QImage::Format_RGB32);
    if (image.isNull())
        return NoImage(QStringLiteral("no memory for a %1x%2 image").arg(frame.width).arg(frame.height));
    const auto* base = static_cast<const uchar*>(shmBuffer.data);
    for (uint32_t y = 0; y < frame.height; ++y) {
        const auto* src = reinterpret_cast<const uint32_t*>(base + size_t(frame.yInvert ? frame.height - 1 - y : y) * frame.stride);
        auto* dst = reinterpret_cast<uint32_t*>(image.scanLine(int(y)));
        for (uint32_t x = 0; x < frame.width; ++x)
            dst[x] = src[x] | 0xff000000u;
    }
    error.clear();
    return image;
}

TWlScreencopy::TWlScreencopy(const QString& display, int timeoutMs) : d_(std::make_unique<State>())
{
    d_->where = display.isEmpty() ? QString::fromLocal8Bit(qgetenv("WAYLAND_DISPLAY")) : display;
    if (d_->where.isEmpty())
        d_->where = QStringLiteral("wayland-0");
    const QByteArray name = display.toLocal8Bit();
    d_->display = wl_display_connect(display.isEmpty() ? nullptr : name.constData());
    if (!d_->display) {
        d_->error = QStringLiteral("no Wayland compositor at %1: %2").arg(d_->where, QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    static const wl_registry_listener listener = {
        [](void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version) {
            static_cast<State*>(data)->OnGlobal(name, interface, version);
        },
        [](void* data, wl_registry*, uint32_t name) { static_cast<State*>(data)->OnGlobalRemoved(name); },
    };
    d_->registry = wl_display_get_registry(d_->display);
    wl_registry_add_listener(d_->registry, &listener, d_.get());
    if (d_->Sync(Clock::now() + std::chrono::milliseconds(timeoutMs)))
        d_->error.clear();
}

TWlScreencopy::~TWlScreencopy() = default;

bool TWlScreencopy::Connected() const
{
    return d_->display && wl_display_get_error(d_->display) == 0;
}

bool TWlScreencopy::CanCapture() const
{
    return Connected() && d_->screencopy && d_->shm;
}

const QString& TWlScreencopy::Error() const
{
    return d_->error;
}

std::vector<TWlOutput> TWlScreencopy::Outputs()
{
    std::vector<TWlOutput> list;
    if (!Connected() || !d_->Sync(Clock::now() + std::chrono::seconds(5)))
        return list;
    for (const auto& o : d_->outputs)
        list.push_back(o->info);
    return list;
}

QImage TWlScreencopy::Grab(const QString& outputName, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!d_->display)
        return {};  // the reason is the connection's
    if (!Connected())
        return d_->NoImage(d_->ConnectionError());
    if (!d_->screencopy || !d_->shm)
        return d_->NoImage(QStringLiteral("the compositor at %1 does not offer wlr-screencopy").arg(d_->where));
    if (!d_->Sync(deadline))
        return {};
    QStringList names;
    for (auto& o : d_->outputs) {
        if (o->info.name == outputName)
            return d_->Capture(*o, deadline);
        names << o->info.name;
    }
    return d_->NoImage(QStringLiteral("no output named \"%1\" (there are: %2)").arg(outputName, names.join(QStringLiteral(", "))));
}

bool TWlScreencopy::Available(const QString& display)
{
    return TWlScreencopy(display).CanCapture();
}
