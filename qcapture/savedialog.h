#pragma once
// The save dialog of the capture: one file type (JPEG), ".jpg" added to a
// name typed without an extension, no question before replacing a file, and
// a preview of the picture file under the cursor. A file dialog gathers a
// lot as it lists folders (the folder model, its worker thread, icons), so
// one is made for each capture and the caller keeps the name between them.

#include <QFileDialog>
#include <QLabel>
#include <QString>

class TSavePictureDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit TSavePictureDialog(QWidget* parent = nullptr);

    // The file the dialog proposes when it opens; empty proposes nothing.
    void SetFileName(const QString& fileName) { fileName_ = fileName; }
    // The file chosen, once Execute returned true; before, the proposed one.
    QString FileName() const { return fileName_; }

    // Runs the dialog modally, proposing FileName(); true when the user chose
    // a file, which FileName() then gives.
    bool Execute();

    QLabel* Preview() const { return preview_; }

private:
    void ShowPreview(const QString& path);

    QLabel* preview_ = nullptr;
    QString fileName_;
};
