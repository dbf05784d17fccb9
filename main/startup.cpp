#include "main/startup.h"

#include <malloc.h>

#include <cstdio>

#include "main/application.h"
#include "platform/display.h"
#include "platform/instancelock.h"
#include "platform/msgbox.h"
#include "platform/termsignal.h"
#include "qcapture/qcapture.h"
#include "setkey/setkey.h"

bool ClaimFirstCopy()
{
    if (ClaimSingleInstance(QStringLiteral("zelbrik_qpxr")))
        return true;
    ShowInformationBox(QStringLiteral("截图工具已经打开了,隐藏在任务栏的右边!"));
    return false;
}

void ConnectForms(TForm2& form2, TForm5& form5)
{
    form5.QualityText = [&form2] { return form2.Edit1->text(); };
}

int RunZelbrik(int argc, char** argv)
{
    // Frozen screens are large and short-lived: hand such blocks back to the
    // system when freed, so the program returns to its idle size after a capture.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);

    if (const std::optional<QString> missing = MissingDisplay()) {
        std::fprintf(stderr, "zelbrik: %s\n", missing->toLocal8Bit().constData());
        return 1;
    }
    TApplication app(argc, argv);

    if (!ClaimFirstCopy())
        return 0;
    QuitOnTerminationSignals(app);

    // The settings window first: it is the main window, and its load procedure
    // must not depend on the overlay.
    TForm2 form2;
    Form2 = &form2;
    TForm5 form5;
    Form5 = &form5;
    ConnectForms(form2, form5);

    const int rc = app.exec();
    Form5 = nullptr;
    Form2 = nullptr;
    return rc;
}
