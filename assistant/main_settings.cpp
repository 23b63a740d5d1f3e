// The main window's settings handlers: the port selector on its tool bar and the settings dialog with the
// restart that follows it.
#include "form_support.h"
#include "main.h"
#include "main_steps.h"
#include "settings.h"
#include "setup.h"
#include "tessel.h"
#include "texts.h"

namespace tavc::assistant {

void TForm1::ComboBox2Click() {
    int32_t port = ui.ComboBox2->currentIndex() + 1;
    if (port == AssistantSettings.ComPort) return;
    AssistantSettings.ComPort = port;
    AssistantSettings.Changed(AssistantSettings.kComPort);
    SaveSettings();
    TAVCReset();  // reopens the port from the registry, so the number is saved first
}

void TForm1::A31Click() {
    bool changed = false;
    {
        TForm2 setup(this);
        setup.ui.Edit1->setText(AssistantSettings.ServerUrl);
        int port_index = AssistantSettings.ComPort - 1;
        setup.ui.ComboBox1->setCurrentIndex(
            port_index >= 0 && port_index < setup.ui.ComboBox1->count() ? port_index : -1);
        setup.ui.CheckBox1->setChecked(AssistantSettings.RemarkLevel2);
        setup.ui.CheckBox2->setChecked(AssistantSettings.DemoMode);
        if (setup.exec() == QDialog::Accepted) {
            AssistantSettings.ComPort = setup.ui.ComboBox1->currentIndex() + 1;
            AssistantSettings.ServerUrl = setup.ui.Edit1->text();
            AssistantSettings.RemarkLevel2 = setup.ui.CheckBox1->isChecked();
            AssistantSettings.DemoMode = setup.ui.CheckBox2->isChecked();
            for (auto field : {TAssistantSettings::kComPort, TAssistantSettings::kServerUrl,
                               TAssistantSettings::kRemarkLevel2, TAssistantSettings::kDemoMode})
                AssistantSettings.Changed(field);
            ShowMessage(this, Text(texts::kSettingsChanged));
            changed = true;
        }
    }
    if (!changed) return;
    Restarting = true;
    close();
}

}  // namespace tavc::assistant
