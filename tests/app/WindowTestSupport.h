#pragma once

#include "app/Clock.h"
#include "app/MessageBoxes.h"
#include "app/TFCOMM.h"
#include "chart/SavePictureDialog.h"
#include "decode/FrameEncoder.h"
#include "decode/LocaleSource.h"
#include "record/files/LogFileDialogs.h"

#include <QApplication>
#include <memory>

namespace velkor::test {

// A main window of a chosen variant with scripted message boxes and file
// dialogs and a "." locale, shown off screen.
struct WindowFixture {
    ScriptedMessageBoxes boxes;
    FixedLocaleSource locale{QStringLiteral("."), QStringLiteral(".")};
    FixedClock clock;
    ScriptedSavePictureDialog saveDialog;
    ScriptedLogFileDialogs fileDialogs;
    std::unique_ptr<TFCOMM> window;

    // hid: the HID system the window uses (null: the Linux one).
    explicit WindowFixture(MeterVariant variant = MeterVariant::IFHALVIN,
                           HidPlatform* hid = nullptr) {
        window = std::make_unique<TFCOMM>(TFCOMMServices{.boxes = boxes,
                                                         .locale = locale,
                                                         .variant = variant,
                                                         .clock = &clock,
                                                         .savePictureDialog = &saveDialog,
                                                         .hid = hid,
                                                         .fileDialogs = &fileDialogs});
        window->show();
        QApplication::processEvents();
        // The serial assembler takes a frame from the line feed of the one
        // before it: the stream starts with the end of an earlier frame.
        const std::uint8_t lineFeed = 0x0A;
        window->RECEIVE_COM_Data(&lineFeed, 1);
    }

    void send(const std::array<std::uint8_t, 14>& bytes) {
        window->RECEIVE_COM_Data(bytes.data(), static_cast<std::ptrdiff_t>(bytes.size()));
    }
    void send(const MeterFrame& f) { send(f.bytes()); }

    template <typename W = QWidget> W* child(const char* name) const {
        return window->findChild<W*>(QString::fromLatin1(name));
    }
};

} // namespace velkor::test
