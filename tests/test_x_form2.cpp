// The settings window driven as a user would, on a real X server with a
// window manager and a tray: the load procedure, the quality check, Save,
// Capture, the accelerators, the link's look and the hotkey handler.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <string>

#include "main/application.h"
#include "main/startup.h"
#include "qcapture/qcapture.h"
#include "setkey/setkey.h"
#include "support/modalwatcher.h"
#include "support/files.h"
#include "support/testenv.h"
#include "support/xsession.h"

ZELBRIK_TEST_ENVIRONMENT(.display = TestDisplay::X11, .width = 1280, .height = 800, .windowManager = true,
                         .tray = true);

namespace {

class SettingsWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        configDir = home.path() + "/config";
        qputenv("XDG_CONFIG_HOME", configDir.toUtf8());
    }
    void TearDown() override
    {
        form2.reset();
        form5.reset();
        Form2 = nullptr;
        Form5 = nullptr;
    }

    QString iniPath() const { return configDir + "/zelbrik.ini"; }

    void writeIni(const QByteArray& content)
    {
        QDir().mkpath(configDir);
        QFile f(iniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    // The program's order: the settings window first, then the overlay.
    void start()
    {
        form2 = std::make_unique<TForm2>();
        Form2 = form2.get();
        form5 = std::make_unique<TForm5>();
        Form5 = form5.get();
        ConnectForms(*form2, *form5);
        if (form2->isVisible()) {
            ASSERT_TRUE(QTest::qWaitForWindowActive(form2.get()));
        }
    }

    void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

    // True once everything queued until now has run and no box is open. The
    // handlers open their boxes with exec(): a call queued now runs after the
    // events queued before it, and one of those that opened a box would still
    // be in that box's loop when it runs.
    bool queuedEventsDone()
    {
        auto reached = std::make_shared<bool>(false);
        QMetaObject::invokeMethod(qApp, [reached] { *reached = true; }, Qt::QueuedConnection);
        return QTest::qWaitFor([&] { return *reached && QApplication::activeModalWidget() == nullptr; }, 5000);
    }

    QTemporaryDir home;
    QString configDir;
    std::unique_ptr<TForm2> form2;
    std::unique_ptr<TForm5> form5;
    ModalWatcher boxes;
};

}  // namespace

TEST_F(SettingsWindow, DefaultsWithoutSettingsFile)
{
    start();
    EXPECT_EQ(form2->windowTitle().toStdString(), "Orvalt简体免费版V1.01.02");
    EXPECT_TRUE(form2->isVisible());
    EXPECT_EQ(form2->Edit1->text().toStdString(), "50");
    EXPECT_EQ(form2->HotKey2->HotKey(), 16465u);
    EXPECT_EQ(form2->HotKey2->text().toStdString(), "Ctrl + Q");
    EXPECT_FALSE(form2->CheckBox1->isChecked());
    EXPECT_EQ(form2->size(), QSize(287, 313));
    EXPECT_EQ(form2->minimumSize(), form2->maximumSize());
    EXPECT_TRUE(form2->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(form2->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(QApplication::focusWidget(), form2->HotKey2);
    EXPECT_EQ(form2->Memo1->toPlainText().split('\n').size(), 13);
    EXPECT_TRUE(form2->Memo1->isReadOnly());
    EXPECT_FALSE(QFile::exists(iniPath())) << "nothing is written at start";
}

TEST_F(SettingsWindow, TabOrderFollowsTheForm)
{
    start();
    QWidget* expected[] = {form2->Edit1, form2->Memo1, form2->CheckBox1, form2->HotKey2};
    for (QWidget* w : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), w) << w->objectName().toStdString();
    }
}

