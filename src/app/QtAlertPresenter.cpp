#include "app/QtAlertPresenter.h"

#include <QMessageBox>

namespace sonavista {

void QtAlertPresenter::showWarning(const std::string& message, const std::string& informativeText) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Sonavista"), QString::fromStdString(message), QMessageBox::Ok);
    box.setInformativeText(QString::fromStdString(informativeText));
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

}  // namespace sonavista
