// The main window's hot keys: the records of the hot-key file registered with its component, and the
// action of each record when its key is pressed.
#include "form_support.h"
#include "main.h"
#include "tessel.h"

namespace tavc::assistant {

void TForm1::RegisterHotKeys() {
    if (HotKeys == nullptr) return;
    // Every login registers again: the component starts empty each time, so that each registered
    // index stays its record's index in HotKeyList.
    UnregisterHotKeys();
    const size_t count = HotKeyList.size();
    for (size_t i = 0; i < count; ++i)
        HotKeys->AddHotKey(HotKeyIndexToKey(HotKeyList[i]->KeyIndex), HotKeyModifiers(*HotKeyList[i]));
    HotKeys->SetActive(true);
    TestProbe(QStringLiteral("hotkeys registered %1").arg(count));
}

void TForm1::UnregisterHotKeys() {
    if (HotKeys == nullptr) return;  // the creation handler failed before making it
    HotKeys->SetActive(false);
    HotKeys->ClearHotKeys();
}

void TForm1::HotKeyPressed(QObject* /*sender*/, int32_t index) {
    RunHotKeyAction(index);
}

void TForm1::RunHotKeyAction(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= HotKeyList.size()) return;
    const THotKeyRecord& record = *HotKeyList[static_cast<size_t>(index)];
    TestProbe(QStringLiteral("hotkey %1 kind %2").arg(index).arg(record.Kind));
    switch (record.Kind) {
        case 0:
            if (record.Command.empty()) {
                ShowForAction(1);
            } else if (record.Command == "PJ") {
                ShowForAction(4);
            } else {
                TAVSoundOut(record.Command.c_str());
            }
            break;
        case 1:
            ShowForAction(2);
            break;
        case 2:
            ShowForAction(3);
            break;
        case 3:
            close();
            break;
        default:
            break;
    }
}

}  // namespace tavc::assistant
