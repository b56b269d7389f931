// Transmit path of the "Send Text" button: send the entry line with CR LF and list it.
#include "serial/Transmit.h"

#include "app/MainWindow.h"
#include "serial/LinkState.h"
#include "serial/TransmitText.h"
#include "ui/DialogLayer.h"
#include "ui/TrafficList.h"

int32_t TransmitLine(const std::string& text) {
    if (InstrumentPort.write(text) != PortError::None) {
        // A write that failed or timed out may have sent part of the text; a line end after it
        // would make the instrument execute a truncated command.
        return 1;
    }
    return InstrumentPort.write("\r\n") != PortError::None ? 1 : 0;
}

int32_t SendTextHandler(HWND window, UINT, WPARAM, LPARAM) {
    using MainWindowIds::DisableEcho;
    using MainWindowIds::TextToSend;
    constexpr int listId = MainWindowIds::TrafficList;
    try {
        const std::string text = sendableText(DialogLayer::getText(window, TextToSend));
        rememberSentLine(text);
        TransmitBusyFlag.store(1);
        if (TransmitLine(text) != 0) {
            // Listed whatever the echo setting: the operator must see that the line did not go.
            const std::string failure = std::string(kSentPrefix) + kTransmissionError;
            TrafficList::append(window, listId, failure.c_str());
        } else if (DialogLayer::getCheck(window, DisableEcho) == 0) {
            const std::string echo = kSentPrefix + text;
            TrafficList::append(window, listId, echo.c_str());
        }
    } catch (...) {
        // Out of memory for the text: nothing is sent.
    }
    // The text stays, selected, so typing replaces it and Enter sends it again.
    SendMessageA(GetDlgItem(window, TextToSend), EM_SETSEL, 0, -1);
    DialogLayer::setFocus(window, TextToSend);
    TransmitBusyFlag.store(0);
    return 1;
}
