// The application object turns what escapes an event handler into the error
// box and keeps the loop running.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <QAction>

#include "main/application.h"
#include "platform/guard.h"
#include "common/errors.h"
#include "support/modalwatcher.h"
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

namespace {

class Thrower : public QObject {
public:
    int after = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw EIniFileError(QStringLiteral("Unable to write to /nowhere/zelbrik.ini"));
        if (e->type() == QEvent::User + 1) {
            ++after;
            return true;
        }
        return QObject::event(e);
    }
};

}  // namespace

TEST(ErrorBox, ExceptionFromAHandlerIsShownAndTheLoopGoesOn)
{
    ModalWatcher boxes;
    Thrower t;
    QCoreApplication::postEvent(&t, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&t, new QEvent(QEvent::Type(QEvent::User + 1)));
    // The second event may arrive inside the box's own loop: done once it is
    // in and no box is open any more.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return t.after > 0 && !boxes.seen().empty() && QApplication::activeModalWidget() == nullptr; }, 5000))
        << "boxes seen: " << boxes.seen().size() << ", events after: " << t.after;
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].text.toStdString(), "Unable to write to /nowhere/zelbrik.ini.");
    EXPECT_EQ(boxes.seen()[0].caption.toStdString(), "Orvalt简体免费版V1.01.02");
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(t.after, 1) << "the next event was still delivered";
}

namespace {

class Handlers : public QObject {
public:
    int calls = 0;
    void Fails()
    {
        ++calls;
        throw EIniFileError(QStringLiteral("Unable to write to /nowhere/zelbrik.ini"));
    }
    void FailsWithAnything(bool) { throw 42; }
};

}  // namespace

// A signal emitted outside any event (QAction::trigger, QAbstractButton::click
// from code) has no application object around it: a throwing handler
// connected through the guard still ends in the error box, and the exception
// never reaches the emitter.
TEST(ErrorBox, GuardedHandlerShowsTheBoxAndNothingUnwindsThroughTheSignal)
{
    ModalWatcher boxes;
    Handlers h;
    QAction save;
    QAction other;
    QObject::connect(&save, &QAction::triggered, &h, GuardedSlot(&h, &Handlers::Fails));
    QObject::connect(&other, &QAction::triggered, &h, GuardedSlot(&h, &Handlers::FailsWithAnything));

    EXPECT_NO_THROW(save.trigger());
    EXPECT_NO_THROW(save.trigger());
    EXPECT_NO_THROW(other.trigger());
    EXPECT_EQ(h.calls, 2);
    ASSERT_EQ(boxes.seen().size(), 3u);
    for (size_t i : {0u, 1u}) {
        EXPECT_EQ(boxes.seen()[i].text.toStdString(), "Unable to write to /nowhere/zelbrik.ini.");
        EXPECT_EQ(boxes.seen()[i].caption.toStdString(), "Orvalt简体免费版V1.01.02");
        EXPECT_EQ(boxes.seen()[i].icon, QMessageBox::Critical);
    }
    EXPECT_EQ(boxes.seen()[2].text.toStdString(), "Unknown error.");
}
