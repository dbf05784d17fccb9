#include "qcapture/qcapture.h"

// Placeholder until the overlay lands.
TForm5* Form5 = nullptr;

TForm5::TForm5(QWidget* parent) : QWidget(parent), Timer1(new QTimer(this))
{
    Timer1->setSingleShot(true);
    Timer1->setInterval(300);
    connect(Timer1, &QTimer::timeout, this, &TForm5::Timer1Timer);
}

TForm5::~TForm5() = default;

void TForm5::StartCapture()
{
    if (!Timer1->isActive())
        Timer1->start();
}

void TForm5::Timer1Timer() {}
void TForm5::Image1MouseMove(int, int) {}
void TForm5::Image1MouseDown(Qt::MouseButton, int, int) {}
