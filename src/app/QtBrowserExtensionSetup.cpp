#include "app/QtBrowserExtensionSetup.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace sonavista {

QString QtBrowserExtensionSetup::extensionFolder() {
    const QString here = QCoreApplication::applicationDirPath();
    QStringList candidates = {here + QStringLiteral("/../share/sonavista/extension"), here + QStringLiteral("/extension")};
    candidates << QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("sonavista/extension"),
                                            QStandardPaths::LocateDirectory);
    for (const QString& candidate : candidates) {
        if (QFileInfo::exists(candidate + QStringLiteral("/chromium/manifest.json"))) {
            return QDir(candidate).canonicalPath();
        }
    }
    return {};
}

void QtBrowserExtensionSetup::open() {
    const QString folder = extensionFolder();
    QString text;
    if (folder.isEmpty()) {
        text = QStringLiteral("The browser extension was not found; it is installed with Sonavista under "
                              "share/sonavista/extension, and a build puts it in the extension folder beside "
                              "the programs.");
    } else {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
        // The extensions page of the first browser found: Chromium-family browsers first.
        const std::pair<const char*, const char*> browsers[] = {
            {"chromium", "chrome://extensions"},          {"chromium-browser", "chrome://extensions"},
            {"google-chrome", "chrome://extensions"},     {"brave-browser", "brave://extensions"},
            {"microsoft-edge", "edge://extensions"},      {"vivaldi", "vivaldi://extensions"},
            {"firefox", "about:debugging#/runtime/this-firefox"},
            {"firefox-esr", "about:debugging#/runtime/this-firefox"}};
        for (const auto& [name, page] : browsers) {
            const QString program = QStandardPaths::findExecutable(QString::fromLatin1(name));
            if (!program.isEmpty() && QProcess::startDetached(program, {QString::fromLatin1(page)})) break;
        }
        text = QStringLiteral("To load the extension from %1, turn on Developer mode on a Chromium-based browser's "
                              "extensions page and choose \u201CLoad unpacked\u201D with its chromium folder, or in "
                              "Firefox choose \u201CLoad Temporary Add-on\u2026\u201D on about:debugging and pick "
                              "firefox/manifest.json.")
                   .arg(folder);
    }
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Sonavista Browser Extension"), text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

}  // namespace sonavista