TEST_F(SettingsWindow, LoadsStoredSettings)
{
    const struct {
        const char* file;
        const char* quality;
        quint32 hotKey;
        bool hidden;
    } cases[] = {
        {"[yincang]\n隐藏=1\n", "50", 16465, true},
        {"[yincang]\n隐藏=2\n", "50", 16465, true},
        {"[yincang]\n隐藏=0\n", "50", 16465, false},
        {"[yincang]\n隐藏=yes\n", "50", 16465, false},
        {"[HotKey2]\n截图热键=0x4051\n", "50", 16465, false},
        {"[HotKey2]\n截图热键=abc\n", "50", 16465, false},
        {"[HotKey2]\n截图热键=16449\n", "50", 16449, false},
        {"[HotKey2]\n截图热键=$4041\n", "50", 16449, false},
        {"[HotKey2]\n截图热键=82001\n", "50", 16465, false},  // 0x14051: the Windows-key bit is dropped
        {"[jtzl]\n截图质量=abc\n", "abc", 16465, false},      // taken unchanged, checked only on use
        {"[JTZL]\n截图质量=75\n", "75", 16465, false},
    };
    for (const auto& c : cases) {
        writeIni(c.file);
        start();
        EXPECT_EQ(form2->Edit1->text().toStdString(), c.quality) << c.file;
        EXPECT_EQ(form2->HotKey2->HotKey(), c.hotKey) << c.file;
        EXPECT_EQ(form2->CheckBox1->isChecked(), c.hidden) << c.file;
        EXPECT_EQ(form2->isVisible(), !c.hidden) << c.file;
        TearDown();
    }
}

TEST_F(SettingsWindow, QualityCheck)
{
    const struct {
        const char* text;
        const char* message;  // nullptr: accepted
    } cases[] = {
        {"", "必须输入图片质量!"},
        {" 80", nullptr},
        {"80 ", "必须输入整数类型的图片质量!"},
        {"$50", nullptr},
        {"abc", "必须输入整数类型的图片质量!"},
        {"101", "输入的图片质量应在0到100之间!"},
        {"-1", "输入的图片质量应在0到100之间!"},
        {"0", nullptr},
        {"100", nullptr},
    };
    for (const auto& c : cases) {
        QFile::remove(iniPath());
        start();
        form2->Edit1->setText(QString::fromUtf8(c.text));
        form2->HotKey2->setFocus();
        boxes.clear();
        click(form2->SpeedButton1);
        ASSERT_TRUE(queuedEventsDone()) << c.text;
        if (c.message) {
            ASSERT_EQ(boxes.seen().size(), 1u) << c.text;
            EXPECT_EQ(boxes.seen()[0].text.toStdString(), c.message);
            EXPECT_EQ(boxes.seen()[0].caption.toStdString(), "信息框");
            EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Information);
            EXPECT_TRUE(form2->isVisible()) << c.text;
            // The window has the keyboard again once the box is gone.
            EXPECT_TRUE(QTest::qWaitForWindowActive(form2.get())) << c.text;
            EXPECT_EQ(QApplication::focusWidget(), form2->Edit1) << c.text;
            EXPECT_FALSE(QFile::exists(iniPath())) << c.text;
        } else {
            EXPECT_TRUE(boxes.seen().empty()) << c.text;
            EXPECT_FALSE(form2->isVisible()) << c.text;
            EXPECT_TRUE(QFile::exists(iniPath())) << c.text;
        }
        TearDown();
    }
}

TEST_F(SettingsWindow, SaveWritesAFreshFileInOrderAndHides)
{
    start();
    form2->Edit1->setText("70");
    form2->HotKey2->SetHotKey(0x6074);  // Ctrl+Shift+F5
    form2->CheckBox1->setChecked(true);
    click(form2->SpeedButton1);
    ASSERT_TRUE(queuedEventsDone());
    EXPECT_TRUE(boxes.seen().empty());
    EXPECT_FALSE(form2->isVisible());
    EXPECT_EQ(ReadAll(iniPath()).toStdString(),
              "[jtzl]\n截图质量=70\n[HotKey2]\n截图热键=24692\n[yincang]\n隐藏=1\n");

    // What was saved is what the next start shows.
    TearDown();
    start();
    EXPECT_EQ(form2->Edit1->text().toStdString(), "70");
    EXPECT_EQ(form2->HotKey2->HotKey(), 0x6074u);
    EXPECT_TRUE(form2->CheckBox1->isChecked());
    EXPECT_FALSE(form2->isVisible());
}

TEST_F(SettingsWindow, SaveWritesTheQualityTextAsTyped)
{
    start();
    form2->Edit1->setText(" $50");
    click(form2->SpeedButton1);
    ASSERT_TRUE(queuedEventsDone());
    // Reading trims the blanks around a value, as profile files always have,
    // so a value with blanks at an end is stored in quotes, which a read
    // takes off: the next start shows what was typed.
    EXPECT_NE(ReadAll(iniPath()).indexOf("截图质量=\" $50\"\n"), -1) << ReadAll(iniPath()).toStdString();
    TearDown();
    start();
    EXPECT_EQ(form2->Edit1->text().toStdString(), " $50");
    EXPECT_TRUE(form2->CheckQuality());
}

