// The output of a capture on a real X server: the real overlay grabs the
// screen (painted with a known picture), two real clicks select a region,
// the save dialog is answered as a user would, and the clipboard is read by
// another program (xclip) while this one runs.

#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "main/application.h"
#include "qcapture/image.h"
#include "qcapture/jpeg.h"
#include "qcapture/qcapture.h"
#include "qcapture/savedialog.h"
#include "support/desktoppicture.h"
#include "support/files.h"
#include "support/modalwatcher.h"
#include "support/testenv.h"
#include "support/xscreen.h"
#include "support/xsession.h"

ZELBRIK_TEST_ENVIRONMENT(.display = TestDisplay::X11, .width = 1920, .height = 1080, .tray = false);

namespace {

// What the root window shows: 8 bits a channel, so the server keeps it exactly.
const QImage& Screen()
{
    static const QImage screen = [] {
        QImage picture = DesktopPicture(1920, 1080);
        ShowOnRoot(*ProcessXSession(), picture, QString::fromStdString(ProcessXSession()->homeDir()));
        return picture;
    }();
    return screen;
}

// Runs a program while this process keeps serving the clipboard; its stdout.
QByteArray Output(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    for (int i = 0; i < 500 && !p.waitForFinished(10); ++i)
        QCoreApplication::processEvents();
    return p.readAllStandardOutput();
}

QImage ClipboardPicture()
{
    const QByteArray png = Output(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", "image/png", "-o"});
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32);
}

QString ClipboardText()
{
    return QString::fromUtf8(Output(QStringLiteral("xclip"), {"-selection", "clipboard", "-o"}));
}

// What the user does in the save dialog, and what it showed.
struct DialogAnswer {
    QString type{};        // typed into the file name field, then accepted
    bool cancel = false;   // or cancelled
    bool seen = false;
    QString proposed{};    // the file it proposed when it opened
    QString title{};
    bool previewShown = false;
};

// Answers the save dialog when it becomes the active modal widget, for as
// long as poll lives.
void AnswerSaveDialog(QTimer& poll, DialogAnswer& answer)
{
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&poll, &answer] {
        auto* dialog = qobject_cast<TSavePictureDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll.stop();
        answer.seen = true;
        answer.title = dialog->windowTitle();
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString shownName = edit ? edit->text() : QString();
        answer.proposed = shownName.isEmpty() ? QString() : dialog->directory().filePath(shownName);
        // The preview follows the proposed file when it exists.
        answer.previewShown = QTest::qWaitFor([&] { return !dialog->Preview()->pixmap().isNull(); }, 1500);
        if (answer.cancel) {
            dialog->reject();
            return;
        }
        edit->clear();
        QTest::keyClicks(edit, answer.type);
        static_cast<QDialog*>(dialog)->accept();
    });
    poll.start();
}

class OutputTest : public testing::Test {
protected:
    void SetUp() override
    {
        Screen();
        Form5 = new TForm5;
        Form5->QualityText = [] { return QStringLiteral("50"); };
    }
    void TearDown() override
    {
        delete Form5;
        Form5 = nullptr;
    }

    // A capture by two real clicks at a and b, the dialog answered as given.
    // The region the overlay chose.
    // rawPad: the frozen picture's pad bytes are 0x00, as a raw X image has them.
    QRect Capture(QPoint a, QPoint b, DialogAnswer& answer, bool rawPad = false)
    {
        QSignalSpy grabbed(Form5, &TForm5::PictureGrabbed);
        QSignalSpy selected(Form5, &TForm5::RegionSelected);
        Form5->StartCapture();
        EXPECT_TRUE(grabbed.wait(3000));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(Form5));
        // The overlay froze what the screen showed.
        EXPECT_TRUE(Form5->Image1->Picture().convertToFormat(QImage::Format_RGB32) == Screen());
        if (rawPad) {
            QImage& frozen = Form5->Image1->Picture();
            for (int y = 0; y < frozen.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(frozen.scanLine(y));
                for (int x = 0; x < frozen.width(); ++x)
                    line[x] &= 0x00ffffffu;
            }
        }
        QTest::mouseMove(Form5->Image1, a);
        QTest::mouseClick(Form5->Image1, Qt::LeftButton, {}, a);
        QTest::mouseMove(Form5->Image1, b);
        QTimer poll;
        AnswerSaveDialog(poll, answer);
        QTest::mouseClick(Form5->Image1, Qt::LeftButton, {}, b);
        EXPECT_FALSE(Form5->isVisible());
        return selected.isEmpty() ? QRect() : selected.first().first().toRect();
    }

    QTemporaryDir dir;
};

}  // namespace

