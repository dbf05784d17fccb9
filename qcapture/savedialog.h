#pragma once
// The save dialog of the capture: one file type (JPEG), ".jpg" added to a
// name typed without an extension, no question before replacing a file, and
// a preview of the picture file under the cursor. It proposes the name
// chosen last time for as long as the program runs.

#include <QFileDialog>
#include <QLabel>
#include <QString>

class TSavePictureDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit TSavePictureDialog(QWidget* parent = nullptr);

    // Runs the dialog modally, proposing FileName(); true when the user chose
    // a file, which FileName() then gives.
    bool Execute();
    // The file chosen last; empty before the first choice.
    QString FileName() const { return fileName_; }

    QLabel* Preview() const { return preview_; }

private:
    void ShowPreview(const QString& path);

    QLabel* preview_ = nullptr;
    QString fileName_;
};
