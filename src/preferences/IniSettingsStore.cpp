#include "preferences/IniSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>

#include <utility>

#include "preferences/SettingsFileFormat.h"

namespace sonavista {
namespace {

QString toQString(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

IniSettingsStore::IniSettingsStore(std::string filePath) : filePath_(std::move(filePath)) {
    load();
}

std::string IniSettingsStore::defaultFilePath() {
    // Relative values of XDG_CONFIG_HOME are invalid and ignored, as the base-directory rules say.
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome)) {
        configHome = QDir::homePath() + QStringLiteral("/.config");
    }
    return (configHome + QStringLiteral("/Sonavista/Sonavista.conf")).toStdString();
}

std::shared_ptr<IniSettingsStore> IniSettingsStore::openDefault() {
    return std::make_shared<IniSettingsStore>(defaultFilePath());
}

void IniSettingsStore::load() {
    const QString path = toQString(filePath_);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        loadOutcome_ = LoadOutcome::missing;
        return;
    }
    loadOutcome_ = LoadOutcome::corrupt;
    corruptFilePending_ = true;
    QFile file(path);
    if (!info.isFile() || info.size() > maximumFileSize || !file.open(QIODevice::ReadOnly)) {
        return;
    }
    const QByteArray bytes = file.read(maximumFileSize + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > maximumFileSize) {
        return;
    }
    auto parsed = SettingsFileFormat::parse(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (!parsed) {
        return;
    }
    values_ = std::move(*parsed);
    loadOutcome_ = LoadOutcome::loaded;
    corruptFilePending_ = false;
}

const SettingsValue* IniSettingsStore::find(std::string_view key) const {
    const auto it = values_.find(key);
    return it == values_.end() ? nullptr : &it->second;
}

bool IniSettingsStore::hasObject(std::string_view key) const {
    return find(key) != nullptr;
}

bool IniSettingsStore::boolValue(std::string_view key) const {
    const SettingsValue* value = find(key);
    return value != nullptr && settingsBoolValue(*value);
}

std::optional<std::string> IniSettingsStore::stringValue(std::string_view key) const {
    const SettingsValue* value = find(key);
    return value ? settingsStringValue(*value) : std::nullopt;
}

std::optional<std::vector<std::string>> IniSettingsStore::stringArrayValue(std::string_view key) const {
    const SettingsValue* value = find(key);
    return value ? settingsStringArrayValue(*value) : std::nullopt;
}

void IniSettingsStore::setBool(std::string_view key, bool value) {
    store(key, value);
}

void IniSettingsStore::setString(std::string_view key, std::string_view value) {
    store(key, std::string(value));
}

void IniSettingsStore::setStringArray(std::string_view key, const std::vector<std::string>& value) {
    store(key, value);
}

void IniSettingsStore::store(std::string_view key, SettingsValue value) {
    values_.insert_or_assign(std::string(key), std::move(value));
    lastWriteError_ = writeFile();
}

bool IniSettingsStore::preserveCorruptFile() {
    const QString path = toQString(filePath_);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return true;  // gone in the meantime: nothing to keep
    }
    for (int attempt = 1; attempt <= 100; ++attempt) {
        QString target = path + QStringLiteral(".corrupt");
        if (attempt > 1) {
            target += QLatin1Char('.') + QString::number(attempt);
        }
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
            continue;
        }
        // A directory in place of the file is moved aside the same way.
        if (QDir().rename(path, target)) {
            preservedCorruptPath_ = target.toStdString();
            return true;
        }
        return false;
    }
    return false;
}

std::optional<std::string> IniSettingsStore::writeFile() {
    const std::string failure = "Could not save the settings to " + filePath_;
    if (corruptFilePending_) {
        if (!preserveCorruptFile()) {
            return failure + ": the damaged file there could not be moved aside.";
        }
        corruptFilePending_ = false;
    }
    const QString path = toQString(filePath_);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        return failure + ": the folder " + folder.toStdString() + " could not be created.";
    }
    QSaveFile file(path);
    const std::string text = SettingsFileFormat::serialize(values_);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !file.commit()) {
        const std::string reason = file.errorString().toStdString();
        file.cancelWriting();
        return failure + ": " + reason + ".";
    }
    return std::nullopt;
}

}  // namespace sonavista
