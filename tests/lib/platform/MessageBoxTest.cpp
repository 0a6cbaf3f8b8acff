// The real message box (no recorder): captioned "Veltrix", one OK button, and wide enough for a
// window manager to show the caption whole even for the shortest text.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "lib/platform/widgets/MessageBox.h"

namespace {

struct Seen {
    QString title, text;
    int width = 0, buttons = 0;
};

// Shows `text` in a real box, measures it from inside its modal loop and presses OK. A box that
// never comes up within 10 s fails the test, and any box there is closed, so nothing hangs.
Seen Show(const std::string& text) {
    Seen seen;
    QTimer poll;
    poll.setInterval(5);
    const QDeadlineTimer deadline(10000);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->isVisible()) {
            poll.stop();
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.width = box->width();
            seen.buttons = static_cast<int>(box->buttons().size());
            box->button(QMessageBox::Ok)->click();
            return;
        }
        if (!deadline.hasExpired()) return;
        poll.stop();
        ADD_FAILURE() << "the message box for \"" << text << "\" never came up";
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* hidden = qobject_cast<QMessageBox*>(w)) hidden->done(0);
    });
    poll.start();
    platform::ShowMessage(text);
    return seen;
}

}  // namespace

TEST(MessageBox, EvenAShortTextLeavesRoomForTheWholeCaption) {
    for (const char* text : {"Connection Failed", "x", "You were mistaken, try again."}) {
        const Seen seen = Show(text);
        EXPECT_EQ(seen.title, "Veltrix");
        EXPECT_EQ(seen.text, text);
        EXPECT_EQ(seen.buttons, 1);
        const QFontMetrics metrics(QApplication::font());
        EXPECT_GE(seen.width, platform::MessageBoxMinimumWidth("Veltrix", QApplication::font()));
        EXPECT_GE(seen.width, 2 * metrics.horizontalAdvance("Veltrix") + 100) << text;
    }
}
