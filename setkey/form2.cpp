#include "setkey/setkey.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QScreen>
#include <QUrl>

#include "common/programtitle.h"
#include "platform/guard.h"
#include "platform/msgbox.h"
#include "qcapture/qcapture.h"
#include "settings/intconv.h"
#include "settings/settings.h"
#include "setkey/vkmap.h"

TForm2* Form2 = nullptr;

namespace {

// Where the Windows fonts are missing, Latin text takes DejaVu and Chinese
// text falls back to the CJK font, which is then loaded only once Chinese
// text is shown: a program started hidden stays small.
QFont BaseFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("DejaVu Sans"),
                   QStringLiteral("WenQuanYi Micro Hei")});
    f.setPixelSize(15);
    return f;
}

QFont SansFont(bool bold = false)
{
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    f.setPixelSize(11);
    f.setBold(bold);
    return f;
}

void SetTextColour(QWidget* w, const QColor& c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::ButtonText, c);
    p.setColor(QPalette::Text, c);
    w->setPalette(p);
}

}  // namespace

TForm2::TForm2(QWidget* parent) : QWidget(parent)
{
    setupUi(this);
    ApplyLook();

    connect(SpeedButton1, &QToolButton::clicked, this, GuardedSlot(this, &TForm2::SpeedButton1Click));
    connect(SpeedButton2, &QToolButton::clicked, this, GuardedSlot(this, &TForm2::SpeedButton2Click));
    connect(SpeedButton3, &QToolButton::clicked, this, GuardedSlot(this, &TForm2::SpeedButton3Click));
    Label5->installEventFilter(this);

    HotKeyManager1 = new THotKeyManager(this);
    connect(HotKeyManager1, &THotKeyManager::OnHotKeyPressed, this,
            GuardedSlot(this, &TForm2::HotKeyManager1HotKeyPressed));

    PopupMenu1 = new QMenu(this);
    O1 = PopupMenu1->addAction(QStringLiteral("打开(&O)"));
    Exit1 = PopupMenu1->addAction(QStringLiteral("退出(&Q)"));
    connect(O1, &QAction::triggered, this, GuardedSlot(this, &TForm2::O1Click));
    connect(Exit1, &QAction::triggered, this, GuardedSlot(this, &TForm2::Exit1Click));

    CoolTrayIcon1 = new TCoolTrayIcon(this);
    CoolTrayIcon1->SetIcon(windowIcon());
    CoolTrayIcon1->SetHint(ProgramTitle());
    CoolTrayIcon1->SetPopupMenu(PopupMenu1);
    connect(CoolTrayIcon1, &TCoolTrayIcon::OnClick, this, GuardedSlot(this, &TForm2::CoolTrayIcon1Click));

    FormCreate();
    CoolTrayIcon1->Show();
}

TForm2::~TForm2() = default;

// What form2.ui cannot say: the window's frame, an icon in two sizes, the
// fonts with their fallback lists, and colours taken from the style.
void TForm2::ApplyLook()
{
    setWindowTitle(ProgramTitle());
    QIcon icon;
    icon.addFile(QStringLiteral(":/zelbrik/zelbrik-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/zelbrik/zelbrik-32.png"), QSize(32, 32));
    setWindowIcon(icon);
    QApplication::setWindowIcon(icon);

    // A fixed dialog frame with the close box only, above ordinary windows.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setFont(BaseFont());
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);

    Memo1->setFont(SansFont());
    QPalette memo = Memo1->palette();
    memo.setColor(QPalette::Base, memo.color(QPalette::Button));
    memo.setColor(QPalette::Text, memo.color(QPalette::WindowText));
    Memo1->setPalette(memo);

    for (QWidget* w : std::initializer_list<QWidget*>{Label1, Label2, CheckBox1, SpeedButton1, SpeedButton2, SpeedButton3})
        w->setFont(SansFont());
    Label3->setFont(SansFont(true));
    Label5MouseLeave();
    Edit1->setFont(BaseFont());

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    HotKey2->setFocus(Qt::OtherFocusReason);
}

QString TForm2::DownloadAddress()
{
    return QStringLiteral("https://zelbrik.example/download");
}

