#include "qcapture/qcapture.h"

// Placeholder until the picture output lands.
void TForm5::PictureOutput(const QRect&)
{
    hide();
}
