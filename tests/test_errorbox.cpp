// The application object turns what escapes an event handler into the error
// box and keeps the loop running.

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTimer>

#include "main/application.h"
#include "platform/errors.h"
#include "support/testenv.h"

TEST(ErrorBoxText, FullStopRule)
{
    struct Case {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Unable to write to /x/zelbrik.ini", "Unable to write to /x/zelbrik.ini."},
        {"Already ends.", "Already ends."},
        {"Exclamation!", "Exclamation!"},        // '!' is below '.'
        {"Closing paren (x)", "Closing paren (x)"},  // ')' is below '.'
        {"Comma,", "Comma,"},                    // ',' is below '.'
        {"Slash/", "Slash/."},                   // '/' is above '.'
        {"中文", "中文."},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TApplication::ErrorBoxText(QString::fromUtf8(c.message)).toStdString(), c.shown) << c.message;
}
