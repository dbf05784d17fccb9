// JPEG encoding of a picture and its saving as a file: what libjpeg reads
// back, the quality rule, the equivalence with cjpeg, and that a failed save
// never damages an existing file or leaves a temporary one.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csetjmp>
#include <cstdio>
#include <functional>
#include <string>

#include <jpeglib.h>

#include "common/errors.h"
#include "qcapture/jpeg.h"
#include "support/files.h"
#include "support/desktoppicture.h"
#include "support/testenv.h"
#include "support/xsession.h"

namespace {

// The picture a capture hands over: a crop of odd size, so the last MCU
// row and column are partial.
const QImage& Crop()
{
    static const QImage crop = DesktopPicture(1280, 800).copy(101, 57, 333, 217);
    return crop;
}

struct Decoded {
    bool ok = false;
    QString error;
    int width = 0, height = 0, components = 0;
    bool progressive = true;
    J_COLOR_SPACE colorSpace = JCS_UNKNOWN;
    QImage picture;  // RGB888
};

struct DecodeError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

extern "C" void DecodeErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<DecodeError*>(cinfo->err)->jump, 1);
}

// libjpeg's own reading of the bytes.
Decoded Decode(const QByteArray& bytes)
{
    Decoded d;
    jpeg_decompress_struct cinfo{};
    DecodeError err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = DecodeErrorExit;
    if (setjmp(err.jump)) {
        char message[JMSG_LENGTH_MAX];
        err.pub.format_message(reinterpret_cast<j_common_ptr>(&cinfo), message);
        d.error = QString::fromLocal8Bit(message);
        jpeg_destroy_decompress(&cinfo);
        d.ok = false;
        return d;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.constData()), (unsigned long)bytes.size());
    jpeg_read_header(&cinfo, TRUE);
    d.progressive = cinfo.progressive_mode;
    d.colorSpace = cinfo.jpeg_color_space;
    d.components = cinfo.num_components;
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    d.width = int(cinfo.output_width);
    d.height = int(cinfo.output_height);
    d.picture = QImage(d.width, d.height, QImage::Format_RGB888);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = d.picture.scanLine(int(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    d.ok = true;
    return d;
}

// Mean and largest absolute difference per channel between two pictures of one size.
std::pair<double, int> Difference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            for (int d : {qRed(p[col]) - qRed(q[col]), qGreen(p[col]) - qGreen(q[col]), qBlue(p[col]) - qBlue(q[col])}) {
                sum += std::abs(d);
                worst = std::max(worst, std::abs(d));
            }
        }
    }
    return {sum / (3.0 * x.width() * x.height()), worst};
}

void WriteAllTo(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QString FileError(const char* what, const QString& path, int error)
{
    return QStringLiteral("%1 \"%2\". %3").arg(QLatin1String(what), path, qt_error_string(error));
}

// The message of the EError fn throws, or "" when it throws none.
QString ErrorOf(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const EError& e) {
        return e.Message();
    }
    return {};
}

// Runs fn in a forked child (for limits and identities that must not touch
// the test process) and returns the message of the EError it threw.
QString ErrorInChild(const std::function<void()>& fn)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return QStringLiteral("pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        const QByteArray message = ErrorOf(fn).toUtf8();
        if (::write(pipeFds[1], message.constData(), size_t(message.size())) < 0)
            _exit(2);
        _exit(0);
    }
    ::close(pipeFds[1]);
    QByteArray message;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        message.append(buffer, n);
    ::close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return QString::fromUtf8(message);
}

}  // namespace

TEST(EncodeJpeg, LibjpegReadsBackABaselineColourPictureCloseToTheCrop)
{
    const Decoded d = Decode(EncodeJpeg(Crop(), 90));
    ASSERT_TRUE(d.ok) << d.error.toStdString();
    EXPECT_EQ(d.width, 333);
    EXPECT_EQ(d.height, 217);
    EXPECT_FALSE(d.progressive);
    EXPECT_EQ(d.components, 3);
    EXPECT_EQ(d.colorSpace, JCS_YCbCr);
    const auto [mean, worst] = Difference(d.picture, Crop());
    EXPECT_LT(mean, 3.0);
    EXPECT_LT(worst, 120);  // sharp text edges ring; a channel mix-up would not stay this low on average

    // Red, green and blue end up where they were: a swapped channel order
    // would turn this flat patch blue.
    QImage flat(64, 64, QImage::Format_RGB32);
    flat.fill(qRgb(220, 40, 10));
    const Decoded f = Decode(EncodeJpeg(flat, 90));
    ASSERT_TRUE(f.ok);
    const QRgb centre = f.picture.pixel(32, 32);
    EXPECT_NEAR(qRed(centre), 220, 3);
    EXPECT_NEAR(qGreen(centre), 40, 3);
    EXPECT_NEAR(qBlue(centre), 10, 3);
}