TEST_F(SettingsWindow, FailedWriteShowsErrorAndKeepsWindowAndHotKey)
{
    // A regular file where the settings folder should be: not even root can
    // write below it.
    QFile blocker(home.path() + "/config");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    start();
    const quint16 before = form2->HotKeyIndex;
    const quint32 keyBefore = form2->HotKey2->HotKey();
    form2->HotKey2->SetHotKey(0x4041);
    click(form2->SpeedButton1);
    ASSERT_TRUE(queuedEventsDone());
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].text.toStdString(), ("Unable to write to " + iniPath() + ".").toStdString());
    EXPECT_EQ(boxes.seen()[0].caption.toStdString(), "Orvalt简体免费版V1.01.02");
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(form2->isVisible());
    EXPECT_EQ(form2->HotKeyIndex, before);
    EXPECT_NE(keyBefore, 0x4041u);
}

TEST_F(SettingsWindow, CaptureChecksHidesAndStartsTheDelayWithoutSaving)
{
    writeIni("[jtzl]\n截图质量=50\n");
    start();
    form2->Edit1->setText("30");
    click(form2->SpeedButton3);
    EXPECT_FALSE(form2->isVisible());
    EXPECT_TRUE(form5->Timer1->isActive());
    EXPECT_EQ(form5->Timer1->interval(), 300);
    form5->Timer1->stop();
    EXPECT_EQ(ReadAll(iniPath()).toStdString(), "[jtzl]\n截图质量=50\n");
    EXPECT_EQ(form2->Edit1->text().toStdString(), "30") << "the unsaved quality stays for the encoding";
}

TEST_F(SettingsWindow, CaptureWithBadQualityStartsNothing)
{
    start();
    form2->Edit1->setText("");
    click(form2->SpeedButton3);
    ASSERT_TRUE(queuedEventsDone());
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].text.toStdString(), "必须输入图片质量!");
    EXPECT_TRUE(form2->isVisible());
    EXPECT_FALSE(form5->Timer1->isActive());
}

TEST_F(SettingsWindow, AcceleratorsClickTheButtons)
{
    start();
    // In the hotkey field Alt+N is a combination like any other.
    ASSERT_EQ(QApplication::focusWidget(), form2->HotKey2);
    QTest::keyClick(form2->HotKey2, Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(form2->HotKey2->HotKey(), 0x804Eu);
    EXPECT_TRUE(form2->isVisible());

    // Real key events from the server: the accelerators go through Qt's
    // shortcut map as a user's keys do.
    form2->Edit1->setFocus();
    ProcessXSession()->sh("xdotool key alt+n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form2->isVisible(); }, 5000)) << "Alt+N captures";
    EXPECT_TRUE(form5->Timer1->isActive());
    form5->Timer1->stop();

    form2->ShowInFront();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form2.get()));
    form2->CheckBox1->setFocus();
    ProcessXSession()->sh("xdotool key alt+y");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form2->isVisible(); }, 5000)) << "Alt+Y saves";
    EXPECT_TRUE(QFile::exists(iniPath()));
}

namespace {

// Refuses every close of the window it watches and counts them: Exit's close
// would end the application the other tests run in.
class CloseRefuser : public QObject {
public:
    int closes = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() != QEvent::Close)
            return false;
        ++closes;
        e->ignore();
        return true;
    }
};

}  // namespace

