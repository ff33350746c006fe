#include "app/QtSoundSettingsOpener.h"

#include "app/SoundSettingsCommand.h"

#include <QProcess>
#include <QStringList>
#include <cstdlib>

namespace sonavista {

std::optional<std::string> QtSoundSettingsOpener::openAudioCaptureSettings() {
    const char* path = std::getenv("PATH");
    const auto command = SoundSettingsCommand::find(path ? path : "");
    if (!command) return std::string(SoundSettingsCommand::missingAdvice);
    QStringList arguments;
    for (std::size_t i = 1; i < command->size(); ++i) arguments << QString::fromStdString((*command)[i]);
    if (!QProcess::startDetached(QString::fromStdString(command->front()), arguments)) {
        return "Could not start " + command->front() + ".";
    }
    return std::nullopt;
}

}  // namespace sonavista