TEST(EncodeJpeg, QualityScale)
{
    EXPECT_EQ(EncodeJpeg(Crop(), 0), EncodeJpeg(Crop(), 1));
    EXPECT_GT(EncodeJpeg(Crop(), 100).size(), EncodeJpeg(Crop(), 50).size());
    EXPECT_GT(EncodeJpeg(Crop(), 50).size(), EncodeJpeg(Crop(), 1).size());
}

TEST(EncodeJpeg, DirectScanlinesGiveTheSameBytesAsRgb)
{
    // Also with the pad byte of a raw grab (0x00) instead of Qt's 0xff.
    QImage raw = Crop().copy();
    for (int y = 0; y < raw.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(raw.scanLine(y));
        for (int x = 0; x < raw.width(); ++x)
            line[x] &= 0x00ffffff;
    }
    for (int q : {1, 50, 100}) {
        const QByteArray rgb = EncodeJpeg(Crop(), q, JpegInput::Rgb24);
        EXPECT_EQ(EncodeJpeg(Crop(), q, JpegInput::Direct), rgb) << q;
        EXPECT_EQ(EncodeJpeg(raw, q, JpegInput::Direct), rgb) << q;
    }
}

TEST(EncodeJpeg, SameBytesAsCjpegBaselineAtQuality50)
{
    QTemporaryDir dir;
    const QString ppm = dir.filePath(QStringLiteral("in.ppm"));
    const QString out = dir.filePath(QStringLiteral("cjpeg.jpg"));
    for (const QImage& picture : {Crop(), DesktopPicture(1920, 1080)}) {
        ASSERT_TRUE(picture.convertToFormat(QImage::Format_RGB888).save(ppm, "PPM"));
        const ShResult r = Sh("cjpeg -quality 50 -baseline '" + ppm.toStdString() + "' > '" + out.toStdString() + "'");
        ASSERT_EQ(r.code, 0);
        const QByteArray theirs = ReadAll(out);
        ASSERT_FALSE(theirs.isEmpty());
        EXPECT_TRUE(EncodeJpeg(picture, 50) == theirs) << picture.width() << "x" << picture.height();
    }
}

TEST(EncodeJpeg, LibjpegErrorBecomesAnException)
{
    const QString message = ErrorOf([] { EncodeJpeg(QImage(), 50); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("JPEG error: "))) << message.toStdString();
    EXPECT_GT(message.size(), 12);
    // The encoder is usable again afterwards.
    EXPECT_TRUE(Decode(EncodeJpeg(Crop(), 50)).ok);
}

TEST(JpegQuality, TextToQuality)
{
    struct Case {
        const char* text;
        int quality;
    } cases[] = {
        {"50", 50}, {"  7", 7}, {"+0", 0}, {"100", 100}, {"$1E", 30}, {"0x10", 16},
        {"101", 100}, {"300", 100},  // 300 & 0xff would be 44
        {"-1", 0}, {"-2147483648", 0}, {"2147483647", 100},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JpegQuality(QString::fromUtf8(c.text)), c.quality) << c.text;

    for (const char* bad : {"", "5 ", "abc", "1.5", "-", "2147483648"}) {
        try {
            JpegQuality(QString::fromUtf8(bad));
            ADD_FAILURE() << "no error for '" << bad << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("'%1' is not a valid integer value").arg(QString::fromUtf8(bad)));
        }
    }
}

