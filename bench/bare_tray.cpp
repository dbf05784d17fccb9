// The smallest Qt program with a tray icon: what a hidden tray program costs
// before it does anything of its own. bench/soak.sh sets its resident size
// beside the real program's.

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QPixmap picture(32, 32);
    picture.fill(Qt::darkCyan);
    QSystemTrayIcon tray{QIcon(picture)};
    tray.show();

    return app.exec();
}
