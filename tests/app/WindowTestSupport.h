#pragma once

#include "app/TFCOMM.h"
#include "platform/Clock.h"
#include "platform/LocaleSource.h"
#include "platform/LogFileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/SavePictureDialog.h"
#include "platform/headless/ScriptedMessageBoxes.h"
#include "platform/linux/ComPortNames.h"
#include "platform/linux/PosixSerialSystem.h"
#include "platform/widgets/QtMessageBoxes.h"
#include "sim/FrameEncoder.h"
#include "support/FakeHidPlatform.h"
#include "support/FixedClock.h"
#include "support/FixedLocaleSource.h"
#include "support/RecordingAlarmSound.h"
#include "support/ScriptedLogFileDialogs.h"
#include "support/ScriptedSavePictureDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>

namespace velkor::test {

// A main window of a chosen variant with scripted message boxes and file
// dialogs and a "." locale, shown off screen. The serial port is the
// machine's own (tests point COM1 at a pseudo-terminal); the HID system is
// a substitute, empty unless the test brings its own.
struct WindowFixture {
    ScriptedMessageBoxes boxes;
    FixedLocaleSource locale{QStringLiteral("."), QStringLiteral(".")};
    FixedClock clock;
    ComPortNames portNames;
    FakeHidPlatform noHid;
    ScriptedSavePictureDialog saveDialog;
    ScriptedLogFileDialogs fileDialogs;
    RecordingAlarmSound alarmSound;
    std::unique_ptr<TFCOMM> window;

    // journalDirectory: where the window keeps its journal (none when
    // empty); answers: the boxes' answers from the start (the offer to
    // restore a journal comes as soon as the window is shown).
    explicit WindowFixture(MeterVariant variant = MeterVariant::IFHALVIN,
                           HidPlatform* hid = nullptr, const QString& journalDirectory = {},
                           std::deque<MessageBoxes::Answer> answers = {}) {
        boxes.answers = std::move(answers);
        window = std::make_unique<TFCOMM>(TFCOMMServices{.boxes = boxes,
                                                         .locale = locale,
                                                         .clock = clock,
                                                         .serial = PosixSerialSystem::instance(),
                                                         .portNames = portNames,
                                                         .hid = hid ? *hid : noHid,
                                                         .variant = variant,
                                                         .savePictureDialog = &saveDialog,
                                                         .fileDialogs = &fileDialogs,
                                                         .journalDirectory = journalDirectory,
                                                         .alarmSound = &alarmSound});
        window->show();
        QApplication::processEvents();
        // The serial assembler takes a frame from the line feed of the one
        // before it: the stream starts with the end of an earlier frame.
        const std::uint8_t lineFeed = 0x0A;
        window->RECEIVE_COM_Data(&lineFeed, 1);
    }

    // Bytes from the line after a quiet spell, as a meter sends a frame
    // every 400 ms: the window shows what they leave at once.
    void receive(const std::uint8_t* data, std::size_t size) {
        clock.advanceMonotonicMs(1000);
        window->RECEIVE_COM_Data(data, static_cast<std::ptrdiff_t>(size));
    }
    void send(const std::array<std::uint8_t, 14>& bytes) { receive(bytes.data(), bytes.size()); }
    void send(const MeterFrame& f) { send(f.bytes()); }

    template <typename W = QWidget> W* child(const char* name) const {
        return window->findChild<W*>(QString::fromLatin1(name));
    }
};

// A window with Qt's own message boxes, shown off screen: for what only a
// real box shows (its buttons' texts, its default button, its keys).
struct RealBoxesWindow {
    QtMessageBoxes boxes;
    FixedLocaleSource locale{QStringLiteral("."), QStringLiteral(".")};
    FixedClock clock;
    ComPortNames portNames;
    FakeHidPlatform noHid;
    TFCOMM window{TFCOMMServices{.boxes = boxes,
                                 .locale = locale,
                                 .clock = clock,
                                 .serial = PosixSerialSystem::instance(),
                                 .portNames = portNames,
                                 .hid = noHid}};

    RealBoxesWindow() {
        boxes.setParent(&window);
        window.show();
        QApplication::processEvents();
    }
};

// What a real message box showed.
struct ShownBox {
    QString text;
    QStringList buttons;
    QString byDefault; // the default button's text
};

// Does `act`, which shows a modal box and returns once the box is answered,
// and answers the box with `respond` as soon as it is up.
inline ShownBox answerRealBox(const std::function<void()>& act,
                              const std::function<void(QMessageBox*)>& respond) {
    ShownBox shown;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            return;
        }
        answer.stop();
        shown.text = box->text();
        for (const QAbstractButton* b : box->buttons()) {
            shown.buttons << b->text();
        }
        shown.byDefault = box->defaultButton() ? box->defaultButton()->text() : QString();
        respond(box);
    });
    answer.start(10);
    act();
    return shown;
}

} // namespace velkor::test
