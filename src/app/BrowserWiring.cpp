#include "BrowserWiring.h"

#include "app/BrowserAddressBox.h"
#include "app/BrowserPanel.h"
#include "app/EditComboBox.h"
#include "app/MainWindow.h"
#include "settings/SettingsTable.h"
#include "viewer/PreferencesDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

TBrowserPanel* AttachBrowser(TForm1& form, IMessageSink* messages) {
    auto* panel = new TBrowserPanel(form.GroupBox1, messages);
    auto* layout = form.GroupBox1->layout() != nullptr ? form.GroupBox1->layout()
                                                       : new QVBoxLayout(form.GroupBox1);
    layout->addWidget(panel);

    panel->CaptureOn = [&form] { return form.CaptureOn; };
    panel->CaptureLink = [&form](const QString& url) {
        form.EditCombobox1->AddItem(url);
        form.StartFromAddress(form.EditCombobox1->currentText(), false, false);
        return true;
    };
    panel->OnStatusText = [&form](const QString& text) {
        form.StatusPanel0->setText(text);
        form.StatusPanel0->setAccessibleDescription(text);
    };
    panel->OnUrlShown = [&form](const std::string& url) { form.Gallery().SetLastBrowserUrl(url); };
    panel->WelcomePage = [&form] { return form.WelcomePage(); };

    form.OnNavigate = [panel](const QString& url) { panel->SetPending(url); };
    form.OnOpenInNewWindow = [panel](const QString& url) { panel->OpenInNewWindow(url); };
    form.OnBrowserTick = [panel] { panel->Tick(); };
    form.Prefs()->RegistryUpdateHook = [panel](bool add) {
        panel->IEAddress1->RegistryUpdate = add;
    };

    // The address box starts on the last address shown, without going there,
    // and adds visited addresses to the history as the preferences say.
    panel->IEAddress1->SetUrl(QString::fromStdString(form.Gallery().LastBrowserUrl()));
    panel->IEAddress1->RegistryUpdate =
        form.Gallery().Store().ReadBool(Setting::DoNotUpdateIEHistory.Entry, true);
    panel->IEAddress1->setFocus();
    return panel;
}
