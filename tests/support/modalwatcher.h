#pragma once
// Answers the modal message boxes a test provokes: while alive it closes
// every QMessageBox that becomes the active modal widget (with OK) and
// records what it showed.

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <vector>

struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

class ModalWatcher : public QObject {
    Q_OBJECT
public:
    ModalWatcher();
    const std::vector<SeenBox>& seen() const { return seen_; }
    void clear() { seen_.clear(); }

private:
    void poll();
    QTimer timer_;
    std::vector<SeenBox> seen_;
};