TEST_F(OutputTest, SaveReplaceAndProposeTheLastName)
{
    ModalWatcher boxes;  // a question before replacing would show up here

    DialogAnswer first{.type = dir.filePath(QStringLiteral("shot"))};
    const QRect r1 = Capture({100, 80}, {740, 560}, first, /*rawPad=*/true);
    ASSERT_EQ(r1, QRect(100, 80, 640, 480));
    EXPECT_TRUE(first.seen);
    EXPECT_TRUE(first.proposed.isEmpty()) << first.proposed.toStdString();
    EXPECT_EQ(first.title, QStringLiteral("Save As"));

    const QImage crop1 = Screen().copy(r1);
    const QString shot = dir.filePath(QStringLiteral("shot.jpg"));
    EXPECT_EQ(ReadAll(shot), EncodeJpeg(crop1, 50));  // the quality text given: 50
    EXPECT_TRUE(ClipboardPicture() == crop1);
    // The crop is Image1's picture now, opaque whatever the grab's pad bytes were.
    const QImage& held = Form5->Image1->Picture();
    EXPECT_TRUE(held == crop1);
    EXPECT_EQ(held.format(), QImage::Format_RGB32);
    bool opaque = true;
    for (int y = 0; y < held.height(); ++y)
        for (int x = 0; x < held.width(); ++x)
            opaque = opaque && qAlpha(reinterpret_cast<const QRgb*>(held.constScanLine(y))[x]) == 0xff;
    EXPECT_TRUE(opaque);

    // The second capture proposes the first file, and replacing it asks nothing.
    DialogAnswer second{.type = shot};
    const QRect r2 = Capture({1900, 1000}, {1500, 700}, second);
    ASSERT_EQ(r2, QRect(1500, 700, 400, 300));
    EXPECT_EQ(second.proposed, shot);
    EXPECT_TRUE(second.previewShown);
    const QImage crop2 = Screen().copy(r2);
    EXPECT_EQ(ReadAll(shot), EncodeJpeg(crop2, 50));
    EXPECT_TRUE(ClipboardPicture() == crop2);
    EXPECT_TRUE(boxes.seen().empty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"shot.jpg"});
}

TEST_F(OutputTest, CancelKeepsThePictureOnTheClipboardAndWritesNothing)
{
    DialogAnswer answer{.cancel = true};
    const QRect r = Capture({10, 20}, {300, 200}, answer);
    EXPECT_TRUE(answer.seen);
    EXPECT_TRUE(ClipboardPicture() == Screen().copy(r));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

TEST_F(OutputTest, ZeroWidthOrHeightEndsTheCaptureQuietly)
{
    for (const auto& [a, b] : {std::pair{QPoint(500, 100), QPoint(500, 400)}, std::pair{QPoint(100, 300), QPoint(900, 300)}}) {
        QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
        DialogAnswer answer{.type = dir.filePath(QStringLiteral("never.jpg"))};
        const QRect r = Capture(a, b, answer);
        EXPECT_TRUE(r.isEmpty());
        EXPECT_FALSE(answer.seen);
        EXPECT_TRUE(Form5->Image1->Picture().isNull());  // the frozen picture is not kept
        EXPECT_EQ(ClipboardText(), QStringLiteral("kept"));
        EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    }
}

TEST_F(OutputTest, FailedSaveShowsTheErrorBoxAndTheProgramGoesOn)
{
    ModalWatcher boxes;
    const QString missing = dir.filePath(QStringLiteral("none/x.jpg"));
    DialogAnswer answer{.type = missing};
    const QRect r = Capture({50, 50}, {250, 150}, answer);
    EXPECT_TRUE(answer.seen);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.seen().empty(); }, 3000));
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].caption, ProgramTitle());
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.seen()[0].text,
              QStringLiteral("Cannot create file \"%1\". %2.").arg(missing, qt_error_string(ENOENT)));
    EXPECT_TRUE(ClipboardPicture() == Screen().copy(r));

    // The next capture works.
    DialogAnswer next{.type = dir.filePath(QStringLiteral("ok.jpg"))};
    const QRect r2 = Capture({60, 60}, {160, 160}, next);
    EXPECT_EQ(ReadAll(dir.filePath(QStringLiteral("ok.jpg"))), EncodeJpeg(Screen().copy(r2), 50));
}

TEST(SavePictureDialog, PreviewFollowsTheFileUnderTheCursor)
{
    QTemporaryDir dir;
    ASSERT_TRUE(DesktopPicture(400, 100).save(dir.filePath(QStringLiteral("wide.jpg")), "JPEG"));
    QFile text(dir.filePath(QStringLiteral("notes.jpg")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();

    TSavePictureDialog dialog;
    dialog.setDirectory(dir.path());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* list = dialog.findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_TRUE(list);
    auto rowOf = [&](const QString& name) {
        QModelIndex found;
        // The caller checks the index: an invalid one means the file never showed up.
        const bool listed = QTest::qWaitFor([&] {
            const QModelIndexList hits = list->model()->match(list->model()->index(0, 0, list->rootIndex()),
                                                              Qt::DisplayRole, name, 1, Qt::MatchExactly);
            if (!hits.isEmpty())
                found = hits.first();
            return found.isValid();
        }, 3000);
        return listed ? found : QModelIndex();
    };

    const QModelIndex wide = rowOf(QStringLiteral("wide.jpg"));
    ASSERT_TRUE(wide.isValid());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(wide).center());
    ASSERT_FALSE(dialog.Preview()->pixmap().isNull());
    EXPECT_EQ(dialog.Preview()->pixmap().size(), QSize(200, 50));  // scaled to fit, shape kept

    const QModelIndex notes = rowOf(QStringLiteral("notes.jpg"));
    ASSERT_TRUE(notes.isValid());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(notes).center());
    EXPECT_TRUE(dialog.Preview()->pixmap().isNull());
    dialog.reject();
}
