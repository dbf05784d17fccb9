#include "qcapture/savedialog.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QImageReader>

namespace {
const QSize kPreviewSize(200, 150);
}

TSavePictureDialog::TSavePictureDialog(QWidget* parent) : QFileDialog(parent)
{
    // Qt's own dialog: the same under every window manager and on offscreen,
    // and it has a layout the preview can join.
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::DontConfirmOverwrite);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setNameFilter(QStringLiteral("JPEG Image File (*.jpg)"));
    setDefaultSuffix(QStringLiteral("jpg"));
    setSizeGripEnabled(true);

    preview_ = new QLabel(this);
    preview_->setObjectName(QStringLiteral("Preview"));
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setMinimumSize(kPreviewSize);
    preview_->setFrameShape(QFrame::StyledPanel);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(preview_, 0, grid->columnCount(), grid->rowCount(), 1);
    connect(this, &QFileDialog::currentChanged, this, &TSavePictureDialog::ShowPreview);
}

bool TSavePictureDialog::Execute()
{
    selectFile(fileName_);
    ShowPreview(fileName_);
    if (exec() != QDialog::Accepted || selectedFiles().isEmpty())
        return false;
    fileName_ = selectedFiles().constFirst();
    return true;
}

void TSavePictureDialog::ShowPreview(const QString& path)
{
    // Scaled while decoding: a large JPEG is read at a fraction of its size.
    QImageReader reader(path);
    if (QFileInfo(path).isFile() && reader.canRead()) {
        reader.setAutoTransform(true);
        const QSize size = reader.size();
        if (size.isValid())
            reader.setScaledSize(size.scaled(kPreviewSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
        const QImage picture = reader.read();
        if (!picture.isNull()) {
            preview_->setPixmap(QPixmap::fromImage(picture));
            return;
        }
    }
    preview_->clear();
}