void TForm2::FormCreate()
{
    Settings = std::make_unique<TIniFile>(settings::SettingsFilePath());
    Edit1->setText(Settings->ReadString(settings::kQualitySection, settings::kQualityKey, settings::kQualityDefault));
    HotKey2->SetHotKey(static_cast<quint32>(
        Settings->ReadInteger(settings::kHotKeySection, settings::kHotKeyKey, settings::kHotKeyDefault)));
    const bool hidden =
        Settings->ReadInteger(settings::kHiddenSection, settings::kHiddenKey, settings::kHiddenDefault) != 0;
    CheckBox1->setChecked(hidden);
    // Without a notification area nothing could bring a hidden window back.
    if (!hidden || !TCoolTrayIcon::IsAvailable())
        show();
    else
        hide();
    HotKeyIndex = HotKeyManager1->AddHotKey(HotKey2->HotKey());
}

bool TForm2::CheckQuality()
{
    const QString text = Edit1->text();
    QString problem;
    if (text.isEmpty()) {
        problem = QStringLiteral("必须输入图片质量!");
    } else if (auto q = TryStrToInt(text); !q) {
        problem = QStringLiteral("必须输入整数类型的图片质量!");
    } else if (*q < 0 || *q > 100) {
        problem = QStringLiteral("输入的图片质量应在0到100之间!");
    }
    if (problem.isEmpty())
        return true;
    ShowInformationBox(problem);
    Edit1->setFocus(Qt::OtherFocusReason);
    return false;
}

void TForm2::SpeedButton1Click()
{
    if (!CheckQuality())
        return;
    // The three values in one replace of the file, in their order: a crash or
    // a full disk leaves the old settings or the new ones, never a mixture.
    Settings->WriteValues({
        {settings::kQualitySection, settings::kQualityKey, Edit1->text()},
        {settings::kHotKeySection, settings::kHotKeyKey, QString::number(static_cast<qint32>(HotKey2->HotKey()))},
        {settings::kHiddenSection, settings::kHiddenKey, QString::number(CheckBox1->isChecked() ? 1 : 0)},
    });
    // A registration refused earlier leaves nothing to change: register anew
    // rather than leave the hotkey dead until a restart.
    if (HotKeyIndex != 0)
        HotKeyIndex = HotKeyManager1->ChangeHotKey(HotKeyIndex, HotKey2->HotKey());
    else
        HotKeyIndex = HotKeyManager1->AddHotKey(HotKey2->HotKey());
    hide();
}

void TForm2::SpeedButton2Click()
{
    close();
}

void TForm2::SpeedButton3Click()
{
    if (!CheckQuality())
        return;
    hide();
    if (Form5)
        Form5->StartCapture();
}

void TForm2::Label5Click()
{
    QDesktopServices::openUrl(QUrl(DownloadAddress()));
}

void TForm2::Label5MouseMove()
{
    QFont f = SansFont(true);
    f.setUnderline(true);
    Label5->setFont(f);
    SetTextColour(Label5, Qt::red);
    Label5->setCursor(Qt::PointingHandCursor);
}

void TForm2::Label5MouseLeave()
{
    Label5->setFont(SansFont(true));
    SetTextColour(Label5, Qt::blue);
    Label5->setCursor(Qt::ArrowCursor);
}

void TForm2::HotKeyManager1HotKeyPressed(quint32 hotKey, quint16 index)
{
    if (isVisible()) {
        // The server swallows a grabbed combination, so this is the only way
        // the field can show it.
        if (HotKey2->hasFocus())
            HotKey2->SetHotKey(hotKey);
        return;
    }
    if (index == HotKeyIndex) {
        if (Form5)
            Form5->StartCapture();
    } else {
        ShowInformationBox(QStringLiteral("未知的热键!"));
    }
}

void TForm2::ShowInFront()
{
    show();
    raise();
    activateWindow();
}

void TForm2::CoolTrayIcon1Click()
{
    ShowInFront();
}

void TForm2::O1Click()
{
    ShowInFront();
}

void TForm2::Exit1Click()
{
    close();
}

void TForm2::showEvent(QShowEvent* event)
{
    // The usage text is laid out when first needed: a program started hidden
    // then never loads the CJK font.
    if (Memo1->document()->isEmpty()) {
        QFile usage(QStringLiteral(":/zelbrik/usage.txt"));
        if (usage.open(QIODevice::ReadOnly))
            Memo1->setPlainText(QString::fromUtf8(usage.readAll()));
    }
    QWidget::showEvent(event);
}

void TForm2::closeEvent(QCloseEvent* event)
{
    event->accept();
    QCoreApplication::quit();
}

bool TForm2::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label5) {
        switch (event->type()) {
        case QEvent::MouseMove:
        case QEvent::Enter:
            Label5MouseMove();
            break;
        case QEvent::Leave:
            Label5MouseLeave();
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
                Label5->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint()))
                Label5Click();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
