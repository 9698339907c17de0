#include "BrowserWiring.h"

#include "app/BrowserAddressBox.h"
#include "app/BrowserCookies.h"
#include "app/BrowserPanel.h"
#include "app/EditComboBox.h"
#include "app/MainWindow.h"
#include "render/WebPageRenderer.h"
#include "settings/SettingsTable.h"
#include "viewer/PreferencesDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

namespace {

// The window's page renderer, owned by the browser panel: the panel goes
// after the scan engine that points to it.
struct RendererHolder : QObject {
    using QObject::QObject;
    WebPageRenderer Renderer;
};

} // namespace

BrowserPanel* AttachBrowser(MainWindow& form, MessageSink* messages) {
    auto* panel = new BrowserPanel(form.BrowserGroup, messages);
    auto* layout = form.BrowserGroup->layout() != nullptr ? form.BrowserGroup->layout()
                                                          : new QVBoxLayout(form.BrowserGroup);
    layout->addWidget(panel);

    panel->CaptureOn = [&form] { return form.CaptureOn; };
    panel->CaptureLink = [&form](const QString& url) {
        form.ScanAddressBox->AddItem(url);
        form.StartFromAddress(form.ScanAddressBox->currentText(), false, false);
        return true;
    };
    panel->OnStatusText = [&form](const QString& text) {
        form.StorageStatusLabel->setText(text);
        form.StorageStatusLabel->setAccessibleDescription(text);
    };
    panel->OnUrlShown = [&form](const std::string& url) { form.Gallery().SetLastBrowserUrl(url); };
    panel->WelcomePage = [&form] { return form.WelcomePage(); };
    // Scans start with the cookies of the sites the user logged in to in
    // the browser, when the preferences say so.
    auto* cookies = new BrowserCookies(BrowserProfile(), panel);
    panel->ScanShown = [&form](const QString& url, const QString& html) {
        form.Gallery().GivenStartPage =
            ScanEngine::GivenPage{url.toStdString(), html.toStdString()};
        form.ScanAddressBox->AddItem(url);
        form.StartFromAddress(url, false, false);
    };
    form.FileMenu->insertAction(form.FileMenu->actions().value(0), panel->ScanShownAction);
    form.Gallery().CookieSource = [&form, cookies] {
        return form.Gallery().UseBrowserLogins() ? cookies->Lines() : std::vector<std::string>();
    };
    // Every face's scans may run page scripts; the setting "Run page scripts
    // before looking for pictures" decides.
    form.Gallery().Renderer = &(new RendererHolder(panel))->Renderer;

    form.OnNavigate = [panel](const QString& url) { panel->SetPending(url); };
    form.OnOpenInNewWindow = [panel](const QString& url) { panel->OpenInNewWindow(url); };
    form.OnBrowserTick = [panel] { panel->Tick(); };
    form.Prefs()->AddToHistoryHook = [panel](bool add) { panel->AddressBox->AddToHistory = add; };

    // The address box starts on the last address shown, without going there,
    // and adds visited addresses to the history as the preferences say.
    panel->AddressBox->SetUrl(QString::fromStdString(form.Gallery().LastBrowserUrl()));
    panel->AddressBox->AddToHistory =
        form.Gallery().Store().ReadBool(Setting::AddToAddressHistory.Entry, true);
    panel->AddressBox->setFocus();
    return panel;
}