TEST(SaveAsJpeg, WritesTheEncodedPictureAndReplacesAnExistingFileKeepingItsMode)
{
    QTemporaryDir dir;
    const QString fresh = dir.filePath(QStringLiteral("new.jpg"));
    const mode_t mask = umask(022);
    SaveAsJpeg(fresh, Crop(), QStringLiteral("50"));
    umask(mask);
    EXPECT_EQ(ReadAll(fresh), EncodeJpeg(Crop(), 50));
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(fresh).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    const QString old = dir.filePath(QStringLiteral("old.jpg"));
    WriteAllTo(old, QByteArray(100000, 'x'));
    ASSERT_EQ(chmod(QFile::encodeName(old).constData(), 0640), 0);
    SaveAsJpeg(old, Crop(), QStringLiteral("300"));
    EXPECT_EQ(ReadAll(old), EncodeJpeg(Crop(), 100));
    ASSERT_EQ(stat(QFile::encodeName(old).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // Through a symbolic link the file it names is replaced, the link stays.
    const QString link = dir.filePath(QStringLiteral("link.jpg"));
    ASSERT_TRUE(QFile::link(old, link));
    SaveAsJpeg(link, Crop(), QStringLiteral("1"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadAll(old), EncodeJpeg(Crop(), 1));

    EXPECT_EQ(Entries(dir.path()), (QStringList{"link.jpg", "new.jpg", "old.jpg"}));
}

TEST(SaveAsJpeg, FailureLeavesTheOldFileAndNoTemporaryFile)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    ASSERT_EQ(chmod(QFile::encodeName(folder).constData(), 0755), 0);
    const QString old = folder + QStringLiteral("/old.jpg");
    const QByteArray oldBytes = EncodeJpeg(DesktopPicture(64, 48), 75);
    WriteAllTo(old, oldBytes);
    const QString plain = folder + QStringLiteral("/plain");
    WriteAllTo(plain, "not a folder");
    const QString sub = folder + QStringLiteral("/sub");
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("sub")));
    const QString locked = folder + QStringLiteral("/locked");
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("locked")));
    ASSERT_EQ(chmod(QFile::encodeName(locked).constData(), 0555), 0);

    // Root ignores permission bits: look at the locked folder as nobody.
    auto asNobody = [](const std::function<void()>& fn) {
        return [fn] {
            if (geteuid() == 0 && setuid(65534) != 0)
                throw EError(QStringLiteral("setuid failed"));
            fn();
        };
    };
    // A file size limit makes the write itself fail after the temporary file exists.
    auto withSizeLimit = [](const std::function<void()>& fn) {
        return [fn] {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{4096, 4096};
            setrlimit(RLIMIT_FSIZE, &limit);
            fn();
        };
    };

    struct Case {
        const char* name;
        QString path;
        QString quality;
        QImage picture;
        std::function<QString(const std::function<void()>&)> run;
        QString expected;
    } cases[] = {
        {"missing folder", folder + "/none/x.jpg", "50", Crop(), ErrorOf,
         FileError("Cannot create file", folder + "/none/x.jpg", ENOENT)},
        {"parent is a file", plain + "/x.jpg", "50", Crop(), ErrorOf,
         FileError("Cannot create file", plain + "/x.jpg", ENOTDIR)},
        {"target is a folder", sub, "50", Crop(), ErrorOf, FileError("Cannot create file", sub, EISDIR)},
        {"under /proc", "/proc/zelbrik-test.jpg", "50", Crop(), ErrorOf,
         FileError("Cannot create file", "/proc/zelbrik-test.jpg", ENOENT)},
        {"read-only folder", locked + "/x.jpg", "50", Crop(),
         [&](const std::function<void()>& fn) { return ErrorInChild(asNobody(fn)); },
         FileError("Cannot create file", locked + "/x.jpg", EACCES)},
        {"write fails", old, "50", DesktopPicture(640, 480),
         [&](const std::function<void()>& fn) { return ErrorInChild(withSizeLimit(fn)); },
         FileError("Cannot write file", old, EFBIG)},
        {"quality does not convert", old, "5O", Crop(), ErrorOf, "'5O' is not a valid integer value"},
        {"empty picture", old, "50", QImage(), ErrorOf, ""},
    };
    for (const Case& c : cases) {
        const QString message = c.run([&] { SaveAsJpeg(c.path, c.picture, c.quality); });
        if (c.expected.isEmpty())
            EXPECT_TRUE(message.startsWith(QStringLiteral("JPEG error: "))) << c.name << ": " << message.toStdString();
        else
            EXPECT_EQ(message, c.expected) << c.name;
        EXPECT_EQ(ReadAll(old), oldBytes) << c.name;
        EXPECT_EQ(Entries(folder), (QStringList{"locked", "old.jpg", "plain", "sub"})) << c.name;
        EXPECT_TRUE(Entries(sub).isEmpty()) << c.name;
        EXPECT_TRUE(Entries(locked).isEmpty()) << c.name;
    }
    chmod(QFile::encodeName(locked).constData(), 0755);
}
