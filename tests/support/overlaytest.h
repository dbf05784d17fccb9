#pragma once
// Fixture of the overlay tests on X: a TForm5 as the program has it, real
// pointer events through xdotool, the screen read back to check what the
// overlay shows, and any save dialog the output opens cancelled.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>

#include "platform/screengrab.h"
#include "qcapture/image.h"
#include "qcapture/qcapture.h"
#include "qcapture/selection.h"
#include "support/testenv.h"
#include "support/xsession.h"
#include "support/xscreen.h"

class OverlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        session = ProcessXSession();
        ASSERT_NE(session, nullptr);
        Selection = TSelection{};
        form5 = std::make_unique<TForm5>();
        Form5 = form5.get();
        grabbed = std::make_unique<QSignalSpy>(form5.get(), &TForm5::PictureGrabbed);
        QObject::connect(form5.get(), &TForm5::RegionSelected, form5.get(), [this](const QRect& r) {
            region = r;
            frozenAtRegion = form5->Image1->Picture().copy();
        });
        QObject::connect(&dialogs, &QTimer::timeout, [] {
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                d->reject();
        });
        dialogs.start(20);
    }

    void TearDown() override
    {
        dialogs.stop();
        grabbed.reset();
        form5.reset();
        Form5 = nullptr;
    }

    QImage Screen() const { return TScreenGrabber().Grab(PrimaryDisplayRect()); }
    const QImage& Picture() const { return form5->Image1->Picture(); }
    void Xdo(const std::string& args) const { session->sh("xdotool " + args); }

    // Starts a capture and waits for the grab number n.
    bool Capture(int n)
    {
        form5->StartCapture();
        return QTest::qWaitFor([&] { return grabbed->count() >= n; }, 5000) &&
               QTest::qWaitForWindowExposed(form5.get(), 5000);
    }

    // Pointer events arrive asynchronously: wait for their effect.
    bool PictureBecomes(const QImage& expected)
    {
        return QTest::qWaitFor([&] { return ComparePixels(Picture(), expected).empty(); }, 5000);
    }
    bool ScreenShowsPicture()
    {
        return QTest::qWaitFor([&] { return ComparePixels(Screen(), Picture()).empty(); }, 5000);
    }

    XSession* session = nullptr;
    std::unique_ptr<TForm5> form5;
    std::unique_ptr<QSignalSpy> grabbed;
    std::optional<QRect> region;
    QImage frozenAtRegion;
    QTimer dialogs;
};
