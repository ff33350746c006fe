#include "app/QtSoundSettingsOpener.h"

#include "app/SoundSettingsCommand.h"

#include <QProcess>
#include <QStringList>
#include <cstdlib>

namespace sonavista {

void QtSoundSettingsOpener::openAudioCaptureSettings() {
    const char* path = std::getenv("PATH");
    const auto command = SoundSettingsCommand::find(path ? path : "");
    if (!command) return;
    QStringList arguments;
    for (std::size_t i = 1; i < command->size(); ++i) arguments << QString::fromStdString((*command)[i]);
    QProcess::startDetached(QString::fromStdString(command->front()), arguments);
}

}  // namespace sonavista
