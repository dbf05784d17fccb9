#pragma once
// The capture overlay: the frozen primary display, the two-click selection on
// it, and the output of the selected region.

#include <QImage>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

class TImage;
class TScreenGrabber;

class TForm5 : public QWidget {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);
    ~TForm5() override;

    TImage* Image1 = nullptr;
    QTimer* Timer1 = nullptr;
    // The file the last save went to; the next save dialog proposes it.
    QString SavedFileName;
    // The quality text the picture is encoded at, asked for when a save is
    // confirmed: the settings window's field as it is then, saved or not.
    // Set at start-up, where both windows are made.
    std::function<QString()> QualityText;

    // Enables Timer1; enabling it while enabled does not restart the wait.
    void StartCapture();
    void Timer1Timer();
    void Image1MouseMove(int x, int y);
    void Image1MouseDown(Qt::MouseButton button, int x, int y);

    // Cuts the region out of the frozen picture, puts it on the clipboard,
    // hides the overlay and saves it through the save dialog.
    void PictureOutput(const QRect& region);

signals:
    // Timer1Timer put a new frozen picture into Image1.
    void PictureGrabbed();
    // The second press chose this region; PictureOutput follows.
    void RegionSelected(const QRect& region);

private:
    // Holds the picture buffer made ready while Timer1 runs.
    std::unique_ptr<TScreenGrabber> Grabber;
};

extern TForm5* Form5;
