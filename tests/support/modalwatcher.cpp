#include "modalwatcher.h"

#include <QApplication>

ModalWatcher::ModalWatcher()
{
    connect(&timer_, &QTimer::timeout, this, &ModalWatcher::poll);
    timer_.start(20);
}

void ModalWatcher::poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    seen_.push_back({box->windowTitle(), box->text(), box->icon()});
    box->done(QMessageBox::Ok);
}