TEST_F(SettingsWindow, ButtonsTakeNoFocus)
{
    start();
    CloseRefuser refuser;
    form2->installEventFilter(&refuser);
    const struct {
        const char* name;
        QAbstractButton* button;
        std::function<bool()> handled;  // the handler's effect
    } cases[] = {
        {"Exit", form2->SpeedButton2, [&] { return refuser.closes == 1; }},
        {"Capture", form2->SpeedButton3, [&] { return form5->Timer1->isActive(); }},
        {"Save", form2->SpeedButton1, [&] { return QFile::exists(iniPath()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!form2->isVisible()) {
            // Until the server's word on the hide is in, the window keeps the
            // focus for Qt and a wait for the new activation would end at once.
            ASSERT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() != form2->windowHandle(); }, 5000));
            form2->ShowInFront();
            ASSERT_TRUE(QTest::qWaitForWindowActive(form2.get()));
        }
        form2->Edit1->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), form2->Edit1);
        // Taken before the click's handler runs: Capture and Save hide the
        // window, and a hidden window has no focus to look at.
        QWidget* focusAtRelease = nullptr;
        const auto probe = QObject::connect(c.button, &QAbstractButton::released,
                                            [&] { focusAtRelease = QApplication::focusWidget(); });
        const QPoint at = c.button->mapToGlobal(c.button->rect().center());
        ProcessXSession()->sh("xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
                              " click 1");
        EXPECT_TRUE(QTest::qWaitFor(c.handled, 5000)) << "the click did not reach the button";
        QObject::disconnect(probe);
        form5->Timer1->stop();
        EXPECT_EQ(focusAtRelease, form2->Edit1);
        EXPECT_EQ(form2->focusWidget(), form2->Edit1);
    }
    ProcessXSession()->sh("xdotool mousemove 0 0");
}

TEST_F(SettingsWindow, LinkLabelHoverLook)
{
    start();
    QLabel* link = form2->Label5;
    EXPECT_TRUE(link->font().bold());
    EXPECT_FALSE(link->font().underline());
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::blue));

    // The pointer is moved on the server: the label hears of it later.
    QTest::mouseMove(link, QPoint(10, 5));
    ASSERT_TRUE(QTest::qWaitFor([&] { return link->underMouse(); }, 5000)) << "the pointer did not reach the link";
    EXPECT_TRUE(link->font().bold());
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);

    QTest::mouseMove(form2->Memo1, QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form2->Memo1->underMouse(); }, 5000)) << "the pointer did not leave the link";
    EXPECT_FALSE(link->font().underline());
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_EQ(link->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(SettingsWindow, HotKeyPressWhileShownOnlyFillsTheFocusedField)
{
    start();
    form2->HotKey2->setFocus();
    form2->HotKeyManager1HotKeyPressed(0x6041, form2->HotKeyIndex);
    EXPECT_EQ(form2->HotKey2->HotKey(), 0x6041u);
    EXPECT_FALSE(form5->Timer1->isActive());

    form2->Edit1->setFocus();
    form2->HotKeyManager1HotKeyPressed(0x4051, form2->HotKeyIndex);
    EXPECT_EQ(form2->HotKey2->HotKey(), 0x6041u) << "focus elsewhere: nothing at all";
    EXPECT_FALSE(form5->Timer1->isActive());
    ASSERT_TRUE(queuedEventsDone());
    EXPECT_TRUE(boxes.seen().empty());
}

TEST_F(SettingsWindow, HotKeyPressWhileHiddenStartsCaptureOrRejects)
{
    writeIni("[yincang]\n隐藏=1\n");
    start();
    ASSERT_FALSE(form2->isVisible());
    form2->HotKeyManager1HotKeyPressed(0x4051, form2->HotKeyIndex);
    EXPECT_TRUE(form5->Timer1->isActive());
    form5->Timer1->stop();

    form2->HotKeyManager1HotKeyPressed(0x4051, static_cast<quint16>(form2->HotKeyIndex + 1));
    ASSERT_TRUE(queuedEventsDone());
    EXPECT_FALSE(form5->Timer1->isActive());
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].text.toStdString(), "未知的热键!");
    EXPECT_EQ(boxes.seen()[0].caption.toStdString(), "信息框");
}

TEST_F(SettingsWindow, TrayClickAndOpenShowTheWindow)
{
    writeIni("[yincang]\n隐藏=1\n");
    start();
    ASSERT_FALSE(form2->isVisible());
    form2->CoolTrayIcon1Click();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form2.get()));
    form2->hide();
    form2->O1->trigger();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form2.get()));
}

namespace {

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

}  // namespace

TEST_F(SettingsWindow, LinkClickOpensTheDownloadAddress)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    start();
    QTest::mouseClick(form2->Label5, Qt::LeftButton, {}, QPoint(10, 5));
    QDesktopServices::unsetUrlHandler("https");
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened[0].toString().toStdString(), "https://zelbrik.example/download");
}

#include "test_x_form2.moc"
